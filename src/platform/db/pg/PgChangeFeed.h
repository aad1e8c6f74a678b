#pragma once

#include "PgChangeLog.h"
#include "PgConnection.h"
#include "platform/db/ChangeFeed.h"

#include <memory>
#include <vector>

namespace engine {

// Listens on the server's change channel on a connection of its own. A
// notice is a hint only, naming the table whose log to read: what changed
// is read from the change logs of the tables the account may read, never
// from a notice's text, which anyone may send.
class PgChangeFeed : public ChangeFeed {
public:
    explicit PgChangeFeed(const PgLogOn& logOn);

    int socket() const override;
    std::vector<Change> take() override;
    bool reconnect() override;
    bool missed() const override { return missed_; }
    bool more() const override;

private:
    bool listen();
    void follow();

    std::unique_ptr<PgConnection> conn_;
    std::vector<PgChangeLog> logs_;
    std::vector<bool> due_; // a hint came, or a batch was left, for logs_[i]
    bool missed_ = false;
};

} // namespace engine
