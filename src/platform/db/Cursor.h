#pragma once

#include "Value.h"

#include <cstdint>
#include <string>

namespace engine {

// A back end's prepared statement behind engine::Query: read row by row,
// or bound and run. Failures are thrown as EngineError.
class Cursor {
public:
    virtual ~Cursor() = default;

    virtual bool next() = 0;
    virtual int columnCount() const = 0;
    virtual std::int64_t integer(int column) const = 0;
    virtual double number(int column) const = 0; // NaN when no number
    virtual Value value(int column) const = 0;

    virtual void bindNumber(int parameter, double value) = 0;
    virtual void bindText(int parameter, const std::string& value) = 0;
    virtual void bindNull(int parameter) = 0;
    virtual void execute() = 0;
};

} // namespace engine
