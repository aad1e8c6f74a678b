#pragma once

#include "Value.h"
#include "Workgroup.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;

namespace engine {

class Recordset;
class Statement;

// One open database file, logged on through its workgroup. Statements
// handed in from outside run under the account's permissions: they may
// read, insert, update and delete rows of the tables the account is granted,
// and nothing else (no schema changes, no ATTACH, no PRAGMA).
class Database : public std::enable_shared_from_this<Database> {
public:
    struct Column {
        std::string name;
        bool numeric = false;
        bool key = false;
        std::string textDefault; // a text default such as 'Empty', if any
    };

    static std::shared_ptr<Database> open(const std::string& path, const Workgroup& workgroup,
                                          bool readOnly);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const std::string& Name() const { return path_; }
    // A connection of its own to the same file, logged on as this one: for
    // work on another thread (a diagram's reading, an import, an export).
    std::shared_ptr<Database> openAnother(bool readOnly) const;

    // Opens a dynaset on "SELECT * FROM table ...".
    std::unique_ptr<Recordset> OpenRecordset(const std::string& sql, bool readOnly = false);

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

    const std::vector<Column>& columns(const std::string& table);

    // One transaction around many writes: all of them, or none.
    void Begin();
    void Commit();
    void Rollback(); // never fails; a transaction already gone is fine
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
    Database(std::string path, Workgroup wg, bool readOnly);
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
};

} // namespace engine
