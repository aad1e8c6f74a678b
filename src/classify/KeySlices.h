#pragma once

#include "RowOfKey.h"
#include "platform/db/Database.h"
#include "platform/db/KeySpan.h"

#include <cstdint>
#include <optional>

namespace chart {

// A view's keys in ranges of keys, each with the view's row of every key in
// it, for a reader that goes through a table one range at a time: what
// finds a key's row then takes a few megabytes however large the view (ten
// million rows would otherwise need 40 MB beside their points).
//
// The ranges follow each other without a gap from the view's least key to
// its greatest, so that every key of the view is in exactly one. Keys too
// spread for a plain array (far more room between them than keys) are one
// range, found in a sorted list as before.
class KeySlices {
public:
    explicit KeySlices(engine::KeySpan keys);

    // Moves to the next range; false when there is none left.
    bool next();
    engine::Database::KeyRange range() const { return range_; }
    const RowOfKey& rows() const { return *rows_; }

    // Keys a range spans at most: 8 MB of rows, and few enough passes over
    // ten million keys (five) that finding the rows costs little beside
    // reading them. Tests make it small, to read a small table in several
    // ranges.
    static constexpr std::int64_t kWidth = std::int64_t(1) << 21;
    static void setWidth(std::int64_t keys);

private:
    engine::KeySpan keys_;
    bool dense_ = true;
    bool done_ = false;
    std::int64_t least_ = 0, greatest_ = -1;
    engine::Database::KeyRange range_{0, -1};
    std::optional<RowOfKey> rows_;
};

} // namespace chart
