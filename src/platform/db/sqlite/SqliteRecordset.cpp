#include "SqliteRecordset.h"

#include "SqliteDatabase.h"
#include "Statement.h"
#include "SubstringIndex.h"
#include "platform/db/EngineError.h"
#include "platform/db/EngineMessages.h"
#include "platform/db/NumberText.h"
#include "platform/db/SelectText.h"
#include "platform/db/SqlText.h"

#include <sqlite3.h>

#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <unordered_set>

namespace engine {

namespace {

int stopWhenCancelled(void* flag) {
    return static_cast<const std::atomic<bool>*>(flag)->load(std::memory_order_relaxed) ? 1 : 0;
}

// A read-only connection of the database's, stopped when the loader is.
// Holds it while the job runs and gives it back after.
class Reader {
public:
    Reader(SqliteDatabase& db, KeyLoader& loader, int busyWaitMs, KeyLoader::Failure& failure)
        : db_(db), handle_(db.takeReader(failure.rc, failure.message)) {
        if (handle_) {
            sqlite3_busy_timeout(handle_, busyWaitMs);
            sqlite3_progress_handler(handle_, 1000, &stopWhenCancelled,
                                     const_cast<std::atomic<bool>*>(&loader.cancelFlag()));
        }
    }
    ~Reader() {
        if (handle_)
            db_.giveBackReader(handle_);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    sqlite3* get() const { return handle_; }

private:
    SqliteDatabase& db_;
    sqlite3* handle_;
};

// Runs a statement on a reader of the database's, each row to onRow.
template <class OnRow>
KeyLoader::Failure readRows(SqliteDatabase& db, KeyLoader& loader, int busyWaitMs,
                            const std::string& sql, OnRow onRow) {
    KeyLoader::Failure failure;
    Reader reader(db, loader, busyWaitMs, failure);
    if (!reader.get())
        return failure;
    sqlite3_stmt* raw = nullptr;
    int rc =
        sqlite3_prepare_v2(reader.get(), sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
    Statement s(raw);
    if (rc == SQLITE_OK)
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW)
            onRow(raw);
    if (rc != SQLITE_DONE)
        failure = {rc, sqlite3_errmsg(reader.get()), {}};
    return failure;
}

KeyLoader::KeysJob keysJob(SqliteDatabase& db, const std::string& sql, int busyWaitMs) {
    return [&db, sql, busyWaitMs](KeyLoader& loader) {
        return readRows(db, loader, busyWaitMs, sql,
                        [&loader](sqlite3_stmt* s) { loader.append(sqlite3_column_int64(s, 0)); });
    };
}

KeyLoader::CountJob countJob(SqliteDatabase& db, const std::string& sql, int busyWaitMs) {
    return [&db, sql, busyWaitMs](KeyLoader& loader, long& n) {
        return readRows(db, loader, busyWaitMs, sql, [&n](sqlite3_stmt* s) {
            n = static_cast<long>(sqlite3_column_int64(s, 0));
        });
    };
}

void bindValue(sqlite3_stmt* s, int index, const Value& v) {
    switch (v.type()) {
    case Value::Type::Null:
        sqlite3_bind_null(s, index);
        break;
    case Value::Type::Integer:
        sqlite3_bind_int64(s, index, v.toInteger());
        break;
    case Value::Type::Real:
        sqlite3_bind_double(s, index, v.toReal());
        break;
    case Value::Type::Text:
        sqlite3_bind_text(s, index, v.toText().c_str(), static_cast<int>(v.toText().size()),
                          SQLITE_TRANSIENT);
        break;
    }
}

} // namespace

SqliteRecordset::SqliteRecordset(std::shared_ptr<SqliteDatabase> db, const std::string& sql,
                                 bool readOnly, bool waitForFirstScreen)
    : KeyedRecordset(sql, readOnly, waitForFirstScreen), db_(std::move(db)) {
    std::string fromClause;
    if (!SelectText::splitSelectStar(sql, fromClause, table_)) {
        // Let the engine name what is wrong with the text first.
        db_->prepareUser(sql, sql);
        throw msg::notSelectStar(sql);
    }
    // A rare term is looked up in the substring index first; should the
    // index fail (damaged), the same rows are read the ordinary way.
    const std::string narrowed = narrowedBySubstringIndex(*db_, table_, fromClause);
    bool read = false;
    if (!narrowed.empty()) {
        try {
            readKeys("SELECT [ID] " + narrowed, {}, sql, true);
            read = true;
        } catch (const EngineError&) {
            loader_.reset();
            keys_.clear();
        }
    }
    if (!read)
        readKeys("SELECT [ID] " + fromClause, SelectText::countStatement(fromClause), sql, false);
    rowStmt_ = std::make_unique<Statement>(
        db_->prepareUser("SELECT * FROM " + bracket(table_) + " WHERE [ID] = ?1", sql));
    const int n = sqlite3_column_count(rowStmt_->get());
    for (int i = 0; i < n; ++i) {
        fieldNames_.emplace_back(sqlite3_column_name(rowStmt_->get(), i));
        if (fieldNames_.back() == "ID")
            keyColumn_ = i;
    }
    emptyRow_.resize(static_cast<std::size_t>(n));
    settleOpening(std::chrono::milliseconds(0));
}

void SqliteRecordset::readKeys(const std::string& keySql, std::string countSql,
                               const std::string& shownSql, bool whole) {
    {
        // Prepared here first: the account's rights and the text are checked
        // on this connection, and a fault is reported before anything runs.
        Statement keys = db_->prepareUser(keySql, shownSql);
        if (db_->inTransaction()) {
            // Another connection would not see this transaction's changes.
            int rc;
            while ((rc = sqlite3_step(keys.get())) == SQLITE_ROW)
                keys_.append(sqlite3_column_int64(keys.get(), 0));
            if (rc != SQLITE_DONE)
                db_->fail(rc, shownSql, SqliteDatabase::Access::Read);
            return;
        }
    }
    if (!countSql.empty()) {
        try {
            db_->prepareUser(countSql, shownSql);
        } catch (const EngineError&) {
            countSql.clear(); // counted from the keys instead
        }
    }
    const int wait = db_->busyWaitMs();
    startLoading(keysJob(*db_, keySql, wait),
                 countSql.empty() ? KeyLoader::CountJob() : countJob(*db_, countSql, wait), whole);
}

EngineError SqliteRecordset::loadingFailure(const KeyLoader::Failure& f) const {
    try {
        db_->fail(f.rc, sql_, SqliteDatabase::Access::Read, f.message);
    } catch (const EngineError& e) {
        return e;
    }
}

SqliteRecordset::~SqliteRecordset() {
    stopLoading(); // its jobs use this set's connection
}

const std::vector<Database::Column>& SqliteRecordset::tableColumns() {
    return db_->columns(table_);
}

std::int64_t SqliteRecordset::Update() {
    if (!adding_)
        throw EngineError(3020, "Update or CancelUpdate without AddNew or Edit.");
    adding_ = false;
    waitForIdle();
    const std::string sql = "INSERT INTO " + bracket(table_) + " DEFAULT VALUES";
    Statement s = db_->prepareUser(sql, sql);
    db_->stepWrite(s, sql);
    const std::int64_t key = sqlite3_last_insert_rowid(db_->handle());
    keys_.append(key);
    return key;
}

void SqliteRecordset::Delete() {
    requireWritable();
    requireCurrent();
    waitForIdle();
    const std::string sql = "DELETE FROM " + bracket(table_) + " WHERE [ID] = ?1";
    Statement s = db_->prepareUser(sql, sql);
    sqlite3_bind_int64(s.get(), 1, keys_.at(pos_));
    db_->stepWrite(s, sql);
    forgetRow(pos_);
    afterDelete_ = true;
}

void SqliteRecordset::FindFirst(const std::string& criterion) {
    const std::string sql = "SELECT [ID] FROM " + bracket(table_) + " WHERE " + criterion;
    Statement s = db_->prepareUser(sql, criterion);
    std::unordered_set<std::int64_t> hits;
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
        hits.insert(sqlite3_column_int64(s.get(), 0));
    if (rc != SQLITE_DONE)
        db_->fail(rc, criterion, SqliteDatabase::Access::Read);
    moveToFirstOf(hits);
}

SqliteRecordset::Page SqliteRecordset::readPage(long page) {
    Page p;
    const long first = page * kPageRows;
    const long known = keys_.size();
    const long last = std::min(known, first + kPageRows);
    const auto n = static_cast<size_t>(last - first);
    p.rows.resize(n);
    p.unreadable.assign(n, false);
    db_->beginRead();
    // One read transaction (one lock) for the whole page.
    const bool ownTransaction = db_->openReadTransaction();
    // The page's rows in one statement; a page it cannot read whole (a
    // damaged row, a lock) is read row by row below, which tells exactly
    // which rows cannot be read and why.
    if (readPageAtOnce(first, p)) {
        if (ownTransaction)
            db_->closeReadTransaction();
        return p;
    }
    sqlite3_stmt* s = rowStmt_->get();
    for (size_t i = 0; i < n; ++i) {
        sqlite3_bind_int64(s, 1, keys_.at(first + static_cast<long>(i)));
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            Row& row = p.rows[i];
            row.reserve(fieldNames_.size());
            for (int c = 0; c < FieldCount(); ++c)
                row.push_back(readColumn(s, c));
        } else if (rc == SQLITE_DONE) {
            p.rows[i] = emptyRow_; // removed behind this set's back
        } else {
            // A row that cannot be read is never shown as an empty one. A
            // lock or an I/O failure stops the page; a damaged row does not.
            sqlite3_reset(s);
            const bool wholePage = (rc & 0xFF) != SQLITE_CORRUPT;
            try {
                db_->fail(rc, sql_, SqliteDatabase::Access::Read);
            } catch (const EngineError& e) {
                markUnreadable(p, i, wholePage, e);
            }
            if (wholePage)
                break;
        }
        sqlite3_reset(s);
    }
    if (ownTransaction)
        db_->closeReadTransaction();
    return p;
}

bool SqliteRecordset::readPageAtOnce(long first, Page& p) {
    const std::size_t n = p.rows.size();
    if (keyColumn_ < 0)
        return false;
    if (!pageStmt_) {
        std::string sql = "SELECT * FROM " + bracket(table_) + " WHERE [ID] IN (";
        for (long i = 1; i <= kPageRows; ++i)
            sql += (i > 1 ? ", ?" : "?") + std::to_string(i);
        pageStmt_ = std::make_unique<Statement>(db_->prepareUser(sql + ")", sql_));
    }
    sqlite3_stmt* s = pageStmt_->get();
    std::unordered_map<std::int64_t, std::size_t> slot;
    slot.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t key = keys_.at(first + static_cast<long>(i));
        slot.emplace(key, i);
        sqlite3_bind_int64(s, static_cast<int>(i + 1), key);
    }
    for (std::size_t i = n; i < static_cast<std::size_t>(kPageRows); ++i)
        sqlite3_bind_null(s, static_cast<int>(i + 1)); // matches no row
    std::vector<bool> found(n, false);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        const auto at = slot.find(sqlite3_column_int64(s, keyColumn_));
        if (at == slot.end())
            continue;
        Row& row = p.rows[at->second];
        row.clear();
        row.reserve(fieldNames_.size());
        for (int c = 0; c < FieldCount(); ++c)
            row.push_back(readColumn(s, c));
        found[at->second] = true;
    }
    sqlite3_reset(s);
    if (rc != SQLITE_DONE)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (!found[i])
            p.rows[i] = emptyRow_; // removed behind this set's back
    return true;
}

