#pragma once

#include "SqliteHistory.h"
#include "SqliteValueStore.h"
#include "platform/db/Database.h"
#include "platform/db/Value.h"
#include "platform/db/Workgroup.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;

namespace engine {

class Recordset;
class Statement;

// The database file's back end: one SQLite connection to the file, with
// the workgroup's rights enforced by an authorizer.
class SqliteDatabase : public Database, public std::enable_shared_from_this<SqliteDatabase> {
public:
    static std::shared_ptr<SqliteDatabase> openFile(const std::string& path,
                                                    const Workgroup& workgroup, bool readOnly);
    ~SqliteDatabase() override;

    const std::string& Name() const override { return path_; }
    // A connection of its own to the same file, logged on as this one: for
    // work on another thread (a diagram's reading, an import, an export).
    std::shared_ptr<Database> openAnother(bool readOnly) const override;

    // Opens a dynaset on "SELECT * FROM table ...".
    std::unique_ptr<Recordset> OpenRecordset(const std::string& sql, bool readOnly = false,
                                             bool waitForFirstScreen = true) override;
    std::unique_ptr<Cursor> prepareCursor(const std::string& sql) override;

    // Prepares exactly one statement under the account's permissions; any
    // text after the first statement is refused, never run.
    Statement prepareUser(const std::string& sql, const std::string& shownSql);
    // Runs a prepared write to completion, reporting failures in the
    // engine's words.
    void stepWrite(Statement& s, const std::string& shownSql);
    // What was being done when a call failed: the same cause reads
    // differently for opening the file, reading rows and changing them.
    enum class Access { Open, Read, Write };
    [[noreturn]] void fail(int rc, const std::string& shownSql, Access access = Access::Write);
    // The same, for a failure met on another connection to this file.
    [[noreturn]] void fail(int rc, const std::string& shownSql, Access access,
                           const std::string& message);

    // Another program's lock is waited out once; while it was seen lately,
    // reads fail at once instead of waiting again for every row.
    void beginRead();
    void noteBusy();
    // How long a read waits for another program's lock just now.
    int busyWaitMs() const;
    bool inTransaction() const;

    const std::vector<Column>& columns(const std::string& table) override;

    // One transaction around many writes: all of them, or none.
    void Begin() override;
    void Commit() override;
    void Rollback() override;
    void beginBulkInsert(const std::string& table) override;
    void endBulkInsert(const std::string& table) override;
    void addValues(const std::string& table, std::int64_t sample,
                   const std::vector<SampleValue>& values) override;
    void addValuesOfRows(const std::string& table,
                         const std::vector<SampleValues>& samples) override;
    void readSomeValuesBetween(const std::string& table, KeyRange keys,
                               const std::vector<std::string>& analytes,
                               const std::function<bool(const StoredValue&)>& each) override;
    void readSomeValues(const std::string& table, const std::string& where,
                        const std::vector<std::string>& analytes,
                        const std::function<bool(const StoredValue&)>& each) override;
    void readValues(const std::string& table, const std::string& where,
                    const std::function<bool(const StoredValue&)>& each) override;
    std::vector<AnalyteCount> analytes(const std::string& table) override;
    std::vector<AnalyteCount> analytesHeld(const std::string& table) override;
    IntegrityReport
    checkIntegrity(const std::function<bool(long long done, long long total)>& progress) override;
    std::string repairIndexes() override;
    // A read transaction around many reads: one lock for all of them. Does
    // nothing (and returns false) inside a transaction already open.
    bool openReadTransaction();
    void closeReadTransaction();

    // Whether the table has its substring index (files made before it have
    // none, and are searched without it).
    bool hasTrigram(const std::string& table);
    sqlite3* handle() const { return db_; }

    // Read-only connections of this file for the threads that read a record
    // set's keys, kept for the next set once given back. Any thread may
    // take one; a failure to open comes back as its code and message.
    sqlite3* takeReader(int& rc, std::string& message);
    void giveBackReader(sqlite3* reader);

private:
    friend class SqliteValueStore;
    friend class SqliteHistory;
    SqliteDatabase(std::string path, Workgroup wg, bool readOnly);
    Statement prepareInternal(const char* sql);
    void execInternal(const char* sql);
    static int authorize(void* self, int action, const char* a, const char* b, const char*,
                         const char*);

    sqlite3* db_ = nullptr;
    std::string path_;
    Workgroup workgroup_;
    bool readOnly_;
    bool internal_ = false;
    std::string deniedObject_;
    std::string deniedAction_;
    long long busySeenAt_ = 0; // milliseconds of the steady clock; 0 when no lock was seen
    std::map<std::string, std::vector<Column>> columns_;
    std::mutex readersMutex_;
    std::vector<sqlite3*> readers_;
    std::map<std::string, bool> trigram_;
    struct Bulk {
        long long lastKey = 0; // the table's last key before the inserts
        std::string trigger;   // the substring index's insert trigger, as created
    };
    std::map<std::string, Bulk> bulk_;
    std::unique_ptr<SqliteValueStore> values_;
    std::unique_ptr<SqliteHistory> history_;
    bool historyReady_ = false; // its triggers made on this connection
    void ensureHistory();
};

} // namespace engine
