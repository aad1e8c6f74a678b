#include "ValueStatement.h"

#include "SearchStatement.h"

#include <charconv>

namespace {

std::string number(double v) {
    char text[40];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, v);
    return std::string(text, ec == std::errc() ? end : text);
}

std::string codes(const std::vector<ValueStatement::Channel>& channels) {
    std::string out;
    for (const auto& c : channels)
        out += (out.empty() ? "" : ", ") + std::to_string(c.code);
    return out;
}

// The value of row `v` in the column's unit, converted as the grid's cell
// converts it: value * ppm(stored) / ppm(shown), or as stored.
std::string shown(const ValueColumns::Choice& column,
                  const std::vector<ValueStatement::Channel>& channels) {
    bool converted = false;
    for (const auto& c : channels)
        converted = converted || c.ppm != 0;
    if (!converted)
        return "v.[value]";
    std::string out = "(CASE v.[channel]";
    const std::string to = number(ValueColumns::ppmPerUnit(column.unit));
    for (const auto& c : channels)
        out += " WHEN " + std::to_string(c.code) + " THEN " +
               (c.ppm != 0 ? "v.[value] * " + number(c.ppm) + " / " + to : "v.[value]");
    return out + " END)";
}

// The values that can be a row's value: of the column's channels, no limit.
std::string usable(const char* alias, const std::vector<ValueStatement::Channel>& channels) {
    const std::string a = alias;
    return a + ".[channel] IN (" + codes(channels) + ") AND " + a + ".[qualifier] IS NULL";
}

// The rows whose value, `v`, meets the condition: each row looked at in
// turn, so that the first rows found are shown while the rest are sought.
QString rowsWhere(const std::string& table, const std::vector<ValueStatement::Channel>& channels,
                  const std::string& condition) {
    const std::string values = "[" + table + "_values]";
    return QString::fromStdString(
        "SELECT * FROM [" + table + "] WHERE EXISTS (SELECT 1 FROM " + values +
        " AS v WHERE v.[sample] = [" + table + "].[ID] AND " + usable("v", channels) + " AND " +
        condition + " AND v.[seq] = (SELECT MIN(w.[seq]) FROM " + values +
        " AS w WHERE w.[sample] = v.[sample] AND " + usable("w", channels) + "))");
}

// The row's value, `what` of its first usable value; Null when it has none.
std::string firstOf(const std::string& table, const std::vector<ValueStatement::Channel>& channels,
                    const std::string& what) {
    return "(SELECT " + what + " FROM [" + table + "_values] AS v WHERE v.[sample] = [" + table +
           "].[ID] AND " + usable("v", channels) + " ORDER BY v.[seq] LIMIT 1)";
}

bool plainName(const std::string& table) {
    return !table.empty() && table.find_first_of("[]'\"") == std::string::npos;
}

} // namespace

std::vector<ValueStatement::Channel>
ValueStatement::channels(const std::vector<engine::Database::AnalyteCount>& held,
                         const ValueColumns::Choice& column) {
    std::vector<Channel> out;
    for (const auto& h : held) {
        if (h.analyte != column.analyte || !ValueColumns::showable(h.unit, column.unit))
            continue;
        const double ppm = h.unit == column.unit ? 0 : ValueColumns::ppmPerUnit(h.unit);
        for (std::int64_t code : h.channels)
            out.push_back({code, ppm});
    }
    return out;
}

QString ValueStatement::findNumbers(const std::string& table, const ValueColumns::Choice& column,
                                    const std::vector<Channel>& channels,
                                    std::optional<double> from, std::optional<double> to) {
    if (!plainName(table) || channels.empty())
        return {};
    const std::string value = shown(column, channels);
    std::string condition = "v.[value] IS NOT NULL";
    if (from)
        condition += " AND " + value + " >= " + number(*from);
    if (to)
        condition += " AND " + value + " <= " + number(*to);
    return rowsWhere(table, channels, condition);
}

QString ValueStatement::findWords(const std::string& table, const std::vector<Channel>& channels,
                                  const QString& words) {
    if (!plainName(table) || channels.empty())
        return {};
    return rowsWhere(table, channels,
                     "v.[text] Like '" + SearchStatement::pattern(words).toStdString() + "'");
}

QString ValueStatement::sort(const std::string& table, const ValueColumns::Choice& column,
                             const std::vector<Channel>& channels, bool descending) {
    if (!plainName(table) || channels.empty())
        return {};
    const char* direction = descending ? " DESC" : " ASC";
    // A row without a value after every row with one, either way.
    std::string order = "COALESCE(" + firstOf(table, channels, shown(column, channels)) + ", " +
                        (descending ? "-1e308" : "1e308") + ")" + direction;
    if (mayBeWords(column)) {
        const std::string words = firstOf(table, channels, "v.[text]");
        order += ", " + words + " IS NULL, " + words + direction;
    }
    return QString::fromStdString("SELECT * FROM [" + table + "] ORDER BY " + order);
}
