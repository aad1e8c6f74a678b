#pragma once

#include <optional>
#include <string>

namespace geo {

// Where a sample lies, from the facts its source reported: decimal degrees,
// latitude -90..90 and longitude -180..180 once placed (a source's 180..360
// is wrapped to -180..0). A sample without a usable position says why, and
// is never drawn.
struct Position {
    bool valid = false;
    double latitude = 0;
    double longitude = 0;
    std::string reason; // why there is none; empty when valid
};

// The coordinate facts of one sample, as read (the first of each kind).
struct CoordinateFacts {
    std::optional<double> latitude, latitudeMin, latitudeMax;
    std::optional<double> longitude, longitudeMin, longitudeMax;
};

// A longitude in -180..180 (180 stays 180, 180..540 comes back by 360).
double wrapLongitude(double longitude);

// A point value first; else the centre of a range (a longitude range whose
// minimum is above its maximum runs east across 180°). Any value used
// outside -90..90 (latitude) or -180..360 (longitude) gives no position.
Position place(const CoordinateFacts& facts);

} // namespace geo
