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
    std::unordered_map<std::int64_t, long> indexesOf(const std::vector<std::int64_t>& keys) const {
        return list_->indexesOf(keys);
    }
    // Counts this thread's changes of the keys (not the loading thread's
    // appends): places remembered at one count stand while it holds.
    std::uint64_t changes() const { return changes_; }
    std::vector<std::int64_t> toVector() const { return list_->toVector(); }

    // What the loading thread appends to.
    KeyList& list() { return *list_; }
    // Lent packed, so that a reader's every look is a shift and a mask.
    std::shared_ptr<const KeyList> lend() const {
        pack();
        return list_;
    }

    void append(std::int64_t key) { changed().append(key); }
    void erase(long index) { changed().erase(index); }
    void insert(long index, std::int64_t key) { changed().insert(index, key); }
    void clear() { changed().clear(); }
    // Packed again after keys were put in or taken out (see KeyList): the
    // places stay the same. A list lent meanwhile is left as it is.
    void pack() const {
        if (list_.use_count() == 1)
            list_->pack();
    }

private:
    KeyList& changed() {
        ++changes_;
        return own();
    }
    KeyList& own() {
        if (list_.use_count() > 1)
            list_ = list_->copy();
        return *list_;
    }
    mutable std::shared_ptr<KeyList> list_; // packing keeps every key where it stands
    std::uint64_t changes_ = 0;
};

} // namespace engine
