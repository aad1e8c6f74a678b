#pragma once

#include "ServerData.h"
#include "TestData.h"

#include <QString>

#include <memory>
#include <string>

// One test collection on the back end a data row names ("file", or
// "server": a copy of the file on the private server beside the test), for
// suites that hold both back ends to the same expectations.
class BackendData {
public:
    // setupSql runs on the file first, so the server's copy has it too.
    BackendData(const QString& kind, long rows, const std::string& setupSql = {});
    std::shared_ptr<engine::Database> open(bool readOnly = false) const;
    bool isServer() const { return server_ != nullptr; }
    const TestData& file() const { return file_; }
    ServerData& server() const { return *server_; }
    // How many rows of DOZIRO1 the condition selects, read past the engine.
    long long count(const std::string& where) const;

private:
    TestData file_;
    std::unique_ptr<ServerData> server_;
};

// The data rows "file", and "server" when a private server is there.
void addBackends();
