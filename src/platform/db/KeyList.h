#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace engine {

// The ordered keys of a record set, in blocks of fixed size so that one
// thread can append while another reads the keys already there: a key below
// size() never moves while keys are appended. Ten million keys take 80 MB
// and never a second copy while growing.
//
// append() may run on a loading thread; everything else on the owner's
// thread, and erase() and a key appended by the owner only once loading is over.
class KeyList {
public:
    KeyList();
    ~KeyList();
    KeyList(const KeyList&) = delete;
    KeyList& operator=(const KeyList&) = delete;

    long size() const { return size_.load(std::memory_order_acquire); }
    std::int64_t at(long index) const {
        return blocks_[static_cast<std::size_t>(index >> kShift)][index & kMask];
    }
    void append(std::int64_t key);
    void erase(long index);
    void insert(long index, std::int64_t key); // only once loading is over
    void clear();                              // only while no thread appends
    long indexOf(std::int64_t key) const;
    // Where each of these keys stands, -1 for one that is not here, found
    // in one pass over the list however many they are.
    std::unordered_map<std::int64_t, long> indexesOf(const std::vector<std::int64_t>& keys) const;
    std::vector<std::int64_t> toVector() const;
    // Another list holding the same keys.
    std::shared_ptr<KeyList> copy() const;

private:
    std::int64_t& slot(long index) {
        return blocks_[static_cast<std::size_t>(index >> kShift)][index & kMask];
    }
    // Keys [first, last) moved one place towards the end (by > 0) or the
    // start (by < 0), a block's run at a time; the place left is the caller's.
    void shift(long first, long last, int by);

    static constexpr int kShift = 16;
    static constexpr long kBlock = 1L << kShift;
    static constexpr long kMask = kBlock - 1;
    // Room for 2^31 keys: the table itself never grows, so readers need no lock.
    static constexpr std::size_t kMaxBlocks = std::size_t(1) << (31 - kShift);

    // Blocks are mapped from the system, not taken from the heap: the
    // loading thread's heap would keep them after the set is gone.
    std::vector<std::int64_t*> blocks_;
    std::atomic<long> size_{0};
};

} // namespace engine
