#include "NumberStyle.h"

#include "platform/db/NumberText.h"

#include <cctype>

namespace numberstyle {

namespace {

bool digit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// No-break and thin spaces, as spreadsheets group digits, become blanks.
std::string blanksUnified(const std::string& cell) {
    std::string s;
    s.reserve(cell.size());
    for (std::size_t i = 0; i < cell.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(cell[i]);
        if (c != 0xC2 && c != 0xE2) { // every cell of a plain number: no blank of another kind
            s += cell[i];
        } else if (cell.compare(i, 2, "\xC2\xA0") == 0) {
            s += ' ';
            i += 1;
        } else if (cell.compare(i, 3, "\xE2\x80\xAF") == 0 ||
                   cell.compare(i, 3, "\xE2\x80\x89") == 0) {
            s += ' ';
            i += 2;
        } else {
            s += cell[i];
        }
    }
    return s;
}

// Whether a single mark with `before` digits ahead of it (the first of them
// `lead`) and `after` digits behind can only be a decimal mark.
bool onlyDecimal(std::size_t before, char lead, std::size_t after) {
    return after != 3 || before == 0 || before > 3 || lead == '0';
}

} // namespace

void Evidence::observe(const std::string& cell) {
    std::size_t points = 0, commas = 0, lastPoint = 0, lastComma = 0;
    bool exponent = false;
    for (std::size_t i = 0; i < cell.size(); ++i) {
        if (cell[i] == '.')
            ++points, lastPoint = i;
        else if (cell[i] == ',')
            ++commas, lastComma = i;
        else if (cell[i] == 'e' || cell[i] == 'E')
            exponent = true;
    }
    if (!points && !commas)
        return;
    auto note = [&](long& counter, std::string& example) {
        ++counter;
        if (example.empty())
            example = cell;
    };
    if (points && commas) {
        if (lastComma > lastPoint)
            note(comma, firstComma);
        else
            note(point, firstPoint);
        return;
    }
    const bool isPoint = points != 0;
    if ((isPoint ? points : commas) > 1) { // groups of the other mark
        if (isPoint)
            note(comma, firstComma);
        else
            note(point, firstPoint);
        return;
    }
    const std::size_t at = isPoint ? lastPoint : lastComma;
    std::size_t before = 0, after = 0;
    for (std::size_t i = at; i > 0 && digit(cell[i - 1]); --i)
        ++before;
    for (std::size_t i = at + 1; i < cell.size() && digit(cell[i]); ++i)
        ++after;
    const char lead = before ? cell[at - before] : '\0';
    if (exponent || onlyDecimal(before, lead, after))
        note(isPoint ? point : comma, isPoint ? firstPoint : firstComma);
    else
        note(ambiguous, firstAmbiguous);
}

Mark decide(const Evidence& e, char delimiter) {
    const Mark custom = delimiter == ';' ? Mark::Comma : Mark::Point;
    if (e.point == e.comma)
        return custom;
    return e.point > e.comma ? Mark::Point : Mark::Comma;
}

bool undecided(const Evidence& e) {
    return e.point == 0 && e.comma == 0 && e.ambiguous > 0;
}

bool contradicted(const Evidence& e) {
    return e.point > 0 && e.comma > 0;
}

std::errc read(const std::string& cell, Mark mark, double& out) {
    const std::string s = blanksUnified(cell);
    const char decimal = mark == Mark::Point ? '.' : ',';
    const char otherMark = mark == Mark::Point ? ',' : '.';
    std::string canon;
    std::size_t i = 0;
    const std::size_t n = s.size();
    if (i < n && (s[i] == '+' || s[i] == '-'))
        canon += s[i++];
    const std::size_t first = i;
    while (i < n && digit(s[i]))
        canon += s[i++];
    const std::size_t lead = i - first;
    bool grouped = false;
    if (i + 1 < n && (s[i] == otherMark || s[i] == ' ' || s[i] == '\'') && digit(s[i + 1])) {
        const char group = s[i];
        if (lead == 0 || lead > 3 || s[first] == '0')
            return std::errc::invalid_argument;
        grouped = true;
        while (i < n && s[i] == group) {
            ++i;
            for (int k = 0; k < 3; ++k, ++i) {
                if (i >= n || !digit(s[i]))
                    return std::errc::invalid_argument;
                canon += s[i];
            }
        }
        if (i < n && digit(s[i]))
            return std::errc::invalid_argument;
    }
    bool anyDigit = canon.find_first_of("0123456789") != std::string::npos;
    if (i < n && s[i] == decimal) {
        canon += '.';
        ++i;
        while (i < n && digit(s[i])) {
            canon += s[i++];
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return std::errc::invalid_argument;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        if (grouped)
            return std::errc::invalid_argument;
        canon += 'e';
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-'))
            canon += s[i++];
        if (i >= n || !digit(s[i]))
            return std::errc::invalid_argument;
        while (i < n && digit(s[i]))
            canon += s[i++];
    }
    if (i != n)
        return std::errc::invalid_argument;
    return engine::parseNumber(canon, out);
}

const char* name(Mark mark) {
    return mark == Mark::Point ? "point" : "comma";
}

} // namespace numberstyle
