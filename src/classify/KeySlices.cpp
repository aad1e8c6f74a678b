#include "KeySlices.h"

#include <algorithm>
#include <atomic>

namespace chart {

namespace {

std::atomic<std::int64_t> width{KeySlices::kWidth};

} // namespace

void KeySlices::setWidth(std::int64_t keys) {
    width = std::max<std::int64_t>(1, keys);
}

KeySlices::KeySlices(engine::KeySpan keys) : keys_(keys) {
    if (keys.empty()) {
        done_ = true;
        return;
    }
    least_ = greatest_ = keys[0];
    for (std::size_t i = 1; i < keys.size(); ++i) {
        least_ = std::min(least_, keys[i]);
        greatest_ = std::max(greatest_, keys[i]);
    }
    dense_ = RowOfKey::fitsArray(least_, greatest_, keys.size());
}

bool KeySlices::next() {
    if (done_)
        return false;
    rows_.reset(); // the last range's rows go before the next's are made
    if (!dense_) {
        range_ = {least_, greatest_};
        rows_.emplace(keys_);
        done_ = true;
        return true;
    }
    const std::int64_t first = range_.last < range_.first ? least_ : range_.last + 1;
    const std::int64_t w = width.load(std::memory_order_relaxed);
    // The last range ends at the greatest key, however near it is.
    const std::int64_t last = greatest_ - first < w ? greatest_ : first + w - 1;
    range_ = {first, last};
    rows_.emplace(keys_, first, last);
    done_ = last == greatest_;
    return true;
}

} // namespace chart
