#include "PgRecordset.h"

#include "PgDatabase.h"
#include "platform/db/EngineMessages.h"
#include "platform/db/SelectText.h"

#include <cctype>
#include <cstdlib>
#include <regex>
#include <unordered_map>

namespace engine {

namespace {

// Keys are fetched from the server's cursor in steps of this many.
constexpr long kFetch = 50000;

// The text from FROM on without its order: the rows to count.
std::string withoutOrder(const std::string& fromClause) {
    static const std::regex order(R"(order\s+by)", std::regex::icase);
    std::size_t cut = fromClause.size();
    bool quoted = false, bracketed = false;
    for (std::size_t i = 0; i < fromClause.size(); ++i) {
        const char c = fromClause[i];
        if (c == '\'' && !bracketed)
            quoted = !quoted;
        else if (c == '[' && !quoted)
            bracketed = true;
        else if (c == ']' && !quoted)
            bracketed = false;
        else if (!quoted && !bracketed && (c == 'o' || c == 'O') &&
                 (i == 0 || !std::isalnum(static_cast<unsigned char>(fromClause[i - 1]))) &&
                 std::regex_search(fromClause.substr(i, 12), order,
                                   std::regex_constants::match_continuous))
            cut = i;
    }
    return fromClause.substr(0, cut);
}

// Runs work on a connection of the database's kept for loading threads;
// what it met, from the last result it gives back.
template <class Work> KeyLoader::Failure onReader(PgDatabase& db, Work work) {
    std::unique_ptr<PgConnection> c;
    try {
        c = db.takeReader();
    } catch (const EngineError& e) {
        return KeyLoader::Failure{1, e.what(), {}};
    }
    const PgResult r = work(*c);
    KeyLoader::Failure failure;
    if (!r.ok())
        failure = {1, r.message(), r.get() ? r.state() : std::string()};
    db.giveBackReader(std::move(c));
    return failure;
}

KeyLoader::KeysJob keysJob(PgDatabase& db, const std::string& sql) {
    return [&db, sql](KeyLoader& loader) {
        return onReader(db, [&](PgConnection& c) {
            auto take = [&loader](const PgResult& r) {
                for (int i = 0; i < r.rows(); ++i)
                    loader.append(r.integer(i, 0));
            };
            // The first screen by the quickest plan to start, then every
            // key by the quickest plan to finish, both of one snapshot: the
            // same rows in the same order, the first screen's passed over.
            PgResult r = c.tryRead("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
            if (r.ok())
                r = c.tryExec(sql + " LIMIT " + std::to_string(KeyLoader::kFirstScreen));
            take(r);
            if (!r.ok() || r.rows() < KeyLoader::kFirstScreen)
                return r;
            r = c.tryExec("SET LOCAL cursor_tuple_fraction = 1");
            if (r.ok())
                r = c.tryExec("DECLARE quarzel_keys NO SCROLL CURSOR FOR " + sql);
            if (r.ok())
                r = c.tryExec("MOVE FORWARD " + std::to_string(KeyLoader::kFirstScreen) +
                              " IN quarzel_keys");
            while (r.ok() && !loader.cancelled()) {
                r = c.tryExec("FETCH " + std::to_string(kFetch) + " FROM quarzel_keys");
                take(r);
                if (r.rows() < kFetch)
                    break;
            }
            return r;
        });
    };
}

KeyLoader::CountJob countJob(PgDatabase& db, const std::string& sql) {
    return [&db, sql](KeyLoader&, long& n) {
        return onReader(db, [&](PgConnection& c) {
            PgResult r = c.tryRead(sql);
            if (r.ok() && r.rows() == 1)
                n = static_cast<long>(r.integer(0, 0));
            return r;
        });
    };
}

} // namespace

PgRecordset::PgRecordset(std::shared_ptr<PgDatabase> db, const std::string& sql, bool readOnly,
                         bool waitForFirstScreen)
    : KeyedRecordset(sql, readOnly, waitForFirstScreen), db_(std::move(db)) {
    std::string fromClause;
    if (!SelectText::splitSelectStar(sql, fromClause, table_)) {
        db_->translate(sql); // what is wrong with the text is named first
        throw msg::notSelectStar(sql);
    }
    const std::string name = db_->tableName(table_);
    serverTable_ = PgDialect::quote(name);
    if (!db_->hasRight(name, "SELECT"))
        throw msg::noPermission("read", name);
    keySql_ = db_->translate("SELECT [ID] " + fromClause, {true});
    // A whole table is counted from the counts its triggers keep; a view
    // with a condition by the server, while its keys are read.
    const std::string kept = db_->tableCountSql(name);
    const std::string countSql =
        !SelectText::countStatement(fromClause).empty() && !kept.empty()
            ? kept
            : db_->translate("SELECT count(*) " + withoutOrder(fromClause));
    PgConnection& conn = db_->connection();
    // Checked here first: a statement that cannot run fails before
    // anything is read.
    {
        PgResult check(PQprepare(conn.handle(), "", keySql_.c_str(), 0, nullptr));
        if (!conn.broken() && !check.ok())
            throw conn.error(check, PgConnection::Access::Read, sql, keySql_);
    }
    for (const auto& c : db_->columns(name)) {
        if (c.key)
            keyColumn_ = static_cast<int>(fieldNames_.size());
        fieldNames_.push_back(c.name);
    }
    emptyRow_.resize(fieldNames_.size());
    pageSql_ = "SELECT xmin, * FROM " + serverTable_ + " WHERE \"ID\" = ANY($1::bigint[])";
    readOrder(sql);
    if (conn.inTransaction()) {
        // Another connection would not see this transaction's changes.
        PgResult r = conn.exec(keySql_, {}, PgConnection::Access::Read, sql);
        for (int i = 0; i < r.rows(); ++i)
            keys_.append(r.integer(i, 0));
    } else {
        startLoading(keysJob(*db_, keySql_),
                     countSql.empty() ? KeyLoader::CountJob() : countJob(*db_, countSql), false);
    }
    settleOpening(std::chrono::milliseconds(0));
}

void PgRecordset::readOrder(const std::string& sql) {
    static const std::regex single(R"(order\s+by\s*\[([^\]]+)\]\s*(asc|desc)?\s*;?\s*$)",
                                   std::regex::icase);
    static const std::regex any(R"(order\s+by)", std::regex::icase);
    std::smatch m;
    if (std::regex_search(sql, m, single)) {
        const auto& text = db_->names().text;
        std::string lowered = m[1].str();
        for (char& c : lowered)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lowered == "id") {
            orderKnown_ = true;
            descending_ = m[2].matched && std::tolower(m[2].str()[0]) == 'd';
        } else if (text.count(lowered)) {
            orderKnown_ = true;
            orderColumn_ = db_->names().byLower.at(lowered);
            descending_ = m[2].matched && std::tolower(m[2].str()[0]) == 'd';
        }
    } else if (!std::regex_search(sql, any)) {
        orderKnown_ = true; // by key
    }
}

PgRecordset::~PgRecordset() {
    stopLoading(); // its jobs use this set's database
}

EngineError PgRecordset::loadingFailure(const KeyLoader::Failure& f) const {
    return db_->connection().describe(f.state, f.message, PgConnection::Access::Read, sql_,
                                      keySql_);
}

const std::vector<Database::Column>& PgRecordset::tableColumns() {
    return db_->columns(table_);
}

PgRecordset::Page PgRecordset::readPage(long page) {
    const std::vector<std::int64_t> keys = pageKeys(page);
    Page p = readRows(db_->connection(), keys);
    placeRead(p, keys);
    return p;
}

bool PgRecordset::readsAhead() const {
    // A transaction's own changes are seen on its connection only.
    return !db_->connection().inTransaction();
}

PgRecordset::Page PgRecordset::readElsewhere(const std::vector<std::int64_t>& keys) const {
    std::unique_ptr<PgConnection> reader;
    try {
        reader = db_->takeReader();
    } catch (const EngineError& e) {
        Page p;
        p.rows.resize(keys.size());
        p.unreadable.assign(keys.size(), false);
        if (!keys.empty())
            markUnreadable(p, 0, true, e);
        return p;
    }
    Page p = readRows(*reader, keys);
    db_->giveBackReader(std::move(reader));
    return p;
}

void PgRecordset::placeRead(Page& page, const std::vector<std::int64_t>& keys) {
    // A version carried over a shift is newer than what the page read.
    for (std::size_t i = 0; i < keys.size() && i < page.rows.size(); ++i) {
        const auto carried = carried_.find(keys[i]);
        if (carried == carried_.end() || page.unreadable[i] ||
            page.rows[i].size() <= fieldNames_.size())
            continue; // kept for the row's next read
        page.rows[i].back() = carried->second;
        carried_.erase(carried);
    }
}

PgRecordset::Page PgRecordset::readRows(PgConnection& conn,
                                        const std::vector<std::int64_t>& keys) const {
    Page p;
    const std::size_t n = keys.size();
    p.rows.resize(n);
    p.unreadable.assign(n, false);
    if (n == 0)
        return p;
    std::string list = "{";
    std::unordered_map<std::int64_t, std::size_t> slot;
    slot.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        slot.emplace(keys[i], i);
        list += (i ? "," : "") + std::to_string(keys[i]);
    }
    PgResult r = conn.tryRead(pageSql_, {list + "}"});
    if (!r.ok()) {
        markUnreadable(p, 0, true, conn.error(r, PgConnection::Access::Read, sql_, pageSql_));
        return p;
    }
    std::vector<bool> found(n, false);
    for (int i = 0; i < r.rows(); ++i) {
        const std::int64_t key = r.integer(i, keyColumn_ + 1);
        const auto at = slot.find(key);
        if (at == slot.end())
            continue;
        p.rows[at->second] = rowOf(r, i, 1);
        found[at->second] = true;
    }
    for (std::size_t i = 0; i < n; ++i)
        if (!found[i])
            p.rows[i] = emptyRow_; // removed behind this set's back
    return p;
}

