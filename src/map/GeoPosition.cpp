#include "GeoPosition.h"

#include <cmath>
#include <sstream>

namespace geo {

namespace {

std::string number(double v) {
    std::ostringstream out;
    out << v;
    return out.str();
}

// One coordinate from a point value or the centre of a range; nullopt with
// the reason when it has none.
std::optional<double> coordinate(const std::optional<double>& point,
                                 const std::optional<double>& low,
                                 const std::optional<double>& high, bool isLatitude,
                                 std::string& reason) {
    const char* name = isLatitude ? "latitude" : "longitude";
    const double lowest = isLatitude ? -90 : -180;
    const double highest = isLatitude ? 90 : 360;
    const auto bad = [&](double v) {
        if (std::isfinite(v) && v >= lowest && v <= highest)
            return false;
        if (!std::isfinite(v)) {
            reason = std::string(name) + " is not a number";
            return true;
        }
        reason = std::string(name) + " " + number(v) + " is outside " + number(lowest) + ".." +
                 number(highest);
        return true;
    };
    if (point)
        return bad(*point) ? std::nullopt : point;
    if (!low || !high) {
        reason = std::string("no ") + name;
        return std::nullopt;
    }
    if (bad(*low) || bad(*high))
        return std::nullopt;
    if (isLatitude)
        return (*low + *high) / 2;
    // A range written 170..-170 runs east across 180°.
    return *high < *low ? (*low + *high + 360) / 2 : (*low + *high) / 2;
}

} // namespace

double wrapLongitude(double longitude) {
    while (longitude > 180)
        longitude -= 360;
    while (longitude < -180)
        longitude += 360;
    return longitude;
}

Position place(const CoordinateFacts& f) {
    Position p;
    const auto lat = coordinate(f.latitude, f.latitudeMin, f.latitudeMax, true, p.reason);
    if (!lat)
        return p;
    const auto lon = coordinate(f.longitude, f.longitudeMin, f.longitudeMax, false, p.reason);
    if (!lon)
        return p;
    p.valid = true;
    p.latitude = *lat;
    p.longitude = wrapLongitude(*lon);
    return p;
}

} // namespace geo
