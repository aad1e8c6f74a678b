#pragma once

#include "ChangeFeed.h"
#include "EngineError.h"
#include "IntegrityReport.h"
#include "SampleValue.h"
#include "Workgroup.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace engine {

class Cursor;
class Recordset;

// One open database, logged on through its workgroup: the engine's
// connection as the rest of the program sees it. Statements handed in from
// outside run under the account's permissions: they may read, insert,
// update and delete rows of the tables the account is granted, and nothing
// else (no schema changes, no attaching, no engine settings). Failures are
// thrown as EngineError in the engine's words.
//
// Two back ends stand behind it: the database file (sqlite/) and a shared
// server (pg/); nothing outside this folder sees which one it is.
class Database {
public:
    struct Column {
        std::string name;
        bool numeric = false;
        bool key = false;
        std::string textDefault; // a text default such as 'Empty', if any
    };

    // Opens a database file, logged on as the workgroup's account.
    static std::shared_ptr<Database> open(const std::string& path, const Workgroup& workgroup,
                                          bool readOnly);
    // Opens the collection on a server: conninfo is a libpq connection
    // string (empty: the PG* environment variables); a user and password,
    // when given, are the account that logs on. The server's GRANTs are
    // the account's rights.
    static std::shared_ptr<Database> openServer(const std::string& conninfo,
                                                const std::string& user,
                                                const std::string& password, bool readOnly);
    virtual ~Database() = default;

    virtual const std::string& Name() const = 0;
    // A connection of its own to the same database, logged on as this one:
    // for work on another thread (a diagram's reading, an import, an export).
    virtual std::shared_ptr<Database> openAnother(bool readOnly) const = 0;

    // Opens a dynaset on "SELECT * FROM table ...". A statement that cannot
    // run fails here; the first screen of keys is waited for unless
    // waitForFirstScreen is false (then settleOpening() says when it came).
    virtual std::unique_ptr<Recordset> OpenRecordset(const std::string& sql, bool readOnly = false,
                                                     bool waitForFirstScreen = true) = 0;
    // Prepares exactly one statement under the account's permissions, for
    // engine::Query; any text after the first statement is refused.
    virtual std::unique_ptr<Cursor> prepareCursor(const std::string& sql) = 0;

    // The table's columns in their order; throws for a table not there.
    virtual const std::vector<Column>& columns(const std::string& table) = 0;

    // One transaction around many writes: all of them, or none.
    virtual void Begin() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() = 0; // never fails; a transaction already gone is fine

    // Many inserts into one table inside the open transaction: its derived
    // indexes (the substring index) are brought up to date once, at the
    // end, rather than row by row. A rollback undoes both.
    virtual void beginBulkInsert(const std::string& table) = 0;
    virtual void endBulkInsert(const std::string& table) = 0;
    // How many rows of parametersPerRow parameters a bulk insert may give
    // one INSERT ... VALUES statement. A server counts, logs and answers
    // each statement once, whatever its rows; the file gains nothing by
    // more than one.
    virtual int rowsPerInsert(int parametersPerRow) const {
        (void)parametersPerRow;
        return 1;
    }

    // The values beyond the 32 columns, kept beside each table (see
    // SampleValue). A sample's values go with its row: deleting the row
    // deletes them in the same transaction. Rights follow the table's.
    //
    // Adds values to one sample (its ID), inside the open transaction;
    // needs the table's insert right.
    virtual void addValues(const std::string& table, std::int64_t sample,
                           const std::vector<SampleValue>& values) = 0;
    // Adds the values of many samples (each its ID and its values) as
    // addValues adds each, with the same refusals, every sample's values
    // checked before any is written: a server writes them in a few
    // statements rather than one a sample. (The default, one sample at a
    // time, leaves what it added for the caller's rollback.)
    using SampleValues = std::pair<std::int64_t, const std::vector<SampleValue>*>;
    virtual void addValuesOfRows(const std::string& table,
                                 const std::vector<SampleValues>& samples) {
        for (const auto& [sample, values] : samples)
            addValues(table, sample, *values);
    }
    // Every value of the samples a condition selects (a condition over the
    // table's columns, as in a search; empty: every sample), by ID, under
    // the account's read right. `each` returns false to stop.
    virtual void readValues(const std::string& table, const std::string& where,
                            const std::function<bool(const StoredValue&)>& each) = 0;
    // The same, of some analytes only (by name: "Latitude", "Unique ID"),
    // for a reader that needs a few of a sample's many values.
    virtual void readSomeValues(const std::string& table, const std::string& where,
                                const std::vector<std::string>& analytes,
                                const std::function<bool(const StoredValue&)>& each) = 0;
    // The same, of the samples whose IDs lie from `first` to `last` (both
    // kept): a view that is a small part of a large table reads its own
    // part only, in one pass along the values' order.
    struct KeyRange {
        std::int64_t first = 0;
        std::int64_t last = 0;
    };
    virtual void readSomeValuesBetween(const std::string& table, KeyRange keys,
                                       const std::vector<std::string>& analytes,
                                       const std::function<bool(const StoredValue&)>& each) = 0;
    // Each analyte and unit the table's values hold, with how many values
    // have it, by analyte then unit: for choosing the columns to show. Its
    // channels are the store's codes for it (one per method), by which a
    // statement names its values without their names' text.
    struct AnalyteCount {
        std::string analyte;
        std::string unit;
        long long count = 0;
        std::vector<std::int64_t> channels;
        bool operator==(const AnalyteCount&) const = default;

        // A channel's count added to a list read by analyte, unit, code.
        static void addChannel(std::vector<AnalyteCount>& list, std::string analyte,
                               std::string unit, std::int64_t code, long long count) {
            if (list.empty() || list.back().analyte != analyte || list.back().unit != unit)
                list.push_back({std::move(analyte), std::move(unit), 0, {}});
            list.back().count += count;
            list.back().channels.push_back(code);
        }
    };
    virtual std::vector<AnalyteCount> analytes(const std::string& table) = 0;
    // The same without the counts (each 0): a seek a channel in the index
    // of channels, where counting reads every value. For what needs to know
    // only which are held: finding and sorting by a value, the map.
    virtual std::vector<AnalyteCount> analytesHeld(const std::string& table) = 0;

    // Other users' committed changes, for a live view; none for a back end
    // that one user keeps (a file).
    virtual std::unique_ptr<ChangeFeed> listen() { return nullptr; }

    // A full check of the database's consistency, for a worker thread: it
    // takes long on a large file, but never keeps other users from saving
    // for more than a moment. `progress` (rows read, rows in all) returns
    // false to stop. A server keeps its own consistency: not checked.
    virtual IntegrityReport
    checkIntegrity(const std::function<bool(long long done, long long total)>& progress) {
        (void)progress;
        return {};
    }
    // Mends what the check found between rows and indexes, after copying
    // the database whole beside itself; returns where the copy is. Throws
    // when it cannot, changing nothing then.
    virtual std::string repairIndexes() {
        throw EngineError(err::Internal, "This database keeps its own consistency.");
    }

protected:
    Database() = default;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
};

} // namespace engine
