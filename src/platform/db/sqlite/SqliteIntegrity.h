#pragma once

#include "platform/db/IntegrityReport.h"

#include <functional>
#include <string>

struct sqlite3;

namespace engine {

// The consistency check and repair of a database file, on a connection of
// their own.
//
// The check never holds the file for long: SQLite's own full check would
// keep every other user from saving for as long as it runs (seconds at a
// million rows), so the rows are read in short slices, each its own read
// transaction, and every row is looked up in each index of its table. The
// counts of a table and of its indexes are compared in one transaction, so
// an index entry left over from a row that is gone is found too. Tables
// without a row ID, and small tables, get SQLite's own check.
//
// The repair first copies the file page by page beside itself (damaged
// pages included: nothing is lost by repairing), then rebuilds every index
// and the substring indexes from the rows, all in one transaction.
class SqliteIntegrity {
public:
    // Reports rows read and an estimate of all rows; returns false to stop.
    using Progress = std::function<bool(long long done, long long total)>;

    static IntegrityReport check(sqlite3* db, const Progress& progress);
    // Throws EngineError when the copy cannot be made or the rows cannot
    // all be read (nothing is changed then).
    static void repair(sqlite3* db, const std::string& copyPath);
};

} // namespace engine
