// The map's ground: the sea, the graticule and the coastlines, projected
// for the frame drawn, stretch by stretch where they reach the view.
#include "MapGround.h"

#include "MapPlot.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kRadians = 3.14159265358979323846 / 180;
// Beyond the screen's edges by more than a pen's width: a line cut there
// ends out of sight.
constexpr double kMarginPixels = 8;

// The shoreline's points first..last, in one run: broken only where the
// projection breaks it.
void addRun(const geo::MapFrame& frame, const geo::Shoreline& line, std::size_t first,
            std::size_t last, QPainterPath& path) {
    const auto lon = line.longitude.begin(), lat = line.latitude.begin();
    const auto from = static_cast<std::ptrdiff_t>(first), to = static_cast<std::ptrdiff_t>(last);
    MapPlot::addLines(frame, std::vector<double>(lon + from, lon + to + 1),
                      std::vector<double>(lat + from, lat + to + 1), path);
}

} // namespace

void MapGround::draw(QPainter& p, const geo::MapFrame& frame,
                     const std::shared_ptr<const geo::Shorelines>& coast, double s) const {
    p.fillRect(QRectF(0, 0, frame.width(), frame.height()), QColor(0xe8, 0xf1, 0xf8));
    MapPlot::drawGraticule(p, frame, s);
    if (!coast)
        return;
    p.setPen(QPen(QColor(0x50, 0x50, 0x50), 1.0 * s));
    p.setBrush(Qt::NoBrush);
    p.drawPath(coastPath(frame, coast));
}

const QPainterPath&
MapGround::coastPath(const geo::MapFrame& frame,
                     const std::shared_ptr<const geo::Shorelines>& coast) const {
    const double key[5] = {frame.centreLongitude(), frame.centreLatitude(), frame.degreesAcross(),
                           frame.width(), frame.height()};
    if (pathCoast_ == coast && std::equal(key, key + 5, pathFrame_))
        return path_;
    pathCoast_ = coast;
    std::copy(key, key + 5, pathFrame_);
    path_ = QPainterPath();
    // The stereographic shows caps on the sphere as discs: a stretch whose
    // cap misses the cap in sight has no point and no line on the screen.
    // A cap round the view's far pole is not a disc: always drawn.
    const double sight = frame.sightRadius(kMarginPixels);
    const double lon0 = frame.centreLongitude() * kRadians,
                 lat0 = frame.centreLatitude() * kRadians;
    const double cx = std::cos(lat0) * std::cos(lon0), cy = std::cos(lat0) * std::sin(lon0),
                 cz = std::sin(lat0);
    const auto reaches = [&](const geo::Shoreline::Stretch& s) {
        const double apart = std::acos(std::clamp(cx * s.x + cy * s.y + cz * s.z, -1.0, 1.0));
        return apart <= sight + s.radius || apart + s.radius >= 3.14159265358979323846;
    };
    for (const geo::Shoreline& line : *coast) {
        if (line.stretches.empty()) {
            if (!line.longitude.empty())
                addRun(frame, line, 0, line.longitude.size() - 1, path_);
            continue;
        }
        // Neighbouring stretches in sight are projected as one run, the line
        // unbroken between them.
        bool open = false;
        std::size_t first = 0, last = 0;
        for (const geo::Shoreline::Stretch& s : line.stretches) {
            if (reaches(s)) {
                if (!open)
                    first = s.first;
                last = s.last;
                open = true;
            } else if (open) {
                addRun(frame, line, first, last, path_);
                open = false;
            }
        }
        if (open)
            addRun(frame, line, first, last, path_);
    }
    return path_;
}
