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
// else the first by ID with the same name and the same values in every
// analysis column of ours. Importing a compilation twice must not double it
// unasked. The identifiers are read once; names are looked up a batch of
// rows at a time (lookUp), or one when asked unforeseen.
class DuplicateFinder {
public:
    // Names one lookUp takes at most: one statement's parameters.
    static constexpr std::size_t kBatch = 256;

    DuplicateFinder(engine::Database& db, const std::string& table);
    ~DuplicateFinder();
    DuplicateFinder(const DuplicateFinder&) = delete;
    DuplicateFinder& operator=(const DuplicateFinder&) = delete;

    // Whether the table held no sample at all: no row can be one.
    bool empty() const { return empty_; }
    // Looks up in one statement the names of the rows about to be asked
    // about (empty ones are passed over). Each row asked about then is
    // answered from it, once: a name asked about again is looked up alone,
    // as the table is then, for the import may have written rows of that
    // name since.
    void lookUp(const std::vector<std::string>& names);
    // The ID of the sample the row is, or 0 for none.
    std::int64_t find(const std::vector<rowcells::Cell>& cells,
                      const std::vector<engine::SampleValue>& values);
    // The sample is gone (a row of the file took its place): no name
    // looked up finds it.
    void removed(std::int64_t id);

private:
    struct Stored {
        enum Kind { None, Number, Other } kind = None;
        double number = 0;
    };
    struct Candidate {
        std::int64_t id = 0;
        std::vector<Stored> columns; // SiO2 to Total
    };
    using Found = std::unordered_map<std::string, std::vector<Candidate>>; // by folded name
    void read(engine::Query& q, Found& into);

    std::unordered_map<std::string, std::int64_t> identifiers_; // "IGSN\tIEXYZ0001" -> ID
    std::unique_ptr<engine::Query> byName_, byNames_;           // one name's, kBatch names'
    Found looked_;       // the names looked up and not yet asked about, each with its samples
    bool empty_ = false; // the table had no row when asked
};
