#include "ReportedValues.h"

#include "CsvImport.h"
#include "TextRules.h"
#include "schema/Schema.h"

#include <cctype>
#include <cmath>

namespace {

using Keep = ImportColumns::Source::Keep;
using textrules::lower;
using textrules::trimmed;

// Facts that are numbers where they are given as numbers.
bool numericFact(const std::string& name) {
    const std::string n = lower(name);
    for (const char* f : {"latitude", "longitude", "elevation", "depth", "drill depth", "age",
                          "eruption year", "eruption month", "eruption day"})
        if (n == f)
            return true;
    return false;
}

bool concentration(const std::string& unit) {
    return unit == "wt%" || unit == "ppm" || unit == "ppb" || unit == "ppt";
}

// "[29001] [19973]": the numbers cited; empty when the text is no such list.
std::vector<std::string> citedNumbers(const std::string& text) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == ',' || text[i] == ';'))
            ++i;
        if (i == text.size())
            break;
        if (text[i] != '[')
            return {};
        const std::size_t close = text.find(']', i);
        if (close == std::string::npos || close == i + 1)
            return {};
        const std::string n = text.substr(i + 1, close - i - 1);
        for (unsigned char c : n)
            if (!std::isdigit(c))
                return {};
        out.push_back(n);
        i = close + 1;
    }
    return out;
}

std::string referenceText(const ReportedValues::References& refs, const std::string& number) {
    const auto it = refs.find(number);
    return it != refs.end() ? it->second : "[" + number + "]";
}

} // namespace

bool ReportedValues::readReference(const std::vector<std::string>& fields, char delimiter,
                                   References& references) {
    // A reference with commas in it is split into fields: joined again,
    // with the blank the reader took from after each comma.
    std::string line;
    std::size_t last = fields.size();
    while (last > 0 && trimmed(fields[last - 1]).empty())
        --last;
    for (std::size_t i = 0; i < last; ++i)
        line += (i ? std::string(1, delimiter) + (delimiter == '\t' ? "" : " ") : std::string()) +
                trimmed(fields[i]);
    line = trimmed(line);
    if (line.size() < 3 || line[0] != '[')
        return false;
    const std::size_t close = line.find(']');
    if (close == std::string::npos || close == 1)
        return false;
    const std::string number = line.substr(1, close - 1);
    for (unsigned char c : number)
        if (!std::isdigit(c))
            return false;
    const std::string text = trimmed(line.substr(close + 1));
    if (text.empty())
        return false;
    references[number] = text;
    return true;
}

