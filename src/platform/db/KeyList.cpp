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

void KeyList::clear() {
    for (std::int64_t*& b : blocks_) {
        if (b)
            munmap(b, kBlock * sizeof(std::int64_t));
        b = nullptr;
    }
    size_.store(0, std::memory_order_release);
}

void KeyList::append(std::int64_t key) {
    const long n = size_.load(std::memory_order_relaxed);
    const auto block = static_cast<std::size_t>(n >> kShift);
    if (block >= kMaxBlocks)
        throw EngineError(7, "Out of memory: a record set holds at most 2,147,483,648 rows.");
    if (!blocks_[block]) {
        void* p = mmap(nullptr, kBlock * sizeof(std::int64_t), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw EngineError(7, "Out of memory.");
        blocks_[block] = static_cast<std::int64_t*>(p);
    }
    blocks_[block][n & kMask] = key;
    size_.store(n + 1, std::memory_order_release);
}

void KeyList::shift(long first, long last, int by) {
    // Runs within a block are moved whole; the key that crosses into the
    // next block (or the one before) is carried by hand.
    if (by > 0) {
        for (long end = last; end > first;) {
            const long begin = std::max(first, (end - 1) & ~kMask);
            std::int64_t* b = &slot(begin);
            const long run = end - begin;
            if (((begin + run) & kMask) == 0) { // the last key crosses into the next block
                slot(begin + run) = b[run - 1];
                std::memmove(b + 1, b, static_cast<std::size_t>(run - 1) * sizeof(std::int64_t));
            } else {
                std::memmove(b + 1, b, static_cast<std::size_t>(run) * sizeof(std::int64_t));
            }
            end = begin;
        }
    } else {
        for (long begin = first; begin < last;) {
            const long end = std::min(last, (begin | kMask) + 1);
            std::int64_t* b = &slot(begin);
            const long run = end - begin;
            if ((begin & kMask) == 0) { // the first key crosses into the block before
                slot(begin - 1) = b[0];
                std::memmove(b, b + 1, static_cast<std::size_t>(run - 1) * sizeof(std::int64_t));
            } else {
                std::memmove(b - 1, b, static_cast<std::size_t>(run) * sizeof(std::int64_t));
            }
            begin = end;
        }
    }
}

void KeyList::erase(long index) {
    const long n = size();
    shift(index + 1, n, -1);
    size_.store(n - 1, std::memory_order_release);
}

void KeyList::insert(long index, std::int64_t key) {
    const long n = size();
    append(n ? at(n - 1) : key); // room for one more
    shift(index, n, 1);
    slot(index) = key;
}

long KeyList::indexOf(std::int64_t key) const {
    const long n = size();
    for (long i = 0; i < n; ++i)
        if (at(i) == key)
            return i;
    return -1;
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
    const long n = size();
    std::size_t left = out.size();
    for (long i = 0; i < n && left; ++i) {
        const std::int64_t k = at(i);
        const std::size_t b = bit(k);
        if (!(seen[b >> 6] >> (b & 63) & 1))
            continue;
        const auto it = out.find(k);
        if (it != out.end() && it->second < 0) {
            it->second = i;
            --left;
        }
    }
    return out;
}

std::vector<std::int64_t> KeyList::toVector() const {
    const long n = size();
    std::vector<std::int64_t> v;
    v.reserve(static_cast<std::size_t>(n));
    for (long i = 0; i < n; ++i)
        v.push_back(at(i));
    return v;
}

std::shared_ptr<KeyList> KeyList::copy() const {
    auto other = std::make_shared<KeyList>();
    const long n = size();
    for (long at = 0; at < n; at += kBlock) {
        other->append(this->at(at)); // maps the block
        const auto block = static_cast<std::size_t>(at >> kShift);
        const long run = std::min(kBlock, n - at);
        std::memcpy(other->blocks_[block], blocks_[block],
                    static_cast<std::size_t>(run) * sizeof(std::int64_t));
        other->size_.store(at + run, std::memory_order_release);
    }
    return other;
}

} // namespace engine
