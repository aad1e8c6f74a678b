#pragma once

#include "KeyList.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace engine {

// Reads the keys of a record set, and counts its rows, on threads of their
// own, so that whoever opened the set can show its first rows while the
// rest are read. What is read, and from where, is the back end's: each
// job runs on its own connection, which only reads.
class KeyLoader {
public:
    struct Failure {
        int rc = 0; // the back end's code; 0 when nothing failed
        std::string message;
        std::string state; // the server's SQLSTATE, where there is one
    };
    // Appends every key in order through append(); stops early once
    // cancelled() holds.
    using KeysJob = std::function<Failure(KeyLoader& loader)>;
    using CountJob = std::function<Failure(KeyLoader& loader, long& count)>;

    // count may be empty: the set is then counted from its keys. The
    // count job runs only when count() is asked for before every key is in
    // (startCounting): a set read whole anyway is not scanned twice.
    KeyLoader(KeysJob keys, CountJob count, KeyList& keyList);
    ~KeyLoader(); // stops the threads and waits for them
    KeyLoader(const KeyLoader&) = delete;
    KeyLoader& operator=(const KeyLoader&) = delete;

    // Keys enough for a window's first screen: the owner is told at once.
    static constexpr long kFirstScreen = 64;

    // For tests: every loader holds its keys after the first screen until
    // released (or stopped), so that a view whose keys are still coming
    // can be looked at.
    static void holdAfterFirstScreen(bool hold);
    // ... and before their first key, so that a set still opening can be.
    static void holdBeforeKeys(bool hold);

    // For the jobs.
    void append(std::int64_t key) {
        keys_.append(key);
        if (keys_.size() == next_) {
            next_ += kBatch;
            notify();
        }
    }
    bool cancelled() const { return cancel_.load(std::memory_order_relaxed); }
    const std::atomic<bool>& cancelFlag() const { return cancel_; }

    bool keysDone() const { return keysDone_.load(std::memory_order_acquire); }
    // The count is known once the count job is done, or the keys are.
    bool countDone() const { return countDone_.load(std::memory_order_acquire); }
    long count() const { return count_; } // after countDone(), when no failure
    const Failure& keysFailure() const { return keysFailure_; }   // after keysDone()
    const Failure& countFailure() const { return countFailure_; } // after countDone()

    // Both threads are over: nothing of this loader reads any more.
    bool idle() const { return keysDone() && countDone(); }

    // Runs the count job now, unless the keys are all in already.
    void startCounting();

    // Waits until done() holds, handling nothing meanwhile: whoever cannot
    // wait asks first whether it would have to (keysDone, countDone) and
    // is told by onChange when to ask again.
    void waitUntil(const std::function<bool()>& done) const;
    // The same, for at most the given time; whether done() holds.
    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) const;

    // Called on a loading thread when the first screen of keys is in, when
    // the keys are all in (or failed) and when the count is done. It must not call back into the loader.
    void setOnChange(std::function<void()> onChange);

private:
    // After the first screen, keys are handed over in steps that keep the
    // waiting side from waking for every key.
    static constexpr long kBatch = 16384;

    void loadKeys();
    void countRows();
    // The count is known (-1 when failure says it cannot be); mutex_ held.
    void settleCount(const Failure& failure, long count);
    void notify();

    KeyList& keys_;
    KeysJob keysJob_;
    CountJob countJob_;
    long next_ = kFirstScreen; // the loading thread's own
    std::atomic<bool> cancel_{false};
    std::atomic<bool> keysDone_{false};
    std::atomic<bool> countDone_{false};
    bool counting_ = false; // whether a count thread runs; under mutex_
    long count_ = -1;
    Failure keysFailure_;
    Failure countFailure_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::function<void()> onChange_; // under mutex_
    std::thread keysThread_;
    std::thread countThread_;
};

} // namespace engine
