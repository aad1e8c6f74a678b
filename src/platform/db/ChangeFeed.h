#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace engine {

// What other users commit, as a shared server logs it: a connection of its
// own that a window watches (its socket becomes readable when news comes)
// to keep what it shows current.
class ChangeFeed {
public:
    enum class Kind { Inserted, Changed, Deleted };
    struct Change {
        std::string table;
        Kind kind;
        std::int64_t key;
    };

    virtual ~ChangeFeed() = default;
    // The socket to watch; -1 while the connection is down.
    virtual int socket() const = 0;
    // The changes heard since the last call; never waits.
    virtual std::vector<Change> take() = 0;
    // Tries to connect again when the connection is down; whether it is up.
    // Changes made while it was down were not heard: missed() then holds
    // until the next take().
    virtual bool reconnect() = 0;
    virtual bool missed() const = 0;
    // Whether changes are left for the next take(): they are taken in
    // batches, so that a statement that changed many rows never holds the
    // window that follows them.
    virtual bool more() const { return false; }

protected:
    ChangeFeed() = default;
    ChangeFeed(const ChangeFeed&) = delete;
    ChangeFeed& operator=(const ChangeFeed&) = delete;
};

} // namespace engine