bool ReportedValues::read(const ImportPlan& plan, const std::vector<std::string>& fields,
                          std::vector<engine::SampleValue>& values, std::string& column,
                          std::string& text, std::string& why) {
    values.clear();
    const auto& sources = plan.columns.sources;
    auto cell = [&](int i) {
        return i >= 0 && static_cast<std::size_t>(i) < fields.size()
                   ? trimmed(fields[static_cast<std::size_t>(i)])
                   : std::string();
    };
    // The sample's references: a citation column, or one put together
    // from its parts.
    std::vector<std::string> references;
    std::string parts[6]; // authors, year, title, journal, doi, other
    for (std::size_t i = 0; i < sources.size() && i < fields.size(); ++i) {
        const std::string t = trimmed(fields[i]);
        if (t.empty())
            continue;
        if (sources[i].keep == Keep::Citation) {
            const std::vector<std::string> numbers = citedNumbers(t);
            if (numbers.empty())
                references.push_back(t);
            for (const std::string& n : numbers)
                references.push_back(referenceText(plan.references, n));
        } else if (sources[i].keep == Keep::ReferencePart) {
            const std::string h = lower(trimmed(sources[i].header));
            const int at = h.rfind("author", 0) == 0 ? 0
                           : h == "year"             ? 1
                           : h == "title"            ? 2
                           : h == "journal"          ? 3
                           : h == "doi"              ? 4
                                                     : 5;
            parts[at] = t;
        }
    }
    if (!parts[0].empty() || !parts[2].empty() || !parts[4].empty()) {
        std::string r = parts[0];
        if (!parts[1].empty())
            r += (r.empty() ? "(" : " (") + parts[1] + ")";
        if (!parts[2].empty())
            r += (r.empty() ? "" : ": ") + parts[2];
        if (!parts[3].empty())
            r += (r.empty() ? "" : ". ") + parts[3];
        if (!parts[4].empty())
            r += (r.empty() ? "doi:" : ". doi:") + parts[4];
        if (references.size() == 1 && !parts[4].empty() &&
            references[0].find(parts[4]) == std::string::npos)
            references[0] += ". doi:" + parts[4];
        else if (references.empty())
            references.push_back(r);
    }
    const std::string sampleReference = references.size() == 1 ? references[0] : std::string();

    for (std::size_t i = 0; i < sources.size() && i < fields.size(); ++i) {
        const ImportColumns::Source& s = sources[i];
        if (!s.kept())
            continue;
        std::string raw = trimmed(fields[i]);
        // Empty, or SiO2's default text as an export writes it.
        if (raw.empty() || (s.target == schema::index(schema::Column::SiO2) && raw == "Empty"))
            continue;
        engine::SampleValue v;
        v.analyte = s.reported.name.empty() ? s.header : s.reported.name;
        v.unit = s.unitColumn >= 0 ? cell(s.unitColumn) : s.reported.unit;
        // An oxide with no unit named is read as wt%, as our columns take it.
        if (v.unit.empty() && s.unitColumn < 0 && s.reported.analyte &&
            ((s.target >= schema::kFirstAnalysisColumn &&
              s.target <= schema::index(schema::Column::Total)) ||
             s.totalIron >= 0))
            v.unit = "wt%";
        if (s.unitColumn >= 0 && !AnalyteName::knownUnit(v.unit).empty())
            v.unit = AnalyteName::knownUnit(v.unit);
        v.method = s.methodColumn >= 0              ? cell(s.methodColumn)
                   : !s.reported.method.empty()     ? s.reported.method
                   : plan.columns.methodColumn >= 0 ? cell(plan.columns.methodColumn)
                                                    : std::string();
        if (s.reported.bound != AnalyteName::Bound::None)
            v.analyte += s.reported.bound == AnalyteName::Bound::Min ? " min" : " max";
        if (!s.reported.analyte) {
            v.reference = sampleReference;
            double d = 0;
            if (numericFact(s.reported.name) &&
                numberstyle::read(raw, plan.mark, d) == std::errc() && std::isfinite(d))
                v.value = d;
            else
                v.text = raw;
            values.push_back(std::move(v));
            continue;
        }
        std::string cited;
        raw = textrules::withoutCitation(raw, &cited);
        v.reference = cited.empty() ? sampleReference : referenceText(plan.references, cited);
        if (raw[0] == '<' || raw[0] == '>') {
            v.qualifier = raw[0];
            raw = trimmed(raw.substr(1));
        } else if (textrules::meansNull(raw)) {
            // Below detection in words: at the limit the lab's row gives.
            const std::string l = lower(raw);
            if (s.limit > 0 && (l == "bdl" || l == "b.d.l." || l == "lod")) {
                v.qualifier = '<';
                v.value = s.limit;
                values.push_back(std::move(v));
            }
            continue; // else not measured: no value
        }
        double d = 0;
        if (numberstyle::read(raw, plan.mark, d) != std::errc() || !std::isfinite(d)) {
            if (v.qualifier == '<' && (raw.empty() || lower(raw) == "dl" || lower(raw) == "lod")) {
                if (s.limit > 0) {
                    v.value = s.limit;
                    values.push_back(std::move(v));
                }
                continue; // below a limit, given or not
            }
            column = s.header;
            text = fields[i];
            why = "not a number";
            return false;
        }
        if (d < 0 && !v.qualifier && concentration(v.unit)) {
            v.qualifier = '<';
            d = -d;
        }
        v.value = d;
        values.push_back(std::move(v));
    }
    // Bounds that agree are one fact, and so is a bound given alone.
    auto bounded = [](const std::string& name, const char* tail) {
        return name.size() > 4 && name.compare(name.size() - 4, 4, tail) == 0;
    };
    for (std::size_t a = 0; a < values.size(); ++a) {
        const std::string name = values[a].analyte;
        if (!bounded(name, " min") && !bounded(name, " max"))
            continue;
        const std::string base = name.substr(0, name.size() - 4);
        const std::string other = base + (bounded(name, " min") ? " max" : " min");
        std::size_t b = 0;
        while (b < values.size() && values[b].analyte != other)
            ++b;
        if (b == values.size()) {
            values[a].analyte = base;
        } else if (values[b].value == values[a].value && values[b].text == values[a].text) {
            values[a].analyte = base;
            values.erase(values.begin() + static_cast<std::ptrdiff_t>(b));
            if (b < a)
                --a;
        }
    }
    for (const std::string& r : references) {
        engine::SampleValue v;
        v.analyte = "Reference";
        v.text = r;
        v.reference = r;
        values.push_back(std::move(v));
    }
    return true;
}
