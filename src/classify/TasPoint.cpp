#include "TasPoint.h"

#include "TasDiagram.h"
#include "schema/Column.h"

#include <cmath>
#include <limits>

namespace tas {

const std::vector<int>& sumColumns() {
    static const std::vector<int> c = [] {
        std::vector<int> columns;
        for (schema::Column oxide : schema::kVolatileFreeSum)
            columns.push_back(schema::index(oxide));
        return columns;
    }();
    return c;
}

namespace {

// Positions of SiO2, Na2O and K2O within sumColumns().
constexpr int kSiO2At = schema::positionIn(schema::kVolatileFreeSum, schema::Column::SiO2),
              kNa2OAt = schema::positionIn(schema::kVolatileFreeSum, schema::Column::Na2O),
              kK2OAt = schema::positionIn(schema::kVolatileFreeSum, schema::Column::K2O);

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
    double oxides[schema::kVolatileFreeSum.size()];
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
