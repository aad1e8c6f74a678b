#pragma once

struct sqlite3;

namespace jet {

// Replaces SQLite's LIKE (both its two- and three-argument forms) with the
// engine's Like rules on one connection. The compiled pattern is kept per
// statement, so a scan compiles it once.
void registerJetFunctions(sqlite3* db);

} // namespace jet
