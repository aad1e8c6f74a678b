#include "Value.h"

#include <charconv>

#include <cstdio>

namespace engine {

Value Value::integer(std::int64_t v) {
    Value r;
    r.type_ = Type::Integer;
    r.i_ = v;
    return r;
}

Value Value::real(double v) {
    Value r;
    r.type_ = Type::Real;
    r.d_ = v;
    return r;
}

Value Value::text(std::string v) {
    Value r;
    r.type_ = Type::Text;
    r.s_ = std::move(v);
    return r;
}

std::string Value::storedText() const {
    switch (type_) {
    case Type::Null:
        return {};
    case Type::Integer:
        return std::to_string(i_);
    case Type::Real: {
        // As printf's "%.15g" writes it, without printf's cost.
        char buf[40];
        const auto [end, ec] =
            std::to_chars(buf, buf + sizeof buf, d_, std::chars_format::general, 15);
        std::string s(buf, ec == std::errc() ? end : buf);
        if (s.find_first_of(".eEn") == std::string::npos)
            s += ".0";
        return s;
    }
    case Type::Text:
        return s_;
    }
    return {};
}

} // namespace engine
