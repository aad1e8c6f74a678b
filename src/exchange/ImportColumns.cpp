#include "ImportColumns.h"

#include "CsvSource.h"
#include "TextRules.h"
#include "schema/Schema.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace {

using textrules::lower;
using textrules::trimmed;

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

int ImportColumns::columnFor(const std::string& header) {
    static const std::map<std::string, int> names = [] {
        std::map<std::string, int> m;
        for (int i = 0; i < schema::kColumnCount; ++i)
            m[lower(schema::kColumns[static_cast<std::size_t>(i)])] = i;
        const std::pair<const char*, int> aliases[] = {
            {"h2op", 16},     {"h2om", 17},         {"rock name", 0},
            {"rock_name", 0}, {"rock type", 0},     {"sample name", 4},
            {"sample id", 4}, {"sample", 4},        {"location comment", 3},
            {"collector", 1}, {"sampling date", 2},
        };
        for (const auto& [name, column] : aliases)
            m[name] = column;
        return m;
    }();
    std::string h = lower(trimmed(header));
    // Units after an oxide: "(wt%)", "[wt%]", "_wt", " wt%".
    for (const char* unit : {"(wt%)", "[wt%]", "_wt", "wt%"})
        if (endsWith(h, unit)) {
            h = trimmed(h.substr(0, h.size() - std::char_traits<char>::length(unit)));
            break;
        }
    const auto it = names.find(h);
    return it == names.end() ? -1 : it->second;
}

ImportColumns ImportColumns::map(const std::vector<std::string>& header) {
    ImportColumns c;
    std::map<int, std::string> taken;
    for (const std::string& h : header) {
        int column = columnFor(h);
        if (column == schema::kIdColumn)
            column = -1; // new rows get new keys
        c.target.push_back(column);
        if (column < 0) {
            c.skipped.push_back(trimmed(h));
            continue;
        }
        const auto [it, fresh] = taken.emplace(column, trimmed(h));
        if (!fresh)
            throw CsvError("The file's columns '" + it->second + "' and '" + trimmed(h) +
                           "' both map to " + schema::kColumns[static_cast<std::size_t>(column)] +
                           ": leave one of them out.");
    }
    return c;
}
