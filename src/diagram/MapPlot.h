#pragma once

#include "DensityCells.h"
#include "DiagramPlot.h"
#include "classify/TasView.h"
#include "map/MapFrame.h"

#include <QPointF>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

class QPainter;
class QPainterPath;

// What the map draws over its coastlines: the graticule with its degrees at
// the frame's edge, the samples (dots, coloured by a text column when asked
// for; beyond DiagramPlot::kMaxDots in sight, density cells as the diagram
// draws them), the scale bar and the legend. The same on screen and in an
// export; the cells are kept between repaints of one view and frame.
class MapPlot {
public:
    static constexpr long kMaxDots = DiagramPlot::kMaxDots;

    // The samples' colours: for each placed sample an index into names.
    struct Colours {
        std::vector<std::uint8_t> of;
        std::vector<std::string> names; // the last may be "other"
        std::vector<long> count;        // placed samples of each
        bool shown() const { return !names.empty(); }
    };

    // A line of longitudes and latitudes added to path, broken where the
    // projection cannot place a point or the line jumps across the world's edge.
    static void addLines(const geo::MapFrame& frame, std::vector<double> lon,
                         std::vector<double> lat, QPainterPath& path);
    // Whether a point lies on the frame: the left and top edges in, the
    // right and bottom out, as the density cells take them.
    static bool inSight(QPointF p, const geo::MapFrame& frame);
    static long countInSight(const std::vector<QPointF>& screen, const geo::MapFrame& frame);
    // The points in sight as the density cells read them: y up, every
    // point in sight inside the plane's rectangle (0, 0, width, height).
    static tas::ViewPoints densityPoints(const std::vector<QPointF>& screen,
                                         const geo::MapFrame& frame);
    static QColor colourOf(const Colours& colours, int index);
    // The legend's words on what the samples' drawing shows.
    static QString drawingText(long inSight, const Colours& colours);

    static void drawGraticule(QPainter& p, const geo::MapFrame& frame, double s);
    // The graticule's degrees along the bottom and left edges, over the samples.
    static void drawDegrees(QPainter& p, const geo::MapFrame& frame, double s);
    // serial: changes whenever the points or the frame do.
    void drawSamples(QPainter& p, const geo::MapFrame& frame, const std::vector<QPointF>& screen,
                     const Colours& colours, std::uint64_t serial, double s) const;
    static void drawScaleBar(QPainter& p, const geo::MapFrame& frame, double s);
    // The colours' key in the top left corner, when dots are drawn.
    static void drawColourKey(QPainter& p, const Colours& colours, double s);

private:
    // The points as the cells read them, made once per serial: ten million
    // samples are not copied again at every repaint.
    const tas::ViewPoints& cells(const std::vector<QPointF>& screen, const geo::MapFrame& frame,
                                 std::uint64_t serial) const;

    mutable DensityCells density_;
    mutable tas::ViewPoints cells_;
    mutable std::uint64_t cellsSerial_ = 0;
    mutable bool cellsMade_ = false;
};
