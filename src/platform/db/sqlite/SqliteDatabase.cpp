#include "SqliteDatabase.h"
#include "platform/db/SqlText.h"

#include "LikeFunctions.h"
#include "SqliteIntegrity.h"
#include "SqliteQuery.h"
#include "SqliteRecordset.h"
#include "Statement.h"
#include "platform/db/EngineError.h"
#include "platform/db/EngineMessages.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>

namespace engine {

namespace {

constexpr int kBusyWaitMs = 2000;
// How long reads fail at once after a lock was met: one wait per user
// action, not one per row painted.
constexpr long long kBusyQuietMs = 5000;

long long steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// Internal prepares run with the authorizer switched off.
class InternalScope {
public:
    explicit InternalScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~InternalScope() { flag_ = false; }

private:
    bool& flag_;
};

} // namespace

SqliteDatabase::SqliteDatabase(std::string path, Workgroup wg, bool readOnly)
    : path_(std::move(path)), workgroup_(std::move(wg)), readOnly_(readOnly),
      values_(std::make_unique<SqliteValueStore>(*this)),
      history_(std::make_unique<SqliteHistory>(*this)) {}

SqliteDatabase::~SqliteDatabase() {
    values_.reset(); // its statements before the connection
    for (sqlite3* r : readers_)
        sqlite3_close_v2(r);
    sqlite3_close_v2(db_);
}

sqlite3* SqliteDatabase::takeReader(int& rc, std::string& message) {
    {
        std::lock_guard<std::mutex> lock(readersMutex_);
        if (!readers_.empty()) {
            sqlite3* r = readers_.back();
            readers_.pop_back();
            return r;
        }
    }
    sqlite3* r = nullptr;
    rc = sqlite3_open_v2(path_.c_str(), &r, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        message = r ? sqlite3_errmsg(r) : "cannot open";
        sqlite3_close_v2(r);
        return nullptr;
    }
    registerLikeFunctions(r);
    return r;
}

void SqliteDatabase::giveBackReader(sqlite3* reader) {
    sqlite3_progress_handler(reader, 0, nullptr, nullptr);
    std::lock_guard<std::mutex> lock(readersMutex_);
    readers_.push_back(reader);
}

std::shared_ptr<Database> SqliteDatabase::openAnother(bool readOnly) const {
    return openFile(path_, workgroup_, readOnly);
}

std::shared_ptr<Database> Database::open(const std::string& path, const Workgroup& workgroup,
                                         bool readOnly) {
    return SqliteDatabase::openFile(path, workgroup, readOnly);
}

std::shared_ptr<SqliteDatabase>
SqliteDatabase::openFile(const std::string& path, const Workgroup& workgroup, bool readOnly) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        throw EngineError(err::FileNotFound, "Could not find file '" + path + "'.");

    std::shared_ptr<SqliteDatabase> d(new SqliteDatabase(path, workgroup, readOnly));
    int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    int rc = sqlite3_open_v2(path.c_str(), &d->db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK)
        d->fail(rc, {}, Access::Open);
    sqlite3_busy_timeout(d->db_, kBusyWaitMs);
    sqlite3_set_authorizer(d->db_, &SqliteDatabase::authorize, d.get());
    registerLikeFunctions(d->db_);

    // Reading the identity is the first real read: a garbage or truncated
    // file fails here, before anything else is done with it.
    std::string identity;
    {
        InternalScope scope(d->internal_);
        sqlite3_stmt* s = nullptr;
        rc = sqlite3_prepare_v2(d->db_, "SELECT value FROM quarzel_meta WHERE key = 'identity'", -1,
                                &s, nullptr);
        Statement st(s);
        if (rc == SQLITE_ERROR && startsWith(sqlite3_errmsg(d->db_), "no such table"))
            throw EngineError(err::UnrecognizedFormat,
                              "Unrecognized database format '" + path + "'.");
        if (rc != SQLITE_OK)
            d->fail(rc, {}, Access::Open);
        rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            const unsigned char* t = sqlite3_column_text(s, 0);
            identity = t ? reinterpret_cast<const char*>(t) : "";
        } else if (rc != SQLITE_DONE) {
            d->fail(rc, {}, Access::Open);
        }
    }
    if (identity.empty() || identity != workgroup.databaseIdentity())
        throw EngineError(err::NoPermission,
                          "You do not have the necessary permissions to use the '" + path +
                              "' object. Have your system administrator or the person who created "
                              "this object establish the appropriate permissions for you.");
    if (!readOnly) {
        // A change reported as done must survive a crash at any moment.
        d->execInternal("PRAGMA journal_mode=DELETE");
        d->execInternal("PRAGMA synchronous=FULL");
    }
    return d;
}

