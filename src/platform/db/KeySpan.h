#pragma once

#include "KeyList.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace engine {

// A run of keys to read through, held by someone else: a record set's own
// key list (a view's ten million keys are then read where they are, never
// copied) or a plain vector. It holds neither; what it names must outlive it.
class KeySpan {
public:
    KeySpan(const std::vector<std::int64_t>& keys) : vector_(&keys) {} // NOLINT: implicit on purpose
    KeySpan(const KeyList& keys) : list_(&keys) {}                     // NOLINT: implicit on purpose

    std::size_t size() const {
        return vector_ ? vector_->size() : static_cast<std::size_t>(list_->size());
    }
    bool empty() const { return size() == 0; }
    std::int64_t operator[](std::size_t i) const {
        return vector_ ? (*vector_)[i] : list_->at(static_cast<long>(i));
    }

private:
    const std::vector<std::int64_t>* vector_ = nullptr;
    const KeyList* list_ = nullptr;
};

} // namespace engine
