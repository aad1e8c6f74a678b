#pragma once

#include <iosfwd>
#include <string>

// quarzel-db server-init: makes a database on a server ready for the
// program, from the data files in a folder: the four tables with their
// rows and keys, their indexes, and a role per workgroup account with the
// same rights, each a member of the role every account needs to open the
// collection. Says on report each right it granted or took from PUBLIC.
// Throws engine::EngineError with the reason when it cannot; then nothing
// was made.
void serverInit(const std::string& dir, const std::string& conninfo, std::ostream& report);