void SqliteDatabase::beginRead() {
    if (busySeenAt_ && steadyMs() - busySeenAt_ > kBusyQuietMs) {
        busySeenAt_ = 0;
        sqlite3_busy_timeout(db_, kBusyWaitMs);
    }
}

void SqliteDatabase::noteBusy() {
    busySeenAt_ = steadyMs();
    sqlite3_busy_timeout(db_, 0);
}

int SqliteDatabase::busyWaitMs() const {
    return busySeenAt_ && steadyMs() - busySeenAt_ <= kBusyQuietMs ? 0 : kBusyWaitMs;
}

bool SqliteDatabase::inTransaction() const {
    return !sqlite3_get_autocommit(db_);
}

void SqliteDatabase::fail(int rc, const std::string& sql, Access access) {
    fail(rc, sql, access, db_ ? sqlite3_errmsg(db_) : "");
}

void SqliteDatabase::fail(int rc, const std::string& sql, Access access, const std::string& text) {
    const int primary = rc & 0xFF;
    if (primary == SQLITE_AUTH || (!deniedAction_.empty() && primary == SQLITE_ERROR)) {
        std::string object = std::exchange(deniedObject_, {});
        std::string action = std::exchange(deniedAction_, {});
        if (object.empty())
            throw msg::onlyRowStatements(sql);
        throw msg::noPermission(action, object);
    }
    switch (primary) {
    case SQLITE_ERROR:
        if (startsWith(text, "no such table: "))
            throw msg::tableNotFound(text.substr(15));
        if (startsWith(text, "no such column: "))
            throw msg::unknownField(text.substr(16), sql);
        if (text == "Invalid pattern string.")
            throw EngineError(err::InvalidPattern, text);
        throw msg::syntaxError(sql);
    case SQLITE_READONLY:
        throw EngineError(err::ReadOnly, "Cannot update. Database or object is read-only.");
    case SQLITE_FULL:
        throw EngineError(err::DiskError, "Disk or network error: the disk is full. Nothing "
                                          "was changed.");
    case SQLITE_IOERR:
        throw EngineError(err::DiskError, "Disk or network error while using '" + path_ +
                                              "': the disk may be full. Nothing was changed.");
    case SQLITE_NOTADB:
        throw EngineError(err::UnrecognizedFormat, "Unrecognized database format '" + path_ + "'.");
    case SQLITE_CORRUPT:
        if (access == Access::Read)
            throw EngineError(err::Damaged, "The database '" + path_ +
                                                "' is damaged: some of its rows cannot be read. "
                                                "Restore it from a backup copy.");
        if (access == Access::Write)
            throw EngineError(err::Damaged, "The database '" + path_ +
                                                "' is damaged: the change cannot be written. "
                                                "Nothing was changed. Restore it from a backup "
                                                "copy.");
        [[fallthrough]];
    case SQLITE_CANTOPEN:
    case SQLITE_FORMAT:
        throw EngineError(err::CannotOpen,
                          "Cannot open database '" + path_ +
                              "'. It may not be a database that this program recognizes, or the "
                              "file may be corrupt.");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        if (access == Access::Write)
            throw msg::writeLocked();
        noteBusy();
        throw EngineError(err::Locked, "The database '" + path_ +
                                           "' is locked by another program, and its rows cannot "
                                           "be read now. Try again when that program is done.");
    case SQLITE_CONSTRAINT:
        throw EngineError(err::Internal, "The change breaks a rule of the table: " + text + ".");
    case SQLITE_TOOBIG:
        throw EngineError(err::SyntaxError, "The query is too complex or too long.");
    case SQLITE_NOMEM:
        throw EngineError(7, "Out of memory.");
    default:
        throw EngineError(err::Internal, "Database engine error: " + text + ".");
    }
}

Statement SqliteDatabase::prepareUser(const std::string& sql, const std::string& shown) {
    deniedObject_.clear();
    deniedAction_.clear();
    // The engine would read the text only up to a NUL and run what it got.
    if (sql.find('\0') != std::string::npos)
        throw msg::nulInStatement();
    {
        // The history's triggers are made before the first statement that may
        // change rows, not at the start: a window that only reads never waits
        // for them.
        const auto first = sql.find_first_not_of(" \t\r\n(");
        if (!historyReady_ &&
            (first == std::string::npos || asciiLower(sql.substr(first, 6)) != "select"))
            ensureHistory();
    }
    beginRead();
    sqlite3_stmt* s = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &s, &tail);
    Statement st(s);
    if (rc != SQLITE_OK)
        fail(rc, shown, Access::Read);
    if (!s)
        throw EngineError(err::InvalidStatement, "Invalid SQL statement: '" + shown + "'.");
    for (const char* p = tail; p && *p; ++p) {
        if (!std::isspace(static_cast<unsigned char>(*p)) && *p != ';')
            throw msg::charactersAfterEnd(shown);
    }
    return st;
}

