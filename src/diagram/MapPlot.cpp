#include "MapPlot.h"

#include "map/GeoPosition.h"
#include "map/ScaleBar.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

QString counted(long n) {
    return QLocale(QLocale::English).toString(static_cast<qlonglong>(n));
}

QString degrees(double v, char positive, char negative) {
    const QString number = QString::number(std::fabs(v), 'g', 6);
    return v == 0 ? "0°" : number + "°" + QChar(v < 0 ? negative : positive);
}

double graticuleStep(double span) {
    return span > 120 ? 30 : span > 40 ? 10 : span > 12 ? 5 : span > 3 ? 1 : 0.25;
}

// Where a line on the screen is labelled: where it crosses the bottom edge
// (a meridian) or the left edge (a parallel), else where it ends inside the
// frame (the world's poles, a parallel's end at the map's side); NaN when
// it does neither. The points lie a degree apart: the crossing is
// interpolated, or a zoomed label would stand far inside the edge.
QPointF labelPoint(const std::vector<double>& x, const std::vector<double>& y, double w, double h,
                   bool meridian) {
    const auto& a = meridian ? y : x; // across the edge
    const auto& b = meridian ? x : y; // along it
    const double at = meridian ? h : 0, extent = meridian ? w : h;
    for (std::size_t i = 1; i < a.size(); ++i) {
        if (!std::isfinite(a[i - 1]) || !std::isfinite(a[i]) || a[i - 1] == a[i] ||
            (a[i - 1] - at) * (a[i] - at) > 0 || std::fabs(b[i] - b[i - 1]) > extent / 2 ||
            std::fabs(a[i] - a[i - 1]) > (meridian ? h : w) / 2)
            continue;
        const double c = b[i - 1] + (at - a[i - 1]) / (a[i] - a[i - 1]) * (b[i] - b[i - 1]);
        if (c >= 0 && c <= extent)
            return meridian ? QPointF(c, h) : QPointF(0, c);
    }
    QPointF best(std::nan(""), std::nan(""));
    const auto inside = [&](std::size_t i) {
        return x[i] >= 0 && x[i] <= w && y[i] >= 0 && y[i] <= h; // NaN: not
    };
    for (std::size_t i : {std::size_t(0), x.size() - 1})
        if (!x.empty() && inside(i) &&
            (!std::isfinite(best.x()) || (meridian ? y[i] > best.y() : x[i] < best.x())))
            best = QPointF(x[i], y[i]);
    return best;
}

} // namespace

void MapPlot::addLines(const geo::MapFrame& frame, std::vector<double> lon, std::vector<double> lat,
                       QPainterPath& path) {
    frame.toScreen(lon, lat);
    const double jump = frame.width() / 2 * 360 / std::max(frame.degreesAcross(), 1.0) / 2;
    bool open = false;
    for (std::size_t i = 0; i < lon.size(); ++i) {
        if (!std::isfinite(lon[i])) {
            open = false;
            continue;
        }
        const QPointF p(lon[i], lat[i]);
        if (open && std::fabs(lon[i] - lon[i - 1]) < jump && std::fabs(lat[i] - lat[i - 1]) < jump)
            path.lineTo(p);
        else
            path.moveTo(p);
        open = true;
    }
}

bool MapPlot::inSight(QPointF p, const geo::MapFrame& frame) {
    return p.x() >= 0 && p.y() >= 0 && p.x() < frame.width() && p.y() < frame.height(); // NaN: no
}

long MapPlot::countInSight(const std::vector<QPointF>& screen, const geo::MapFrame& frame) {
    return static_cast<long>(
        std::count_if(screen.begin(), screen.end(), [&](QPointF p) { return inSight(p, frame); }));
}

tas::ViewPoints MapPlot::densityPoints(const std::vector<QPointF>& screen,
                                       const geo::MapFrame& frame) {
    tas::ViewPoints view;
    view.points.reserve(screen.size());
    const double h = frame.height();
    for (QPointF q : screen) {
        tas::PackedPoint pt;
        if (inSight(q, frame)) {
            pt.silica = static_cast<float>(q.x());
            // The cells count upwards from the bottom and leave out their top
            // edge: the screen's top row is kept a hundredth of a pixel below.
            pt.alkali = static_cast<float>(std::clamp(h - q.y(), 0.0, h - 0.01));
        }
        view.points.push_back(pt);
    }
    return view;
}

QColor MapPlot::colourOf(const Colours& colours, int index) {
    const bool other =
        index + 1 == static_cast<int>(colours.names.size()) && colours.names.back() == "other";
    return other ? QColor(160, 160, 160) : DiagramPlot::classColour(index);
}

