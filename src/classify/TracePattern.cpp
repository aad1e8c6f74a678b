// A sample's pattern from its values: units to ppm, oxides for K, P and Ti,
// normalising, the anomalies and ratios, and the band of many patterns.
#include "TracePattern.h"

#include "platform/db/SampleValue.h"

#include <algorithm>

namespace trace {

double toPpm(const std::string& unit) {
    if (unit == "ppm" || unit == "µg/g" || unit == "ug/g" || unit == "mg/kg" || unit == "g/t")
        return 1;
    if (unit == "ppb" || unit == "ng/g")
        return 1e-3;
    if (unit == "ppt" || unit == "pg/g")
        return 1e-6;
    if (unit == "wt%" || unit == "%")
        return 1e4;
    return 0;
}

void CompositionBuilder::add(const engine::SampleValue& v) {
    const int e = elementIndex(v.analyte);
    const double factor = toPpm(v.unit);
    if (e < 0 || factor == 0 || !v.value || !std::isfinite(*v.value))
        return;
    Candidate& c = candidates_[static_cast<std::size_t>(e)];
    // A value without a qualifier beats any with one; else the first stays.
    if (c.taken && (c.qualifier == 0 || v.qualifier != 0))
        return;
    c = {*v.value * factor, v.qualifier, true};
}

Composition CompositionBuilder::finish(double tio2, double k2o, double p2o5) {
    Composition out;
    for (std::size_t e = 0; e < out.size(); ++e) {
        const Candidate& c = candidates_[e];
        if (c.taken && c.qualifier != '>')
            out[e] = {c.ppm, c.qualifier == '<'};
    }
    // The oxides only where no value of the element was kept at all: a kept
    // limit says more about the sample than an empty column.
    auto fromOxide = [&](const char* element, double oxide, double factor) {
        const auto e = static_cast<std::size_t>(elementIndex(element));
        if (!candidates_[e].taken && std::isfinite(oxide) && oxide >= 0)
            out[e] = {oxide * factor * 1e4, false};
    };
    fromOxide("Ti", tio2, kTiInTiO2);
    fromOxide("K", k2o, kKInK2O);
    fromOxide("P", p2o5, kPInP2O5);
    candidates_ = {};
    return out;
}

Composition normalise(const Composition& ppm, const NormalisingSet& set) {
    Composition out;
    for (std::size_t e = 0; e < out.size(); ++e)
        if (ppm[e].known() && set.has(static_cast<int>(e)))
            out[e] = {ppm[e].value / set.ppm[e], ppm[e].limit};
    return out;
}

const std::array<const char*, kRatioCount> kRatioNames = {"Eu/Eu*",   "Ce/Ce*",   "(La/Yb)N",
                                                          "(La/Sm)N", "(Gd/Yb)N", "Nb/Nb*"};

namespace {

// The normalised amounts of the named elements, or why one cannot be used.
bool take(const Composition& n, const NormalisingSet& set, std::initializer_list<const char*> names,
          std::vector<double>& out, std::string& why) {
    for (const char* name : names) {
        const int e = elementIndex(name);
        const Reading& r = n[static_cast<std::size_t>(e)];
        if (!set.has(e))
            why = std::string(name) + " not in the set";
        else if (!r.known())
            why = std::string("no ") + name;
        else if (r.limit)
            why = std::string(name) + " below detection";
        else if (!(r.value > 0))
            why = std::string(name) + " not above 0";
        else {
            out.push_back(r.value);
            continue;
        }
        return false;
    }
    return true;
}

Ratio ratio(const Composition& n, const NormalisingSet& set,
            std::initializer_list<const char*> names) {
    std::vector<double> v;
    Ratio r;
    if (!take(n, set, names, v, r.why))
        return r;
    // Over one element, or over the geometric mean of two neighbours.
    r.value = v.size() == 2 ? v[0] / v[1] : v[0] / std::sqrt(v[1] * v[2]);
    return r;
}

} // namespace

std::array<Ratio, kRatioCount> ratiosOf(const Composition& n, const NormalisingSet& set) {
    return {ratio(n, set, {"Eu", "Sm", "Gd"}), ratio(n, set, {"Ce", "La", "Pr"}),
            ratio(n, set, {"La", "Yb"}),       ratio(n, set, {"La", "Sm"}),
            ratio(n, set, {"Gd", "Yb"}),       ratio(n, set, {"Nb", "Th", "La"})};
}

double quantile(std::vector<double>& values, double q) {
    if (values.empty())
        return std::nan("");
    const double h = (static_cast<double>(values.size()) - 1) * q;
    const auto lo = static_cast<std::size_t>(std::floor(h));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(lo),
                     values.end());
    const double a = values[lo];
    if (lo + 1 >= values.size())
        return a;
    // The next order statistic is the smallest of those above.
    const double b =
        *std::min_element(values.begin() + static_cast<std::ptrdiff_t>(lo) + 1, values.end());
    return a + (b - a) * (h - static_cast<double>(lo));
}

Band bandOf(const std::vector<float>& values, const std::vector<std::uint8_t>& limits,
            std::size_t elements) {
    Band b;
    const std::size_t rows = elements ? values.size() / elements : 0;
    std::vector<double> column;
    for (std::size_t e = 0; e < elements; ++e) {
        column.clear();
        for (std::size_t r = 0; r < rows; ++r) {
            const float v = values[r * elements + e];
            if (!std::isnan(v) && !limits[r * elements + e])
                column.push_back(v);
        }
        b.rows.push_back(static_cast<long>(column.size()));
        b.p10.push_back(quantile(column, 0.1));
        b.median.push_back(quantile(column, 0.5));
        b.p90.push_back(quantile(column, 0.9));
    }
    return b;
}

} // namespace trace
