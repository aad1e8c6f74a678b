#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace engine {

class SqliteDatabase;

// The file's history of changes: beside each sample table T, "T_history"
// (an entry per change: when, who, what kind, which sample, how many rows
// for an import), "T_history_columns" (each changed column's value before
// and after, as stored, so that every number comes back exact) and
// "T_history_values" (the values a deleted sample had beside its row).
//
// The entries are written by triggers of this connection's own (TEMP
// triggers, made when a writable connection opens): they run in the
// statement that changes the row, so a change and its entry commit or roll
// back together, and they name the account that logged on. Other programs
// that write the file see no triggers and fail on none. No statement of an
// account's may write the history itself, only the triggers (see the
// authorizer); nothing in it is ever changed or deleted by the program.
class SqliteHistory {
public:
    explicit SqliteHistory(SqliteDatabase& db) : db_(db) {}

    // Makes the history tables where missing and this connection's
    // triggers, for every sample table of the file.
    void install();
    // After a table's values table was made: its deletions keep values too.
    void valuesTableMade(const std::string& table);
    // Many inserts as one entry: the per-row entries are left out between
    // the two calls, and one "imported" entry is made at the end, in the
    // same transaction.
    void beginBulk(const std::string& table);
    void endBulk(const std::string& table);
    // After a rollback: the triggers are as they were before the transaction.
    void forget() {
        bulk_.clear();
        columns_.clear();
    }

    static bool isHistoryTable(const std::string& lowerName, std::string& table);

private:
    bool tablesThere(const std::string& table);
    bool makeTables(const std::string& table);
    void makeTriggers(const std::string& table, bool insertToo);
    std::string deleteTrigger(const std::string& table) const;

    SqliteDatabase& db_;
    std::map<std::string, std::vector<std::string>> columns_; // by table, all but ID
    std::map<std::string, std::int64_t> bulk_;                // table -> last key before
};

} // namespace engine