PgRecordset::Row PgRecordset::rowOf(const PgResult& r, int i, int first) const {
    Row row;
    const int width = FieldCount();
    row.reserve(static_cast<std::size_t>(width) + 1);
    for (int c = 0; c < width; ++c)
        row.push_back(r.value(i, c + first));
    row.push_back(r.value(i, 0)); // the version, after the fields
    return row;
}

std::string PgRecordset::versionOf(long index) {
    const Row& row = rowAt(index);
    if (row.size() <= fieldNames_.size())
        throw EngineError(err::RowDeleted,
                          "Another user deleted this row since it was read; nothing was saved.");
    return row.back().storedText();
}

std::int64_t PgRecordset::Update() {
    if (!adding_)
        throw EngineError(3020, "Update or CancelUpdate without AddNew or Edit.");
    adding_ = false;
    waitForIdle();
    const std::string sql = "INSERT INTO " + serverTable_ + " DEFAULT VALUES RETURNING \"ID\"";
    PgResult r = db_->connection().exec(sql, {}, PgConnection::Access::Write, sql);
    const std::int64_t key = r.integer(0, 0);
    keys_.append(key);
    return key;
}

void PgRecordset::Delete() {
    requireWritable();
    requireCurrent();
    waitForIdle();
    const std::int64_t key = keys_.at(pos_);
    std::string version;
    try {
        version = versionOf(pos_);
    } catch (const EngineError& e) {
        if (e.number() != err::RowDeleted)
            throw;
        forgetDeleted(pos_);
        throw EngineError(err::RowDeleted, "Another user had already deleted this row.");
    }
    const std::string sql = "DELETE FROM " + serverTable_ + " WHERE \"ID\" = $1 AND xmin = $2::xid";
    PgResult r = db_->connection().exec(sql, {std::to_string(key), version},
                                        PgConnection::Access::Write, sql);
    if (r.changed() == 0) {
        PgResult now = db_->connection().exec(
            "SELECT 1 FROM " + serverTable_ + " WHERE \"ID\" = $1", {std::to_string(key)});
        if (now.rows() == 0) {
            forgetDeleted(pos_);
            throw EngineError(err::RowDeleted, "Another user had already deleted this row.");
        }
        dropPage(pos_);
        throw EngineError(err::WriteConflict,
                          "Another user changed this row since you read it, so it was not "
                          "deleted. It now shows their values: delete it again if it is still "
                          "to go.");
    }
    forgetDeleted(pos_);
}

