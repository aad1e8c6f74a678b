#pragma once

#include <memory>
#include <string>

class TestData;

namespace engine {
class Database;
}

// A copy of a test collection on the private test server (see
// with-server.sh), in a database of its own that goes with it.
class ServerData {
public:
    // Whether the test runs beside a private server.
    static bool available();
    // The account the tests log on as (every right to the four tables).
    static constexpr const char* kTester = "geologist";

    explicit ServerData(const TestData& data);
    ~ServerData();
    ServerData(const ServerData&) = delete;
    ServerData& operator=(const ServerData&) = delete;

    // A connection string to this database, as the administrator.
    std::string conninfo() const;
    const std::string& name() const { return name_; }
    // The collection opened by the engine, as the tests' account (or
    // another role of the server's).
    std::shared_ptr<engine::Database> open(bool readOnly = false,
                                           const std::string& user = kTester) const;
    // Runs statements as the administrator, bypassing the engine.
    void admin(const std::string& sql) const;
    long long count(const std::string& sql) const;

    // Stops and starts the server itself.
    static void stopServer();
    static void startServer();

private:
    std::string name_;
};