Recordset::RowWrite SqliteRecordset::writeRow(std::int64_t key, const std::string&,
                                              const Changes& changes, long near) {
    requireWritable();
    if (changes.empty())
        return {};
    waitForIdle();
    std::vector<Value> values;
    std::string sql = "UPDATE " + bracket(table_) + " SET ";
    for (std::size_t i = 0; i < changes.size(); ++i) {
        values.push_back(coerce(changes[i].first, changes[i].second));
        sql += (i ? ", " : "") + bracket(fieldNames_.at(static_cast<size_t>(changes[i].first))) +
               " = ?" + std::to_string(i + 1);
    }
    sql += " WHERE [ID] = ?" + std::to_string(changes.size() + 1);
    // Kept for the next edit of the same columns: a statement with its
    // triggers is compiled once, not at every save.
    auto it = writes_.find(sql);
    if (it == writes_.end()) {
        if (writes_.size() >= 8)
            writes_.clear();
        it = writes_.emplace(sql, std::make_unique<Statement>(db_->prepareUser(sql, sql))).first;
    }
    Statement& s = *it->second;
    sqlite3_reset(s.get());
    sqlite3_clear_bindings(s.get());
    for (std::size_t i = 0; i < values.size(); ++i)
        bindValue(s.get(), static_cast<int>(i + 1), values[i]);
    sqlite3_bind_int64(s.get(), static_cast<int>(changes.size() + 1), key);
    db_->stepWrite(s, sql);
    RowWrite w;
    if (sqlite3_changes(db_->handle()) == 0)
        w.outcome = RowWrite::Outcome::Deleted;
    if (const long index = findKey(key, near); index >= 0)
        dropPage(index);
    return w;
}

} // namespace engine
