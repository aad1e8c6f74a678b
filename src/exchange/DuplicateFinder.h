#pragma once

#include "RowCells.h"
#include "platform/db/SampleValue.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace engine {
class Database;
class Query;
} // namespace engine

// Which sample of a table a row of a file is already: the one with the
// same source identifier (the "Unique ID" or "IGSN" kept beside it), or
// else the one with the same name and the same values in every analysis
// column of ours. Importing a compilation twice must not double it
// unasked. The identifiers are read once; a name is looked up when asked.
class DuplicateFinder {
public:
    DuplicateFinder(engine::Database& db, const std::string& table);
    ~DuplicateFinder();
    DuplicateFinder(const DuplicateFinder&) = delete;
    DuplicateFinder& operator=(const DuplicateFinder&) = delete;

    // Whether the table held no sample at all: no row can be one.
    bool empty() const { return empty_; }
    // The ID of the sample the row is, or 0 for none.
    std::int64_t find(const std::vector<rowcells::Cell>& cells,
                      const std::vector<engine::SampleValue>& values);

private:
    std::unordered_map<std::string, std::int64_t> identifiers_; // "IGSN\tIEXYZ0001" -> ID
    std::unique_ptr<engine::Query> byName_;
    bool empty_ = false; // the table had no row when asked
};
