// A table's history read back, and a change undone or a deletion brought
// back through the same writes an edit makes: the row's version is
// checked on the server, and the restore makes an entry of its own.
#include "History.h"

#include "Database.h"
#include "EngineError.h"
#include "Query.h"
#include "Recordset.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>

namespace engine {

namespace {

bool same(const Value& a, const Value& b) {
    if (a.isNull() || b.isNull())
        return a.isNull() && b.isNull();
    if (a.isNumber() || b.isNumber())
        return a.isNumber() && b.isNumber() && a.toReal() == b.toReal();
    return a.toText() == b.toText();
}

void bind(Query& q, int parameter, const Value& v) {
    if (v.isNull())
        q.bindNull(parameter);
    else if (v.isNumber())
        q.bindNumber(parameter, v.toReal());
    else
        q.bindText(parameter, v.toText());
}

// A server keeps each value as its text: a number column's reads back as
// the number it was, exactly.
Value typed(const Value& v, bool numeric) {
    if (!numeric || v.type() != Value::Type::Text)
        return v;
    const std::string& t = v.toText();
    std::int64_t i = 0;
    if (auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), i);
        ec == std::errc() && p == t.data() + t.size())
        return Value::integer(i);
    double d = 0;
    if (auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
        ec == std::errc() && p == t.data() + t.size())
        return Value::real(d);
    return v;
}

} // namespace

History::History(Database& db, std::string table) : db_(db), table_(std::move(table)) {}

std::string History::exactText(const Value& v) {
    if (v.type() == Value::Type::Real) {
        char buf[40];
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v.toReal());
        std::string s(buf, ec == std::errc() ? end : buf);
        if (s.find_first_of(".eEn") == std::string::npos)
            s += ".0";
        return s;
    }
    return v.storedText();
}

bool History::kept() {
    try {
        Query q(db_, "SELECT entry FROM [" + table_ + "_history] WHERE entry = 0");
        q.next();
        return true;
    } catch (const EngineError&) {
        return false;
    }
}

std::vector<HistoryEntry> History::entries(const std::string& condition, std::int64_t key,
                                           int limit) {
    std::string sql = "SELECT entry, made, account, kind, sample, row_count FROM [" + table_ +
                      "_history]" + (condition.empty() ? "" : " WHERE " + condition) +
                      " ORDER BY entry DESC";
    if (limit > 0)
        sql += " LIMIT " + std::to_string(limit);
    Query q(db_, sql);
    if (condition.find("?1") != std::string::npos)
        q.bindNumber(1, static_cast<double>(key));
    std::vector<HistoryEntry> out;
    while (q.next()) {
        HistoryEntry e;
        e.entry = q.integer(0);
        e.made = q.value(1).toText();
        e.account = q.value(2).toText();
        e.kind = q.value(3).toText();
        e.sample = q.integer(4);
        e.rows = q.value(5).isNull() ? 0 : q.integer(5);
        out.push_back(std::move(e));
    }
    for (HistoryEntry& e : out)
        readColumns(e);
    return out;
}

void History::readColumns(HistoryEntry& e) {
    {
        Query q(db_, "SELECT name, before_value, after_value FROM [" + table_ +
                         "_history_columns] WHERE entry = ?1");
        q.bindNumber(1, static_cast<double>(e.entry));
        while (q.next())
            e.columns.push_back({q.value(0).toText(), q.value(1), q.value(2)});
    }
    // In the table's own order, as the grid shows them.
    const std::vector<Database::Column>& columns = db_.columns(table_);
    auto place = [&](const std::string& name) {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (columns[i].name == name)
                return i;
        return columns.size();
    };
    std::stable_sort(e.columns.begin(), e.columns.end(),
                     [&](const auto& a, const auto& b) { return place(a.name) < place(b.name); });
    for (HistoryEntry::Column& c : e.columns) {
        const std::size_t at = place(c.name);
        const bool numeric = at < columns.size() && columns[at].numeric;
        c.before = typed(c.before, numeric);
        c.after = typed(c.after, numeric);
    }
    if (e.kind != "deleted")
        return;
    {
        // A file that never held values has no dictionaries to join.
        Query n(db_, "SELECT count(*) FROM [" + table_ + "_history_values] WHERE entry = ?1");
        n.bindNumber(1, static_cast<double>(e.entry));
        if (!n.next() || n.integer(0) == 0)
            return;
    }
    Query q(db_, "SELECT c.analyte, c.unit, c.method, v.qualifier, v.value, v.text, v.uncertainty, "
                 "r.text FROM ([" +
                     table_ +
                     "_history_values] AS v INNER JOIN quarzel_channel AS c ON c.code = "
                     "v.channel) LEFT JOIN quarzel_reference AS r ON r.code = v.reference WHERE "
                     "v.entry = ?1 ORDER BY v.seq");
    q.bindNumber(1, static_cast<double>(e.entry));
    while (q.next()) {
        SampleValue v;
        v.analyte = q.value(0).toText();
        v.unit = q.value(1).toText();
        v.method = q.value(2).toText();
        const std::string qualifier = q.value(3).toText();
        v.qualifier = qualifier.empty() ? 0 : qualifier[0];
        if (!q.value(4).isNull())
            v.value = q.number(4);
        v.text = q.value(5).toText();
        if (!q.value(6).isNull())
            v.uncertainty = q.number(6);
        v.reference = q.value(7).toText();
        e.values.push_back(std::move(v));
    }
}

