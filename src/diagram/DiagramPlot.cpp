#include "DiagramPlot.h"

#include "DensityCells.h"
#include "LogAxis.h"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// The window's own size, from which an export's scale is taken.
const QSizeF kScreenSize(880, 560);
constexpr double kFontPoints = 8;

QString counted(long n) {
    return QLocale(QLocale::English).toString(static_cast<qlonglong>(n));
}

QRectF boxOf(const chart::Box& b) {
    return QRectF(b.left, b.bottom, b.width, b.height);
}

// A tick step of 1, 2 or 5 times a power of ten, giving at most about as
// many ticks as asked for.
double tickStep(double span, int ticks) {
    const double raw = span / ticks;
    const double ten = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (raw <= m * ten)
            return m * ten;
    return 10 * ten;
}

} // namespace

DiagramPlot::DiagramPlot(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(480, 360);
    setAutoFillBackground(true);
    setPalette(QPalette(Qt::white));
    setDiagram(chart::makeDiagram("tas"));
}

void DiagramPlot::setDiagram(std::shared_ptr<const chart::Diagram> diagram) {
    diagram_ = std::move(diagram);
    view_.reset(); // another diagram's points mean nothing here
    ++viewSerial_;
    dataBox_ = QRectF();
    range_ = whole();
    update();
}

void DiagramPlot::setCompact(bool compact) {
    compact_ = compact;
    setMinimumSize(compact ? QSize(200, 150) : QSize(480, 360));
    update();
}

QRectF DiagramPlot::dataBox() const {
    if (!view_)
        return {};
    float left = 0, right = 0, bottom = 0, top = 0;
    bool any = false;
    for (const auto& p : view_->points) {
        if (!p.valid())
            continue;
        if (!any) {
            left = right = p.silica;
            bottom = top = p.alkali;
            any = true;
        }
        left = std::min(left, p.silica);
        right = std::max(right, p.silica);
        bottom = std::min(bottom, p.alkali);
        top = std::max(top, p.alkali);
    }
    if (!any)
        return {};
    // A margin of a twentieth; a single value gets a span of its own.
    const double w = std::max(1e-6, static_cast<double>(right - left));
    const double h = std::max(1e-6, static_cast<double>(top - bottom));
    double y0 = bottom - h / 20;
    if (bottom >= 0 && y0 < 0)
        y0 = 0; // wt% start at 0
    return QRectF(left - w / 20, y0, w * 1.1, top + h / 20 - y0);
}

QRectF DiagramPlot::whole() const {
    if (!dataBox_.isValid())
        return boxOf(diagram_->whole());
    if (diagram_->scaledToData())
        return dataBox_;
    return boxOf(diagram_->whole()).united(dataBox_);
}

void DiagramPlot::setView(std::shared_ptr<tas::ViewPoints> view) {
    const QRectF before = whole();
    const bool wasWhole = range_ == before;
    view_ = std::move(view);
    ++viewSerial_;
    if (diagram_->scaledToData() || diagram_->widenedToData()) {
        dataBox_ = dataBox();
        if (wasWhole || !whole().contains(range_))
            range_ = whole();
    }
    update();
}

void DiagramPlot::placeRow(std::size_t row, const chart::Place& place) {
    if (!view_ || row >= view_->points.size())
        return;
    // Placed again where it is rather than in a copy of every point (ten
    // million of them are 90 MB).
    view_->set(row, place);
    tas::count(*view_, diagram_->classes().size());
    std::shared_ptr<tas::ViewPoints> same = view_;
    setView(std::move(same)); // its frame, caches and paint follow
}

void DiagramPlot::setCurrentRow(long row) {
    if (row == current_)
        return;
    current_ = row;
    update();
}

void DiagramPlot::setReading(bool reading) {
    reading_ = reading;
    update();
}

void DiagramPlot::setVolatileFree(bool on) {
    volatileFree_ = on;
    update();
}

void DiagramPlot::resetZoom() {
    range_ = whole();
    update();
}

DiagramPlot::Style DiagramPlot::exportStyle(const QSize& size) {
    return {std::max(1.0, std::min(size.width() / kScreenSize.width(),
                                   size.height() / kScreenSize.height())),
            false};
}

