#include "NumberFormat.h"

#include <charconv>
#include <string>

namespace {

// Rounds a plain decimal string ("123.4567") to 'places' decimals, halves
// away from zero; the sign is handled by the caller.
std::string roundDecimal(std::string digits, int places) {
    std::size_t dot = digits.find('.');
    if (dot == std::string::npos) {
        digits += '.';
        dot = digits.size() - 1;
    }
    std::string frac = digits.substr(dot + 1);
    std::string whole = digits.substr(0, dot);
    bool carry = static_cast<int>(frac.size()) > places && frac[static_cast<size_t>(places)] >= '5';
    frac.resize(static_cast<size_t>(places), '0');
    std::string all = whole + frac;
    for (std::size_t i = all.size(); carry && i-- > 0;) {
        if (all[i] == '9') {
            all[i] = '0';
        } else {
            ++all[i];
            carry = false;
        }
    }
    if (carry)
        all.insert(all.begin(), '1');
    whole = all.substr(0, all.size() - static_cast<size_t>(places));
    frac = all.substr(all.size() - static_cast<size_t>(places));
    return places > 0 ? whole + "." + frac : whole;
}

} // namespace

QString formatCell(const engine::Value& v, const QString& format) {
    switch (v.type()) {
    case engine::Value::Type::Null:
        return {};
    case engine::Value::Type::Text:
        return QString::fromStdString(v.toText());
    default:
        break;
    }
    if (format.isEmpty())
        return QString::fromStdString(v.storedText());

    const int dot = format.indexOf('.');
    const QString intPart = dot < 0 ? format : format.left(dot);
    const int places = dot < 0 ? 0 : static_cast<int>(format.mid(dot + 1).count('0'));
    const int minWhole = static_cast<int>(intPart.count('0'));

    std::string digits;
    bool negative = false;
    if (v.type() == engine::Value::Type::Integer) {
        long long i = v.toInteger();
        negative = i < 0;
        digits = std::to_string(negative ? -static_cast<unsigned long long>(i)
                                         : static_cast<unsigned long long>(i));
    } else {
        double d = v.toReal();
        negative = d < 0;
        char buf[400];
        auto res =
            std::to_chars(buf, buf + sizeof buf, negative ? -d : d, std::chars_format::fixed);
        digits.assign(buf, res.ptr);
    }
    std::string out = roundDecimal(digits, places);
    // Leading zeros trimmed down to the digits the format asks for.
    std::size_t wholeLen = out.find('.');
    if (wholeLen == std::string::npos)
        wholeLen = out.size();
    std::size_t strip = 0;
    while (strip < wholeLen && out[strip] == '0' && static_cast<int>(wholeLen - strip) > minWhole)
        ++strip;
    out.erase(0, strip);
    bool allZero = out.find_first_not_of("0.") == std::string::npos;
    if (negative && !allZero)
        out.insert(out.begin(), '-');
    return QString::fromStdString(out);
}