void SqliteDatabase::stepWrite(Statement& s, const std::string& shown) {
    int rc = sqlite3_step(s.get());
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        sqlite3_reset(s.get());
        fail(rc, shown);
    }
    sqlite3_reset(s.get());
}

Statement SqliteDatabase::prepareInternal(const char* sql) {
    InternalScope scope(internal_);
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql, -1, &s, nullptr);
    Statement st(s);
    if (rc != SQLITE_OK)
        fail(rc, sql);
    return st;
}

void SqliteDatabase::execInternal(const char* sql) {
    Statement s = prepareInternal(sql);
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        fail(rc, sql);
}

void SqliteDatabase::Begin() {
    // Immediate: another program's lock is met now, not halfway through.
    execInternal("BEGIN IMMEDIATE");
}

void SqliteDatabase::Commit() {
    execInternal("COMMIT");
}

void SqliteDatabase::Rollback() {
    bulk_.clear();      // the dropped triggers come back with the rollback
    history_->forget(); // as do the history's, if made in it: made again when needed
    historyReady_ = false;
    values_->forget(); // as do the value tables and dictionary entries it made
    InternalScope scope(internal_);
    if (!sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    // A write that failed for want of disk space ends the transaction, but
    // leaves the file grown and its journal behind until the connection
    // next reads: read now, so that the file is as it was before anyone
    // else (a reader who may not write it, who could not mend it) opens it.
    sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
}

// The substring index's insert trigger is dropped for the inserts and made
// again after them, in the same transaction: SQLite changes its schema
// transactionally, so a rollback or a crash leaves the trigger as it was.
// Indexing the new rows in one statement is ten times faster than a row at
// a time.
void SqliteDatabase::ensureHistory() {
    if (historyReady_ || readOnly_)
        return;
    historyReady_ = true;
    history_->install();
}

void SqliteDatabase::beginBulkInsert(const std::string& table) {
    if (!inTransaction())
        return;
    ensureHistory();
    if (!readOnly_)
        history_->beginBulk(table);
    if (!hasTrigram(table))
        return;
    Bulk bulk;
    {
        const std::string sql = "SELECT coalesce(max([ID]), 0) FROM [" + table + "]";
        Statement s = prepareInternal(sql.c_str());
        if (sqlite3_step(s.get()) == SQLITE_ROW)
            bulk.lastKey = sqlite3_column_int64(s.get(), 0);
    }
    const std::string trigger = table + "_trigram_insert";
    {
        Statement s = prepareInternal(
            "SELECT sql FROM sqlite_master WHERE type = 'trigger' AND name = ?1 COLLATE NOCASE");
        sqlite3_bind_text(s.get(), 1, trigger.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(s.get()) != SQLITE_ROW || !sqlite3_column_text(s.get(), 0))
            return; // an index kept in step some other way: left alone
        bulk.trigger = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0));
    }
    execInternal(("DROP TRIGGER [" + trigger + "]").c_str());
    bulk_[table] = bulk;
}

void SqliteDatabase::endBulkInsert(const std::string& table) {
    history_->endBulk(table);
    const auto it = bulk_.find(table);
    if (it == bulk_.end())
        return;
    const Bulk bulk = it->second;
    bulk_.erase(it);
    // The index's columns are the table's of the same names.
    std::string columns;
    {
        Statement s = prepareInternal(("SELECT * FROM [" + table + "_trigram]").c_str());
        for (int c = 0; c < sqlite3_column_count(s.get()); ++c)
            columns +=
                std::string(columns.empty() ? "[" : ", [") + sqlite3_column_name(s.get(), c) + "]";
    }
    execInternal(("INSERT INTO [" + table + "_trigram](rowid, " + columns + ") SELECT [ID], " +
                  columns + " FROM [" + table + "] WHERE [ID] > " + std::to_string(bulk.lastKey))
                     .c_str());
    execInternal(bulk.trigger.c_str());
}

void SqliteDatabase::addValues(const std::string& table, std::int64_t sample,
                               const std::vector<SampleValue>& values) {
    values_->add(table, sample, values);
}

void SqliteDatabase::addValuesOfRows(const std::string& table,
                                     const std::vector<SampleValues>& samples) {
    values_->add(table, samples);
}

void SqliteDatabase::readValues(const std::string& table, const std::string& where,
                                const std::function<bool(const StoredValue&)>& each) {
    values_->read(table, where, each);
}

