#pragma once

#include "PgResult.h"
#include "platform/db/EngineError.h"

#include <libpq-fe.h>

#include <optional>
#include <string>
#include <vector>

namespace engine {

// How to reach the server and log on: a libpq connection string (empty:
// the PG* environment variables) and, when given, the account and password
// that override it.
struct PgLogOn {
    std::string conninfo;
    std::string user;
    std::string password;
    bool readOnly = false;
};

using PgParams = std::vector<std::optional<std::string>>; // nullopt: Null

// One connection to the server. Failures come back as EngineError in the
// engine's words, classified by the server's SQLSTATE. A connection that
// broke is tried again before the next statement, at most every few
// seconds, so that a server that is down costs a user one wait, not one per
// row painted.
class PgConnection {
public:
    enum class Access { Open, Read, Write };

    // Connects and logs on; throws EngineError when it cannot.
    explicit PgConnection(const PgLogOn& logOn);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Runs one statement with text parameters; throws on failure. shown is
    // the statement as the user knows it, for the message.
    PgResult exec(const std::string& sql, const PgParams& params = {}, Access access = Access::Read,
                  const std::string& shown = {});
    // Several statements of the program's own, without parameters (the
    // making of tables); throws on failure.
    void execScript(const std::string& sql);
    // The same, failures returned rather than thrown (for loading threads).
    PgResult tryExec(const std::string& sql, const PgParams& params = {});
    // The same for a read: a connection found dead by it (the server was
    // restarted meanwhile) is made anew and the read tried once more,
    // unless a transaction was open on it.
    PgResult tryRead(const std::string& sql, const PgParams& params = {});

    // The failure as the engine words it: from a result, or from the
    // server's SQLSTATE and message (empty state: the connection broke).
    EngineError error(const PgResult& r, Access access, const std::string& shown,
                      const std::string& sql) const;
    EngineError describe(const std::string& state, const std::string& text, Access access,
                         const std::string& shown, const std::string& sql) const;
    EngineError lostError(Access access) const;

    // Whether the connection is up; tries to connect again when it is
    // not and the last try is long enough ago.
    bool ensureConnected();
    bool broken() const { return !conn_ || PQstatus(conn_) != CONNECTION_OK; }
    // A transaction is open, or was when the connection broke and has not
    // been ended since (by its COMMIT or ROLLBACK, which then fail); a
    // broken connection's state is unknown, and counts as one.
    bool inTransaction() const;
    // The server and database, for messages: "host:port/name".
    const std::string& where() const { return where_; }
    PGconn* handle() const { return conn_; }

private:
    void connect();

    PgLogOn logOn_;
    PGconn* conn_ = nullptr;
    std::string where_;
    long long failedAtMs_ = 0; // the last connect that failed; 0 when it worked
    // Whether the last statement left a transaction open. A transaction
    // lost with its connection stays "open" until it is ended: no statement
    // is sent meanwhile on a new connection, where it would commit on its
    // own, apart from what came before it.
    bool transactionOpen_ = false;
    bool lostInTransaction(const std::string& sql);
    void noteTransaction();
};

} // namespace engine
