#pragma once

#include <string>

// The four sample tables on a shared server: the same columns and keys as
// in the file, with the server's types. Text columns keep the "C" rules,
// under which the program's statements fold plain letters only, as the
// file's columns do; Like
// searches for any run of text are served by trigram indexes; every
// committed change is announced on the channel kChangeChannel.
namespace schema::server {

constexpr const char* kChangeChannel = "quarzel_changes";

// Extensions, the collection's own tables and the change announcement:
// run once, before any table.
std::string createCommonSql();
std::string createTableSql(const std::string& table);
// The indexes and triggers, made after the rows are loaded.
std::string createIndexesSql(const std::string& table);

// The quoted name of the table's key sequence, for starting it after the
// largest key copied.
std::string restartKeysSql(const std::string& table);

} // namespace schema::server
