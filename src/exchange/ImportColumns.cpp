#include "ImportColumns.h"

#include "CsvSource.h"
#include "TextRules.h"
#include "schema/Schema.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace {

using textrules::lower;
using textrules::trimmed;

constexpr int kFeO = 9;
constexpr int kFe2O3 = 8;
constexpr int kTotal = 25;

struct Name {
    int column;
    int rank;           // 3: our own name; 2: a specific alias; 1: a general one
    double oxide = 1;   // element to oxide, for an element's header
    int totalIron = -1; // FeO or Fe2O3 for total iron
    const char* element = nullptr;
};

std::string replaced(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

// Lower case, subscript digits and dashes made plain, "(+)" as "+".
std::string normalized(const std::string& header) {
    std::string h = lower(trimmed(header));
    h = replaced(h, "\xE2\x82\x82", "2");
    h = replaced(h, "\xE2\x82\x83", "3");
    h = replaced(h, "\xE2\x80\x93", "-");
    h = replaced(h, "\xE2\x80\x94", "-");
    h = replaced(h, "\xE2\x88\x92", "-");
    h = replaced(h, "(+)", "+");
    h = replaced(h, "(-)", "-");
    h = replaced(h, "  ", " ");
    return h;
}

const std::map<std::string, Name>& names() {
    static const std::map<std::string, Name> m = [] {
        std::map<std::string, Name> n;
        for (int i = 0; i < schema::kColumnCount; ++i)
            n[lower(schema::kColumns[static_cast<std::size_t>(i)])] = {i, 3};
        const std::pair<const char*, Name> aliases[] = {
            {"rock name", {0, 2}},
            {"rock_name", {0, 2}},
            {"rock type", {0, 1}},
            {"lithology", {0, 1}},
            {"sample name", {4, 2}},
            {"sample id", {4, 2}},
            {"sample_id", {4, 2}},
            {"sample no.", {4, 2}},
            {"sample no", {4, 2}},
            {"sample #", {4, 2}},
            {"sample", {4, 1}},
            {"location comment", {3, 1}},
            {"locality", {3, 2}},
            {"collector", {1, 2}},
            {"collected by", {1, 2}},
            {"sampling date", {2, 2}},
            // German headers, beside the German units and "Summe" read below.
            {"gestein", {0, 2}},
            {"gesteinsname", {0, 2}},
            {"probe", {4, 1}},
            {"probennummer", {4, 2}},
            {"proben-nr.", {4, 2}},
            {"probe nr.", {4, 2}},
            {"sammler", {1, 2}},
            {"datum", {2, 1}},
            {"fundort", {3, 2}},
            {"lokalität", {3, 2}},
            {"collection date", {2, 2}},
            {"h2op", {16, 2}},
            {"h2om", {17, 2}},
            {"sum", {kTotal, 2}},
            {"summe", {kTotal, 2}},
            {"cr", {23, 2, 1.4616, -1, "Cr"}},
            {"zr", {24, 2, 1.3508, -1, "Zr"}},
        };
        for (const auto& [name, column] : aliases)
            n[name] = column;
        for (const char* t : {"feot", "feo*", "feo(t)", "feotot", "feo total", "feo_t", "feo(tot)",
                              "feo_tot", "tfeo"})
            n[t] = {-1, 2, 1, kFeO};
        for (const char* t : {"fe2o3t", "fe2o3*", "fe2o3(t)", "fe2o3tot", "fe2o3 total", "fe2o3_t",
                              "fe2o3(tot)", "fe2o3_tot", "tfe2o3"})
            n[t] = {-1, 2, 1, kFe2O3};
        return n;
    }();
    return m;
}

// A unit's factor to weight per cent; 0 for a unit we do not know.
double unitFactor(const std::string& unit) {
    std::string u;
    for (char c : lower(unit))
        if (c != ' ' && c != '.')
            u += c;
    u = replaced(u, "\xC2\xB5", "u"); // micro sign
    u = replaced(u, "\xCE\xBC", "u"); // Greek mu
    for (const char* w : {"wt%", "wt", "pct", "%", "mass%", "gew-%", "gew%", "m%", "percent"})
        if (u == w)
            return 1;
    for (const char* p : {"ppm", "ug/g", "mg/kg", "g/t"})
        if (u == p)
            return 1e-4;
    for (const char* p : {"ppb", "ng/g", "ug/kg"})
        if (u == p)
            return 1e-7;
    return 0;
}

bool isAnalysis(int column) {
    return column >= schema::kFirstAnalysisColumn && column <= kTotal;
}

std::string factorText(double f) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", f);
    return text;
}

} // namespace

bool ImportColumns::isUnit(const std::string& cell) {
    return !trimmed(cell).empty() && unitFactor(trimmed(cell)) != 0;
}

ImportColumns::Source ImportColumns::read(const std::string& header) {
    Source s;
    s.header = trimmed(header);
    const std::string h = normalized(header);
    std::string base = h;
    std::string unit;
    auto it = names().find(h);
    if (it == names().end()) {
        // A unit after the name: "(wt%)", "[ppm]", "_PCT", " wt%".
        const char close = h.empty() ? '\0' : h.back();
        std::size_t at = std::string::npos;
        if (close == ')' || close == ']')
            at = h.rfind(close == ')' ? '(' : '[');
        if (at != std::string::npos && at > 0) {
            base = trimmed(h.substr(0, at));
            unit = trimmed(h.substr(at + 1, h.size() - at - 2));
        } else {
            for (char sep : {'_', ' '}) {
                const std::size_t last = h.rfind(sep);
                if (last != std::string::npos && last > 0 && unitFactor(h.substr(last + 1)) != 0) {
                    base = trimmed(h.substr(0, last));
                    unit = h.substr(last + 1);
                    break;
                }
            }
        }
        it = names().find(base);
        if (it == names().end())
            return s;
    }
    const Name& n = it->second;
    s.rank = n.rank;
    s.totalIron = n.totalIron;
    s.target = s.named = n.column;
    s.unit = unit;
    if (!unit.empty() && (isAnalysis(n.column) || n.totalIron >= 0)) {
        const double f = unitFactor(unit);
        if (f == 0) {
            s.target = s.totalIron = -1;
            s.why = "its unit '" + unit + "' is not one the program knows";
            return s;
        }
        s.factor = f * n.oxide;
    } else if (n.element) {
        s.factor = n.oxide; // times the unit of a units row, when one comes
    }
    s.needsUnit = n.element != nullptr;
    return s;
}