void SqliteDatabase::readSomeValues(const std::string& table, const std::string& where,
                                    const std::vector<std::string>& analytes,
                                    const std::function<bool(const StoredValue&)>& each) {
    if (analytes.empty())
        return; // none asked for
    values_->read(table, where, each, analytes);
}

void SqliteDatabase::readSomeValuesBetween(const std::string& table, KeyRange keys,
                                           const std::vector<std::string>& analytes,
                                           const std::function<bool(const StoredValue&)>& each) {
    if (analytes.empty() || keys.first > keys.last)
        return; // none asked for
    values_->read(table, {}, each, analytes, &keys);
}

std::vector<Database::AnalyteCount> SqliteDatabase::analytes(const std::string& table) {
    return values_->analytes(table);
}

std::vector<Database::AnalyteCount> SqliteDatabase::analytesHeld(const std::string& table) {
    return values_->analytes(table, false);
}

bool SqliteDatabase::hasTrigram(const std::string& table) {
    const std::string key = asciiLower(table);
    auto it = trigram_.find(key);
    if (it != trigram_.end())
        return it->second;
    bool found = false;
    {
        InternalScope scope(internal_);
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE name = ?1 COLLATE NOCASE",
                               -1, &s, nullptr) == SQLITE_OK) {
            Statement st(s);
            const std::string name = table + "_trigram";
            sqlite3_bind_text(s, 1, name.c_str(), -1, SQLITE_TRANSIENT);
            found = sqlite3_step(s) == SQLITE_ROW;
        }
    }
    return trigram_[key] = found;
}

bool SqliteDatabase::openReadTransaction() {
    if (!sqlite3_get_autocommit(db_))
        return false;
    InternalScope scope(internal_);
    return sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
}

void SqliteDatabase::closeReadTransaction() {
    InternalScope scope(internal_);
    if (!sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
}

const std::vector<Database::Column>& SqliteDatabase::columns(const std::string& table) {
    const std::string key = asciiLower(table);
    auto it = columns_.find(key);
    if (it != columns_.end())
        return it->second;
    std::vector<Column> cols;
    {
        InternalScope scope(internal_);
        sqlite3_stmt* s = nullptr;
        int rc = sqlite3_prepare_v2(
            db_, "SELECT name, type, dflt_value, pk FROM pragma_table_info(?1)", -1, &s, nullptr);
        Statement st(s);
        if (rc != SQLITE_OK)
            fail(rc, {}, Access::Read);
        sqlite3_bind_text(s, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            Column c;
            c.name = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
            std::string type = asciiLower(reinterpret_cast<const char*>(sqlite3_column_text(s, 1)));
            c.numeric = type.find("int") != std::string::npos ||
                        type.find("real") != std::string::npos ||
                        type.find("num") != std::string::npos;
            c.key = sqlite3_column_int(s, 3) != 0;
            if (const unsigned char* d = sqlite3_column_text(s, 2)) {
                std::string dv = reinterpret_cast<const char*>(d);
                if (dv.size() >= 2 && dv.front() == '\'' && dv.back() == '\'')
                    c.textDefault = dv.substr(1, dv.size() - 2);
            }
            cols.push_back(std::move(c));
        }
        if (rc != SQLITE_DONE)
            fail(rc, {}, Access::Read);
    }
    return columns_.emplace(key, std::move(cols)).first->second;
}

std::unique_ptr<Recordset> SqliteDatabase::OpenRecordset(const std::string& sql, bool readOnly,
                                                         bool waitForFirstScreen) {
    return std::unique_ptr<Recordset>(
        new SqliteRecordset(shared_from_this(), sql, readOnly || readOnly_, waitForFirstScreen));
}

std::unique_ptr<Cursor> SqliteDatabase::prepareCursor(const std::string& sql) {
    return std::make_unique<SqliteQuery>(*this, sql);
}

IntegrityReport SqliteDatabase::checkIntegrity(
    const std::function<bool(long long done, long long total)>& progress) {
    InternalScope scope(internal_);
    return SqliteIntegrity::check(db_, progress);
}

std::string SqliteDatabase::repairIndexes() {
    if (readOnly_)
        throw EngineError(err::ReadOnly, "Cannot update. Database or object is read-only.");
    // The copy never replaces an earlier one: each repair keeps its own.
    std::string copy = path_ + ".before-repair";
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(copy, ec); ++n)
        copy = path_ + ".before-repair-" + std::to_string(n);
    InternalScope scope(internal_);
    SqliteIntegrity::repair(db_, copy);
    trigram_.clear();
    return copy;
}

} // namespace engine
