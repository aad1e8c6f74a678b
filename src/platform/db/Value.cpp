#include "Value.h"

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
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.15g", d_);
        std::string s(buf);
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
