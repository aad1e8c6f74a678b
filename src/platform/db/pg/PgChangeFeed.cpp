#include "PgChangeFeed.h"

#include "platform/db/SqlText.h"

namespace engine {

namespace {
constexpr const char* kChannel = "quarzel_changes";
} // namespace

PgChangeFeed::PgChangeFeed(const PgLogOn& logOn) : conn_(std::make_unique<PgConnection>(logOn)) {
    if (listen())
        follow();
}

bool PgChangeFeed::listen() {
    return conn_->tryExec(std::string("LISTEN ") + kChannel).ok();
}

// The logs this account may read, each from where it ends now.
void PgChangeFeed::follow() {
    PgResult r = conn_->tryExec(
        "SELECT pg_catalog.left(c.relname, -8) FROM pg_catalog.pg_class c JOIN "
        "pg_catalog.pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = 'public' AND "
        "c.relkind = 'r' AND c.relname LIKE '%\\_changes' AND "
        "pg_catalog.has_table_privilege(c.oid, 'SELECT') ORDER BY 1");
    if (!r.ok())
        return;
    for (int i = 0; i < r.rows(); ++i) {
        try {
            logs_.emplace_back(*conn_, r.text(i, 0));
        } catch (const EngineError&) {
            // a log that cannot be read is not followed
        }
    }
    due_.assign(logs_.size(), false);
}

int PgChangeFeed::socket() const {
    return conn_->broken() ? -1 : PQsocket(conn_->handle());
}

bool PgChangeFeed::more() const {
    for (bool d : due_)
        if (d)
            return true;
    return false;
}

bool PgChangeFeed::reconnect() {
    if (!conn_->broken())
        return true;
    if (!conn_->ensureConnected() || !listen())
        return false;
    // What was committed meanwhile is in the logs: all are read next.
    due_.assign(logs_.size(), true);
    missed_ = true; // the rows shown are read again as well
    return true;
}

std::vector<ChangeFeed::Change> PgChangeFeed::take() {
    std::vector<Change> out;
    missed_ = false;
    PGconn* c = conn_->handle();
    if (conn_->broken() || !PQconsumeInput(c))
        return out;
    while (PGnotify* n = PQnotifies(c)) {
        const std::string named = asciiLower(n->extra ? n->extra : "");
        for (std::size_t i = 0; i < logs_.size(); ++i)
            if (asciiLower(logs_[i].table()) == named)
                due_[i] = true;
        PQfreemem(n);
    }
    for (std::size_t i = 0; i < logs_.size(); ++i) {
        if (!due_[i])
            continue;
        try {
            for (Change& change : logs_[i].read(*conn_))
                out.push_back(std::move(change));
            due_[i] = logs_[i].more();
            missed_ = missed_ || logs_[i].missed();
        } catch (const EngineError&) {
            due_[i] = false;
            missed_ = true; // read again when the next hint comes
        }
    }
    return out;
}

} // namespace engine
