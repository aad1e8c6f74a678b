// Log-axis ticks for the diagram plot.
#include "LogAxis.h"

#include <cmath>

QString decadeText(double value) {
    return QString::number(value, 'g', 4);
}

std::vector<AxisTick> logTicks(double lo, double hi) {
    std::vector<AxisTick> out;
    const bool fine = hi - lo < 1; // less than a decade in sight
    constexpr double kSlack = 1e-9;
    for (int d = static_cast<int>(std::floor(lo)); d <= static_cast<int>(std::ceil(hi)); ++d)
        for (int m = 1; m <= 9; ++m) {
            const double value = m * std::pow(10.0, d);
            const double at = std::log10(value);
            if (at < lo - kSlack || at > hi + kSlack)
                continue;
            out.push_back({at, m == 1 || fine ? decadeText(value) : QString()});
        }
    return out;
}
