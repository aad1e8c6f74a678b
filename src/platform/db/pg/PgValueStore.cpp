// The server's store of values beside each table (see PgValueStore.h).
#include "PgValueStore.h"

#include "PgDatabase.h"
#include "platform/db/EngineMessages.h"
#include "platform/db/SelectText.h"
#include "platform/db/ValueRules.h"

#include <charconv>
#include <cstring>
#include <string>

namespace engine {

namespace {

constexpr int kFetch = 4096;
// Parameters a statement of values takes: libpq takes 65535 at most, and a
// statement this long is read in a moment still.
constexpr std::size_t kParameters = 32768;

// The sample a refused foreign key names ("Key (sample)=(42) is not
// present..."), or the fallback when the server's words do not say.
std::int64_t missingSample(const PgResult& r, std::int64_t fallback) {
    const char* detail = PQresultErrorField(r.get(), PG_DIAG_MESSAGE_DETAIL);
    if (!detail)
        return fallback;
    const char* at = std::strstr(detail, "=(");
    if (!at)
        return fallback;
    std::int64_t sample = 0;
    const char* from = at + 2;
    const auto [end, ec] = std::from_chars(from, from + std::strlen(from), sample);
    return ec == std::errc() && *end == ')' ? sample : fallback;
}

std::string numberText(double v) {
    char buf[40];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, ec == std::errc() ? end : buf);
}

std::optional<double> cellNumber(const PgResult& r, int row, int c) {
    if (r.isNull(row, c))
        return std::nullopt;
    // The server writes a float8 in its shortest exact form; read it so,
    // whatever the process's locale.
    const char* t = r.text(row, c);
    double v = 0;
    std::from_chars(t, t + std::char_traits<char>::length(t), v);
    return v;
}

std::string cellText(const PgResult& r, int row, int c) {
    return r.isNull(row, c) ? std::string() : std::string(r.text(row, c));
}

std::optional<std::string> textOrNull(const std::string& s) {
    if (s.empty())
        return std::nullopt;
    return s;
}

} // namespace

void PgValueStore::forget() {
    channels_.clear();
    references_.clear();
}

std::string PgValueStore::valuesTable(const std::string& table) const {
    try {
        return db_.tableName(db_.tableName(table) + "_values");
    } catch (const EngineError&) {
        return {};
    }
}

std::int64_t PgValueStore::channelId(const SampleValue& v) {
    if (const auto it = channels_.find(std::tie(v.analyte, v.unit, v.method));
        it != channels_.end())
        return it->second;
    auto key = std::make_tuple(v.analyte, v.unit, v.method);
    PgConnection& conn = db_.connection();
    const PgParams params{v.analyte, v.unit, v.method};
    PgResult r = conn.exec("INSERT INTO public.quarzel_channel (analyte, unit, method) VALUES ($1, "
                           "$2, $3) ON CONFLICT (analyte, unit, method) DO NOTHING RETURNING code",
                           params, PgConnection::Access::Write, "quarzel_channel");
    // Already there (perhaps added meanwhile by another writer, whose
    // commit the insert waited for): this statement's snapshot sees it.
    if (r.rows() == 0)
        r = conn.exec(
            "SELECT code FROM public.quarzel_channel WHERE analyte = $1 AND unit = $2 AND "
            "method = $3",
            params, PgConnection::Access::Write, "quarzel_channel");
    const std::int64_t id = r.integer(0, 0);
    channels_.emplace(std::move(key), id);
    return id;
}

std::int64_t PgValueStore::referenceId(const std::string& text) {
    if (text.empty())
        return 0;
    if (const auto it = references_.find(text); it != references_.end())
        return it->second;
    PgConnection& conn = db_.connection();
    PgResult r = conn.exec("INSERT INTO public.quarzel_reference (text) VALUES ($1) ON CONFLICT "
                           "(md5(text)) DO NOTHING RETURNING code",
                           {text}, PgConnection::Access::Write, "quarzel_reference");
    if (r.rows() == 0)
        r = conn.exec("SELECT code FROM public.quarzel_reference WHERE md5(text) = md5($1) AND "
                      "text = $1",
                      {text}, PgConnection::Access::Write, "quarzel_reference");
    const std::int64_t id = r.integer(0, 0);
    references_.emplace(text, id);
    return id;
}

void PgValueStore::add(const std::string& table, std::int64_t sample,
                       const std::vector<SampleValue>& values) {
    add(table, {{sample, &values}});
}