QRectF DiagramPlot::plotArea(const QSize& size, double scale) const {
    const double left = (compact_ ? 46 : 60) * scale, top = (compact_ ? 8 : 20) * scale;
    const double right = (compact_ ? 10 : 170) * scale, bottom = (compact_ ? 36 : 50) * scale;
    QRectF a(left, top, std::max(10.0, size.width() - left - right),
             std::max(10.0, size.height() - top - bottom));
    if (diagram_->ternary()) {
        // Equal scales on both axes, so that the triangle is equilateral.
        const double k = std::min(a.width() / range_.width(), a.height() / range_.height());
        const QSizeF fit(range_.width() * k, range_.height() * k);
        a = QRectF(a.left() + (a.width() - fit.width()) / 2, a.top() + (a.height() - fit.height()),
                   fit.width(), fit.height());
    }
    return a;
}

QPointF DiagramPlot::toScreen(double x, double y, const QSize& size, double scale) const {
    const QRectF a = plotArea(size, scale);
    return {a.left() + (x - range_.left()) / range_.width() * a.width(),
            a.bottom() - (y - range_.top()) / range_.height() * a.height()};
}

const DiagramPlot::Sight& DiagramPlot::sight() const {
    if (sight_.view == viewSerial_ && sight_.range == range_)
        return sight_;
    sight_ = {viewSerial_, range_, 0, 0};
    if (!view_)
        return sight_;
    // On the frame's edge is inside: such a point is drawn.
    const float left = static_cast<float>(range_.left()),
                right = static_cast<float>(range_.right());
    const float bottom = static_cast<float>(range_.top()),
                top = static_cast<float>(range_.bottom());
    for (std::size_t i = 0; i < view_->points.size(); ++i) {
        const tas::PackedPoint& p = view_->points[i];
        if (p.valid() && p.silica >= left && p.silica <= right && p.alkali >= bottom &&
            p.alkali <= top) {
            ++sight_.inFrame;
            sight_.unclassed += view_->field[i] < 0;
        }
    }
    return sight_;
}

long DiagramPlot::rowsInSight() const {
    return sight().inFrame;
}

bool DiagramPlot::drawsDensity() const {
    return rowsInSight() > kMaxDots;
}

QString DiagramPlot::legendText() const {
    if (reading_)
        return "Reading...";
    // Only what is drawn counts as plotted; a zoom leaves rows outside too.
    const Sight& in = sight();
    const long beyond = (view_ ? view_->plotted() : 0) - in.inFrame;
    const long none = view_ ? view_->noPoint : 0;
    QString text = QString("%1 rows plotted").arg(counted(in.inFrame));
    if (beyond)
        text += QString(", %1 outside the frame").arg(counted(beyond));
    if (none)
        text += QString(", %1 with no point").arg(counted(none)) +
                (noPointNote_.isEmpty() ? QString() : " (" + noPointNote_ + ")");
    if (in.unclassed && !diagram_->unclassed().empty())
        text += QString(" (%1 %2)")
                    .arg(counted(in.unclassed), QString::fromStdString(diagram_->unclassed()));
    if (view_ && view_->colour.size() == view_->points.size() && drawsDensity())
        text += QString(". Colours need at most %1 rows in sight: zoom in or narrow the search")
                    .arg(counted(kMaxDots));
    return text;
}

QColor DiagramPlot::classColour(int index) {
    static const QColor palette[] = {
        QColor(31, 119, 180),  QColor(255, 127, 14),  QColor(44, 160, 44),   QColor(214, 39, 40),
        QColor(148, 103, 189), QColor(140, 86, 75),   QColor(227, 119, 194), QColor(188, 189, 34),
        QColor(23, 190, 207),  QColor(255, 187, 120), QColor(152, 223, 138), QColor(197, 176, 213),
    };
    constexpr int n = static_cast<int>(std::size(palette));
    return index >= 0 && index < n ? palette[index] : QColor(127, 127, 127);
}

std::vector<FieldLabel> DiagramPlot::fieldLabels(const QSize& size, double scale) const {
    std::vector<QPolygonF> outlines;
    std::vector<QPointF> preferred;
    std::vector<QString> names;
    for (const auto& f : diagram_->regions()) {
        if (f.outline.empty() || f.name.empty()) // an outline named apart
            continue;
        QPolygonF poly;
        for (const auto& v : f.outline)
            poly << toScreen(v.x, v.y, size, scale);
        outlines.push_back(poly);
        preferred.push_back(toScreen(f.label.x, f.label.y, size, scale));
        names.push_back(QString::fromStdString(f.name));
    }
    QFont face = font();
    face.setPointSizeF(kFontPoints * scale);
    const double smallest = kMinLabelPixels * scale * 72 / logicalDpiY();
    return FieldLabels::place(outlines, preferred, names, plotArea(size, scale), face, smallest);
}

