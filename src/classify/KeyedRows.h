#pragma once

#include "RowOfKey.h"
#include "platform/db/KeySpan.h"

#include <cstdint>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

namespace chart {

// Where a reader that goes through a table in key order puts what it reads
// for each row of a view, so that it ends in the view's order.
//
// A view that holds nearly every key of its span (a whole table, in any
// order) is read into slots by key (the key less the least key) and put in
// the view's order in place afterwards: the readers' arrays are a little
// longer than the view while they are read, and no index of rows by key is
// kept beside them (4 bytes a row: 40 MB at ten million rows). Any other view
// is read into its rows through a RowOfKey. Either way a slot no row of the
// table met keeps its array's initial value.
class KeyedRows {
public:
    static constexpr std::uint32_t kNone = RowOfKey::kNone;

    explicit KeyedRows(engine::KeySpan keys) : keys_(keys) {
        const std::size_t n = keys.size();
        if (n == 0)
            return;
        std::int64_t lo = keys[0], hi = keys[0];
        for (std::size_t i = 1; i < n; ++i) {
            lo = std::min(lo, keys[i]);
            hi = std::max(hi, keys[i]);
        }
        min_ = lo;
        const auto span = static_cast<std::uint64_t>(hi - lo) + 1;
        if (span <= n + n / 8 + 1024) {
            inView_.assign(span, false);
            bool unique = true;
            for (std::size_t i = 0; i < n && unique; ++i) {
                auto bit = inView_[static_cast<std::size_t>(keys[i] - min_)];
                unique = !bit;
                bit = true;
            }
            if (unique)
                return;
            inView_.clear(); // a key twice: only an index can say which row
        }
        rows_ = std::make_unique<RowOfKey>(keys);
    }

    // The length the readers' arrays are given.
    std::size_t slots() const { return rows_ ? keys_.size() : inView_.size(); }

    // kNone when the key is not in the view.
    std::uint32_t slot(std::int64_t key) const {
        if (rows_)
            return rows_->find(key);
        if (key < min_ || static_cast<std::uint64_t>(key - min_) >= inView_.size())
            return kNone;
        const auto s = static_cast<std::size_t>(key - min_);
        return inView_[s] ? static_cast<std::uint32_t>(s) : kNone;
    }

    // Puts arrays of slots() values each in the view's order, one per row;
    // several at once, as they go the same way.
    //
    // Row j takes the value of slot from(j); no two rows take the same slot,
    // so the moves form chains and cycles. A chain starts at a slot no row
    // takes from and ends beyond the rows; a cycle is closed with the value
    // it started from.
    template <class... T>
    void toRows(std::vector<T>&... v) const {
        if (rows_)
            return;
        const std::size_t n = keys_.size();
        const auto from = [&](std::size_t j) { return static_cast<std::size_t>(keys_[j] - min_); };
        const auto take = [&](std::size_t to, std::size_t at) { ((v[to] = std::move(v[at])), ...); };
        std::vector<bool> done(n, false);
        for (std::size_t s = 0; s < n; ++s) {
            if (done[s] || inView_[s])
                continue;
            for (std::size_t j = s; j < n; j = from(j)) {
                done[j] = true;
                take(j, from(j));
            }
        }
        for (std::size_t s = 0; s < n; ++s) {
            if (done[s])
                continue;
            auto first = std::make_tuple(std::move(v[s])...);
            std::size_t j = s;
            for (std::size_t k = from(j); k != s; j = k, k = from(j)) {
                done[j] = true;
                take(j, k);
            }
            done[j] = true;
            std::tie(v[j]...) = std::move(first);
        }
        (v.resize(n), ...);
    }

private:
    engine::KeySpan keys_;
    std::int64_t min_ = 0;
    std::vector<bool> inView_;
    std::unique_ptr<RowOfKey> rows_;
};

} // namespace chart
