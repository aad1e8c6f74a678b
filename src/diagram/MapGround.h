#pragma once

#include "map/Coastlines.h"
#include "map/MapFrame.h"

#include <QPainterPath>

#include <memory>

class QPainter;

// The map's ground, under its samples: the sea's colour, the graticule and
// the coastlines. The same on screen, in an export and in the benchmark.
// Only the shorelines' stretches that reach the view are projected, and the
// projected coastlines are kept for a repaint of the same frame (the ring
// following the grid's row, an area being dragged).
class MapGround {
public:
    // coast: the shorelines to draw, or null while none are read; s scales
    // the pens (an export larger than the screen).
    void draw(QPainter& p, const geo::MapFrame& frame,
              const std::shared_ptr<const geo::Shorelines>& coast, double s) const;

private:
    const QPainterPath& coastPath(const geo::MapFrame& frame,
                                  const std::shared_ptr<const geo::Shorelines>& coast) const;

    // What the kept path was projected for.
    mutable std::shared_ptr<const geo::Shorelines> pathCoast_;
    mutable double pathFrame_[5] = {};
    mutable QPainterPath path_;
};