QString MapPlot::drawingText(long inSight, const Colours& colours) {
    if (inSight <= kMaxDots)
        return QString();
    QString text =
        QString("density: samples per cell (more than %1 in sight)").arg(counted(kMaxDots));
    if (colours.shown())
        text += QString(". Colours need at most %1 samples in sight: zoom in or narrow the search")
                    .arg(counted(kMaxDots));
    return text;
}

namespace {

struct Degree {
    QString text;
    QPointF at; // where its line comes nearest the edge it is labelled at
    bool meridian;
};

// The part of the graticule that can be in sight: a box of latitude and of
// longitude about the centre round the cap in sight, widened by one point
// of the lines, so that a line's crossing of the edge keeps both its ends.
// A close view's lines lie a quarter of a degree apart round the world.
struct Reach {
    double south = -90, north = 90, halfLongitudes = 360;
};

Reach reachOf(const geo::MapFrame& frame, double pointStep) {
    constexpr double kDegrees = 180 / 3.14159265358979323846;
    Reach r;
    const double cap = frame.sightRadius(8) * kDegrees, lat0 = frame.centreLatitude();
    if (cap >= 90)
        return r;
    r.south = lat0 - cap - pointStep;
    r.north = lat0 + cap + pointStep;
    // Without a pole inside, the cap's widest longitudes are where its
    // edge touches a meridian.
    if (lat0 + cap < 90 && lat0 - cap > -90)
        r.halfLongitudes =
            std::asin(std::sin(cap / kDegrees) / std::cos(lat0 / kDegrees)) * kDegrees + pointStep;
    return r;
}

// The graticule's lines, and where each is labelled.
void graticule(const geo::MapFrame& frame, QPainterPath& grid, std::vector<Degree>& labels) {
    const double step = graticuleStep(frame.degreesAcross());
    const double w = frame.width(), h = frame.height();
    const Reach reach = reachOf(frame, std::min(1.0, step));
    const auto near = [&](double lon) {
        return std::fabs(geo::wrapLongitude(lon - frame.centreLongitude())) <= reach.halfLongitudes;
    };
    for (double lon = -180; lon < 180; lon += step) {
        if (!near(lon))
            continue;
        std::vector<double> x, y;
        for (double lat = -90; lat <= 90; lat += std::min(1.0, step))
            if (lat >= reach.south && lat <= reach.north)
                x.push_back(lon), y.push_back(lat);
        MapPlot::addLines(frame, x, y, grid);
        frame.toScreen(x, y);
        const QPointF at = labelPoint(x, y, w, h, true);
        if (std::isfinite(at.x()))
            labels.push_back({degrees(lon, 'E', 'W'), at, true});
    }
    for (double lat = -90 + step; lat < 90; lat += step) {
        if (lat < reach.south || lat > reach.north)
            continue;
        std::vector<double> x, y;
        // Around the world from the frame's left side (the world's edge when
        // it is whole), its ends just inside.
        const double west = frame.centreLongitude() - 180 + 1e-6;
        for (double lon = west; lon < west + 360; lon += std::min(1.0, step))
            if (near(lon))
                x.push_back(lon), y.push_back(lat);
        if (near(west + 360 - 2e-6))
            x.push_back(west + 360 - 2e-6), y.push_back(lat);
        MapPlot::addLines(frame, x, y, grid);
        frame.toScreen(x, y);
        const QPointF at = labelPoint(x, y, w, h, false);
        if (std::isfinite(at.x()))
            labels.push_back({degrees(lat, 'N', 'S'), at, false});
    }
}

} // namespace

void MapPlot::drawGraticule(QPainter& p, const geo::MapFrame& frame, double s) {
    QPainterPath grid;
    std::vector<Degree> labels;
    graticule(frame, grid, labels);
    p.setPen(QPen(QColor(0xb8, 0xc8, 0xd8), 0.8 * s));
    p.setBrush(Qt::NoBrush);
    p.drawPath(grid);
}

void MapPlot::drawDegrees(QPainter& p, const geo::MapFrame& frame, double s) {
    QPainterPath grid;
    std::vector<Degree> labels;
    graticule(frame, grid, labels);
    QFont font = p.font();
    font.setPixelSize(static_cast<int>(10 * s));
    p.setFont(font);
    const QFontMetricsF metrics(font);
    const double w = frame.width(), h = frame.height();
    for (const Degree& l : labels) {
        const double tw = metrics.horizontalAdvance(l.text);
        // Meridians below their lowest point, parallels left of their leftmost.
        const QPointF at = l.meridian ? QPointF(std::clamp(l.at.x() - tw / 2, 0.0, w - tw),
                                                std::min(h - 3 * s, l.at.y() + 11 * s))
                                      : QPointF(std::max(2 * s, l.at.x() - tw - 3 * s),
                                                std::clamp(l.at.y() + 4 * s, 10 * s, h - 3 * s));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 170));
        p.drawRect(QRectF(at.x() - 1 * s, at.y() - 9 * s, tw + 2 * s, 11 * s));
        p.setPen(QColor(0x40, 0x58, 0x70));
        p.drawText(at, l.text);
    }
}

