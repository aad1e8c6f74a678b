// The import's rows written a statement at a time, as many rows a statement
// as the back end takes (Database::rowsPerInsert): a server counts, logs and
// answers each statement once. Invariants: rows are written once each, in
// the order given; each row's key comes from the insert itself and its
// values go beside that key at once, the statement's rows' in one call
// (Database::addValuesOfRows); a refusal names the row's line (or, for a
// statement of several rows or their values, says which statement and
// lines, for the caller to find the row by writing them one by one in a new
// transaction).
// What was written stays in the caller's transaction, for it to roll back.
#pragma once

#include "RowCells.h"
#include "platform/db/EngineError.h"
#include "platform/db/SampleValue.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace engine {
class Database;
class Query;
} // namespace engine

class ImportBatch {
public:
    // A statement of several rows refused for one of them: the statement
    // (counted from 0 in the import) and its rows' first and last lines,
    // beside the refusal as the engine worded it.
    class Refused : public engine::EngineError {
    public:
        Refused(const engine::EngineError& e, long statement, long firstLine, long lastLine)
            : engine::EngineError(e), statement(statement), firstLine(firstLine),
              lastLine(lastLine) {}
        // The refusal with the statement's lines named, for when the row
        // cannot be found.
        engine::EngineError told() const;
        long statement;
        long firstLine;
        long lastLine;
    };

    // Makes the single-row statement at once, so that the insert right is
    // checked before anything is written. When retrying is given, that
    // statement's rows are written one statement each, to name the row it
    // was refused for; if none is refused, its refusal is told with its
    // lines.
    ImportBatch(engine::Database& db, const std::string& table, std::string siO2Default,
                long long* stored, const Refused* retrying = nullptr);
    ~ImportBatch();
    ImportBatch(const ImportBatch&) = delete;
    ImportBatch& operator=(const ImportBatch&) = delete;

    // Keeps the row; writes the rows kept once a statement is full.
    void add(const std::vector<rowcells::Cell>& cells, std::vector<engine::SampleValue> values,
             long line);
    // Whether a row kept but not yet written has this sample name, as the
    // back ends compare names (plain letters folded): a duplicate looked
    // for in the table must find it there.
    bool holds(const std::string& sampleName) const;
    // Writes the rows kept. Throws Refused, or engine::EngineError with
    // the row's line named when a row was refused on its own.
    void flush();
    long written() const { return written_; }

private:
    struct Row {
        std::vector<rowcells::Cell> cells;
        std::vector<engine::SampleValue> values;
        long line = 0;
    };
    engine::Query& statementFor(std::size_t rows);
    void write(std::size_t first, std::size_t count);

    engine::Database& db_;
    std::string table_;
    std::string siO2Default_;
    long long* stored_;
    const Refused* retrying_;
    std::size_t perStatement_ = 1;
    std::unique_ptr<engine::Query> single_, full_, other_; // one row's, a full one, another
    std::vector<Row> rows_;
    std::unordered_set<std::string> names_; // sample names of the rows kept, folded
    long statement_ = 0;                    // flushes made
    long written_ = 0;
};
