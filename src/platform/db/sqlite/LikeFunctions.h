#pragma once

struct sqlite3;

namespace engine {

// Replaces SQLite's LIKE (both its two- and three-argument forms) with the
// engine's Like rules on one connection. The compiled pattern is kept per
// statement, so a scan compiles it once.
void registerLikeFunctions(sqlite3* db);

} // namespace engine
