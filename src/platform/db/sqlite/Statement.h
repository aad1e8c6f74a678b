#pragma once

#include <sqlite3.h>

#include <utility>

namespace engine {

// Owns one prepared statement and finalises it.
class Statement {
public:
    Statement() = default;
    explicit Statement(sqlite3_stmt* s) : s_(s) {}
    Statement(Statement&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
    Statement& operator=(Statement&& o) noexcept {
        if (this != &o) {
            sqlite3_finalize(s_);
            s_ = std::exchange(o.s_, nullptr);
        }
        return *this;
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(s_); }

    sqlite3_stmt* get() const { return s_; }
    explicit operator bool() const { return s_ != nullptr; }

private:
    sqlite3_stmt* s_ = nullptr;
};

} // namespace engine
