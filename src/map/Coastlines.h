#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace geo {

// One shoreline: longitudes -180..180 and latitudes in degrees, in order;
// closed when its last point is its first.
struct Shoreline {
    // A run of the points, first to last (the next run starts at this one's
    // last), and the cap on the sphere that takes them all in: its centre a
    // unit vector (z towards the north pole), its radius in radians. A map
    // projects only the runs whose cap reaches its view.
    struct Stretch {
        std::size_t first = 0, last = 0;
        double x = 0, y = 0, z = 0, radius = 0;
    };

    std::vector<double> longitude, latitude;
    std::vector<Stretch> stretches; // none until divided
    bool closed() const;
    // Cuts the points into stretches of at most `points` points each.
    void divide(std::size_t points = 128);
};

using Shorelines = std::vector<Shoreline>;

// The world's shorelines (land against sea) of the GSHHG coastlines, read
// through GMT's library: its coast module dumps them into memory, cut at
// the edges of GMT's bins; the pieces are joined again where one ends at
// the start of the next, so that an island comes back closed. Each
// resolution is read once, divided into stretches, and kept for the life
// of the program; every call into GMT is made by one thread at a time (its
// sessions share state). Reading takes up to a second: never on the
// user-interface thread.
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
