#pragma once

#include "platform/db/Value.h"

#include <libpq-fe.h>

#include <cstdint>
#include <string>
#include <utility>

namespace engine {

// Owns one result of the server's and reads its text-format cells.
class PgResult {
public:
    PgResult() = default;
    explicit PgResult(PGresult* r) : r_(r) {}
    PgResult(PgResult&& o) noexcept : r_(std::exchange(o.r_, nullptr)) {}
    PgResult& operator=(PgResult&& o) noexcept {
        if (this != &o) {
            PQclear(r_);
            r_ = std::exchange(o.r_, nullptr);
        }
        return *this;
    }
    PgResult(const PgResult&) = delete;
    PgResult& operator=(const PgResult&) = delete;
    ~PgResult() { PQclear(r_); }

    PGresult* get() const { return r_; }
    bool ok() const {
        const auto s = PQresultStatus(r_);
        return r_ && (s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK);
    }
    // The SQLSTATE of a failure; empty when the server sent none (a
    // connection that broke).
    std::string state() const;
    std::string message() const;

    int rows() const { return PQntuples(r_); }
    int columns() const { return PQnfields(r_); }
    std::string columnName(int c) const { return PQfname(r_, c); }
    bool isNull(int row, int c) const { return PQgetisnull(r_, row, c) != 0; }
    const char* text(int row, int c) const { return PQgetvalue(r_, row, c); }
    std::int64_t integer(int row, int c) const;
    // The cell as a number; NaN for Null or text.
    double number(int row, int c) const;
    // The cell as the engine holds values: whole numbers of an integer
    // column and of a numeric one written without a point are Integer, as
    // the file's numeric columns keep them.
    Value value(int row, int c) const;
    // Rows changed by an INSERT, UPDATE or DELETE.
    long changed() const;

private:
    PGresult* r_ = nullptr;
};

} // namespace engine
