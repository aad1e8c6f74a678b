#include "PgQuery.h"
#include "platform/db/SqlText.h"

#include "PgDatabase.h"
#include "platform/db/EngineMessages.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <cmath>

namespace engine {

namespace {

constexpr int kFetch = 4096;

// The statement's kind and the table it names first (after INTO, UPDATE
// or FROM), for the rights it needs.
void kindAndTable(const std::string& sql, std::string& kind, std::string& table) {
    std::string s = sql;
    for (char& c : s)
        if (c == '(' || c == ')' || c == ',')
            c = ' ';
    std::size_t i = 0;
    auto next = [&]() -> std::string {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
            ++i;
        if (i >= s.size())
            return {};
        if (s[i] == '[' || s[i] == '"') {
            const char close = s[i] == '[' ? ']' : '"';
            const auto end = s.find(close, i + 1);
            std::string name = s.substr(i + 1, end == std::string::npos ? end : end - i - 1);
            i = end == std::string::npos ? s.size() : end + 1;
            return "\x01" + name;
        }
        if (s[i] == '\'') {
            const auto end = s.find('\'', i + 1);
            i = end == std::string::npos ? s.size() : end + 1;
            return "'";
        }
        const std::size_t b = i;
        while (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i])) && s[i] != '[' &&
               s[i] != '"' && s[i] != '\'')
            ++i;
        return s.substr(b, i - b);
    };
    kind = asciiLower(next());
    const std::string before = kind == "insert" ? "into" : kind == "update" ? "" : "from";
    if (before.empty()) {
        table = next();
    } else {
        for (std::string w = next(); !w.empty(); w = next())
            if (asciiLower(w) == before) {
                table = next();
                break;
            }
    }
    if (!table.empty() && table[0] == '\x01')
        table = table.substr(1);
}

} // namespace

PgQuery::PgQuery(PgDatabase& db, const std::string& sql) : db_(db), sql_(sql) {
    serverSql_ = db.translate(sql);
    std::string kind, table;
    kindAndTable(sql, kind, table);
    write_ = kind == "insert" || kind == "update" || kind == "delete";
    if (!table.empty()) {
        const std::string name = db.tableName(table);
        const char* right = kind == "insert"   ? "INSERT"
                            : kind == "update" ? "UPDATE"
                            : kind == "delete" ? "DELETE"
                                               : "SELECT";
        if (!db.hasRight(name, right))
            throw msg::noPermission(kind == "select" ? "read" : kind, name);
    }
    PgConnection& conn = db.connection();
    // A connection lost since the last statement is made anew first, unless
    // a transaction went with it.
    if (!conn.ensureConnected())
        throw conn.lostError(write_ ? PgConnection::Access::Write : PgConnection::Access::Read);
    PgResult check(PQprepare(conn.handle(), "", serverSql_.c_str(), 0, nullptr));
    if (!check.ok())
        throw conn.error(check, PgConnection::Access::Read, sql, serverSql_);
    PgResult described(PQdescribePrepared(conn.handle(), ""));
    columns_ = described.get() ? described.columns() : 0;
}

PgQuery::~PgQuery() {
    close();
}

void PgQuery::close() {
    PgConnection& conn = db_.connection();
    if (!cursor_.empty())
        conn.tryExec("CLOSE " + cursor_);
    cursor_.clear();
    if (ownTransaction_)
        conn.tryExec("COMMIT");
    ownTransaction_ = false;
}

bool PgQuery::next() {
    PgConnection& conn = db_.connection();
    if (write_) {
        // No cursor runs a write: it runs here, once, and its RETURNING
        // rows are read one by one; the next call after the last runs it
        // again, as a step after the end does on the file.
        if (batch_.get() && row_ + 1 < batch_.rows()) {
            ++row_;
            return true;
        }
        if (batch_.get()) {
            batch_ = PgResult();
            return false;
        }
        batch_ = conn.exec(serverSql_, params_, PgConnection::Access::Write, sql_);
        row_ = 0;
        if (batch_.rows() > 0)
            return true;
        batch_ = PgResult();
        return false;
    }
    if (finished_)
        return false;
    if (cursor_.empty()) {
        static std::atomic<int> counter{0};
        cursor_ = "quarzel_query_" + std::to_string(++counter);
        if (!conn.inTransaction()) {
            conn.exec("BEGIN", {}, PgConnection::Access::Read, sql_);
            ownTransaction_ = true;
        }
        try {
            conn.exec("DECLARE " + cursor_ + " NO SCROLL CURSOR FOR " + serverSql_, params_,
                      PgConnection::Access::Read, sql_);
        } catch (...) {
            cursor_.clear();
            close();
            throw;
        }
    }
    if (batch_.get() && row_ + 1 < batch_.rows()) {
        ++row_;
        return true;
    }
    if (batch_.get() && batch_.rows() < kFetch && row_ >= 0) {
        finished_ = true;
        close();
        return false;
    }
    batch_ = conn.exec("FETCH " + std::to_string(kFetch) + " FROM " + cursor_, {},
                       PgConnection::Access::Read, sql_);
    row_ = 0;
    if (batch_.rows() == 0) {
        finished_ = true;
        close();
        return false;
    }
    return true;
}

int PgQuery::columnCount() const {
    return columns_;
}

std::int64_t PgQuery::integer(int column) const {
    return batch_.integer(row_, column);
}

double PgQuery::number(int column) const {
    return batch_.number(row_, column);
}

Value PgQuery::value(int column) const {
    return batch_.value(row_, column);
}

void PgQuery::bind(int parameter, std::optional<std::string> value) {
    if (parameter < 1)
        return;
    // A statement read since its last run is rewound, as on the file: the
    // next call runs it again with the new bindings, the others kept.
    if (finished_ || !cursor_.empty() || batch_.get()) {
        close();
        finished_ = false;
        batch_ = PgResult();
        row_ = -1;
    }
    if (params_.size() < static_cast<std::size_t>(parameter))
        params_.resize(static_cast<std::size_t>(parameter));
    params_[static_cast<std::size_t>(parameter - 1)] = std::move(value);
}

void PgQuery::bindNumber(int parameter, double value) {
    if (std::isnan(value)) {
        bind(parameter, std::nullopt);
        return;
    }
    char buf[40];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    bind(parameter, std::string(buf, ec == std::errc() ? end : buf));
}

void PgQuery::bindText(int parameter, const std::string& value) {
    bind(parameter, value);
}

void PgQuery::bindNull(int parameter) {
    bind(parameter, std::nullopt);
}

void PgQuery::execute() {
    db_.connection().exec(serverSql_, params_, PgConnection::Access::Write, sql_);
}

} // namespace engine
