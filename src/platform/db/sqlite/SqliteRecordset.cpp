#include "SqliteRecordset.h"

#include "SqliteDatabase.h"
#include "Statement.h"
#include "SubstringIndex.h"
#include "platform/db/EngineError.h"
#include "platform/db/NumberText.h"
#include "platform/db/SelectText.h"

#include <sqlite3.h>

#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <unordered_set>

namespace engine {

namespace {

// A page that could not be read is tried again after this long.
constexpr long long kRetryMs = 3000;

long long steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
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

std::string bracket(const std::string& name) {
    return "[" + name + "]";
}

} // namespace

SqliteRecordset::SqliteRecordset(std::shared_ptr<SqliteDatabase> db, const std::string& sql,
                                 bool readOnly)
    : db_(std::move(db)), sql_(sql), readOnly_(readOnly) {
    std::string fromClause;
    if (!SelectText::splitSelectStar(sql, fromClause, table_)) {
        // Let the engine name what is wrong with the text first.
        db_->prepareUser(sql, sql);
        throw EngineError(err::InvalidStatement,
                          "Invalid operation: a record set is opened on a statement of the form "
                          "SELECT * FROM table, not on '" +
                              sql + "'.");
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
    pos_ = keys_.size() == 0 ? -1 : 0;
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
    loader_ = std::make_unique<KeyLoader>(*db_, keySql, countSql, db_->busyWaitMs(), keys_);
    // The first screen, or the end: a statement that cannot run at all
    // fails here, as it always did.
    loader_->waitUntil([this, whole] {
        return loader_->keysDone() || (!whole && keys_.size() >= KeyLoader::kFirstScreen);
    });
    // The loader may have gone on past the first screen and met a fault
    // before this thread woke: a view with its first screen is still shown,
    // and the failure is kept for whoever needs every key.
    if (loader_->keysDone() && loader_->keysFailure().rc &&
        (whole || keys_.size() < KeyLoader::kFirstScreen))
        failLoading(loader_->keysFailure());
}

void SqliteRecordset::failLoading(const KeyLoader::Failure& f) const {
    db_->fail(f.rc, sql_, SqliteDatabase::Access::Read, f.message);
}

EngineError SqliteRecordset::loadingError() const {
    try {
        failLoading(loader_->keysFailure());
    } catch (const EngineError& e) {
        return e;
    }
}

long SqliteRecordset::RecordCount() const {
    if (!loader_)
        return keys_.size();
    loader_->startCounting();
    loader_->waitUntil([this] {
        return loader_->keysDone() || (loader_->countDone() && !loader_->countFailure().rc);
    });
    if (loader_->keysDone() && !loader_->keysFailure().rc)
        return keys_.size();
    if (loader_->countDone() && !loader_->countFailure().rc)
        return loader_->count();
    failLoading(loader_->keysFailure());
}

bool SqliteRecordset::countKnown() const {
    if (!loader_)
        return true;
    loader_->startCounting();
    return loader_->keysDone() || (loader_->countDone() && !loader_->countFailure().rc);
}

bool SqliteRecordset::waitForCount(std::chrono::milliseconds limit) const {
    if (!loader_)
        return true;
    loader_->startCounting();
    return loader_->waitFor(
        [this] {
            return loader_->keysDone() || (loader_->countDone() && !loader_->countFailure().rc);
        },
        limit);
}

bool SqliteRecordset::waitForKeys(std::chrono::milliseconds limit) const {
    return !loader_ || loader_->waitFor([this] { return loader_->keysDone(); }, limit);
}

void SqliteRecordset::setOnChange(std::function<void()> onChange) {
    if (loader_)
        loader_->setOnChange(std::move(onChange));
}

long SqliteRecordset::knownRowCount() const {
    if (loader_ && !(loader_->keysDone() && !loader_->keysFailure().rc) && loader_->countDone() &&
        !loader_->countFailure().rc)
        return loader_->count();
    return keys_.size();
}

void SqliteRecordset::waitForKeys() const {
    if (!loader_)
        return;
    loader_->waitUntil([this] { return loader_->keysDone(); });
    if (loader_->keysFailure().rc)
        failLoading(loader_->keysFailure());
}

void SqliteRecordset::waitForIdle() const {
    waitForKeys();
    if (loader_)
        loader_->waitUntil([this] { return loader_->idle(); });
}

bool SqliteRecordset::readFailures() const {
    return readFailures_ || (loader_ && loader_->keysDone() && loader_->keysFailure().rc);
}

std::int64_t SqliteRecordset::keyAt(long index) const {
    if (index >= keys_.size())
        waitForKeys();
    if (index < 0 || index >= keys_.size())
        throw EngineError(err::NoCurrentRecord, "No current record.");
    return keys_.at(index);
}

std::vector<std::int64_t> SqliteRecordset::keys() const {
    waitForKeys();
    return keys_.toVector();
}

SqliteRecordset::~SqliteRecordset() = default;

void SqliteRecordset::requireCurrent() const {
    if (afterDelete_)
        throw EngineError(3167, "Record is deleted.");
    if (pos_ < 0 || pos_ >= RecordCount())
        throw EngineError(err::NoCurrentRecord, "No current record.");
}

void SqliteRecordset::requireWritable() const {
    if (readOnly_)
        throw EngineError(err::ReadOnly, "Cannot update. Database or object is read-only.");
}

void SqliteRecordset::setAbsolutePosition(long index) {
    if (index < 0 || (index >= knownRowCount() && index >= RecordCount()))
        throw EngineError(err::NoCurrentRecord, "No current record.");
    pos_ = index;
    afterDelete_ = false;
}

void SqliteRecordset::MoveFirst() {
    if (knownRowCount() == 0)
        throw EngineError(err::NoCurrentRecord, "No current record.");
    pos_ = 0;
    afterDelete_ = false;
}

void SqliteRecordset::MoveLast() {
    const long count = RecordCount();
    if (count == 0)
        throw EngineError(err::NoCurrentRecord, "No current record.");
    pos_ = count - 1;
    afterDelete_ = false;
}

void SqliteRecordset::MoveNext() {
    if (afterDelete_) {
        afterDelete_ = false; // the row after the deleted one already stands at pos_
        return;
    }
    if (IsEOF())
        throw EngineError(err::NoCurrentRecord, "No current record.");
    ++pos_;
}

void SqliteRecordset::MovePrevious() {
    afterDelete_ = false;
    if (IsBOF())
        throw EngineError(err::NoCurrentRecord, "No current record.");
    --pos_;
}

void SqliteRecordset::AddNew() {
    requireWritable();
    adding_ = true;
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
    keys_.erase(pos_);
    // Rows after the deleted one moved up by one: their pages are stale.
    for (auto it = pages_.begin(); it != pages_.end();) {
        if (it->first >= pos_ / kPageRows) {
            lru_.erase(it->second.lru);
            it = pages_.erase(it);
        } else {
            ++it;
        }
    }
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
    noMatch_ = true;
    if (hits.empty())
        return;
    waitForKeys();
    for (long i = 0; i < keys_.size(); ++i) {
        if (hits.count(keys_.at(i))) {
            pos_ = i;
            afterDelete_ = false;
            noMatch_ = false;
            return;
        }
    }
}

long SqliteRecordset::indexOfKey(std::int64_t key) const {
    waitForKeys();
    return keys_.indexOf(key);
}

const Value& SqliteRecordset::Field(int column) {
    requireCurrent();
    return valueAt(pos_, column);
}

const Value& SqliteRecordset::valueAt(long index, int column) {
    const Row& r = rowAt(index);
    if (column < 0 || column >= static_cast<int>(r.size()))
        throw EngineError(err::SubscriptOutOfRange, "Item not found in this collection.");
    return r[static_cast<size_t>(column)];
}

const SqliteRecordset::Row& SqliteRecordset::rowAt(long index) {
    if (index < 0)
        throw EngineError(err::NoCurrentRecord, "No current record.");
    const long page = index / kPageRows;
    if (index >= keys_.size() && loader_) {
        // Rows are painted as their keys come; this one's key is on its way.
        // No events are handled meanwhile: this may be a paint.
        loader_->waitUntil([&] { return loader_->keysDone() || keys_.size() > index; });
    }
    if (index >= keys_.size()) {
        if (loader_ && loader_->keysFailure().rc && index < knownRowCount())
            throw loadingError();
        throw EngineError(err::NoCurrentRecord, "No current record.");
    }
    auto it = pages_.find(page);
    if (it != pages_.end() &&
        ((it->second.failed && steadyMs() > it->second.retryAt) ||
         (it->second.partial &&
          static_cast<std::size_t>(index - page * kPageRows) >= it->second.rows.size()))) {
        lru_.erase(it->second.lru);
        pages_.erase(it);
        it = pages_.end();
    }
    if (it == pages_.end()) {
        it = pages_.emplace(page, readPage(page)).first;
        lru_.push_front(page);
        it->second.lru = lru_.begin();
        while (pages_.size() > kMaxPages) {
            pages_.erase(lru_.back());
            lru_.pop_back();
        }
        it = pages_.find(page);
    } else if (it->second.lru != lru_.begin()) {
        lru_.splice(lru_.begin(), lru_, it->second.lru);
    }
    const auto offset = static_cast<size_t>(index - page * kPageRows);
    if (it->second.unreadable[offset])
        throw it->second.error;
    return it->second.rows[offset];
}

SqliteRecordset::Page SqliteRecordset::readPage(long page) {
    Page p;
    const long first = page * kPageRows;
    const long known = keys_.size();
    const long last = std::min(known, first + kPageRows);
    p.partial = !keysComplete() && last < first + kPageRows;
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
            try {
                db_->fail(rc, sql_, SqliteDatabase::Access::Read);
            } catch (const EngineError& e) {
                p.error = e;
            }
            p.failed = true;
            readFailures_ = true;
            p.retryAt = steadyMs() + kRetryMs;
            const int primary = rc & 0xFF;
            const bool wholePage = primary != SQLITE_CORRUPT;
            for (size_t j = i; j < (wholePage ? n : i + 1); ++j)
                p.unreadable[j] = true;
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

bool SqliteRecordset::rowReadable(long index) {
    try {
        rowAt(index);
        return true;
    } catch (const EngineError& e) {
        return e.number() == err::NoCurrentRecord;
    }
}

void SqliteRecordset::dropPage(long index) {
    auto it = pages_.find(index / kPageRows);
    if (it != pages_.end()) {
        lru_.erase(it->second.lru);
        pages_.erase(it);
    }
}

Value SqliteRecordset::coerce(int column, const std::string& text) {
    const auto& cols = db_->columns(table_);
    if (column < 0 || column >= static_cast<int>(cols.size()))
        throw EngineError(err::SubscriptOutOfRange, "Item not found in this collection.");
    const auto& col = cols[static_cast<size_t>(column)];
    if (col.key)
        throw EngineError(err::FieldNotUpdatable, "Field '" + col.name + "' cannot be updated.");
    std::size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1])))
        --e;
    const std::string trimmed = text.substr(b, e - b);
    if (!col.numeric)
        return text.empty() ? Value() : Value::text(text);
    if (trimmed.empty())
        return {};
    double d = 0;
    const std::errc ec = parseNumber(trimmed, d);
    if (ec == std::errc())
        return Value::real(d);
    // A number too large or too small to hold is out of range, not "not a
    // number" (1e309, 1e-400, a number of 400 digits).
    if (ec == std::errc::result_out_of_range)
        throw EngineError(err::NumericOverflow, "Numeric field overflow: '" + text +
                                                    "' is out of the range that field '" +
                                                    col.name +
                                                    "' can hold (about 1e-307 to 1e308, and 0).");
    if (!col.textDefault.empty() && trimmed == col.textDefault)
        return Value::text(trimmed);
    throw EngineError(err::ConversionError, "Data type conversion error: '" + text +
                                                "' is not a number, as field '" + col.name +
                                                "' requires.");
}