int ImportColumns::columnFor(const std::string& header) {
    const Source s = read(header);
    return s.target >= 0 ? s.target : (s.totalIron >= 0 ? s.totalIron : -1);
}

bool ImportColumns::anyAnalysis() const {
    return std::any_of(sources.begin(), sources.end(), [](const Source& s) {
        return (s.target >= schema::kFirstAnalysisColumn &&
                s.target <= schema::kLastAnalysisColumn) ||
               s.totalIron >= 0;
    });
}

void ImportColumns::applyUnits(const std::vector<std::string>& units) {
    for (std::size_t i = 0; i < sources.size() && i < units.size(); ++i) {
        Source& s = sources[i];
        const std::string u = trimmed(units[i]);
        const bool waiting = s.needsUnit && s.unit.empty() && s.why.rfind("an element", 0) == 0;
        if (u.empty() || !s.unit.empty() || !(isAnalysis(s.target) || s.totalIron >= 0 || waiting))
            continue;
        if (waiting) {
            s.target = s.named;
            s.why.clear();
        }
        const double f = unitFactor(u);
        if (f == 0) {
            s.target = s.totalIron = -1;
            s.why = "its unit '" + u + "' is not one the program knows";
            continue;
        }
        s.unit = u;
        s.factor *= f;
    }
    settle();
}

ImportColumns ImportColumns::map(const std::vector<std::string>& header) {
    ImportColumns c;
    for (const std::string& h : header) {
        Source s = read(h);
        if (s.target == schema::kIdColumn)
            s.target = -1; // new rows get new keys
        c.sources.push_back(s);
    }
    c.settle();
    return c;
}

// Once the units are known: conversions in words, the better of two
// headers for one column, the lists.
void ImportColumns::settle() {
    ImportColumns& c = *this;
    for (auto& s : c.sources)
        if (s.needsUnit && s.unit.empty() && s.target >= 0) {
            s.target = -1;
            s.why = "an element without its unit (ppm?): name the unit in the header";
        }
    c.target.clear();
    c.skipped.clear();
    c.choices.clear();
    std::map<int, std::size_t> taken; // our column (or 100 + total iron) -> file column
    for (std::size_t i = 0; i < c.sources.size(); ++i) {
        auto& s = c.sources[i];
        if (s.target < 0 && s.totalIron < 0)
            continue;
        const int key = s.target >= 0 ? s.target : 100 + s.totalIron;
        const auto [it, fresh] = taken.emplace(key, i);
        if (fresh)
            continue;
        auto& other = c.sources[it->second];
        const std::string ours = s.target >= 0
                                     ? schema::kColumns[static_cast<std::size_t>(s.target)]
                                     : std::string("total iron as ") +
                                           schema::kColumns[static_cast<std::size_t>(s.totalIron)];
        if (other.rank == s.rank)
            throw CsvError(CsvError::Code::BadColumns, "The file's columns '" + other.header +
                                                           "' and '" + s.header + "' both map to " +
                                                           ours + ": leave one of them out.");
        auto& winner = other.rank > s.rank ? other : s;
        auto& loser = other.rank > s.rank ? s : other;
        c.choices.push_back(winner.header + ", not " + loser.header + ", for " + ours);
        loser.why = "'" + winner.header + "' gives " + ours;
        loser.target = loser.totalIron = -1;
        it->second = &winner == &s ? i : it->second;
    }
    for (auto& s : c.sources) {
        const int column = s.target >= 0 ? s.target : s.totalIron;
        c.target.push_back(s.target);
        if (column < 0) {
            c.skipped.push_back(s.header);
            continue;
        }
        s.conversion.clear();
        if (s.factor != 1)
            s.conversion = (s.unit.empty() ? std::string("wt%") : s.unit) + " to wt% " +
                           schema::kColumns[static_cast<std::size_t>(column)] + ", x " +
                           factorText(s.factor);
    }
}

int ImportColumns::code(std::size_t fileColumn) const {
    const Source& s = sources[fileColumn];
    return s.target >= 0 ? s.target : s.totalIron >= 0 ? kTotalIronAs + s.totalIron : -1;
}

void ImportColumns::choose(const std::vector<int>& codes) {
    for (std::size_t i = 0; i < sources.size() && i < codes.size(); ++i) {
        Source& s = sources[i];
        const int c = codes[i];
        if (c == code(i))
            continue;
        s.target = c >= 0 && c < kTotalIronAs && c != schema::kIdColumn ? c : -1;
        s.totalIron = c >= kTotalIronAs ? c - kTotalIronAs : -1;
        s.rank = 4;
        s.needsUnit = false;
        s.why = c < 0 ? "left out by choice" : "";
        if (s.factor != 1 && s.named != s.target && !(c >= kTotalIronAs))
            s.factor = 1; // an element's factor belongs to its own oxide
    }
    settle();
}
