#pragma once

#include "GeoPosition.h"

#include <string>

namespace geo {

// A rectangle of longitude and latitude: from west eastwards to east
// (west above east runs across 180°), south to north, in degrees with
// longitudes in -180..180. Edges are inside.
struct Area {
    double west = -180, east = 180, south = -90, north = 90;

    bool acrossAntimeridian() const { return west > east; }
    bool contains(const Position& p) const;
    // The condition, in the program's dialect, selecting the rows of the
    // table whose position (as geo::place makes it from the stored facts)
    // lies inside: subqueries on the table's values, with numbers written
    // by the program only. Throws std::invalid_argument for an area with
    // a coordinate out of range or south above north.
    std::string condition(const std::string& table) const;
    // "W/E/S/N", as the command line takes it; throws std::invalid_argument.
    static Area parse(const std::string& text);
};

} // namespace geo
