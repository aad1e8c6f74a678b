#pragma once

#include "platform/db/KeySpan.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace chart {

// The view's row of each key, for the readers that go through a table in
// key order and place what they read in the view's order: a plain array
// over the keys' range when they are dense (as keys handed out one after
// another are), a sorted list otherwise; a few bytes a row either way, for
// views of millions. Readers of large views take it a range of keys at a
// time (KeySlices).
class RowOfKey {
public:
    static constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

    explicit RowOfKey(engine::KeySpan keys) {
        if (keys.empty())
            return;
        std::int64_t lo = keys[0], hi = keys[0];
        for (std::size_t i = 1; i < keys.size(); ++i) {
            lo = std::min(lo, keys[i]);
            hi = std::max(hi, keys[i]);
        }
        min_ = lo;
        if (fitsArray(lo, hi, keys.size())) {
            dense_.assign(static_cast<std::size_t>(static_cast<std::uint64_t>(hi) -
                                                   static_cast<std::uint64_t>(lo)) +
                              1,
                          kNone);
            for (std::size_t i = 0; i < keys.size(); ++i)
                dense_[static_cast<std::size_t>(keys[i] - min_)] = static_cast<std::uint32_t>(i);
            return;
        }
        sparse_.reserve(keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i)
            sparse_.emplace_back(keys[i], static_cast<std::uint32_t>(i));
        std::sort(sparse_.begin(), sparse_.end());
    }

    // The rows of the keys from first to last only (a plain array over that
    // range): the rest of the view is not here.
    RowOfKey(engine::KeySpan keys, std::int64_t first, std::int64_t last) : min_(first) {
        dense_.assign(static_cast<std::size_t>(last - first) + 1, kNone);
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const std::int64_t k = keys[i];
            if (k >= first && k <= last)
                dense_[static_cast<std::size_t>(k - first)] = static_cast<std::uint32_t>(i);
        }
    }

    // Whether keys from least to greatest are found by a plain array over
    // their span: only when it is not much larger than the keys themselves.
    // Unsigned, so that keys from either end of the range cannot overflow.
    static bool fitsArray(std::int64_t least, std::int64_t greatest, std::size_t keys) {
        return static_cast<std::uint64_t>(greatest) - static_cast<std::uint64_t>(least) <
               4 * keys + 1024;
    }

    // kNone when the key is not in the view.
    std::uint32_t find(std::int64_t key) const {
        if (!dense_.empty())
            return key < min_ ||
                           static_cast<std::uint64_t>(key) - static_cast<std::uint64_t>(min_) >=
                               dense_.size()
                       ? kNone
                       : dense_[static_cast<std::size_t>(key - min_)];
        const auto it =
            std::lower_bound(sparse_.begin(), sparse_.end(), std::make_pair(key, std::uint32_t(0)));
        return it != sparse_.end() && it->first == key ? it->second : kNone;
    }

private:
    std::int64_t min_ = 0;
    std::vector<std::uint32_t> dense_;
    std::vector<std::pair<std::int64_t, std::uint32_t>> sparse_;
};

} // namespace chart
