#pragma once

#include "map/Coastlines.h"
#include "map/MapFrame.h"

#include <memory>

class QPainter;

// The map's ground, under its samples: the sea's colour, the graticule and
// the coastlines. The same on screen, in an export and in the benchmark.
class MapGround {
public:
    // coast: the shorelines to draw, or null while none are read; s scales
    // the pens (an export larger than the screen).
    void draw(QPainter& p, const geo::MapFrame& frame,
              const std::shared_ptr<const geo::Shorelines>& coast, double s) const;
};
