#include "TasPoint.h"

#include "TasDiagram.h"

#include <cmath>
#include <limits>

namespace tas {

const std::vector<int>& sumColumns() {
    // SiO2 TiO2 Al2O3 Fe2O3 FeO MnO MgO CaO Na2O K2O P2O5, then Cr2O3 ZrO2.
    static const std::vector<int> c = {5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 23, 24};
    return c;
}

namespace {

// Positions of SiO2, Na2O and K2O within sumColumns().
constexpr int kSiO2At = 0, kNa2OAt = 8, kK2OAt = 9;

double number(const engine::Value& v) {
    switch (v.type()) {
    case engine::Value::Type::Integer:
        return static_cast<double>(v.toInteger());
    case engine::Value::Type::Real:
        return v.toReal();
    default:
        return std::numeric_limits<double>::quiet_NaN();
    }
}

} // namespace

Point classifyOxides(const double* oxides, bool volatileFree) {
    Point p;
    const std::size_t n = sumColumns().size();
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double v = oxides[i];
        const bool required = i == kSiO2At || i == kNa2OAt || i == kK2OAt;
        if (std::isnan(v)) {
            if (required)
                return p;
            continue; // a minor oxide not analysed counts as 0
        }
        if (!std::isfinite(v) || v < 0 || v > 100)
            return p;
        sum += v;
    }
    if (!(sum > 0))
        return p;
    const double scale = volatileFree ? 100.0 / sum : 1.0;
    p.valid = true;
    p.silica = oxides[kSiO2At] * scale;
    p.alkali = (oxides[kNa2OAt] + oxides[kK2OAt]) * scale;
    p.field = fieldAt(p.silica, p.alkali);
    return p;
}

Point classify(const std::vector<engine::Value>& row, bool volatileFree) {
    const auto& cols = sumColumns();
    double oxides[16];
    for (std::size_t i = 0; i < cols.size(); ++i)
        oxides[i] = static_cast<std::size_t>(cols[i]) < row.size()
                        ? number(row[static_cast<std::size_t>(cols[i])])
                        : std::numeric_limits<double>::quiet_NaN();
    return classifyOxides(oxides, volatileFree);
}

const char* nameOf(const Point& p) {
    if (!p.valid)
        return kNoPoint;
    return p.field < 0 ? kOutside : fields()[static_cast<std::size_t>(p.field)].name;
}

} // namespace tas