void SqliteRecordset::updateRow(long index,
                                const std::vector<std::pair<int, std::string>>& changes) {
    requireWritable();
    if (index < 0 || index >= RecordCount())
        throw EngineError(err::NoCurrentRecord, "No current record.");
    if (changes.empty())
        return;
    waitForIdle();
    std::vector<Value> values;
    std::string sql = "UPDATE " + bracket(table_) + " SET ";
    for (std::size_t i = 0; i < changes.size(); ++i) {
        values.push_back(coerce(changes[i].first, changes[i].second));
        sql += (i ? ", " : "") + bracket(fieldNames_.at(static_cast<size_t>(changes[i].first))) +
               " = ?" + std::to_string(i + 1);
    }
    sql += " WHERE [ID] = ?" + std::to_string(changes.size() + 1);
    Statement s = db_->prepareUser(sql, sql);
    for (std::size_t i = 0; i < values.size(); ++i)
        bindValue(s.get(), static_cast<int>(i + 1), values[i]);
    sqlite3_bind_int64(s.get(), static_cast<int>(changes.size() + 1), keys_.at(index));
    db_->stepWrite(s, sql);
    if (sqlite3_changes(db_->handle()) == 0)
        throw EngineError(3167, "Record is deleted.");
    dropPage(index);
}

} // namespace engine
