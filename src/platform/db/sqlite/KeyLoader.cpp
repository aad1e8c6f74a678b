#include "KeyLoader.h"

#include "SqliteDatabase.h"
#include "Statement.h"

#include <sqlite3.h>

#include <chrono>

namespace engine {

namespace {

// After the first screen, keys are handed over in steps that keep the
// waiting side from waking for every key.
constexpr long kBatch = 16384;

int stopWhenCancelled(void* flag) {
    return static_cast<std::atomic<bool>*>(flag)->load(std::memory_order_relaxed) ? 1 : 0;
}

} // namespace

KeyLoader::KeyLoader(SqliteDatabase& db, const std::string& keySql, const std::string& countSql,
                     int busyWaitMs, KeyList& keys)
    : db_(db), keys_(keys), countSql_(countSql), busyWaitMs_(busyWaitMs) {
    keysThread_ = std::thread(&KeyLoader::loadKeys, this, keySql, busyWaitMs);
}

void KeyLoader::startCounting() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (counting_ || countSql_.empty() || keysDone())
        return;
    counting_ = true;
    countThread_ = std::thread(&KeyLoader::countRows, this, countSql_, busyWaitMs_);
}

// A read-only connection of the database's, stopped when this loader is.
sqlite3* KeyLoader::open(int busyWaitMs, Failure& failure) {
    sqlite3* db = db_.takeReader(failure.rc, failure.message);
    if (db) {
        sqlite3_busy_timeout(db, busyWaitMs);
        sqlite3_progress_handler(db, 1000, &stopWhenCancelled, &cancel_);
    }
    return db;
}

KeyLoader::~KeyLoader() {
    cancel_ = true;
    if (keysThread_.joinable())
        keysThread_.join();
    if (countThread_.joinable())
        countThread_.join();
}

void KeyLoader::notify() {
    // More keys: waiters here are woken, but the owner is not called for
    // every batch (ten million keys would be six hundred calls); it follows
    // the keys at its own pace and is told when they are all in.
    std::lock_guard<std::mutex> lock(mutex_);
    changed_.notify_all();
}

void KeyLoader::setOnChange(std::function<void()> onChange) {
    std::lock_guard<std::mutex> lock(mutex_);
    onChange_ = std::move(onChange);
}

void KeyLoader::loadKeys(std::string sql, int busyWaitMs) {
    Failure failure;
    if (sqlite3* db = open(busyWaitMs, failure)) {
        sqlite3_stmt* raw = nullptr;
        int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
        {
            Statement s(raw);
            if (rc == SQLITE_OK) {
                long next = kFirstScreen;
                while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
                    keys_.append(sqlite3_column_int64(raw, 0));
                    if (keys_.size() == next) {
                        next += kBatch;
                        notify();
                    }
                }
            }
            if (rc != SQLITE_DONE)
                failure = {rc, sqlite3_errmsg(db)};
        }
        db_.giveBackReader(db);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        keysFailure_ = failure;
        keysDone_.store(true, std::memory_order_release);
        if (!failure.rc)
            cancel_ = true; // every key is in: a count still running is of no more use
        if (!counting_) {
            countFailure_ = failure;
            count_ = failure.rc ? -1 : keys_.size();
            countDone_.store(true, std::memory_order_release);
        }
        changed_.notify_all();
        if (onChange_)
            onChange_();
    }
}

void KeyLoader::countRows(std::string sql, int busyWaitMs) {
    Failure failure;
    long n = -1;
    if (sqlite3* db = open(busyWaitMs, failure)) {
        sqlite3_stmt* raw = nullptr;
        int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
        {
            Statement s(raw);
            if (rc == SQLITE_OK && (rc = sqlite3_step(raw)) == SQLITE_ROW)
                n = static_cast<long>(sqlite3_column_int64(raw, 0));
            else
                failure = {rc, sqlite3_errmsg(db)};
        }
        db_.giveBackReader(db);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    countFailure_ = failure;
    count_ = n;
    countDone_.store(true, std::memory_order_release);
    changed_.notify_all();
    if (onChange_)
        onChange_();
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
