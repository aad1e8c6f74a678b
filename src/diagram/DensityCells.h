#pragma once

#include "classify/TasView.h"

#include <QRectF>

#include <cstdint>
#include <vector>

class QPainter;

// Rows drawn as density: rows per cell of a grid over the part of the plane
// in sight, on a log colour scale, with the scale and what it counts. The
// cells are kept: a repaint (the ring moving with the grid's row) counts ten
// million points again only when the view, the zoom or the cells changed.
class DensityCells {
public:
    // serial: a number that changes with every view; range: the part of the
    // plane in sight, drawn into area; withScale: the colour scale in the
    // margin to the right of area.
    void draw(QPainter& p, const tas::ViewPoints& view, std::uint64_t serial, const QRectF& range,
              const QRectF& area, double scale, bool withScale);

private:
    std::uint64_t view_ = 0;
    QRectF range_;
    int cols_ = 0, rows_ = 0;
    std::vector<std::uint32_t> bins_;
    std::uint32_t most_ = 0;
};
