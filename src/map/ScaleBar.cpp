#include "ScaleBar.h"

#include <algorithm>
#include <cmath>

namespace geo {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The great-circle distance in km between two places given in degrees.
double kilometresBetween(double lon1, double lat1, double lon2, double lat2) {
    const double r = kPi / 180;
    const double dLat = (lat2 - lat1) * r, dLon = (lon2 - lon1) * r;
    const double a = std::pow(std::sin(dLat / 2), 2) +
                     std::cos(lat1 * r) * std::cos(lat2 * r) * std::pow(std::sin(dLon / 2), 2);
    return 2 * std::asin(std::min(1.0, std::sqrt(a))) * MapFrame::kRadius / 1000;
}

} // namespace

ScaleBar ScaleBar::of(const MapFrame& frame, double maxPixels) {
    const double x = frame.width() / 2, y = frame.height() / 2;
    double lon1 = 0, lat1 = 0, lon2 = 0, lat2 = 0;
    if (maxPixels <= 0 || !frame.toGeo(x - 0.5, y, lon1, lat1) ||
        !frame.toGeo(x + 0.5, y, lon2, lat2))
        return {};
    const double perPixel = kilometresBetween(lon1, lat1, lon2, lat2);
    if (!(perPixel > 0))
        return {};
    const double most = perPixel * maxPixels;
    double round = std::pow(10.0, std::floor(std::log10(most)));
    for (double step : {5.0, 2.0})
        if (round * step <= most) {
            round *= step;
            break;
        }
    return {round, round / perPixel};
}

} // namespace geo