void DiagramPlot::drawPoints(QPainter& p, const QRectF& area, const QSize& size,
                             double scale) const {
    if (!view_ || view_->points.empty())
        return;
    if (!drawsDensity()) {
        p.setPen(Qt::NoPen);
        const bool coloured = view_->colour.size() == view_->points.size();
        const int other = !view_->colourNames.empty() && view_->colourNames.back() == "other"
                              ? static_cast<int>(view_->colourNames.size()) - 1
                              : -1;
        const double r = (compact_ ? 1.6 : 2.2) * scale;
        if (!coloured)
            p.setBrush(QColor(31, 119, 180, 160));
        for (std::size_t i = 0; i < view_->points.size(); ++i) {
            const auto& pt = view_->points[i];
            if (!pt.valid())
                continue;
            if (coloured) {
                QColor c = view_->colour[i] == other ? QColor(160, 160, 160)
                                                     : classColour(view_->colour[i]);
                c.setAlpha(180);
                p.setBrush(c);
            }
            p.drawEllipse(toScreen(pt.silica, pt.alkali, size, scale), r, r);
        }
        return;
    }
    density_.draw(p, *view_, viewSerial_, range_, area, scale, !compact_);
}

// A point on the line from a through b, past b and beyond the frame.
chart::Vertex DiagramPlot::beyond(const chart::Vertex& a, const chart::Vertex& b) const {
    const double far = 2 * (range_.width() + range_.height()) +
                       std::abs(b.x - range_.center().x()) + std::abs(b.y - range_.center().y());
    const double dx = b.x - a.x, dy = b.y - a.y, length = std::hypot(dx, dy);
    if (!(length > 0))
        return b;
    return {b.x + dx / length * far, b.y + dy / length * far};
}

// A line of the plane, cut to the part in sight first: a limit drawn far
// beyond the frame would reach the painter at coordinates it cannot take.
QPainterPath DiagramPlot::inSight(const std::vector<chart::Vertex>& line, const QSize& size,
                                  double s) const {
    const QRectF r = range_.adjusted(-range_.width() / 100, -range_.height() / 100,
                                     range_.width() / 100, range_.height() / 100);
    QPainterPath path;
    bool joined = false; // the last piece ended at this segment's start
    for (std::size_t i = 1; i < line.size(); ++i) {
        // Liang-Barsky, against the range a little widened.
        const chart::Vertex& a = line[i - 1];
        const double dx = line[i].x - a.x, dy = line[i].y - a.y;
        double t0 = 0, t1 = 1;
        const double edges[4][2] = {{-dx, a.x - r.left()},
                                    {dx, r.right() - a.x},
                                    {-dy, a.y - r.top()},
                                    {dy, r.bottom() - a.y}};
        bool seen = true;
        for (const auto& [q, d] : edges) {
            if (q == 0) {
                seen = seen && d >= 0;
                continue;
            }
            if (q < 0)
                t0 = std::max(t0, d / q);
            else
                t1 = std::min(t1, d / q);
        }
        if (!seen || t0 > t1) {
            joined = false;
            continue;
        }
        if (!joined || t0 > 0)
            path.moveTo(toScreen(a.x + t0 * dx, a.y + t0 * dy, size, s));
        path.lineTo(toScreen(a.x + t1 * dx, a.y + t1 * dy, size, s));
        joined = t1 == 1;
    }
    return path;
}

