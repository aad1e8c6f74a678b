#pragma once

#include "Statement.h"
#include "platform/db/Database.h"

#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace engine {

class SqliteDatabase;

// The values beyond the 32 columns in the database file. Beside each table
// T, [T_values] holds a row per value, keyed (sample, seq) WITHOUT ROWID so
// that a sample's values lie together in the order stored; analyte, unit
// and method are a small integer of quarzel_channel, a reference one of
// quarzel_reference, both shared by the four tables. A trigger on T deletes
// a row's values with it, in the same statement.
//
// Files made before the store have none of these tables: they are made
// (inside the caller's transaction, so that a rollback takes them back)
// when values are first added, and a file without them reads no values.
// Everything here is prepared internally, the caller's rights checked
// first as the authorizer would.
class SqliteValueStore {
public:
    explicit SqliteValueStore(SqliteDatabase& db) : db_(db) {}

    void add(const std::string& table, std::int64_t sample, const std::vector<SampleValue>& values);
    // Every sample's values checked before any is written.
    void add(const std::string& table, const std::vector<Database::SampleValues>& samples);
    void read(const std::string& table, const std::string& where,
              const std::function<bool(const StoredValue&)>& each,
              const std::vector<std::string>& analytes = {},
              const Database::KeyRange* keys = nullptr);
    std::vector<Database::AnalyteCount> analytes(const std::string& table, bool counted = true);

    // After a rollback: tables, dictionary entries and statements of the
    // transaction may be gone.
    void forget();

private:
    struct TableStatements {
        Statement rowThere;
        Statement lastSeq;
        Statement insert;
    };
    void write(const std::string& table, TableStatements& st, std::int64_t sample,
               const std::vector<SampleValue>& values);
    bool hasTable(const std::string& table);
    // Some analytes of the whole table, or of the rows a condition (a
    // statement of their IDs) selects: each of their channels read through
    // its index, in the order of sample and sequence already, the streams
    // merged here, and the few references' texts kept here once read. (One
    // statement would sort every value, and look up a reference for each.)
    void readChannels(const std::string& table, const std::string& condition,
                      const std::function<bool(const StoredValue&)>& each,
                      const std::vector<std::string>& analytes);
    void createTables(const std::string& table);
    std::int64_t channelId(const SampleValue& v);
    std::int64_t referenceId(const std::string& text);
    Statement prepare(const std::string& sql);

    SqliteDatabase& db_;
    std::map<std::string, bool> tables_; // by lower-case table name: those found there
    std::map<std::string, TableStatements> statements_;
    // Looked up without copying a value's names: std::less<> takes a tuple of
    // references.
    std::map<std::tuple<std::string, std::string, std::string>, std::int64_t, std::less<>>
        channels_;
    std::map<std::string, std::int64_t, std::less<>> references_;
    Statement findChannel_, addChannel_, findReference_, addReference_;
};

} // namespace engine
