#include "KeyList.h"

#include "EngineError.h"

#include <algorithm>
#include <cstring>

#include <sys/mman.h>

namespace engine {

KeyList::KeyList() : blocks_(kMaxBlocks, nullptr) {}

KeyList::~KeyList() {
    clear();
}

namespace {

void* mapBytes(std::size_t bytes) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw EngineError(7, "Out of memory.");
    return p;
}

} // namespace

KeyList::Entry* KeyList::mapBlock() {
    return static_cast<Entry*>(mapBytes(kBlock * sizeof(Entry)));
}

std::int64_t* KeyList::mapWideBlock() {
    return static_cast<std::int64_t*>(mapBytes(kBlock * sizeof(std::int64_t)));
}

KeyList::Entry KeyList::entryOf(std::int64_t key) {
    if (key >= 0 && key < std::int64_t(kWide))
        return static_cast<Entry>(key);
    return kWide | static_cast<Entry>(storeWide(key));
}

long KeyList::storeWide(std::int64_t key) {
    if (wideCount_ >= std::int64_t(kWide))
        throw EngineError(7, "Out of memory: a record set holds at most 2,147,483,648 rows.");
    if (!wide_) {
        wide_.reset(new std::int64_t*[kMaxBlocks]);
        std::fill(wide_.get(), wide_.get() + kMaxBlocks, nullptr);
    }
    std::int64_t*& block = wide_[static_cast<std::size_t>(wideCount_ >> kShift)];
    if (!block)
        block = mapWideBlock();
    block[wideCount_ & kMask] = key;
    return wideCount_++;
}

void KeyList::clear() {
    for (Entry*& b : blocks_) {
        if (b)
            munmap(b, kBlock * sizeof(Entry));
        b = nullptr;
    }
    if (wide_)
        for (std::size_t b = 0; b < kMaxBlocks && wide_[b]; ++b)
            munmap(wide_[b], kBlock * sizeof(std::int64_t));
    wide_.reset();
    wideCount_ = 0;
    loose_ = false;
    fill_.clear();
    first_.clear();
    size_.store(0, std::memory_order_release);
}

void KeyList::append(std::int64_t key) {
    const long n = size_.load(std::memory_order_relaxed);
    if (loose_) {
        insert(n, key);
        return;
    }
    const auto block = static_cast<std::size_t>(n >> kShift);
    if (block >= kMaxBlocks)
        throw EngineError(7, "Out of memory: a record set holds at most 2,147,483,648 rows.");
    if (!blocks_[block])
        blocks_[block] = mapBlock();
    blocks_[block][n & kMask] = entryOf(key);
    size_.store(n + 1, std::memory_order_release);
}

void KeyList::eachRun(const std::function<bool(long, const Entry*, long)>& each) const {
    const long n = size();
    if (!loose_) {
        for (long first = 0; first < n; first += kBlock)
            if (!each(first, blocks_[static_cast<std::size_t>(first >> kShift)],
                      std::min(kBlock, n - first)))
                return;
        return;
    }
    for (std::size_t b = 0; b < fill_.size(); ++b)
        if (fill_[b] && !each(first_[b], blocks_[b], fill_[b]))
            return;
}

std::int64_t KeyList::looseAt(long index) const {
    const std::size_t b = blockOf(index);
    return keyOf(blocks_[b][index - first_[b]]);
}

std::size_t KeyList::blockOf(long index) const {
    // The last block whose first index is at most index: an empty block
    // shares its first index with the next and is passed over.
    const auto it = std::upper_bound(first_.begin(), first_.end(), index);
    return static_cast<std::size_t>(it - first_.begin()) - 1;
}

void KeyList::loosen() {
    const long n = size();
    const long used = std::max(1L, (n + kMask) >> kShift);
    fill_.assign(static_cast<std::size_t>(used), kBlock);
    first_.resize(static_cast<std::size_t>(used));
    for (long b = 0; b < used; ++b)
        first_[static_cast<std::size_t>(b)] = b * kBlock;
    fill_.back() = n - (used - 1) * kBlock;
    if (!blocks_[0])
        blocks_[0] = mapBlock();
    loose_ = true;
}

void KeyList::split(std::size_t b) {
    const std::size_t used = fill_.size();
    if (used >= kMaxBlocks)
        throw EngineError(7, "Out of memory: a record set holds at most 2,147,483,648 rows.");
    // A block mapped before and no longer in use is taken first.
    if (!blocks_[used])
        blocks_[used] = mapBlock();
    std::rotate(blocks_.begin() + static_cast<long>(b) + 1,
                blocks_.begin() + static_cast<long>(used),
                blocks_.begin() + static_cast<long>(used) + 1);
    const long half = kBlock / 2;
    std::memcpy(blocks_[b + 1], blocks_[b] + half,
                static_cast<std::size_t>(kBlock - half) * sizeof(Entry));
    fill_.insert(fill_.begin() + static_cast<long>(b) + 1, kBlock - half);
    first_.insert(first_.begin() + static_cast<long>(b) + 1, first_[b] + half);
    fill_[b] = half;
}