const tas::ViewPoints& MapPlot::cells(const std::vector<QPointF>& screen,
                                      const geo::MapFrame& frame, std::uint64_t serial) const {
    if (!cellsMade_ || cellsSerial_ != serial) {
        cells_ = densityPoints(screen, frame);
        cellsSerial_ = serial;
        cellsMade_ = true;
    }
    return cells_;
}

void MapPlot::drawSamples(QPainter& p, const geo::MapFrame& frame,
                          const std::vector<QPointF>& screen, const Colours& colours,
                          std::uint64_t serial, double s) const {
    const QRectF area(0, 0, frame.width(), frame.height());
    if (countInSight(screen, frame) > kMaxDots) {
        const tas::ViewPoints& view = cells(screen, frame, serial);
        density_.draw(p, view, serial, area, area, s, false);
        // The cells' colour scale goes in the margin right of its area: drawn
        // for an area moved left by the scale's width, and clipped to where
        // that area has no cells, it lands inside the map's right edge.
        const double shift = 120 * s;
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 220));
        p.drawRect(
            QRectF(area.right() - shift + 12 * s, area.top() + 2 * s, shift - 16 * s, 212 * s));
        p.translate(-shift, 0);
        p.setClipRect(QRectF(area.right(), area.top(), shift, area.height()));
        density_.draw(p, view, serial, area, area, s, true);
        p.restore();
        return;
    }
    p.setPen(QPen(QColor(0x10, 0x30, 0x80), 0.8 * s));
    p.setBrush(QColor(0x30, 0x70, 0xe0));
    const bool coloured = colours.shown() && colours.of.size() == screen.size();
    const double r = 3 * s;
    for (std::size_t i = 0; i < screen.size(); ++i)
        if (std::isfinite(screen[i].x())) {
            if (coloured) {
                const QColor c = colourOf(colours, colours.of[i]);
                p.setPen(QPen(c.darker(160), 0.8 * s));
                p.setBrush(c);
            }
            p.drawEllipse(screen[i], r, r);
        }
}

void MapPlot::drawScaleBar(QPainter& p, const geo::MapFrame& frame, double s) {
    const geo::ScaleBar bar = geo::ScaleBar::of(frame, std::min(200 * s, frame.width() / 4));
    if (bar.pixels <= 0)
        return;
    const double right = frame.width() - 16 * s, y = frame.height() - 24 * s;
    const double left = right - bar.pixels;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawRect(QRectF(left - 6 * s, y - 18 * s, bar.pixels + 12 * s, 26 * s));
    p.setPen(QPen(Qt::black, 1.5 * s));
    p.drawLine(QPointF(left, y), QPointF(right, y));
    p.drawLine(QPointF(left, y - 5 * s), QPointF(left, y + 5 * s));
    p.drawLine(QPointF(right, y - 5 * s), QPointF(right, y + 5 * s));
    QFont font = p.font();
    font.setPixelSize(static_cast<int>(11 * s));
    p.setFont(font);
    p.drawText(QRectF(left, y - 18 * s, bar.pixels, 14 * s), Qt::AlignCenter,
               QLocale(QLocale::English).toString(bar.kilometres, 'g', 12) + " km");
}

void MapPlot::drawColourKey(QPainter& p, const Colours& colours, double s) {
    if (!colours.shown())
        return;
    QFont font = p.font();
    font.setPixelSize(static_cast<int>(11 * s));
    p.setFont(font);
    const QFontMetricsF metrics(font);
    std::vector<QString> texts;
    double wide = 0;
    for (std::size_t i = 0; i < colours.names.size(); ++i) {
        texts.push_back(metrics.elidedText(QString::fromStdString(colours.names[i]) + " (" +
                                               counted(colours.count[i]) + ")",
                                           Qt::ElideMiddle, 220 * s));
        wide = std::max(wide, metrics.horizontalAdvance(texts.back()));
    }
    const double line = 15 * s;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 220));
    p.drawRect(QRectF(30 * s, 6 * s, wide + 26 * s, line * texts.size() + 8 * s));
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const double top = 10 * s + line * i;
        const QColor c = colourOf(colours, static_cast<int>(i));
        p.setPen(QPen(c.darker(160), 0.8 * s));
        p.setBrush(c);
        p.drawEllipse(QPointF(40 * s, top + line / 2), 4 * s, 4 * s);
        p.setPen(Qt::black);
        p.drawText(QRectF(50 * s, top, wide + 4 * s, line), Qt::AlignLeft | Qt::AlignVCenter,
                   texts[i]);
    }
}
