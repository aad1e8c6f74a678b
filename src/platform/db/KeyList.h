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
// size() never moves while keys are appended, and never a second copy is
// made while growing.
//
// Packed, every block but the last is full and a key's place is a shift and
// a mask. Keys are kept in four bytes each (ten million take 40 MB): a key
// from 0 to 2^31 - 1 as itself, any other as the place, with the top bit
// set, of its eight bytes in a second store beside the blocks, which grows
// only (a key taken out leaves its place there unused). A key put in or taken out (another user's
// rows, after loading) makes the list loose: each block then holds what it holds, so that only its
// own keys move, and a place is looked up among the blocks' first indexes; pack() makes it packed
// again in one pass.
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
            return keyOf(blocks_[static_cast<std::size_t>(index >> kShift)][index & kMask]);
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

    using Entry = std::uint32_t;
    static constexpr Entry kWide = Entry(1) << 31;

    static Entry* mapBlock();
    static std::int64_t* mapWideBlock();
    std::int64_t keyOf(Entry e) const {
        return e < kWide ? std::int64_t(e) : wideAt(static_cast<long>(e & ~kWide));
    }
    std::int64_t wideAt(long w) const {
        return wide_[static_cast<std::size_t>(w >> kShift)][w & kMask];
    }
    Entry entryOf(std::int64_t key);
    long storeWide(std::int64_t key); // its place in the second store
    // Every run of keys in order: its first index, where it is, how long.
    void eachRun(const std::function<bool(long, const Entry*, long)>& each) const;
    std::int64_t looseAt(long index) const;
    // The block holding index (the last one for index == size()), loose.
    std::size_t blockOf(long index) const;
    void loosen();
    // Block b, full, split in two halves: b and b + 1.
    void split(std::size_t b);

    // Blocks are mapped from the system, not taken from the heap: the
    // loading thread's heap would keep them after the set is gone.
    std::vector<Entry*> blocks_;
    std::atomic<long> size_{0};
    // The keys that do not fit an entry, in blocks as the entries are; its
    // table of blocks is made with the first of them, before any entry
    // names it.
    std::unique_ptr<std::int64_t*[]> wide_;
    long wideCount_ = 0;
    // Loose only: the blocks in use (in order, from the first), how many
    // keys each holds and the index of its first key.
    bool loose_ = false;
    std::vector<long> fill_, first_;
};

} // namespace engine
