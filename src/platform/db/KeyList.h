#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace engine {

// The ordered keys of a record set, in blocks of fixed size so that one
// thread can append while another reads the keys already there: a key below
// size() never moves while keys are appended. Ten million keys take 80 MB
// and never a second copy while growing.
//
// Packed, every block but the last is full and a key's place is a shift and
// a mask. A key put in or taken out (another user's rows, after loading)
// makes the list loose: each block then holds what it holds, so that only
// its own keys move, and a place is looked up among the blocks' first
// indexes; pack() makes it packed again in one pass.
//
// append() may run on a loading thread; everything else on the owner's
// thread, and erase(), insert() and a key appended by the owner only once
// loading is over.
class KeyList {
public:
    KeyList();
    ~KeyList();
    KeyList(const KeyList&) = delete;
    KeyList& operator=(const KeyList&) = delete;

    long size() const { return size_.load(std::memory_order_acquire); }
    std::int64_t at(long index) const {
        if (!loose_)
            return blocks_[static_cast<std::size_t>(index >> kShift)][index & kMask];
        return looseAt(index);
    }
    void append(std::int64_t key);
    void erase(long index);
    void insert(long index, std::int64_t key); // only once loading is over
    void clear();                              // only while no thread appends
    bool loose() const { return loose_; }
    void pack();
    long indexOf(std::int64_t key) const;
    // Where each of these keys stands, -1 for one that is not here, found
    // in one pass over the list however many they are.
    std::unordered_map<std::int64_t, long> indexesOf(const std::vector<std::int64_t>& keys) const;
    std::vector<std::int64_t> toVector() const;
    // Another list holding the same keys, packed.
    std::shared_ptr<KeyList> copy() const;

private:
    static constexpr int kShift = 16;
    static constexpr long kBlock = 1L << kShift;
    static constexpr long kMask = kBlock - 1;
    // Room for 2^31 keys: the table itself never grows, so readers need no lock.
    static constexpr std::size_t kMaxBlocks = std::size_t(1) << (31 - kShift);

    static std::int64_t* mapBlock();
    // Every run of keys in order: its first index, where it is, how long.
    void eachRun(const std::function<bool(long, const std::int64_t*, long)>& each) const;
    std::int64_t looseAt(long index) const;
    // The block holding index (the last one for index == size()), loose.
    std::size_t blockOf(long index) const;
    void loosen();
    // Block b, full, split in two halves: b and b + 1.
    void split(std::size_t b);

    // Blocks are mapped from the system, not taken from the heap: the
    // loading thread's heap would keep them after the set is gone.
    std::vector<std::int64_t*> blocks_;
    std::atomic<long> size_{0};
    // Loose only: the blocks in use (in order, from the first), how many
    // keys each holds and the index of its first key.
    bool loose_ = false;
    std::vector<long> fill_, first_;
};

} // namespace engine