void PgRecordset::FindFirst(const std::string& criterion) {
    const std::string sql =
        db_->translate("SELECT [ID] FROM " + serverTable_ + " WHERE " + criterion);
    PgResult r = db_->connection().exec(sql, {}, PgConnection::Access::Read, criterion);
    std::unordered_set<std::int64_t> hits;
    for (int i = 0; i < r.rows(); ++i)
        hits.insert(r.integer(i, 0));
    moveToFirstOf(hits);
}

std::string PgRecordset::goneText() const {
    return "Another user deleted this row since you read it, so your change was not saved.";
}

Recordset::RowWrite PgRecordset::writeRow(std::int64_t key, const std::string& version,
                                          const Changes& changes, long near) {
    requireWritable();
    RowWrite w;
    if (changes.empty())
        return w;
    prepared_.rows.erase(key); // read before this write: never shown after it
    waitForIdle();
    const std::string id = std::to_string(key);
    if (!version.empty()) {
        PgParams params;
        std::string sql = "UPDATE " + serverTable_ + " SET ";
        for (std::size_t i = 0; i < changes.size(); ++i) {
            const Value v = coerce(changes[i].first, changes[i].second);
            params.push_back(v.isNull() ? std::nullopt
                                        : std::optional<std::string>(v.storedText()));
            sql += (i ? ", " : "") +
                   PgDialect::quote(fieldNames_.at(std::size_t(changes[i].first))) + " = $" +
                   std::to_string(i + 1);
        }
        params.push_back(id);
        params.push_back(version);
        sql += " WHERE \"ID\" = $" + std::to_string(changes.size() + 1) + " AND xmin = $" +
               std::to_string(changes.size() + 2) + "::xid RETURNING xmin, *";
        PgResult r = db_->connection().exec(sql, params, PgConnection::Access::Write, sql);
        if (r.changed() > 0) {
            // The row as saved, at its new version: what this user now sees.
            Row saved = rowOf(r, 0, 1);
            w.version = saved.back().storedText();
            if (Row* row = cachedRow(findKey(key, near)))
                *row = std::move(saved);
            return w;
        }
    }
    // Not written: read again, so that the other user's row is shown from
    // now on and the question can name both values.
    if (const long index = findKey(key, near); index >= 0)
        dropPage(index);
    PgResult now =
        db_->connection().exec("SELECT xmin, * FROM " + serverTable_ + " WHERE \"ID\" = $1", {id});
    if (now.rows() == 0) {
        w.outcome = RowWrite::Outcome::Deleted;
        return w;
    }
    w.outcome = RowWrite::Outcome::Conflict;
    w.theirs = rowOf(now, 0, 1);
    w.version = w.theirs.back().storedText();
    w.theirs.pop_back();
    return w;
}

} // namespace engine
