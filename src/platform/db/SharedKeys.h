#pragma once

#include "KeyList.h"

#include <memory>

namespace engine {

// A record set's keys, lent whole to readers on other threads without a
// copy: a reader holds the list as it was, and the set's next change of its
// keys (a row added, deleted or moved) is made on a copy of its own, so
// what a reader holds never changes under it.
//
// Owner's thread only, except that the loading thread appends to list()
// until the keys are all in; they are lent only after that.
class SharedKeys {
public:
    SharedKeys() : list_(std::make_shared<KeyList>()) {}

    long size() const { return list_->size(); }
    std::int64_t at(long index) const { return list_->at(index); }
    long indexOf(std::int64_t key) const { return list_->indexOf(key); }
    std::vector<std::int64_t> toVector() const { return list_->toVector(); }

    // What the loading thread appends to.
    KeyList& list() { return *list_; }
    std::shared_ptr<const KeyList> lend() const { return list_; }

    void append(std::int64_t key) { own().append(key); }
    void erase(long index) { own().erase(index); }
    void insert(long index, std::int64_t key) { own().insert(index, key); }
    void clear() { own().clear(); }

private:
    KeyList& own() {
        if (list_.use_count() > 1)
            list_ = list_->copy();
        return *list_;
    }
    std::shared_ptr<KeyList> list_;
};

} // namespace engine