void DiagramPlot::drawAxes(QPainter& p, const QRectF& area, const QSize& size, double s) const {
    p.setPen(QPen(Qt::black, s));
    p.drawRect(area);
    const int count = compact_ ? 5 : 12;
    // A log axis ticks its decades; a linear one steps of 1, 2 or 5.
    auto ticks = [&](double lo, double hi, bool log) {
        if (log)
            return logTicks(lo, hi);
        std::vector<AxisTick> t;
        const double step = tickStep(hi - lo, count);
        for (double v = std::ceil(lo / step) * step; v <= hi + 1e-9; v += step)
            t.push_back({v, QString::number(v, 'g', 6)});
        return t;
    };
    for (const AxisTick& t : ticks(range_.left(), range_.right(), diagram_->logX())) {
        const QPointF at = toScreen(t.at, range_.top(), size, s);
        p.drawLine(at, at + QPointF(0, (t.label.isEmpty() ? 3 : 5) * s));
        p.drawText(QRectF(at.x() - 20 * s, at.y() + 6 * s, 40 * s, 14 * s), Qt::AlignCenter,
                   t.label);
    }
    for (const AxisTick& t : ticks(range_.top(), range_.bottom(), diagram_->logY())) {
        const QPointF at = toScreen(range_.left(), t.at, size, s);
        p.drawLine(at, at - QPointF((t.label.isEmpty() ? 3 : 5) * s, 0));
        p.drawText(QRectF(at.x() - 40 * s, at.y() - 7 * s, 32 * s, 14 * s),
                   Qt::AlignRight | Qt::AlignVCenter, t.label);
    }
    p.drawText(QRectF(area.left(), area.bottom() + (compact_ ? 18 : 22) * s, area.width(), 16 * s),
               Qt::AlignCenter, QString::fromStdString(diagram_->xTitle(volatileFree_)));
    p.save();
    p.translate((compact_ ? 8 : 14) * s, area.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-area.height() / 2 - 40 * s, -8 * s, area.height() + 80 * s, 16 * s),
               Qt::AlignCenter, QString::fromStdString(diagram_->yTitle(volatileFree_)));
    p.restore();
}

void DiagramPlot::render(QPainter& p, const QSize& size, const Style& style) const {
    const double s = style.scale;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    const QRectF area = plotArea(size, s);
    QFont small = font();
    small.setPointSizeF(kFontPoints * s);
    p.setFont(small);

    if (diagram_->ternary()) {
        // Zoomed in, the triangle is cut to the part in sight, as the rows are.
        const bool zoomed = range_ != whole();
        if (zoomed)
            p.setClipRect(area);
        drawTriangle(p, size, s);
        if (zoomed) {
            p.setClipping(false);
            p.setPen(QPen(Qt::black, s));
            p.drawRect(area); // the frame of the part in sight
        }
    } else
        drawAxes(p, area, size, s);

    // The rows: dots, or density when there are too many to tell apart.
    p.setClipRect(area.adjusted(-2 * s, -2 * s, 2 * s, 2 * s));
    drawPoints(p, area, size, s);

    // Fields, lines and names over the rows, so that they stay readable.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(60, 60, 60), 1.2 * s));
    const auto regions = diagram_->regions();
    const QPen solid(QColor(60, 60, 60), 1.2 * s),
        dashed(QColor(60, 60, 60), 1.2 * s, Qt::DashLine);
    for (const auto& f : regions) {
        QPolygonF poly;
        for (const auto& v : f.outline)
            poly << toScreen(v.x, v.y, size, s);
        if (poly.isEmpty())
            continue;
        if (f.dashedEdges.empty()) {
            p.drawPolygon(poly);
            continue;
        }
        for (qsizetype i = 0; i < poly.size(); ++i) {
            const bool isDashed = std::find(f.dashedEdges.begin(), f.dashedEdges.end(),
                                            static_cast<std::size_t>(i)) != f.dashedEdges.end();
            p.setPen(isDashed ? dashed : solid);
            p.drawLine(poly[i], poly[(i + 1) % poly.size()]);
        }
        p.setPen(solid);
    }
    for (const chart::Curve& c : diagram_->curves()) {
        p.setPen(c.dashed ? QPen(QColor(200, 0, 0), 1.5 * s, Qt::DashLine)
                          : QPen(QColor(60, 60, 60), 1.2 * s));
        p.drawPath(inSight(c.points, size, s));
        if (!c.continued || c.points.size() < 2)
            continue;
        p.setPen(QPen(QColor(110, 110, 110), s, Qt::DashLine));
        const std::size_t n = c.points.size();
        p.drawPath(inSight({c.points[0], beyond(c.points[1], c.points[0])}, size, s));
        p.drawPath(inSight({c.points[n - 1], beyond(c.points[n - 2], c.points[n - 1])}, size, s));
    }
    p.setPen(QColor(60, 60, 60));
    for (const FieldLabel& l : fieldLabels(size, s)) {
        p.setFont(l.font);
        p.drawText(l.rect, Qt::AlignCenter, l.text);
    }
    p.setFont(small);
    // Names of classes that a line divides, at their places.
    for (const auto& f : regions) {
        if (!f.outline.empty() || !range_.contains(f.label.x, f.label.y))
            continue;
        const QPointF at = toScreen(f.label.x, f.label.y, size, s);
        p.drawText(QRectF(at.x() - 90 * s, at.y() - 8 * s, 180 * s, 16 * s), Qt::AlignCenter,
                   QString::fromStdString(f.name));
    }

    // The grid's current row, on screen only.
    if (style.currentRow && view_ && current_ >= 0 &&
        current_ < static_cast<long>(view_->points.size())) {
        const auto& pt = view_->points[static_cast<std::size_t>(current_)];
        if (pt.valid()) {
            const QPointF c = toScreen(pt.silica, pt.alkali, size, s);
            p.setPen(QPen(Qt::red, 2 * s));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(c, 7 * s, 7 * s);
            for (const QPointF d : {QPointF(1, 0), QPointF(-1, 0), QPointF(0, 1), QPointF(0, -1)})
                p.drawLine(c + d * 4 * s, c + d * 12 * s);
        }
    }
    p.setClipping(false);
    if (!compact_)
        drawLegend(p, area, size, s);
    p.restore();
}

void DiagramPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    render(p, size());
}

long DiagramPlot::nearestRow(const QPointF& pos, double within) const {
    if (!view_)
        return -1;
    long best = -1;
    double bestDistance = within * within;
    const QRectF a = plotArea(size());
    for (std::size_t i = 0; i < view_->points.size(); ++i) {
        const auto& pt = view_->points[i];
        if (!pt.valid())
            continue;
        const double x = a.left() + (pt.silica - range_.left()) / range_.width() * a.width();
        const double y = a.bottom() - (pt.alkali - range_.top()) / range_.height() * a.height();
        const double d = (x - pos.x()) * (x - pos.x()) + (y - pos.y()) * (y - pos.y());
        if (d <= bestDistance) {
            bestDistance = d;
            best = static_cast<long>(i);
        }
    }
    return best;
}

void DiagramPlot::mousePressEvent(QMouseEvent* e) {
    setFocus(Qt::MouseFocusReason); // so that Home works after a click
    if (e->button() != Qt::LeftButton || !plotArea(size()).contains(e->position()))
        return;
    const long row = nearestRow(e->position());
    if (row >= 0)
        emit rowPicked(row);
}

void DiagramPlot::mouseMoveEvent(QMouseEvent* e) {
    const long row = nearestRow(e->position());
    if (row < 0 || !describe_) {
        QToolTip::hideText();
        return;
    }
    QToolTip::showText(e->globalPosition().toPoint(), describe_(row), this);
}

void DiagramPlot::wheelEvent(QWheelEvent* e) {
    const QRectF a = plotArea(size());
    if (!a.contains(e->position()) || e->angleDelta().y() == 0)
        return;
    const QRectF all = whole();
    const double fx = (e->position().x() - a.left()) / a.width();
    const double fy = (a.bottom() - e->position().y()) / a.height();
    const double x = range_.left() + fx * range_.width();
    const double y = range_.top() + fy * range_.height();
    const double k = e->angleDelta().y() > 0 ? 0.8 : 1.25;
    const double w = std::min(all.width(), range_.width() * k);
    const double h = std::min(all.height(), range_.height() * k);
    // The whole diagram is the outer limit: zooming out near an edge slides
    // the view back over the diagram.
    const double left = std::clamp(x - fx * w, all.left(), all.right() - w);
    const double bottom = std::clamp(y - fy * h, all.top(), all.bottom() - h);
    range_ = QRectF(left, bottom, w, h);
    update();
}

void DiagramPlot::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Home) {
        resetZoom();
        return;
    }
    QWidget::keyPressEvent(e);
}

void DiagramPlot::contextMenuEvent(QContextMenuEvent* e) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* whole = menu->addAction("&Whole Diagram");
    whole->setShortcut(QKeySequence(Qt::Key_Home));
    whole->setEnabled(range_ != this->whole());
    connect(whole, &QAction::triggered, this, &DiagramPlot::resetZoom);
    menu->popup(e->globalPos());
}
