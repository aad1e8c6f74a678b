#pragma once

#include <QString>

#include <vector>

// The ticks of a log axis whose coordinate is the decimal logarithm of the
// quantity: each decade labelled with the quantity itself (0.1, 1, 10), and
// the 2..9 between decades as unlabelled ticks. Spanning less than a decade
// (zoomed in), the 2..9 are labelled too, so that an axis never goes bare.
struct AxisTick {
    double at;     // in the plane: log10 of the quantity
    QString label; // empty for a minor tick
};

std::vector<AxisTick> logTicks(double lo, double hi);
// The quantity at a decade as a label: "0.01", "1", "1000", "1e+06".
QString decadeText(double value);
