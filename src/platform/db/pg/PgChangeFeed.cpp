#include "PgChangeFeed.h"

#include "PgDialect.h"

#include <cstdlib>
#include <sstream>

namespace engine {

namespace {
constexpr const char* kChannel = "quarzel_changes";
} // namespace

PgChangeFeed::PgChangeFeed(const PgLogOn& logOn) : conn_(std::make_unique<PgConnection>(logOn)) {
    listen();
}

bool PgChangeFeed::listen() {
    return conn_->tryExec(std::string("LISTEN ") + kChannel).ok();
}

int PgChangeFeed::socket() const {
    return conn_->broken() ? -1 : PQsocket(conn_->handle());
}

bool PgChangeFeed::reconnect() {
    if (!conn_->broken())
        return true;
    if (!conn_->ensureConnected() || !listen())
        return false;
    missed_ = true; // what was committed meanwhile was not heard
    return true;
}

std::vector<ChangeFeed::Change> PgChangeFeed::take() {
    std::vector<Change> out;
    missed_ = false;
    PGconn* c = conn_->handle();
    if (conn_->broken() || !PQconsumeInput(c))
        return out;
    while (PGnotify* n = PQnotifies(c)) {
        // "TABLE OPERATION KEY", as the tables' trigger sends it.
        std::istringstream in(n->extra ? n->extra : "");
        std::string table, op;
        long long key = 0;
        if (in >> table >> op >> key) {
            const Kind kind = op == "INSERT"   ? Kind::Inserted
                              : op == "DELETE" ? Kind::Deleted
                                               : Kind::Changed;
            out.push_back({table, kind, key});
        }
        PQfreemem(n);
    }
    return out;
}

} // namespace engine
