// The file's store of values beside each table (see SqliteValueStore.h).
#include "SqliteValueStore.h"
#include "platform/db/SqlText.h"

#include "SqliteDatabase.h"
#include "platform/db/EngineMessages.h"
#include "platform/db/SelectText.h"
#include "platform/db/ValueRules.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <tuple>
#include <unordered_map>
#include <utility>

namespace engine {

namespace {

std::string valuesTable(const std::string& table) {
    return table + "_values";
}

void bindText(sqlite3_stmt* s, int i, const std::string& text) {
    if (text.empty())
        sqlite3_bind_null(s, i);
    else
        sqlite3_bind_text(s, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void bindNumber(sqlite3_stmt* s, int i, const std::optional<double>& v) {
    if (v)
        sqlite3_bind_double(s, i, *v);
    else
        sqlite3_bind_null(s, i);
}

std::string columnText(sqlite3_stmt* s, int i) {
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
    return t ? std::string(t, static_cast<std::size_t>(sqlite3_column_bytes(s, i))) : std::string();
}

std::optional<double> columnNumber(sqlite3_stmt* s, int i) {
    if (sqlite3_column_type(s, i) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_double(s, i);
}

// A read's dictionary entries: the few references' texts, each looked up
// once rather than joined to every value, and the rest of a value from its
// row's columns.
class References {
public:
    References(SqliteDatabase& db, const std::string& shown)
        : db_(db), shown_(shown),
          statement_(db.prepareUser("SELECT text FROM quarzel_reference WHERE code = ?1", shown)) {}

    // The qualifier, number, words, uncertainty and reference, from the
    // row's column `first` on.
    void readRest(sqlite3_stmt* r, int first, SampleValue& v) {
        const auto* q = reinterpret_cast<const char*>(sqlite3_column_text(r, first));
        v.qualifier = q && *q ? q[0] : 0;
        v.value = columnNumber(r, first + 1);
        v.text = columnText(r, first + 2);
        v.uncertainty = columnNumber(r, first + 3);
        if (sqlite3_column_type(r, first + 4) == SQLITE_NULL)
            v.reference.clear();
        else
            v.reference = text(sqlite3_column_int64(r, first + 4));
    }

private:
    const std::string& text(std::int64_t code) {
        auto it = texts_.find(code);
        if (it == texts_.end()) {
            sqlite3_reset(statement_.get());
            sqlite3_bind_int64(statement_.get(), 1, code);
            const int rc = sqlite3_step(statement_.get());
            if (rc != SQLITE_ROW && rc != SQLITE_DONE)
                db_.fail(rc, shown_, SqliteDatabase::Access::Read);
            it = texts_.emplace(code, rc == SQLITE_ROW ? columnText(statement_.get(), 0) : "")
                     .first;
        }
        return it->second;
    }

    SqliteDatabase& db_;
    const std::string& shown_;
    Statement statement_;
    std::unordered_map<std::int64_t, std::string> texts_;
};

// Cached statements are prepared with the authorizer off, and SQLite
// prepares them again after any change of the schema: their steps run with
// it off too, the rights having been checked before.
class AuthorizerOff {
public:
    explicit AuthorizerOff(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
    ~AuthorizerOff() { flag_ = was_; }

private:
    bool& flag_;
    bool was_;
};

} // namespace

Statement SqliteValueStore::prepare(const std::string& sql) {
    return db_.prepareInternal(sql.c_str());
}

void SqliteValueStore::forget() {
    tables_.clear();
    statements_.clear();
    channels_.clear();
    references_.clear();
}

bool SqliteValueStore::hasTable(const std::string& table) {
    const std::string key = asciiLower(table);
    if (const auto it = tables_.find(key); it != tables_.end())
        return it->second;
    Statement s = prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 "
                          "COLLATE NOCASE");
    bindText(s.get(), 1, valuesTable(table));
    AuthorizerOff scope(db_.internal_);
    // Only their being there is kept: another connection (an import's)
    // may make them at any time.
    const bool there = sqlite3_step(s.get()) == SQLITE_ROW;
    if (there)
        tables_[key] = true;
    return there;
}

void SqliteValueStore::createTables(const std::string& table) {
    const std::string v = "[" + valuesTable(table) + "]";
    const std::string statements[] = {
        "CREATE TABLE IF NOT EXISTS quarzel_channel (code INTEGER PRIMARY KEY, analyte TEXT NOT "
        "NULL, unit TEXT NOT NULL, method TEXT NOT NULL, UNIQUE (analyte, unit, method))",
        "CREATE TABLE IF NOT EXISTS quarzel_reference (code INTEGER PRIMARY KEY, text TEXT NOT "
        "NULL UNIQUE)",
        // A value's number, words, qualifier and uncertainty are Null when
        // it has none: a Null costs nothing but its byte in the row header.
        "CREATE TABLE " + v +
            " (sample INTEGER NOT NULL, seq INTEGER NOT NULL, channel INTEGER NOT NULL, "
            "qualifier TEXT, value REAL, text TEXT, uncertainty REAL, reference INTEGER, "
            "PRIMARY KEY (sample, seq)) WITHOUT ROWID",
        "CREATE INDEX [" + valuesTable(table) + "_channel] ON " + v + " (channel)",
        "CREATE TRIGGER [" + valuesTable(table) + "_delete] AFTER DELETE ON [" + table +
            "] BEGIN DELETE FROM " + v + " WHERE sample = old.[ID]; END",
    };
    for (const std::string& sql : statements)
        db_.execInternal(sql.c_str());
    tables_[asciiLower(table)] = true;
    db_.history_->valuesTableMade(table); // its deletions now keep the values too
}

std::int64_t SqliteValueStore::channelId(const SampleValue& v) {
    if (const auto it = channels_.find(std::tie(v.analyte, v.unit, v.method));
        it != channels_.end())
        return it->second;
    auto key = std::make_tuple(v.analyte, v.unit, v.method);
    if (!findChannel_) {
        findChannel_ = prepare(
            "SELECT code FROM quarzel_channel WHERE analyte = ?1 AND unit = ?2 AND method = ?3");
        addChannel_ =
            prepare("INSERT INTO quarzel_channel (analyte, unit, method) VALUES (?1, ?2, ?3)");
    }
    std::int64_t id = 0;
    for (sqlite3_stmt* s : {findChannel_.get(), addChannel_.get()}) {
        sqlite3_reset(s);
        sqlite3_bind_text(s, 1, v.analyte.data(), static_cast<int>(v.analyte.size()),
                          SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 2, v.unit.data(), static_cast<int>(v.unit.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 3, v.method.data(), static_cast<int>(v.method.size()),
                          SQLITE_TRANSIENT);
    }
    {
        AuthorizerOff scope(db_.internal_);
        const int rc = sqlite3_step(findChannel_.get());
        if (rc == SQLITE_ROW)
            id = sqlite3_column_int64(findChannel_.get(), 0);
        sqlite3_reset(findChannel_.get());
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            db_.fail(rc, "quarzel_channel");
        if (rc == SQLITE_DONE) {
            db_.stepWrite(addChannel_, "quarzel_channel");
            id = sqlite3_last_insert_rowid(db_.handle());
        }
    }
    channels_.emplace(std::move(key), id);
    return id;
}

std::int64_t SqliteValueStore::referenceId(const std::string& text) {
    if (text.empty())
        return 0;
    if (const auto it = references_.find(text); it != references_.end())
        return it->second;
    if (!findReference_) {
        findReference_ = prepare("SELECT code FROM quarzel_reference WHERE text = ?1");
        addReference_ = prepare("INSERT INTO quarzel_reference (text) VALUES (?1)");
    }
    std::int64_t id = 0;
    for (sqlite3_stmt* s : {findReference_.get(), addReference_.get()}) {
        sqlite3_reset(s);
        sqlite3_bind_text(s, 1, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    {
        AuthorizerOff scope(db_.internal_);
        const int rc = sqlite3_step(findReference_.get());
        if (rc == SQLITE_ROW)
            id = sqlite3_column_int64(findReference_.get(), 0);
        sqlite3_reset(findReference_.get());
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            db_.fail(rc, "quarzel_reference");
        if (rc == SQLITE_DONE) {
            db_.stepWrite(addReference_, "quarzel_reference");
            id = sqlite3_last_insert_rowid(db_.handle());
        }
    }
    references_.emplace(text, id);
    return id;
}

void SqliteValueStore::add(const std::string& table, std::int64_t sample,
                           const std::vector<SampleValue>& values) {
    add(table, {{sample, &values}});
}

void SqliteValueStore::add(const std::string& table,
                           const std::vector<Database::SampleValues>& samples) {
    if (db_.columns(table).empty())
        throw msg::tableNotFound(table);
    if (!db_.workgroup_.permissions(table).insert)
        throw msg::noPermission("insert", table);
    if (db_.readOnly_)
        throw EngineError(err::ReadOnly, "Cannot update. Database or object is read-only.");
    if (!db_.inTransaction())
        throw msg::valuesOutsideTransaction();
    bool any = false;
    for (const auto& [sample, values] : samples) {
        ValueRules::check(table, sample, *values);
        any = any || !values->empty();
    }
    if (!any)
        return;
    if (!hasTable(table))
        createTables(table);
    TableStatements& st = statements_[asciiLower(table)];
    if (!st.insert) {
        const std::string v = "[" + valuesTable(table) + "]";
        st.rowThere = prepare("SELECT 1 FROM [" + table + "] WHERE [ID] = ?1");
        st.lastSeq = prepare("SELECT coalesce(max(seq), 0) FROM " + v + " WHERE sample = ?1");
        st.insert = prepare("INSERT INTO " + v +
                            " (sample, seq, channel, qualifier, value, text, uncertainty, "
                            "reference) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    }
    for (const auto& [sample, values] : samples)
        if (!values->empty())
            write(table, st, sample, *values);
}

void SqliteValueStore::write(const std::string& table, TableStatements& st, std::int64_t sample,
                             const std::vector<SampleValue>& values) {
    std::int64_t seq = 0;
    {
        AuthorizerOff scope(db_.internal_);
        sqlite3_bind_int64(st.rowThere.get(), 1, sample);
        const int there = sqlite3_step(st.rowThere.get());
        sqlite3_reset(st.rowThere.get());
        if (there == SQLITE_DONE)
            throw msg::noSuchSample(table, sample);
        if (there != SQLITE_ROW)
            db_.fail(there, table, SqliteDatabase::Access::Read);
        sqlite3_bind_int64(st.lastSeq.get(), 1, sample);
        const int rc = sqlite3_step(st.lastSeq.get());
        if (rc == SQLITE_ROW)
            seq = sqlite3_column_int64(st.lastSeq.get(), 0);
        sqlite3_reset(st.lastSeq.get());
        if (rc != SQLITE_ROW)
            db_.fail(rc, table, SqliteDatabase::Access::Read);
    }
    sqlite3_stmt* s = st.insert.get();
    for (const SampleValue& v : values) {
        const std::int64_t channel = channelId(v);
        const std::int64_t reference = referenceId(v.reference);
        sqlite3_bind_int64(s, 1, sample);
        sqlite3_bind_int64(s, 2, ++seq);
        sqlite3_bind_int64(s, 3, channel);
        bindText(s, 4, v.qualifier ? std::string(1, v.qualifier) : std::string());
        bindNumber(s, 5, v.value);
        bindText(s, 6, v.text);
        bindNumber(s, 7, v.uncertainty);
        if (reference)
            sqlite3_bind_int64(s, 8, reference);
        else
            sqlite3_bind_null(s, 8);
        AuthorizerOff scope(db_.internal_);
        db_.stepWrite(st.insert, valuesTable(table));
    }
}

void SqliteValueStore::read(const std::string& table, const std::string& where,
                            const std::function<bool(const StoredValue&)>& each,
                            const std::vector<std::string>& analytes,
                            const Database::KeyRange* keys) {
    if (db_.columns(table).empty())
        throw msg::tableNotFound(table);
    if (!db_.workgroup_.permissions(table).read)
        throw msg::noPermission("read", table);
    const std::string condition = "SELECT [ID] FROM [" + table + "] Where (" + where + ")";
    if (!hasTable(table)) { // a file made before the store: no values, but a bad condition is told
        if (!where.empty())
            db_.prepareUser(condition, condition);
        return;
    }
    if (!analytes.empty() && !keys)
        return readChannels(table, where.empty() ? std::string() : condition, each, analytes);
    const std::string& shown = where.empty() ? table : condition;
    // One state of the file for the names and the values.
    const bool own = db_.openReadTransaction();
    struct Close {
        SqliteDatabase& db;
        bool own;
        ~Close() {
            if (own)
                db.closeReadTransaction();
        }
    } close{db_, own};
    // The channels' names, read once: joined, each would be looked up for
    // every value.
    struct Names {
        std::string analyte, unit, method;
    };
    std::unordered_map<std::int64_t, Names> names;
    {
        Statement s = db_.prepareUser(
            "SELECT c.code, c.analyte, c.unit, c.method FROM quarzel_channel AS c" +
                (analytes.empty() ? "" : " WHERE " + SelectText::analyteFilter(analytes)),
            shown);
        int rc;
        while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
            names.emplace(sqlite3_column_int64(s.get(), 0),
                          Names{columnText(s.get(), 1), columnText(s.get(), 2),
                                columnText(s.get(), 3)});
        }
        if (rc != SQLITE_DONE)
            db_.fail(rc, shown, SqliteDatabase::Access::Read);
    }
    if (names.empty()) {
        if (!where.empty())
            db_.prepareUser(condition, condition); // a bad condition is told all the same
        return;
    }
    std::string sql = "SELECT v.sample, v.channel, v.qualifier, v.value, v.text, v.uncertainty, "
                      "v.reference FROM [" +
                      valuesTable(table) + "] AS v";
    std::string filter;
    // A range is read along the key, its channels picked as it goes (the
    // unary plus keeps the channel's index out): that index would visit
    // every sample's pages once per analyte, and sort them after.
    if (!analytes.empty()) {
        filter = "+v.channel IN (";
        for (const auto& n : names)
            filter += (filter.back() == '(' ? "" : ", ") + std::to_string(n.first);
        filter += ")";
    }
    if (keys)
        filter +=
            (filter.empty() ? "" : " AND ") + SelectText::sampleRange(keys->first, keys->last);
    if (!where.empty())
        filter += (filter.empty() ? "" : " AND ") + std::string("v.sample IN (") + condition + ")";
    if (!filter.empty())
        sql += " WHERE " + filter;
    sql += " ORDER BY v.sample, v.seq";
    // Under the account's rights: the condition is the caller's.
    Statement s = db_.prepareUser(sql, shown);
    References references(db_, shown);
    StoredValue out;
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        sqlite3_stmt* r = s.get();
        const auto name = names.find(sqlite3_column_int64(r, 1));
        if (name == names.end())
            continue; // no value of a damaged file's without its channel: as a join drops it
        out.sample = sqlite3_column_int64(r, 0);
        SampleValue& v = out.value;
        v.analyte = name->second.analyte;
        v.unit = name->second.unit;
        v.method = name->second.method;
        references.readRest(r, 2, v);
        if (!each(out))
            return;
    }
    if (rc != SQLITE_DONE)
        db_.fail(rc, shown, SqliteDatabase::Access::Read);
}

void SqliteValueStore::readChannels(const std::string& table, const std::string& condition,
                                    const std::function<bool(const StoredValue&)>& each,
                                    const std::vector<std::string>& analytes) {
    const std::string& shown = condition.empty() ? table : condition;
    const bool own = db_.openReadTransaction(); // one state of the file for every statement
    struct Close {
        SqliteDatabase& db;
        bool own;
        ~Close() {
            if (own)
                db.closeReadTransaction();
        }
    } close{db_, own};
    struct Channel {
        std::string analyte, unit, method;
        Statement rows;
        bool more = false;
        std::int64_t sample = 0, seq = 0;
    };
    std::vector<Channel> channels;
    {
        Statement s = db_.prepareUser("SELECT c.code, c.analyte, c.unit, c.method FROM "
                                      "quarzel_channel AS c WHERE " +
                                          SelectText::analyteFilter(analytes),
                                      shown);
        int rc;
        while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
            // Under the account's rights: the condition is the caller's.
            std::string sql = "SELECT v.sample, v.seq, v.qualifier, v.value, v.text, "
                              "v.uncertainty, v.reference FROM [" +
                              valuesTable(table) + "] AS v WHERE v.channel = " +
                              std::to_string(sqlite3_column_int64(s.get(), 0));
            if (!condition.empty())
                sql += " AND v.sample IN (" + condition + ")";
            channels.push_back({columnText(s.get(), 1), columnText(s.get(), 2),
                                columnText(s.get(), 3),
                                db_.prepareUser(sql + " ORDER BY v.sample, v.seq", shown)});
        }
        if (rc != SQLITE_DONE)
            db_.fail(rc, shown, SqliteDatabase::Access::Read);
    }
    if (channels.empty() && !condition.empty())
        db_.prepareUser(condition, condition); // a bad condition is told all the same
    References references(db_, shown);
    auto step = [&](Channel& c) {
        const int rc = sqlite3_step(c.rows.get());
        c.more = rc == SQLITE_ROW;
        if (c.more) {
            c.sample = sqlite3_column_int64(c.rows.get(), 0);
            c.seq = sqlite3_column_int64(c.rows.get(), 1);
        } else if (rc != SQLITE_DONE) {
            db_.fail(rc, shown, SqliteDatabase::Access::Read);
        }
    };
    for (Channel& c : channels)
        step(c);
    // Each channel's values come in the order of sample and sequence:
    // merged, so do all of them.
    StoredValue out;
    for (;;) {
        Channel* next = nullptr;
        for (Channel& c : channels)
            if (c.more && (!next || std::tie(c.sample, c.seq) < std::tie(next->sample, next->seq)))
                next = &c;
        if (!next)
            return;
        sqlite3_stmt* r = next->rows.get();
        out.sample = next->sample;
        SampleValue& v = out.value;
        v.analyte = next->analyte;
        v.unit = next->unit;
        v.method = next->method;
        references.readRest(r, 2, v);
        if (!each(out))
            return;
        step(*next);
    }
}

std::vector<Database::AnalyteCount> SqliteValueStore::analytes(const std::string& table,
                                                               bool counted) {
    std::vector<Database::AnalyteCount> out;
    if (db_.columns(table).empty())
        throw msg::tableNotFound(table);
    if (!db_.workgroup_.permissions(table).read)
        throw msg::noPermission("read", table);
    if (!hasTable(table))
        return out;
    const std::string v = "[" + valuesTable(table) + "]";
    Statement s = db_.prepareUser(
        counted ? "SELECT c.analyte, c.unit, c.code, count(*) FROM " + v +
                      " AS v JOIN quarzel_channel AS c ON c.code = v.channel "
                      "GROUP BY c.code ORDER BY c.analyte, c.unit, c.code"
                : SelectText::heldChannels(v) +
                      "SELECT c.analyte, c.unit, c.code, 0 FROM held JOIN quarzel_channel AS c ON "
                      "c.code = held.code ORDER BY c.analyte, c.unit, c.code",
        table);
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW)
        Database::AnalyteCount::addChannel(out, columnText(s.get(), 0), columnText(s.get(), 1),
                                           sqlite3_column_int64(s.get(), 2),
                                           sqlite3_column_int64(s.get(), 3));
    if (rc != SQLITE_DONE)
        db_.fail(rc, table, SqliteDatabase::Access::Read);
    return out;
}

} // namespace engine
