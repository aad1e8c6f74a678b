#pragma once

#include <memory>
#include <string>

namespace engine {

class DBEngine;
class Database;

// A session of the engine: opens databases with the engine's workgroup
// file, default user and default password.
class Workspace {
public:
    explicit Workspace(const DBEngine& engine) : engine_(engine) {}

    // A name of the form "server:CONNINFO" opens the collection on the
    // server that the libpq connection string names.
    static constexpr const char* kServerPrefix = "server:";

    // Opens the file or throws EngineError; the database stays open while any
    // holder of it (record sets included) lives.
    std::shared_ptr<Database> OpenDatabase(const std::string& name, bool exclusive = false,
                                           bool readOnly = false) const;

private:
    const DBEngine& engine_;
};

} // namespace engine
