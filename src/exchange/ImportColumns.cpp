#include "ImportColumns.h"

#include "CsvSource.h"
#include "TextRules.h"
#include "schema/Schema.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

using textrules::lower;
using textrules::trimmed;

using schema::Column;

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
            {"rock name", {index(Column::Rockname), 2}},
            {"rock_name", {index(Column::Rockname), 2}},
            {"rock type", {index(Column::Rockname), 1}},
            {"lithology", {index(Column::Rockname), 1}},
            {"sample name", {index(Column::SampleNumber), 2}},
            {"sample id", {index(Column::SampleNumber), 2}},
            {"sample_id", {index(Column::SampleNumber), 2}},
            {"sample no.", {index(Column::SampleNumber), 2}},
            {"sample no", {index(Column::SampleNumber), 2}},
            {"sample #", {index(Column::SampleNumber), 2}},
            {"sample", {index(Column::SampleNumber), 1}},
            // Lab certificates name their sample column so.
            {"analyte symbol", {index(Column::SampleNumber), 2}},
            {"sampleid", {index(Column::SampleNumber), 2}},
            {"sample description", {index(Column::SampleNumber), 2}},
            {"description", {index(Column::SampleNumber), 1}},
            {"client id", {index(Column::SampleNumber), 1}},
            {"location comment", {index(Column::Location), 1}},
            {"locality", {index(Column::Location), 2}},
            {"collector", {index(Column::Geologist), 2}},
            {"collected by", {index(Column::Geologist), 2}},
            {"sampling date", {index(Column::Date), 2}},
            // German headers, beside the German units and "Summe" read below.
            {"gestein", {index(Column::Rockname), 2}},
            {"gesteinsname", {index(Column::Rockname), 2}},
            {"probe", {index(Column::SampleNumber), 1}},
            {"probennummer", {index(Column::SampleNumber), 2}},
            {"proben-nr.", {index(Column::SampleNumber), 2}},
            {"probe nr.", {index(Column::SampleNumber), 2}},
            {"sammler", {index(Column::Geologist), 2}},
            {"datum", {index(Column::Date), 1}},
            {"fundort", {index(Column::Location), 2}},
            {"lokalität", {index(Column::Location), 2}},
            {"collection date", {index(Column::Date), 2}},
            {"h2op", {index(Column::H2OPlus), 2}},
            {"h2om", {index(Column::H2OMinus), 2}},
            {"sum", {index(Column::Total), 2}},
            {"summe", {index(Column::Total), 2}},
            {"cr", {index(Column::Cr2O3), 2, 1.4616, -1, "Cr"}},
            {"zr", {index(Column::ZrO2), 2, 1.3508, -1, "Zr"}},
            // Elements reported in ppm as often as in wt%: never taken
            // without their unit, but in our own export.
            {"cl", {index(Column::Cl), 3, 1, -1, "Cl"}},
            {"f", {index(Column::F), 3, 1, -1, "F"}},
            {"s", {index(Column::S), 3, 1, -1, "S"}},
        };
        for (const auto& [name, column] : aliases)
            n[name] = column;
        for (const char* t : {"feot", "feo*", "feo(t)", "feotot", "feo total", "feo_t", "feo(tot)",
                              "feo_tot", "tfeo"})
            n[t] = {-1, 2, 1, index(Column::FeO)};
        for (const char* t : {"fe2o3t", "fe2o3*", "fe2o3(t)", "fe2o3tot", "fe2o3 total", "fe2o3_t",
                              "fe2o3(tot)", "fe2o3_tot", "tfe2o3"})
            n[t] = {-1, 2, 1, index(Column::Fe2O3)};
        return n;
    }();
    return m;
}

// A unit's factor to weight per cent; 0 for a unit we do not know.
double unitFactor(const std::string& unit) {
    return AnalyteName::toWeightPercent(unit);
}