void KeyList::erase(long index) {
    if (!loose_)
        loosen();
    const std::size_t b = blockOf(index);
    Entry* keys = blocks_[b];
    const long at = index - first_[b];
    std::memmove(keys + at, keys + at + 1,
                 static_cast<std::size_t>(fill_[b] - at - 1) * sizeof(Entry));
    --fill_[b];
    for (std::size_t c = b + 1; c < first_.size(); ++c)
        --first_[c];
    size_.store(size() - 1, std::memory_order_release);
}

void KeyList::insert(long index, std::int64_t key) {
    if (!loose_)
        loosen();
    std::size_t b = blockOf(index);
    if (fill_[b] == kBlock) {
        split(b);
        if (index > first_[b + 1] || (index == first_[b + 1] && index == size()))
            ++b;
    }
    const Entry e = entryOf(key);
    Entry* keys = blocks_[b];
    const long at = index - first_[b];
    std::memmove(keys + at + 1, keys + at, static_cast<std::size_t>(fill_[b] - at) * sizeof(Entry));
    keys[at] = e;
    ++fill_[b];
    for (std::size_t c = b + 1; c < first_.size(); ++c)
        ++first_[c];
    size_.store(size() + 1, std::memory_order_release);
}

void KeyList::pack() {
    if (!loose_)
        return;
    // Each key's packed place is at or before where it is kept (no block
    // holds more than a full one), so moving them in order overwrites only
    // keys moved already.
    long to = 0;
    for (std::size_t b = 0; b < fill_.size(); ++b)
        for (long from = 0; from < fill_[b];) {
            const long run = std::min(fill_[b] - from, kBlock - (to & kMask));
            Entry*& into = blocks_[static_cast<std::size_t>(to >> kShift)];
            if (!into)
                into = mapBlock();
            std::memmove(into + (to & kMask), blocks_[b] + from,
                         static_cast<std::size_t>(run) * sizeof(Entry));
            from += run;
            to += run;
        }
    loose_ = false;
    fill_.clear();
    first_.clear();
}

long KeyList::indexOf(std::int64_t key) const {
    long found = -1;
    eachRun([&](long first, const Entry* keys, long n) {
        for (long i = 0; i < n; ++i)
            if (keyOf(keys[i]) == key) {
                found = first + i;
                return false;
            }
        return true;
    });
    return found;
}

std::unordered_map<std::int64_t, long>
KeyList::indexesOf(const std::vector<std::int64_t>& keys) const {
    std::unordered_map<std::int64_t, long> out;
    for (std::int64_t k : keys)
        out.emplace(k, -1);
    if (out.empty())
        return out;
    // A bit per hashed key passes over nearly every key of the list
    // without a look into the map.
    std::vector<std::uint64_t> seen(1 << 10);
    auto bit = [](std::int64_t k) {
        return static_cast<std::size_t>((static_cast<std::uint64_t>(k) * 0x9E3779B97F4A7C15ull) >>
                                        48);
    };
    for (const auto& [k, at] : out)
        seen[bit(k) >> 6] |= std::uint64_t(1) << (bit(k) & 63);
    std::size_t left = out.size();
    eachRun([&](long first, const Entry* keys, long n) {
        for (long i = 0; i < n; ++i) {
            const std::int64_t key = keyOf(keys[i]);
            const std::size_t b = bit(key);
            if (!(seen[b >> 6] >> (b & 63) & 1))
                continue;
            const auto it = out.find(key);
            if (it != out.end() && it->second < 0) {
                it->second = first + i;
                --left;
            }
        }
        return left > 0;
    });
    return out;
}

std::vector<std::int64_t> KeyList::toVector() const {
    std::vector<std::int64_t> v;
    v.reserve(static_cast<std::size_t>(size()));
    eachRun([&](long, const Entry* keys, long n) {
        for (long i = 0; i < n; ++i)
            v.push_back(keyOf(keys[i]));
        return true;
    });
    return v;
}

std::shared_ptr<KeyList> KeyList::copy() const {
    auto other = std::make_shared<KeyList>();
    // The other list's wide keys stand where ours do, so that the entries
    // are copied as they are.
    for (long w = 0; w < wideCount_; ++w)
        other->storeWide(wideAt(w));
    eachRun([&](long, const Entry* keys, long n) {
        for (long i = 0; i < n;) {
            const long at = other->size();
            other->append(0); // maps the block
            const long run = std::min(n - i, kBlock - (at & kMask));
            std::memcpy(&other->blocks_[static_cast<std::size_t>(at >> kShift)][at & kMask],
                        keys + i, static_cast<std::size_t>(run) * sizeof(Entry));
            other->size_.store(at + run, std::memory_order_release);
            i += run;
        }
        return true;
    });
    return other;
}

} // namespace engine
