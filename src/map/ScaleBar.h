#pragma once

#include "MapFrame.h"

namespace geo {

// A scale bar for a frame: the roundest distance (1, 2 or 5 times a power
// of ten km) whose length east-west at the centre is at most maxPixels,
// and that length. Measured across the centre rather than taken from the
// projection's formula, so that it holds for every projection a frame
// may use (the equirectangular stretches east-west away from the equator).
struct ScaleBar {
    double kilometres = 0;
    double pixels = 0;

    static ScaleBar of(const MapFrame& frame, double maxPixels);
};

} // namespace geo