bool isAnalysis(int column) {
    return column >= schema::kFirstAnalysisColumn && column <= index(Column::Total);
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

namespace {

// Columns that say where a sample's values come from, or how they were
// measured, rather than being values themselves.
ImportColumns::Source::Keep roleOf(const std::string& header) {
    using Keep = ImportColumns::Source::Keep;
    const std::string h = normalized(header);
    for (const char* c : {"citation", "citations", "reference", "references"})
        if (h == c)
            return Keep::Citation;
    for (const char* c : {"doi", "year", "author", "authors", "title", "journal"})
        if (h == c)
            return Keep::ReferencePart;
    for (const char* c : {"method", "methods", "analytical method", "method code"})
        if (h == c)
            return Keep::Method;
    return Keep::Value;
}

// A header with its line breaks as blanks ("TiO2\nwt%").
std::string oneLine(const std::string& header) {
    std::string h;
    for (char c : header)
        h += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
    return h;
}

} // namespace

ImportColumns::Source ImportColumns::read(const std::string& header) {
    Source s = readName(oneLine(header));
    s.reported = AnalyteName::read(header);
    s.keep = roleOf(header);
    if (s.target < 0 && s.totalIron < 0 && (s.why.empty() || !s.reported.method.empty()) &&
        s.reported.analyte && s.keep == Source::Keep::Value) {
        // "SiO2(WT%)[XRF]", "SiO2_ME-XRF26", "Cr_ppm_ME-MS81": the analyte
        // and unit without the method.
        const AnalyteName r = s.reported;
        Source again = readName(r.unit.empty() ? r.name : r.name + " (" + r.unit + ")");
        if (again.target >= 0 || again.totalIron >= 0 || !again.why.empty()) {
            again.header = s.header;
            again.reported = r;
            again.keep = s.keep;
            s = again;
        } else {
            s.why.clear(); // what looked like its unit was its method
        }
    }
    return s;
}

ImportColumns::Source ImportColumns::readName(const std::string& header) {
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
        if (!u.empty() && s.reported.analyte && s.reported.unit.empty())
            s.reported.unit = AnalyteName::knownUnit(u).empty() ? u : AnalyteName::knownUnit(u);
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

ImportColumns::Label ImportColumns::labelOf(const std::string& firstCell) {
    const std::string l = normalized(firstCell);
    for (const char* u : {"unit symbol", "unit", "units", "unit:", "units:"})
        if (l == u)
            return Label::Units;
    for (const char* d : {"detection limit", "detection limits", "lor", "dl", "lod", "lower limit",
                          "reporting limit", "mdl", "lld"})
        if (l == d)
            return Label::Limits;
    for (const char* m : {"analysis method", "method", "methods", "method code", "method:"})
        if (l == m)
            return Label::Methods;
    return Label::None;
}

void ImportColumns::applyMethods(const std::vector<std::string>& methods) {
    for (std::size_t i = 1; i < sources.size() && i < methods.size(); ++i)
        if (const std::string m = trimmed(methods[i]);
            !m.empty() && sources[i].reported.analyte && sources[i].reported.method.empty())
            sources[i].reported.method = m;
}

void ImportColumns::applyLimits(const std::vector<std::string>& limits) {
    for (std::size_t i = 1; i < sources.size() && i < limits.size(); ++i) {
        const std::string t = trimmed(limits[i]);
        char* end = nullptr;
        const double d = std::strtod(t.c_str(), &end);
        if (!t.empty() && end && *end == '\0' && d > 0)
            sources[i].limit = d;
    }
}

ImportColumns ImportColumns::map(const std::vector<std::string>& header) {
    ImportColumns c;
    // Our own export names Cl, F and S in wt% without a unit.
    const bool ours = std::any_of(header.begin(), header.end(), [](const std::string& h) {
        return trimmed(h) == schema::columnName(Column::SampleNumber);
    });
    for (const std::string& h : header) {
        Source s = read(h);
        s.position = static_cast<int>(c.sources.size()) + 1;
        if (s.target == schema::kIdColumn) {
            s.target = -1; // new rows get new keys
            s.keep = Source::Keep::No;
            s.why = "the file's own key: new rows get new keys";
        }
        if (ours && s.needsUnit && s.rank == 3)
            s.needsUnit = false;
        if (s.keep == Source::Keep::Method && c.methodColumn < 0) {
            c.methodColumn = static_cast<int>(c.sources.size());
            s.target = -1;
        }
        c.sources.push_back(s);
    }
    // "SIO2_UNIT", "SiO2 Method": a column giving another's unit or method
    // row by row.
    for (std::size_t i = 0; i < c.sources.size(); ++i) {
        const std::string h = lower(trimmed(oneLine(header[i])));
        for (const auto& [tail, unit] : {std::pair<const char*, bool>{"_unit", true},
                                         {" unit", true},
                                         {"_units", true},
                                         {"_method", false},
                                         {" method", false}}) {
            const std::string t = tail;
            if (h.size() <= t.size() || h.compare(h.size() - t.size(), t.size(), t) != 0)
                continue;
            const std::string base = h.substr(0, h.size() - t.size());
            for (std::size_t j = 0; j < c.sources.size(); ++j)
                if (j != i && lower(trimmed(oneLine(header[j]))) == base) {
                    (unit ? c.sources[j].unitColumn : c.sources[j].methodColumn) =
                        static_cast<int>(i);
                    c.sources[i].keep = unit ? Source::Keep::Unit : Source::Keep::Method;
                    c.sources[i].target = c.sources[i].totalIron = -1;
                    if (unit)
                        c.sources[j].needsUnit = false; // the rows say
                }
        }
    }
    c.settle();
    return c;
}

namespace {

std::string position(const ImportColumns::Source& s) {
    return "'" + s.header + "' (column " + std::to_string(s.position) + ")";
}

bool weightPercent(const ImportColumns::Source& s) {
    return !s.needsUnit && (s.unit.empty() || unitFactor(s.unit) == 1);
}

} // namespace

// Once the units are known: conversions in words, the order of the columns
// that feed one of ours, the lists.
void ImportColumns::settle() {
    ImportColumns& c = *this;
    for (auto& s : c.sources)
        if (s.needsUnit && s.unit.empty() && s.target >= 0) {
            s.target = -1;
            s.why = "an element without its unit (ppm or wt%?): name the unit in the header, "
                    "or choose its column to take it as wt%";
        }
    c.target.clear();
    c.skipped.clear();
    c.choices.clear();
    c.feeders.assign(kTotalIronAs + schema::kColumnCount, {});
    for (std::size_t i = 0; i < c.sources.size(); ++i) {
        const auto& s = c.sources[i];
        if (s.target >= 0)
            c.feeders[static_cast<std::size_t>(s.target)].push_back(static_cast<int>(i));
        else if (s.totalIron >= 0)
            c.feeders[static_cast<std::size_t>(kTotalIronAs + s.totalIron)].push_back(
                static_cast<int>(i));
    }
    for (std::size_t key = 0; key < c.feeders.size(); ++key) {
        auto& list = c.feeders[key];
        if (list.size() < 2)
            continue;
        const bool iron = key >= static_cast<std::size_t>(kTotalIronAs);
        const int column = iron ? static_cast<int>(key) - kTotalIronAs : static_cast<int>(key);
        const std::string ours = iron ? std::string("total iron as ") +
                                            schema::kColumns[static_cast<std::size_t>(column)]
                                      : schema::kColumns[static_cast<std::size_t>(column)];
        for (std::size_t a = 0; a < list.size(); ++a)
            for (std::size_t b = a + 1; b < list.size(); ++b) {
                const Source& x = c.sources[static_cast<std::size_t>(list[a])];
                const Source& y = c.sources[static_cast<std::size_t>(list[b])];
                if (normalized(oneLine(x.header)) == normalized(oneLine(y.header)))
                    throw CsvError(CsvError::Code::BadColumns, "The file's columns " + position(x) +
                                                                   " and " + position(y) +
                                                                   " have one header, for " + ours +
                                                                   ": leave one of them out.");
            }
        std::stable_sort(list.begin(), list.end(), [&](int a, int b) {
            const Source& x = c.sources[static_cast<std::size_t>(a)];
            const Source& y = c.sources[static_cast<std::size_t>(b)];
            if (x.rank != y.rank)
                return x.rank > y.rank;
            return weightPercent(x) && !weightPercent(y);
        });
        if (!iron && isAnalysis(column)) {
            std::string order;
            for (int f : list)
                order += (order.empty() ? "" : ", then ") +
                         c.sources[static_cast<std::size_t>(f)].header;
            c.choices.push_back(order + ", for " + ours + ", row by row");
            continue;
        }
        // A text column takes one file column; the others are kept as facts.
        const Source& winner = c.sources[static_cast<std::size_t>(list[0])];
        if (c.sources[static_cast<std::size_t>(list[1])].rank == winner.rank && !iron)
            throw CsvError(CsvError::Code::BadColumns,
                           "The file's columns " + position(winner) + " and " +
                               position(c.sources[static_cast<std::size_t>(list[1])]) +
                               " both map to " + ours + ": leave one of them out.");
        if (iron) {
            std::string order;
            for (int f : list)
                order += (order.empty() ? "" : ", then ") +
                         c.sources[static_cast<std::size_t>(f)].header;
            c.choices.push_back(order + ", for " + ours + ", row by row");
            continue;
        }
        for (std::size_t k = 1; k < list.size(); ++k) {
            Source& loser = c.sources[static_cast<std::size_t>(list[k])];
            c.choices.push_back(winner.header + ", not " + loser.header + ", for " + ours);
            loser.why = "'" + winner.header + "' gives " + ours;
            loser.target = loser.totalIron = -1;
        }
        list.resize(1);
    }
    for (auto& s : c.sources) {
        const int column = s.target >= 0 ? s.target : s.totalIron;
        c.target.push_back(s.target);
        if (column < 0 && !s.kept() && s.keep != Source::Keep::Citation &&
            s.keep != Source::Keep::ReferencePart && s.keep != Source::Keep::Method &&
            s.keep != Source::Keep::Unit)
            c.skipped.push_back(s.header);
        s.conversion.clear();
        if (column >= 0 && s.factor != 1)
            s.conversion = (s.unit.empty() ? std::string("wt%") : s.unit) + " to wt% " +
                           schema::kColumns[static_cast<std::size_t>(column)] + ", x " +
                           factorText(s.factor);
    }
}

bool ImportColumns::Source::kept() const {
    // A column of ours that names no analyte (the descriptive ones, Total,
    // Trace1 to Trace5): ours has its value.
    if (keep != Keep::Value || (target >= 0 && !reported.analyte) ||
        (target >= 0 && target < schema::kFirstAnalysisColumn))
        return false;
    return !(reported.analyte && needsUnit && unit.empty() && unitColumn < 0);
}

bool ImportColumns::anyKept() const {
    return std::any_of(sources.begin(), sources.end(), [](const Source& s) {
        return s.keep == Source::Keep::Value && s.reported.analyte;
    });
}

int ImportColumns::code(std::size_t fileColumn) const {
    const Source& s = sources[fileColumn];
    return s.target >= 0                ? s.target
           : s.totalIron >= 0           ? kTotalIronAs + s.totalIron
           : s.keep != Source::Keep::No ? kKept
                                        : -1;
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
        if (s.needsUnit && s.unit.empty() && c >= 0 && s.reported.unit.empty())
            s.reported.unit = "wt%"; // the user took it as wt%
        s.needsUnit = false;
        s.why = c == -1 ? "left out by choice" : "";
        if (c == -1)
            s.keep = Source::Keep::No;
        else if (s.keep == Source::Keep::No)
            s.keep = Source::Keep::Value;
        if (s.factor != 1 && s.named != s.target && !(c >= kTotalIronAs))
            s.factor = 1; // an element's factor belongs to its own oxide
    }
    settle();
}
