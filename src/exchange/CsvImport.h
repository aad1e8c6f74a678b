#pragma once

#include "ImportColumns.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace engine {
class Database;
}

// A row of the file that cannot be imported, and why.
struct BadRow {
    long line = 0;
    std::string column;
    std::string text;
    std::string why;
};

// What an import of a file would do, found by reading it through once
// before anything is written: the mapping, the rows, the bad rows (the
// first of them kept), and per column the values read as Null.
struct ImportPlan {
    std::string path;
    char delimiter = ',';
    bool latin1 = false;
    std::vector<std::string> header;
    ImportColumns columns;
    long rows = 0; // data rows, good and bad
    long bad = 0;
    std::vector<BadRow> firstBad;
    std::vector<long> nulls; // per table column
    long long bytes = 0;

    long good() const { return rows - bad; }
    // The plan in words, for the user to decide on.
    std::string describe() const;
};

// Reading and importing a CSV file into one table. Values: numbers with a
// decimal point (or a decimal comma in a semicolon-separated file); empty,
// "n.d.", "nd", "n.a.", "-", "bdl", "b.d.l." and "<x" (below detection) are
// Null. Text in an analysis column makes the row bad. SiO2 left empty (or
// holding its default text "Empty") takes the table's default.
class CsvImport {
public:
    static constexpr std::size_t kListedBad = 10;

    // Throws CsvError for a file that cannot be imported at all (empty, a
    // header only, not text, a quote left open, a duplicate mapping).
    static ImportPlan plan(const std::string& path, const std::atomic<bool>* cancel = nullptr);

    // Inserts the plan's good rows in one transaction: all or nothing.
    // Returns the rows written, or -1 when cancelled (nothing written).
    // Throws engine::EngineError (refused permission, a full disk: nothing
    // written) or CsvError.
    static long run(engine::Database& db, const std::string& table, const ImportPlan& plan,
                    const std::function<void(long long bytes)>& progress = {},
                    const std::atomic<bool>* cancel = nullptr);
};
