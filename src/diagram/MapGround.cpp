// The map's ground: the sea, the graticule and the coastlines, projected
// for the frame drawn.
#include "MapGround.h"

#include "MapPlot.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

bool mayBeInSight(const geo::MapFrame& f, const geo::Shoreline& s) {
    if (!f.stereographic())
        return true;
    // Far beyond the view's latitudes nothing of it can show.
    const auto [lo, hi] = std::minmax_element(s.latitude.begin(), s.latitude.end());
    const double reach = f.degreesAcross() * std::max(1.0, f.height() / f.width()) + 2;
    return *hi >= f.centreLatitude() - reach && *lo <= f.centreLatitude() + reach;
}

} // namespace

void MapGround::draw(QPainter& p, const geo::MapFrame& frame,
                     const std::shared_ptr<const geo::Shorelines>& coast, double s) const {
    p.fillRect(QRectF(0, 0, frame.width(), frame.height()), QColor(0xe8, 0xf1, 0xf8));
    MapPlot::drawGraticule(p, frame, s);
    if (!coast)
        return;
    QPainterPath lines;
    for (const geo::Shoreline& line : *coast)
        if (mayBeInSight(frame, line))
            MapPlot::addLines(frame, line.longitude, line.latitude, lines);
    p.setPen(QPen(QColor(0x50, 0x50, 0x50), 1.0 * s));
    p.setBrush(Qt::NoBrush);
    p.drawPath(lines);
}
