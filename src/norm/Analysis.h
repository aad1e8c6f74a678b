#pragma once

#include "platform/db/Value.h"
#include "schema/Column.h"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace norm {

// The analysis columns of a table row the norm reads, schema::kFirstOxide to
// schema::kLastOxide in the table's order.
enum Oxide {
    SiO2,
    TiO2,
    Al2O3,
    Fe2O3,
    FeO,
    MnO,
    MgO,
    CaO,
    Na2O,
    K2O,
    P2O5,
    H2Op,
    H2Om,
    CO2,
    Cl,
    F,
    S,
    SO3,
    Cr2O3,
    ZrO2,
    kOxideCount
};

constexpr schema::Column columnOf(int oxide) {
    return static_cast<schema::Column>(schema::index(schema::kFirstOxide) + oxide);
}
constexpr int oxideOf(schema::Column column) {
    return schema::index(column) - schema::index(schema::kFirstOxide);
}
static_assert(columnOf(SiO2) == schema::Column::SiO2 && columnOf(H2Op) == schema::Column::H2OPlus &&
                  columnOf(H2Om) == schema::Column::H2OMinus &&
                  columnOf(kOxideCount - 1) == schema::kLastOxide,
              "the norm's oxides in the table's order");

const char* oxideName(int oxide);

// One row's analysis as the norm reads it: a number per column, NaN where
// nothing was analysed (Null, an empty text, the default text "Empty").
// Anything else that is not a usable number (other text, a negative value,
// one above 100) is a fault, described in the words the user sees.
struct Analysis {
    double value[kOxideCount];
    std::string fault;
    std::string rockname; // as the row gives it: whether it names a plutonic rock

    bool given(int oxide) const { return !std::isnan(value[oxide]); }
    double orZero(int oxide) const { return given(oxide) ? value[oxide] : 0.0; }

    // From a row's values, indexed as the table's columns.
    static Analysis fromRow(const std::vector<engine::Value>& row);
    // From kOxideCount values in Oxide order.
    static Analysis fromValues(const engine::Value* values);
    // From a row of a whole table's columns, read cell by cell (columns
    // beyond fieldCount are not asked for).
    static Analysis fromCells(int fieldCount,
                              const std::function<const engine::Value&(int column)>& cell);
};

} // namespace norm
