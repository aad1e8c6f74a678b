#pragma once

#include "platform/db/KeyList.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

struct sqlite3;

namespace engine {

class SqliteDatabase;

// Reads the keys of a record set, and counts its rows, on threads and
// connections of their own, so that whoever opened the set can show its
// first rows while the rest are read. The statements were already checked
// on the owner's connection; these connections only read.
class KeyLoader {
public:
    struct Failure {
        int rc = 0;
        std::string message;
    };

    // countSql may be empty: the set is then counted from its keys. The
    // count statement runs only when count() is asked for before every key
    // is in (startCounting): a set read whole anyway is not scanned twice.
    KeyLoader(SqliteDatabase& db, const std::string& keySql, const std::string& countSql,
              int busyWaitMs, KeyList& keys);
    ~KeyLoader(); // stops the threads and waits for them
    KeyLoader(const KeyLoader&) = delete;
    KeyLoader& operator=(const KeyLoader&) = delete;

    // Keys enough for a window's first screen: the owner is told at once.
    static constexpr long kFirstScreen = 64;

    bool keysDone() const { return keysDone_.load(std::memory_order_acquire); }
    // The count is known once the count statement is done, or the keys are.
    bool countDone() const { return countDone_.load(std::memory_order_acquire); }
    long count() const { return count_; } // after countDone(), when no failure
    const Failure& keysFailure() const { return keysFailure_; }   // after keysDone()
    const Failure& countFailure() const { return countFailure_; } // after countDone()

    // Both threads are over: nothing of this loader reads the file any more.
    bool idle() const { return keysDone() && countDone(); }

    // Runs the count statement now, unless the keys are all in already.
    void startCounting();

    // Waits until done() holds, handling nothing meanwhile: whoever cannot
    // wait asks first whether it would have to (keysDone, countDone) and
    // is told by onChange when to ask again.
    void waitUntil(const std::function<bool()>& done) const;
    // The same, for at most the given time; whether done() holds.
    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) const;

    // Called on a loading thread when the keys are all in (or failed) and
    // when the count is done. It must not call back into the loader.
    void setOnChange(std::function<void()> onChange);

private:
    sqlite3* open(int busyWaitMs, Failure& failure);
    void loadKeys(std::string sql, int busyWaitMs);
    void countRows(std::string sql, int busyWaitMs);
    void notify();

    SqliteDatabase& db_;
    KeyList& keys_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> keysDone_{false};
    std::atomic<bool> countDone_{false};
    std::string countSql_;
    int busyWaitMs_;
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
