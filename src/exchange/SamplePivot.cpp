#include "SamplePivot.h"

#include "AnalyteName.h"
#include "ImportColumns.h"
#include "TextRules.h"
#include "schema/Column.h"

#include <algorithm>
#include <map>
#include <unordered_map>

namespace {

using textrules::lower;
using textrules::trimmed;

enum class Role { Other, Sample, Analyte, Value, Unit, Method };

Role roleOf(const std::string& header) {
    const std::string h = lower(trimmed(header));
    auto any = [&](std::initializer_list<const char*> names) {
        return std::any_of(names.begin(), names.end(), [&](const char* n) { return h == n; });
    };
    if (any({"analyte", "element", "parameter", "determinand", "component", "species"}))
        return Role::Analyte;
    if (any({"value", "result", "concentration", "reported value"}))
        return Role::Value;
    if (any({"unit", "units"}))
        return Role::Unit;
    if (any({"method", "methods", "analytical method", "method code"}))
        return Role::Method;
    if (ImportColumns::columnFor(header) == schema::index(schema::Column::SampleNumber))
        return Role::Sample;
    return Role::Other;
}

std::vector<Role> roles(const std::vector<std::string>& header) {
    std::vector<Role> r;
    for (const std::string& h : header)
        r.push_back(roleOf(h));
    return r;
}

bool has(const std::vector<Role>& r, Role role) {
    return std::find(r.begin(), r.end(), role) != r.end();
}

int indexOf(const std::vector<Role>& r, Role role) {
    return static_cast<int>(std::find(r.begin(), r.end(), role) - r.begin());
}

// One sample as its rows give it: its other columns, and its values by
// the pivoted column they go into.
struct Sample {
    std::vector<std::string> carried;
    std::unordered_map<std::size_t, std::string> values;
};

} // namespace

bool SamplePivot::isLong(const std::vector<std::string>& header) {
    const auto r = roles(header);
    return has(r, Role::Sample) && has(r, Role::Analyte) && has(r, Role::Value);
}

bool SamplePivot::isByMethod(const std::vector<std::string>& header) {
    const auto r = roles(header);
    return !isLong(header) && has(r, Role::Sample) && has(r, Role::Method);
}

SamplePivot::Result SamplePivot::pivot(const CsvSource& source, long headerRecord,
                                       const std::vector<std::string>& header,
                                       const std::vector<long>& skip) {
    Result out;
    const auto r = roles(header);
    const bool isLongLayout = isLong(header);
    out.layout = isLongLayout ? "the long layout" : "rows of one sample by method";
    const std::size_t sampleAt = static_cast<std::size_t>(indexOf(r, Role::Sample));
    const int methodAt = has(r, Role::Method) ? indexOf(r, Role::Method) : -1;
    // Which columns are carried as they are, and which are pivoted.
    std::vector<std::size_t> carried;
    std::vector<bool> analysis(header.size(), false);
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (isLongLayout) {
            if (r[i] == Role::Other || r[i] == Role::Sample)
                carried.push_back(i);
            continue;
        }
        if (static_cast<int>(i) == methodAt)
            continue;
        const AnalyteName a = AnalyteName::read(header[i]);
        analysis[i] = r[i] == Role::Other && a.analyte;
        if (!analysis[i])
            carried.push_back(i);
    }
    std::vector<std::string> pivotHeaders;
    std::map<std::string, std::size_t> pivotIndex;
    auto column = [&](const std::string& heading) {
        const auto [it, fresh] = pivotIndex.emplace(heading, pivotHeaders.size());
        if (fresh)
            pivotHeaders.push_back(heading);
        return it->second;
    };
    std::vector<Sample> samples;
    std::unordered_map<std::string, std::size_t> byName;
    auto put = [&](Sample& s, std::size_t at, const std::string& value) {
        if (value.empty())
            return;
        const auto [it, fresh] = s.values.emplace(at, value);
        if (!fresh && it->second != value)
            ++out.clashes;
    };
    long record = 0;
    source.read(
        [&](std::vector<std::string>& fields, long line) {
            if (record++ <= headerRecord || std::find(skip.begin(), skip.end(), line) != skip.end())
                return true;
            if (std::all_of(fields.begin(), fields.end(),
                            [](const std::string& f) { return trimmed(f).empty(); }))
                return true;
            fields.resize(header.size());
            ++out.rowsRead;
            const std::string name = trimmed(fields[sampleAt]);
            const auto [it, fresh] = byName.emplace(name, samples.size());
            if (fresh) {
                Sample s;
                for (std::size_t c : carried)
                    s.carried.push_back(fields[c]);
                samples.push_back(std::move(s));
            }
            Sample& s = samples[it->second];
            for (std::size_t k = 0; k < carried.size(); ++k)
                if (trimmed(s.carried[k]).empty())
                    s.carried[k] = fields[carried[k]];
            const std::string method =
                methodAt >= 0 ? trimmed(fields[static_cast<std::size_t>(methodAt)]) : std::string();
            if (isLongLayout) {
                const std::string analyte =
                    trimmed(fields[static_cast<std::size_t>(indexOf(r, Role::Analyte))]);
                if (analyte.empty())
                    return true;
                std::string heading = analyte;
                if (has(r, Role::Unit))
                    if (const std::string unit =
                            trimmed(fields[static_cast<std::size_t>(indexOf(r, Role::Unit))]);
                        !unit.empty())
                        heading += " (" + unit + ")";
                if (!method.empty())
                    heading += " [" + method + "]";
                put(s, column(heading),
                    trimmed(fields[static_cast<std::size_t>(indexOf(r, Role::Value))]));
                return true;
            }
            for (std::size_t i = 0; i < header.size(); ++i)
                if (analysis[i] && !trimmed(fields[i]).empty())
                    put(s, column(trimmed(header[i]) + (method.empty() ? "" : " [" + method + "]")),
                        trimmed(fields[i]));
            return true;
        },
        {}, [](long, const std::string&) {});
    std::vector<std::string> heading;
    for (std::size_t c : carried)
        heading.push_back(header[c]);
    heading.insert(heading.end(), pivotHeaders.begin(), pivotHeaders.end());
    out.rows.push_back(heading);
    for (Sample& s : samples) {
        std::vector<std::string> row = std::move(s.carried);
        row.resize(heading.size());
        for (auto& [at, value] : s.values)
            row[carried.size() + at] = std::move(value);
        out.rows.push_back(std::move(row));
    }
    out.samples = static_cast<long>(samples.size());
    return out;
}
