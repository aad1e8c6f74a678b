#include "GeoArea.h"

#include "SamplePositions.h"

#include <cmath>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace geo {

namespace {

// Exactly the double given, as SQL reads it back.
std::string number(double v) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

std::string between(const std::string& expression, double low, double high) {
    return expression + " BETWEEN " + number(low) + " AND " + number(high);
}

// A stored longitude x is placed at x, or x - 360 above 180 (a centre may
// reach 540): the bands of stored values that land in [low, high].
std::string longitudeIn(const std::string& x, double low, double high) {
    return "((" + x + " <= 180 AND " + between(x, low, high) + ") OR (" + x + " > 180 AND " +
           between(x, low + 360, high + 360) + "))";
}

} // namespace

bool Area::contains(const Position& p) const {
    if (!p.valid || p.latitude < south || p.latitude > north)
        return false;
    return acrossAntimeridian() ? p.longitude >= west || p.longitude <= east
                                : p.longitude >= west && p.longitude <= east;
}

std::string Area::condition(const std::string& table) const {
    const auto inRange = [](double v, double lo, double hi) {
        return std::isfinite(v) && v >= lo && v <= hi;
    };
    if (!inRange(west, -180, 180) || !inRange(east, -180, 180) || !inRange(south, -90, 90) ||
        !inRange(north, -90, 90) || south > north)
        throw std::invalid_argument("Not an area of longitude and latitude.");
    const std::string values = SamplePositions::bracketed(table + "_values");
    const auto channel = [](const char* analyte) {
        return "[channel] IN (" + SamplePositions::channelsOf(analyte) + ")";
    };
    // One coordinate: a point value when the sample has one, else the
    // centre of its range with both ends valid. Each test of a band list
    // is ORed.
    const auto coordinate = [&](const char* name, bool latitude) {
        const double lo = latitude ? -90 : -180, hi = latitude ? 90 : 360;
        std::vector<std::pair<double, double>> bands;
        if (latitude)
            bands = {{south, north}};
        else if (acrossAntimeridian())
            bands = {{west, 180}, {-180, east}};
        else
            bands = {{west, east}};
        const auto inBands = [&](const std::string& x) {
            std::string out;
            for (const auto& [a, b] : bands)
                out += (out.empty() ? "" : " OR ") +
                       (latitude ? between(x, a, b) : longitudeIn(x, a, b));
            return "(" + out + ")";
        };
        // The first value of each kind, as geo::place takes it: Null when
        // the sample has none.
        const auto first = [&](const std::string& analyte) {
            return "(SELECT [value] FROM " + values + " WHERE " + channel(analyte.c_str()) +
                   " AND [sample] = [ID] ORDER BY [seq] LIMIT 1)";
        };
        const std::string pointValue = first(name);
        const std::string pointInside = inBands(pointValue);
        const std::string lowValue = first(std::string(name) + " min");
        const std::string highValue = first(std::string(name) + " max");
        const std::string sum = "(" + lowValue + " + " + highValue;
        const std::string centre = latitude ? inBands(sum + ") / 2")
                                            : "((" + highValue + " >= " + lowValue + " AND " +
                                                  inBands(sum + ") / 2") + ") OR (" + highValue +
                                                  " < " + lowValue + " AND " +
                                                  inBands(sum + " + 360) / 2") + "))";
        const std::string rangeInside = "(NOT EXISTS (SELECT 1 FROM " + values + " WHERE " +
                                        channel(name) + " AND [sample] = [ID]) AND " +
                                        between(lowValue, lo, hi) + " AND " +
                                        between(highValue, lo, hi) + " AND " + centre + ")";
        // The range's test first: on the server the program's dialect
        // compares a name folded while it reads a condition's own words
        // when any table has a text column of that name (quarzel_meta's
        // [value] is text), and a subquery's WHERE ends that reading; so
        // no [value] comes before the first subquery has closed.
        return "(" + rangeInside + " OR " + pointInside + ")";
    };
    return "(" + coordinate("Latitude", true) + " AND " + coordinate("Longitude", false) + ")";
}

Area Area::parse(const std::string& text) {
    Area a;
    char s1 = 0, s2 = 0, s3 = 0;
    std::istringstream in(text);
    in >> a.west >> s1 >> a.east >> s2 >> a.south >> s3 >> a.north;
    if (!in || s1 != '/' || s2 != '/' || s3 != '/' || in.peek() != EOF)
        throw std::invalid_argument("An area is W/E/S/N in degrees: '" + text + "'.");
    a.condition("T"); // checks the numbers
    return a;
}

} // namespace geo
