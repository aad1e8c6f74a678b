#pragma once

#include "platform/db/Value.h"

#include <vector>

namespace tas {

// Where one analysis falls on the diagram. Both axes are recalculated to
// 100 % free of volatiles by default: divided by the sum of SiO2, TiO2,
// Al2O3, Fe2O3, FeO, MnO, MgO, CaO, Na2O, K2O, P2O5, Cr2O3 and ZrO2. H2O+,
// H2O-, CO2, Cl, F, S and SO3 count as volatiles; Total and the trace
// columns are left out.
//
// A row has no point when SiO2, Na2O or K2O is not a number (Null, the
// text "Empty", text from an import), when any oxide of the sum is
// negative, above 100 or not finite, or when the sum is 0.
struct Point {
    bool valid = false;
    double silica = 0;
    double alkali = 0;
    int field = -1; // index into fields(), -1 outside the diagram
};

// Table column indexes of the oxides in the volatile-free sum, in
// schema::kVolatileFreeSum order.
const std::vector<int>& sumColumns();

// From the values of a row's columns, indexed as the table's columns.
Point classify(const std::vector<engine::Value>& row, bool volatileFree = true);
// From the oxides of the sum alone, in sumColumns() order (NaN for a value
// that is not a number).
Point classifyOxides(const double* oxides, bool volatileFree = true);

const char* nameOf(const Point& p);

} // namespace tas
