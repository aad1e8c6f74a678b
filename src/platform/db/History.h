#pragma once

#include "SampleValue.h"
#include "Value.h"

#include <cstdint>
#include <string>
#include <vector>

namespace engine {

class Database;

// One change of a sample table as its history keeps it: when (UTC, ISO
// 8601), which account, what ("added", "changed", "deleted", "imported"),
// the sample's key (an import's first key, with its row count) and the
// columns it changed with their values before and after, as stored. A
// deleted sample's entry holds every column it had (after: Null) and the
// values it had beside its row.
struct HistoryEntry {
    struct Column {
        std::string name;
        Value before;
        Value after;
    };
    std::int64_t entry = 0;
    std::string made;
    std::string account;
    std::string kind;
    std::int64_t sample = 0;
    std::int64_t rows = 0;
    std::vector<Column> columns;
    std::vector<SampleValue> values;
};

// Reading a table's history and putting a version back, under the
// account's rights (the history is read with the table's read right; a
// restore needs the right to change or add rows). The entries themselves
// are written by the back ends, in the transaction of the change, and
// never altered. Everything is named by the sample's key.
class History {
public:
    History(Database& db, std::string table);

    // Whether the table keeps a history (a file opened only for reading
    // since it was made, or a server set up before it, keeps none).
    bool kept();
    // The sample's entries, newest first.
    std::vector<HistoryEntry> ofSample(std::int64_t key);
    // The newest entries of the table, newest first; with deletedOnly,
    // only deletions of samples that are not there now.
    std::vector<HistoryEntry> recent(int limit, bool deletedOnly = false);

    struct Restored {
        enum class Outcome { Saved, Conflict, Deleted };
        Outcome outcome = Outcome::Saved;
        std::int64_t key = 0; // the row restored (a deleted one may come back under a new key)
        // Conflict: each column another change has touched since, with what it
        // holds now and what the entry left there.
        std::vector<HistoryEntry::Column> theirs;
    };
    // Undoes a change: its columns back to their values before it, if they
    // still hold what it left (otherwise nothing is written and the
    // conflict is told). A restore is itself a change, with its own entry.
    Restored undo(const HistoryEntry& change);
    // Brings a deleted sample back, with its values, under its old key if
    // that is free, in one transaction.
    Restored bringBack(const HistoryEntry& deletion);

    // A value exactly as stored, for a statement or a printout: numbers in
    // the fewest digits that read back the same.
    static std::string exactText(const Value& v);

private:
    std::vector<HistoryEntry> entries(const std::string& condition, std::int64_t key, int limit);
    void readColumns(HistoryEntry& e);

    Database& db_;
    std::string table_;
};

} // namespace engine
