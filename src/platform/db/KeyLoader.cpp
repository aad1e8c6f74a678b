#include "KeyLoader.h"

#include "FreedMemory.h"

namespace engine {

namespace {

std::atomic<bool> held{false};
std::atomic<bool> heldBefore{false};
std::mutex holdMutex;
std::condition_variable holdChanged;

} // namespace

void KeyLoader::holdAfterFirstScreen(bool hold) {
    {
        std::lock_guard<std::mutex> lock(holdMutex);
        held = hold;
    }
    holdChanged.notify_all();
}

void KeyLoader::holdBeforeKeys(bool hold) {
    {
        std::lock_guard<std::mutex> lock(holdMutex);
        heldBefore = hold;
    }
    holdChanged.notify_all();
}

KeyLoader::KeyLoader(KeysJob keys, CountJob count, KeyList& keyList)
    : keys_(keyList), keysJob_(std::move(keys)), countJob_(std::move(count)) {
    keysThread_ = std::thread(&KeyLoader::loadKeys, this);
}

void KeyLoader::startCounting() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (counting_ || !countJob_ || keysDone())
        return;
    counting_ = true;
    countThread_ = std::thread(&KeyLoader::countRows, this);
}

KeyLoader::~KeyLoader() {
    {
        std::lock_guard<std::mutex> lock(holdMutex);
        cancel_ = true;
    }
    holdChanged.notify_all();
    if (keysThread_.joinable())
        keysThread_.join();
    if (countThread_.joinable())
        countThread_.join();
}

void KeyLoader::notify() {
    // More keys: waiters here are woken, but the owner is not called for
    // every batch (ten million keys would be six hundred calls); it follows
    // the keys at its own pace and is told when they are all in.
    {
        std::lock_guard<std::mutex> lock(mutex_);
        changed_.notify_all();
        if (keys_.size() == kFirstScreen && onChange_)
            onChange_(); // a set opened without waiting can be shown now
    }
    if (held.load(std::memory_order_relaxed) && keys_.size() == kFirstScreen) {
        std::unique_lock<std::mutex> lock(holdMutex);
        holdChanged.wait(lock, [this] { return !held || cancel_; });
    }
}

void KeyLoader::setOnChange(std::function<void()> onChange) {
    std::lock_guard<std::mutex> lock(mutex_);
    onChange_ = std::move(onChange);
}

void KeyLoader::loadKeys() {
    if (heldBefore.load(std::memory_order_relaxed)) {
        std::unique_lock<std::mutex> lock(holdMutex);
        holdChanged.wait(lock, [this] { return !heldBefore || cancel_; });
    }
    const Failure failure = keysJob_(*this);
    // Read before the keys are said to be in: from then on they may be
    // lent, and the list this loader filled may go with its borrower.
    const long loaded = keys_.size();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        keysFailure_ = failure;
        keysDone_.store(true, std::memory_order_release);
        if (!failure.rc)
            cancel_ = true; // every key is in: a count still running is of no more use
        if (!counting_)
            settleCount(failure, loaded);
        changed_.notify_all();
        if (onChange_)
            onChange_();
    }
    // What the reading freed goes back (and the set this one replaced,
    // when it went before its successor's keys were all in).
    returnFreedMemory();
}

void KeyLoader::countRows() {
    long n = -1;
    Failure failure = countJob_(*this, n);
    std::lock_guard<std::mutex> lock(mutex_);
    settleCount(failure, n);
    changed_.notify_all();
    if (onChange_)
        onChange_();
}

void KeyLoader::settleCount(const Failure& failure, long count) {
    countFailure_ = failure;
    count_ = failure.rc ? -1 : count;
    countDone_.store(true, std::memory_order_release);
}

void KeyLoader::waitUntil(const std::function<bool()>& done) const {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, done);
}

bool KeyLoader::waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, done);
}

} // namespace engine
