#pragma once

#include "PgConnection.h"
#include "platform/db/ChangeFeed.h"

#include <cstdint>
#include <string>
#include <vector>

namespace engine {

// Where a reader stands in one table's change log ("T_changes": seq,
// sample, kind), and the entries it has not read yet.
//
// Entries are numbered when written, not when committed: a transaction
// may commit entry 10 after another has committed 11. A number missing
// below the highest one read is kept as a gap, together with the server's
// next transaction id at the read that found it; it is asked for again at
// every read, until a read whose oldest running transaction is past that
// id (whoever wrote the entry has committed, and its entry was there to be
// read, or has rolled back, and there is none). So every committed entry
// is read exactly once, in batches of at most kBatch.
class PgChangeLog {
public:
    static constexpr int kBatch = 512;
    // Gaps beyond this many are given up (missed() tells).
    static constexpr std::size_t kMaxGaps = 256;

    // Starts after what the log holds now; entries still being written
    // below its end are gaps from the start.
    PgChangeLog(PgConnection& conn, const std::string& table);

    const std::string& table() const { return table_; }
    // The entries committed since the last read, in order of their numbers.
    // Throws EngineError when the log cannot be read.
    std::vector<ChangeFeed::Change> read(PgConnection& conn);
    // Whether the last read left entries for the next (a full batch).
    bool more() const { return more_; }
    // Whether entries may have been lost (too many gaps open at once).
    bool missed() const { return missed_; }
    std::size_t gaps() const { return gaps_.size(); }

private:
    struct Gap {
        std::int64_t from, to;   // numbers not yet read, inclusive
        std::uint64_t settledAt; // read again until the oldest running xid is past this
    };
    void addGap(std::int64_t from, std::int64_t to, std::uint64_t xmax);
    void take(std::int64_t seq);

    std::string table_;
    std::string log_;      // quoted
    std::int64_t end_ = 0; // the highest number read
    std::vector<Gap> gaps_;
    bool more_ = false;
    bool missed_ = false;
};

} // namespace engine
