#pragma once

#include <cstdint>
#include <string>

namespace engine {

// One stored value of a row: Null, a whole number, a real number or text,
// exactly as the database holds it.
class Value {
public:
    enum class Type { Null, Integer, Real, Text };

    Value() = default;
    static Value integer(std::int64_t v);
    static Value real(double v);
    static Value text(std::string v);

    Type type() const { return type_; }
    bool isNull() const { return type_ == Type::Null; }
    bool isNumber() const { return type_ == Type::Integer || type_ == Type::Real; }
    std::int64_t toInteger() const { return i_; }
    double toReal() const { return type_ == Type::Integer ? static_cast<double>(i_) : d_; }
    const std::string& toText() const { return s_; }

    // The value written out as stored: Null as nothing, numbers as the
    // database renders them.
    std::string storedText() const;

private:
    Type type_ = Type::Null;
    std::int64_t i_ = 0;
    double d_ = 0.0;
    std::string s_;
};

} // namespace engine
