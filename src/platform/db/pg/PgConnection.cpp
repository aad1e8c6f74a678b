#include "PgConnection.h"

#include "platform/db/EngineMessages.h"

#include <algorithm>
#include <cctype>
#include <chrono>

namespace engine {

namespace {

// A broken connection is tried again at most this often.
constexpr long long kRetryMs = 3000;
constexpr const char* kConnectTimeout = "3";

long long steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool startsWith(const std::string& s, const std::string& prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::string firstWord(const std::string& sql) {
    std::size_t b = 0;
    while (b < sql.size() && (std::isspace(static_cast<unsigned char>(sql[b])) || sql[b] == '('))
        ++b;
    std::size_t e = b;
    while (e < sql.size() && std::isalpha(static_cast<unsigned char>(sql[e])))
        ++e;
    std::string w = sql.substr(b, e - b);
    std::transform(w.begin(), w.end(), w.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return w;
}

// The name the server quotes in its message: relation "X" / table X.
std::string quotedName(const std::string& message, const std::string& after) {
    const auto at = message.find(after);
    if (at == std::string::npos)
        return {};
    std::string rest = message.substr(at + after.size());
    if (!rest.empty() && rest.front() == '"') {
        const auto end = rest.find('"', 1);
        return rest.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    }
    return rest.substr(0, rest.find_first_of(" \n"));
}

} // namespace

PgConnection::PgConnection(const PgLogOn& logOn) : logOn_(logOn) {
    connect();
    if (broken()) {
        const std::string why = conn_ ? PQerrorMessage(conn_) : "out of memory";
        // No destructor runs for a constructor that throws: the refused
        // connection (and its socket) is closed here.
        PQfinish(conn_);
        conn_ = nullptr;
        const bool refusedAccount =
            why.find("password authentication failed") != std::string::npos ||
            why.find("role \"") != std::string::npos ||
            why.find("no password supplied") != std::string::npos;
        std::string first = why.substr(0, why.find('\n'));
        if (startsWith(first, "connection to server "))
            first = why; // libpq's own lines say where it tried
        while (!first.empty() && (first.back() == '\n' || first.back() == ' '))
            first.pop_back();
        if (refusedAccount)
            throw EngineError(err::BadAccount,
                              "Not a valid account name or password: the server '" + where_ +
                                  "' refused to log on. (" + first + ")");
        // sslmode require or stronger: nothing of the account's was sent.
        const bool noTls =
            why.find("SSL") != std::string::npos || why.find("certificate") != std::string::npos;
        if (noTls)
            throw EngineError(err::CannotOpen,
                              "Cannot open database '" + where_ +
                                  "': the server gave no encrypted connection (TLS) with a "
                                  "certificate that proves its name, and the program sends no "
                                  "password without one. (" +
                                  first + ")");
        if (why.find("database \"") != std::string::npos &&
            why.find("does not exist") != std::string::npos)
            throw EngineError(err::FileNotFound,
                              "Could not find the database '" + where_ + "' on the server.");
        throw EngineError(err::CannotOpen, "Cannot open database '" + where_ +
                                               "': the server cannot be reached. (" + first + ")");
    }
}

PgConnection::~PgConnection() {
    PQfinish(conn_);
}

void PgConnection::connect() {
    PQfinish(conn_);
    std::vector<const char*> keys = {"dbname", "connect_timeout", "application_name"};
    std::vector<const char*> values = {logOn_.conninfo.c_str(), kConnectTimeout,
                                       "Quarzel Geochemical Database"};
    if (!logOn_.user.empty()) {
        keys.push_back("user");
        values.push_back(logOn_.user.c_str());
    }
    if (!logOn_.password.empty()) {
        keys.push_back("password");
        values.push_back(logOn_.password.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    // expand_dbname: the connection string given as dbname is read whole.
    conn_ = PQconnectdbParams(keys.data(), values.data(), 1);
    if (conn_) {
        const char* host = PQhost(conn_);
        const char* port = PQport(conn_);
        const char* db = PQdb(conn_);
        where_ = std::string(host ? host : "") + (port && *port ? std::string(":") + port : "") +
                 "/" + (db ? db : "");
    }
    // A server that refused or did not answer is not asked again at once;
    // a connection that worked and was lost since is made anew at once.
    failedAtMs_ = broken() ? steadyMs() : 0;
    if (broken())
        return;
    PQsetNoticeProcessor(
        conn_, [](void*, const char*) {}, nullptr);
    // Dates, numbers and strings read back as the program writes them.
    PQclear(
        PQexec(conn_, logOn_.readOnly
                          ? "SET default_transaction_read_only = on; SET "
                            "extra_float_digits = 1; SET standard_conforming_strings = on"
                          : "SET extra_float_digits = 1; SET standard_conforming_strings = on"));
}

bool PgConnection::ensureConnected() {
    // A server that restarted closed this connection's socket: reading what
    // is waiting on it (without blocking) tells so before a statement is
    // sent into it and fails.
    if (!broken() && !inTransaction())
        PQconsumeInput(conn_);
    if (!broken())
        return true;
    if (transactionOpen_) // lost with its transaction: not before that is ended
        return false;
    if (failedAtMs_ && steadyMs() - failedAtMs_ < kRetryMs)
        return false;
    connect();
    return !broken();
}

bool PgConnection::inTransaction() const {
    return transactionOpen_ || (conn_ && PQtransactionStatus(conn_) != PQTRANS_IDLE);
}

// The server ended the transaction when the connection broke; the
// statement that ends it on our side is where it is let go of.
bool PgConnection::lostInTransaction(const std::string& sql) {
    if (!transactionOpen_ || !broken())
        return false;
    if (sql.rfind("COMMIT", 0) == 0 || sql.rfind("ROLLBACK", 0) == 0)
        transactionOpen_ = false;
    return true;
}

void PgConnection::noteTransaction() {
    if (!broken()) // a broken one keeps what it was: a lost transaction stays to be ended
        transactionOpen_ = PQtransactionStatus(conn_) != PQTRANS_IDLE;
}

PgResult PgConnection::tryExec(const std::string& sql, const PgParams& params) {
    if (lostInTransaction(sql) || !ensureConnected())
        return PgResult();
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params)
        values.push_back(p ? p->c_str() : nullptr);
    PgResult r(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                            values.data(), nullptr, nullptr, 0));
    noteTransaction();
    return r;
}

void PgConnection::execScript(const std::string& sql) {
    PgResult r(!lostInTransaction(sql) && ensureConnected() ? PQexec(conn_, sql.c_str()) : nullptr);
    noteTransaction();
    if (!r.ok())
        throw error(r, Access::Write, sql, sql);
}

PgResult PgConnection::tryRead(const std::string& sql, const PgParams& params) {
    const bool wasInTransaction = inTransaction();
    PgResult r = tryExec(sql, params);
    if (!r.ok() && !wasInTransaction && conn_ && broken()) {
        // The connection was found dead only now (a server restarted since
        // the last statement): a read outside a transaction is tried once
        // more on a new one rather than failing. A write is never sent twice.
        connect();
        if (!broken())
            r = tryExec(sql, params);
    }
    return r;
}

PgResult PgConnection::exec(const std::string& sql, const PgParams& params, Access access,
                            const std::string& shown) {
    PgResult r = access == Access::Read ? tryRead(sql, params) : tryExec(sql, params);
    if (!r.ok())
        throw error(r, access, shown.empty() ? sql : shown, sql);
    return r;
}

EngineError PgConnection::lostError(Access access) const {
    if (access == Access::Write)
        return EngineError(err::ConnectionLost,
                           "The connection to the server '" + where_ +
                               "' is lost, and the change was not saved. The rows shown are "
                               "those read before; the program connects again when the server "
                               "is back.");
    return EngineError(err::ConnectionLost,
                       "The connection to the server '" + where_ +
                           "' is lost: rows cannot be read now. The program connects again "
                           "when the server is back.");
}

EngineError PgConnection::error(const PgResult& r, Access access, const std::string& shown,
                                const std::string& sql) const {
    if (broken())
        return lostError(access);
    return describe(r.get() ? r.state() : std::string(), r.message(), access, shown, sql);
}

EngineError PgConnection::describe(const std::string& state, const std::string& text, Access access,
                                   const std::string& shown, const std::string& sql) const {
    if (state.empty() || startsWith(state, "08") || state == "57P01" || state == "57P02" ||
        state == "57P03")
        return lostError(access);
    if (state == "42501") {
        std::string object = quotedName(text, "for table ");
        const std::string word = firstWord(sql);
        const char* action = word == "insert"   ? "insert"
                             : word == "update" ? "update"
                             : word == "delete" ? "delete"
                                                : "read";
        if (object.empty())
            return msg::onlyRowStatements(shown);
        return msg::noPermission(access == Access::Write ? action : "read", object);
    }
    if (state == "25006")
        return EngineError(err::ReadOnly, "Cannot update. Database or object is read-only.");
    if (state == "42P01")
        return msg::tableNotFound(quotedName(text, "relation "));
    if (state == "42703")
        return msg::unknownField(quotedName(text, "column "), shown);
    if (state == "42601" && text.find("multiple commands") != std::string::npos)
        return msg::charactersAfterEnd(shown);
    if (state == "2201B" || state == "22025")
        return EngineError(err::InvalidPattern, "Invalid pattern string.");
    if (startsWith(state, "42"))
        return msg::syntaxError(shown);
    if (state == "22003")
        return EngineError(err::NumericOverflow, "Numeric field overflow: " + text + ".");
    if (startsWith(state, "22"))
        return EngineError(err::ConversionError, "Data type conversion error: " + text + ".");
    if (startsWith(state, "23"))
        return EngineError(err::Internal, "The change breaks a rule of the table: " + text + ".");
    if (state == "40001" || state == "40P01" || state == "55P03")
        return access == Access::Write
                   ? msg::writeLocked()
                   : EngineError(err::Locked, "The database '" + where_ +
                                                  "' is locked by another user, and its rows "
                                                  "cannot be read now. Try again later.");
    if (startsWith(state, "53"))
        return EngineError(err::DiskError, "Disk or network error on the server '" + where_ +
                                               "': " + text + ". Nothing was changed.");
    if (state == "XX001" || state == "XX002")
        return EngineError(err::Damaged, "The database '" + where_ + "' is damaged: " + text +
                                             ". Restore it from a backup copy.");
    return EngineError(err::Internal, "Database engine error: " + text + " (" + state + ").");
}

} // namespace engine
