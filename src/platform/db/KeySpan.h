#pragma once

#include "KeyList.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace engine {

// A run of keys to read through, held by someone else: a record set's own
// key list (a view's ten million keys are then read where they are, never
// copied) or a plain array of them. It holds neither; what it names must
// outlive it, and a list it names must not grow meanwhile.
class KeySpan {
public:
    // Implicit on purpose: a reader takes a view's key list and a vector
    // alike.
    KeySpan(const std::vector<std::int64_t>& keys) : array_(keys.data()), size_(keys.size()) {}
    KeySpan(const KeyList& keys) : list_(&keys), size_(static_cast<std::size_t>(keys.size())) {}

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::int64_t operator[](std::size_t i) const {
        return list_ ? list_->at(static_cast<long>(i)) : array_[i];
    }

private:
    const std::int64_t* array_ = nullptr;
    const KeyList* list_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace engine
