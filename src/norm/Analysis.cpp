#include "Analysis.h"

#include "schema/Schema.h"

#include <cctype>
#include <limits>

namespace norm {

namespace {

bool blank(const std::string& text) {
    for (unsigned char c : text)
        if (!std::isspace(c))
            return false;
    return true;
}

// A text is quoted in a fault as far as a reader needs it.
// (on one line: the reason is a cell of a tab-separated table).
std::string quoted(const std::string& text) {
    std::size_t cut = text.size() > 24 ? 24 : text.size();
    while (cut < text.size() && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut; // not inside a character
    std::string shown = text.substr(0, cut) + (cut < text.size() ? "..." : "");
    for (char& c : shown)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return "'" + shown + "'";
}

} // namespace

const char* oxideName(int oxide) {
    return schema::columnName(columnOf(oxide));
}

Analysis Analysis::fromValues(const engine::Value* values) {
    Analysis a;
    for (int o = 0; o < kOxideCount; ++o) {
        const engine::Value& v = values[o];
        double& out = a.value[o];
        out = std::numeric_limits<double>::quiet_NaN();
        std::string fault;
        if (v.isNumber()) {
            const double d = v.toReal();
            if (!std::isfinite(d))
                fault = std::string(oxideName(o)) + " is not a finite number";
            else if (d < 0)
                fault = std::string(oxideName(o)) + " is negative";
            else if (d > 100)
                fault = std::string(oxideName(o)) + " is above 100";
            else
                out = d;
        } else if (v.type() == engine::Value::Type::Text && !blank(v.toText()) &&
                   v.toText() != "Empty") {
            fault = std::string(oxideName(o)) + " holds text, " + quoted(v.toText());
        }
        if (!fault.empty() && a.fault.empty())
            a.fault = fault;
    }
    return a;
}

Analysis Analysis::fromRow(const std::vector<engine::Value>& row) {
    engine::Value values[kOxideCount];
    for (int o = 0; o < kOxideCount; ++o) {
        const std::size_t c = schema::at(columnOf(o));
        if (c < row.size())
            values[o] = row[c];
    }
    Analysis a = fromValues(values);
    if (const std::size_t c = schema::at(schema::Column::Rockname); c < row.size())
        a.rockname = row[c].storedText();
    return a;
}

Analysis Analysis::fromCells(int fieldCount,
                             const std::function<const engine::Value&(int column)>& cell) {
    engine::Value values[kOxideCount];
    for (int o = 0; o < kOxideCount && schema::index(columnOf(o)) < fieldCount; ++o)
        values[o] = cell(schema::index(columnOf(o)));
    Analysis a = fromValues(values);
    if (schema::index(schema::Column::Rockname) < fieldCount)
        a.rockname = cell(schema::index(schema::Column::Rockname)).storedText();
    return a;
}

} // namespace norm
