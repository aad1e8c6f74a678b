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

void KeyList::erase(long index) {
    const long n = size();
    for (long i = index; i + 1 < n; ++i)
        blocks_[static_cast<std::size_t>(i >> kShift)][i & kMask] = at(i + 1);
    size_.store(n - 1, std::memory_order_release);
}

void KeyList::insert(long index, std::int64_t key) {
    const long n = size();
    append(n ? at(n - 1) : key); // room for one more
    for (long i = n - 1; i > index; --i)
        blocks_[static_cast<std::size_t>(i >> kShift)][i & kMask] = at(i - 1);
    blocks_[static_cast<std::size_t>(index >> kShift)][index & kMask] = key;
}

long KeyList::indexOf(std::int64_t key) const {
    const long n = size();
    for (long i = 0; i < n; ++i)
        if (at(i) == key)
            return i;
    return -1;
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
