#pragma once

#include <memory>
#include <string>
#include <vector>

namespace geo {

// One shoreline: longitudes -180..180 and latitudes in degrees, in order;
// closed when its last point is its first.
struct Shoreline {
    std::vector<double> longitude, latitude;
    bool closed() const;
};

using Shorelines = std::vector<Shoreline>;

// The world's shorelines (land against sea) of the GSHHG coastlines, read
// through GMT's library: its coast module dumps them into memory, cut at
// the edges of GMT's bins; the pieces are joined again where one ends at
// the start of the next, so that an island comes back closed. Each
// resolution is read once and kept for the life of the program; every call
// into GMT is made by one thread at a time (its sessions share state).
// Reading takes up to a second: never on the user-interface thread.
class Coastlines {
public:
    enum class Resolution { Crude, Low, Intermediate };

    // The resolution that suits a view this many degrees across.
    static Resolution forSpan(double degreesAcross);
    static char letter(Resolution r);

    // Throws std::runtime_error with GMT's words when the coastlines cannot
    // be read (no data package installed).
    static std::shared_ptr<const Shorelines> world(Resolution r);

    // Joins pieces that share an end point; pieces at ±180 join across it.
    static Shorelines joined(Shorelines pieces);
};

} // namespace geo