std::vector<HistoryEntry> History::ofSample(std::int64_t key) {
    return entries("sample = ?1", key, 0);
}

std::vector<HistoryEntry> History::recent(int limit, bool deletedOnly) {
    return entries(deletedOnly
                       ? "kind = 'deleted' AND NOT EXISTS (SELECT 1 FROM [" + table_ + "] WHERE [" +
                             table_ + "].[ID] = [" + table_ + "_history].sample)"
                       : std::string(),
                   0, limit);
}

History::Restored History::undo(const HistoryEntry& change) {
    Restored r;
    r.key = change.sample;
    std::unique_ptr<Recordset> rs = db_.OpenRecordset(
        "SELECT * FROM [" + table_ + "] WHERE [ID] = " + std::to_string(change.sample));
    rs->waitForKeys(std::chrono::hours(1));
    if (rs->RecordCount() == 0) {
        r.outcome = Restored::Outcome::Deleted;
        return r;
    }
    const std::vector<std::string>& names = rs->FieldNames();
    Recordset::Changes changes;
    for (const HistoryEntry::Column& c : change.columns) {
        const auto at = std::find(names.begin(), names.end(), c.name);
        if (at == names.end() || c.name == "ID")
            continue;
        const int column = static_cast<int>(at - names.begin());
        const Value& now = rs->valueAt(0, column);
        if (!same(now, c.after))
            r.theirs.push_back({c.name, now, c.after});
        changes.emplace_back(column, exactText(c.before));
    }
    if (!r.theirs.empty()) {
        r.outcome = Restored::Outcome::Conflict;
        return r;
    }
    const Recordset::RowWrite w = rs->writeRow(change.sample, rs->versionAt(0), changes, 0);
    if (w.outcome == Recordset::RowWrite::Outcome::Deleted) {
        r.outcome = Restored::Outcome::Deleted;
    } else if (w.outcome == Recordset::RowWrite::Outcome::Conflict) {
        r.outcome = Restored::Outcome::Conflict;
        for (const auto& [column, text] : changes) {
            const Value& theirs = w.theirs[static_cast<std::size_t>(column)];
            for (const HistoryEntry::Column& c : change.columns)
                if (c.name == names[static_cast<std::size_t>(column)] && !same(theirs, c.after))
                    r.theirs.push_back({c.name, theirs, c.after});
        }
    }
    return r;
}

History::Restored History::bringBack(const HistoryEntry& deletion) {
    Restored r;
    db_.Begin();
    try {
        bool free = true;
        {
            Query q(db_, "SELECT count(*) FROM [" + table_ + "] WHERE [ID] = ?1");
            q.bindNumber(1, static_cast<double>(deletion.sample));
            free = q.next() && q.integer(0) == 0;
        }
        std::vector<const HistoryEntry::Column*> columns;
        for (const HistoryEntry::Column& c : deletion.columns)
            if (c.name != "ID")
                columns.push_back(&c);
        std::string names = free ? "[ID]" : "";
        std::string params = free ? "?1" : "";
        int p = free ? 1 : 0;
        for (const HistoryEntry::Column* c : columns) {
            names += (names.empty() ? "[" : ", [") + c->name + "]";
            params += (params.empty() ? "?" : ", ?") + std::to_string(++p);
        }
        Query q(db_, "INSERT INTO [" + table_ + "] (" + names + ") VALUES (" + params +
                         ") RETURNING [ID]");
        p = 0;
        if (free)
            q.bindNumber(++p, static_cast<double>(deletion.sample));
        for (const HistoryEntry::Column* c : columns)
            bind(q, ++p, c->before);
        q.next();
        r.key = q.integer(0);
        q.next();
        if (!deletion.values.empty())
            db_.addValues(table_, r.key, deletion.values);
        db_.Commit();
    } catch (...) {
        db_.Rollback();
        throw;
    }
    return r;
}

} // namespace engine
