#include "DBEngine.h"

#include "Database.h"
#include "EngineError.h"
#include "Workgroup.h"

#include <cstring>

namespace engine {

DBEngine& DBEngine::instance() {
    static DBEngine engine;
    return engine;
}

const Workspace& DBEngine::Workspaces(int index) const {
    if (index != 0)
        throw EngineError(3265, "Item not found in this collection.");
    return workspace_;
}

std::shared_ptr<Database> Workspace::OpenDatabase(const std::string& name, bool,
                                                  bool readOnly) const {
    // A collection on a server: the server logs the account on, and its
    // GRANTs are the rights; no workgroup file is read.
    if (name.rfind(kServerPrefix, 0) == 0)
        return Database::openServer(name.substr(std::strlen(kServerPrefix)), engine_.DefaultUser,
                                    engine_.DefaultPassword, readOnly);
    // Logging on comes first: without a valid workgroup nothing is opened.
    Workgroup wg = Workgroup::logOn(engine_.SystemDB, engine_.DefaultUser, engine_.DefaultPassword);
    return Database::open(name, wg, readOnly);
}

} // namespace engine
