#pragma once

#include <iosfwd>
#include <memory>

namespace engine {
class Database;
}

// "quarzel-db check": reads every row of the database and looks it up in
// its indexes; with repair, rebuilds the indexes of a damaged file after
// copying it whole beside itself, and checks it again. Exit status 0 for a
// sound file (also after a repair), 1 for one still damaged.
int checkFile(const std::shared_ptr<engine::Database>& db, bool repair, std::ostream& out);
