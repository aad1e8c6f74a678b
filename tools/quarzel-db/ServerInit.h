#pragma once

#include "platform/db/Workgroup.h"

#include <iosfwd>
#include <string>
#include <vector>

// quarzel-db server-init: makes a database on a server ready for the
// program, from the data files in a folder: the four tables with their
// rows and keys, their indexes, and a role per workgroup account with the
// same rights, each a member of the role every account needs to open the
// collection. The program's own account is the file's alone: no role is
// made for it, so that no account on the server is shared by everyone. Says on report each right it
// granted or took from PUBLIC. Throws engine::EngineError with the reason when it cannot; then
// nothing was made.
void serverInit(const std::string& dir, const std::string& conninfo, std::ostream& report);

// Makes (or brings up to date) the server's roles for these accounts, with
// their rights to the tables, in one transaction on a collection made by
// serverInit.
void serverGrant(const std::string& conninfo,
                 const std::vector<engine::Workgroup::Account>& accounts, std::ostream& report);
