#pragma once

#include "Value.h"

#include <cstdint>
#include <memory>
#include <string>

namespace engine {

class Cursor;
class Database;

// One statement of the caller's, prepared under the account's rights, for
// code above the engine that reads or writes many rows in one pass (a
// diagram over a whole table, an import). Failures are thrown as
// EngineError in the engine's words; the engine's own types stay inside it.
class Query {
public:
    Query(Database& db, const std::string& sql);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    // Reading: the next row, false after the last.
    bool next();
    int columnCount() const;
    std::int64_t integer(int column) const;
    // The column as a number, or NaN when it holds none (Null, text).
    double number(int column) const;
    // The column as stored: Null, a number or text.
    Value value(int column) const;

    // Writing: parameters ?1, ?2 ... bound, then run once; the bindings
    // stay for the next run unless bound again.
    void bindNumber(int parameter, double value);
    void bindText(int parameter, const std::string& value);
    void bindNull(int parameter);
    void execute();

private:
    std::unique_ptr<Cursor> cursor_;
};

} // namespace engine
