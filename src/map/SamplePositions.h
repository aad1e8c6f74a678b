#pragma once

#include "GeoPosition.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace engine {
class Database;
}

namespace geo {

// Reads the coordinate facts ("Latitude", "Longitude" and their "min" /
// "max" ranges) of every sample of a table that has any, by ID, with
// ordinary statements under the account's read right. A table without
// stored values has no positions (an empty answer, not an error). The first
// value of each kind, in the order added, is the one kept. Returns false
// when cancelled.
class SamplePositions {
public:
    using Facts = std::unordered_map<std::int64_t, CoordinateFacts>;

    static bool read(engine::Database& db, const std::string& table, Facts& out,
                     const std::atomic<bool>* cancel = nullptr);

    // The condition, in the program's dialect, on quarzel_channel's codes
    // of one analyte (matched as the back end compares text).
    static std::string channelsOf(const std::string& analyte);
    // The table's name in brackets; throws std::invalid_argument for a
    // name that a bracket or quote could end.
    static std::string bracketed(const std::string& table);
};

} // namespace geo
