#pragma once

#include "platform/db/Value.h"

#include <sqlite3.h>

#include <string>

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

// A column of the current row as the database holds it.
inline Value readColumn(sqlite3_stmt* s, int i) {
    switch (sqlite3_column_type(s, i)) {
    case SQLITE_INTEGER:
        return Value::integer(sqlite3_column_int64(s, i));
    case SQLITE_FLOAT:
        return Value::real(sqlite3_column_double(s, i));
    case SQLITE_NULL:
        return {};
    default: {
        const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
        return Value::text(
            std::string(t ? t : "", static_cast<std::size_t>(sqlite3_column_bytes(s, i))));
    }
    }
}

} // namespace engine
