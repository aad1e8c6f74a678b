#pragma once

#include <string>

// The rows of a table in a database file, counted by SQLite itself (0 when
// it cannot be read).
long tableRows(const std::string& databasePath, const std::string& table);

// A small collection made anew in dir (300 sample rows, Project1 and
// Project2 a few, Project3 empty), for the cases that import into it.
void createSmallCollection(const std::string& dir);
