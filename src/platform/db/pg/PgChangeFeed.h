#pragma once

#include "PgConnection.h"
#include "platform/db/ChangeFeed.h"

#include <memory>

namespace engine {

// Listens on the server's change channel on a connection of its own.
class PgChangeFeed : public ChangeFeed {
public:
    explicit PgChangeFeed(const PgLogOn& logOn);

    int socket() const override;
    std::vector<Change> take() override;
    bool reconnect() override;
    bool missed() const override { return missed_; }

private:
    bool listen();

    std::unique_ptr<PgConnection> conn_;
    bool missed_ = false;
};

} // namespace engine
