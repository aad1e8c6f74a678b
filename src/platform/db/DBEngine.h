#pragma once

#include "Workspace.h"

#include <string>

namespace engine {

// The database engine of the process: the workgroup file and the default
// account that every later open logs on with.
class DBEngine {
public:
    static DBEngine& instance();

    std::string SystemDB;
    std::string DefaultUser = "admin";
    std::string DefaultPassword;

    // Only workspace 0 exists.
    const Workspace& Workspaces(int index) const;

private:
    DBEngine() : workspace_(*this) {}
    Workspace workspace_;
};

} // namespace engine
