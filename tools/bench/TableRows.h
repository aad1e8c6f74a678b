#pragma once

#include <string>

// The rows of a table in a database file, counted by SQLite itself (0 when
// it cannot be read).
long tableRows(const std::string& databasePath, const std::string& table);