void PgValueStore::add(const std::string& table,
                       const std::vector<Database::SampleValues>& samples) {
    const std::string name = db_.tableName(table);
    if (!db_.hasRight(name, "INSERT"))
        throw msg::noPermission("insert", name);
    if (db_.readOnly())
        throw EngineError(err::ReadOnly, "Cannot update. Database or object is read-only.");
    if (!db_.connection().inTransaction())
        throw msg::valuesOutsideTransaction();
    bool any = false;
    for (const auto& [sample, values] : samples) {
        ValueRules::check(name, sample, *values);
        any = any || !values->empty();
    }
    if (!any)
        return;
    const std::string v = valuesTable(name);
    if (v.empty())
        throw EngineError(err::TableNotFound,
                          "The collection on the server keeps no values beside '" + name +
                              "': it was made before they were kept. Nothing was added.");
    // Whole numbers and ids go in the text; numbers and words as
    // parameters, four a value.
    const std::string head = "INSERT INTO " + PgDialect::quote(v) +
                             " (sample, channel, qualifier, value, text, uncertainty, reference) "
                             "VALUES ";
    std::string sql;
    PgParams params;
    PgConnection& conn = db_.connection();
    auto send = [&] {
        PgResult r = conn.tryExec(sql, params);
        if (!r.ok()) {
            if (r.state() == "23503") // a sample's row is not there
                throw msg::noSuchSample(name, missingSample(r, samples.front().first));
            throw conn.error(r, PgConnection::Access::Write, v, sql);
        }
        sql.clear();
        params.clear();
    };
    for (const auto& [sample, values] : samples) {
        const std::string id = std::to_string(sample);
        for (const SampleValue& x : *values) {
            const std::int64_t reference = referenceId(x.reference);
            sql += sql.empty() ? head + "(" : ", (";
            sql += id + ", " + std::to_string(channelId(x));
            for (int p = 0; p < 4; ++p)
                sql += ", $" + std::to_string(params.size() + static_cast<std::size_t>(p) + 1) +
                       (p == 1 || p == 3 ? "::float8" : "");
            sql += ", " + (reference ? std::to_string(reference) : std::string("NULL")) + ")";
            params.push_back(x.qualifier ? std::optional<std::string>(std::string(1, x.qualifier))
                                         : std::nullopt);
            params.push_back(x.value ? std::optional<std::string>(numberText(*x.value))
                                     : std::nullopt);
            params.push_back(textOrNull(x.text));
            params.push_back(x.uncertainty ? std::optional<std::string>(numberText(*x.uncertainty))
                                           : std::nullopt);
            if (params.size() >= kParameters)
                send();
        }
    }
    if (!sql.empty())
        send();
}

void PgValueStore::read(const std::string& table, const std::string& where,
                        const std::function<bool(const StoredValue&)>& each,
                        const std::vector<std::string>& analytes, const Database::KeyRange* keys) {
    const std::string name = db_.tableName(table);
    if (!db_.hasRight(name, "SELECT"))
        throw msg::noPermission("read", name);
    const std::string v = valuesTable(name);
    if (v.empty())
        return;
    const std::string condition = "SELECT [ID] FROM [" + name + "] Where (" + where + ")";
    std::string sql = "SELECT v.sample, c.analyte, c.unit, c.method, v.qualifier, v.value, v.text, "
                      "v.uncertainty, r.text FROM " +
                      PgDialect::quote(v) +
                      " v JOIN public.quarzel_channel c ON c.code = v.channel LEFT JOIN "
                      "public.quarzel_reference r ON r.code = v.reference";
    std::string filter = SelectText::analyteFilter(analytes);
    if (keys)
        filter +=
            (filter.empty() ? "" : " AND ") + SelectText::sampleRange(keys->first, keys->last);
    if (!where.empty())
        filter += (filter.empty() ? "" : " AND ") + std::string("v.sample IN (") +
                  db_.translate(condition) + ")";
    if (!filter.empty())
        sql += " WHERE " + filter;
    sql += " ORDER BY v.sample, v.seq";
    PgConnection& conn = db_.connection();
    const bool own = !conn.inTransaction();
    if (own)
        conn.exec("BEGIN", {}, PgConnection::Access::Read, condition);
    const std::string cursor = "quarzel_values";
    struct Close {
        PgConnection& conn;
        bool own;
        const std::string& cursor;
        bool open = false;
        ~Close() {
            if (open)
                conn.tryExec("CLOSE " + cursor);
            if (own)
                conn.tryExec("COMMIT");
        }
    } close{conn, own, cursor};
    conn.exec("DECLARE " + cursor + " NO SCROLL CURSOR FOR " + sql, {}, PgConnection::Access::Read,
              where.empty() ? name : condition);
    close.open = true;
    StoredValue out;
    for (;;) {
        PgResult r = conn.exec("FETCH " + std::to_string(kFetch) + " FROM " + cursor, {},
                               PgConnection::Access::Read, condition);
        for (int i = 0; i < r.rows(); ++i) {
            out.sample = r.integer(i, 0);
            SampleValue& x = out.value;
            x.analyte = cellText(r, i, 1);
            x.unit = cellText(r, i, 2);
            x.method = cellText(r, i, 3);
            const std::string q = cellText(r, i, 4);
            x.qualifier = q.empty() ? 0 : q[0];
            x.value = cellNumber(r, i, 5);
            x.text = cellText(r, i, 6);
            x.uncertainty = cellNumber(r, i, 7);
            x.reference = cellText(r, i, 8);
            if (!each(out))
                return;
        }
        if (r.rows() < kFetch)
            return;
    }
}

std::vector<Database::AnalyteCount> PgValueStore::analytes(const std::string& table,
                                                           bool counted) {
    const std::string name = db_.tableName(table);
    if (!db_.hasRight(name, "SELECT"))
        throw msg::noPermission("read", name);
    std::vector<Database::AnalyteCount> out;
    const std::string v = valuesTable(name);
    if (v.empty())
        return out;
    const std::string order = " ORDER BY c.analyte COLLATE \"C\", c.unit COLLATE \"C\", c.code";
    PgResult r = db_.connection().exec(
        counted ? "SELECT c.analyte, c.unit, c.code, count(*) FROM " + PgDialect::quote(v) +
                      " v JOIN public.quarzel_channel c ON c.code = v.channel GROUP BY c.code" +
                      order
                : SelectText::heldChannels(PgDialect::quote(v)) +
                      "SELECT c.analyte, c.unit, c.code, 0 FROM held JOIN public.quarzel_channel c "
                      "ON c.code = held.code" +
                      order,
        {}, PgConnection::Access::Read, name);
    for (int i = 0; i < r.rows(); ++i)
        Database::AnalyteCount::addChannel(out, r.text(i, 0), r.text(i, 1), r.integer(i, 2),
                                           r.integer(i, 3));
    return out;
}

} // namespace engine
