#include "TasPlot.h"

#include "classify/TasDiagram.h"

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

const QRectF kWhole(35, 0, 55, 18); // SiO2 35-90, Na2O + K2O 0-18
// The window's own size, from which an export's scale is taken.
const QSizeF kScreenSize(880, 560);
constexpr double kFontPoints = 8;

QString counted(long n) {
    return QLocale(QLocale::English).toString(static_cast<qlonglong>(n));
}

// A colour scale from pale blue through green and yellow to dark red.
QColor densityColour(double t) {
    static const QColor stops[] = {QColor(198, 219, 239), QColor(65, 182, 196),
                                   QColor(127, 205, 65),  QColor(254, 217, 42),
                                   QColor(240, 59, 32),   QColor(128, 0, 38)};
    t = std::clamp(t, 0.0, 1.0) * 5;
    const int i = std::min(4, static_cast<int>(t));
    const double f = t - i;
    const QColor &a = stops[i], &b = stops[i + 1];
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * f,
                            a.greenF() + (b.greenF() - a.greenF()) * f,
                            a.blueF() + (b.blueF() - a.blueF()) * f);
}

} // namespace

TasPlot::TasPlot(QWidget* parent) : QWidget(parent), range_(kWhole) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(480, 360);
    setAutoFillBackground(true);
    setPalette(QPalette(Qt::white));
}

void TasPlot::setView(std::shared_ptr<const tas::ViewPoints> view) {
    view_ = std::move(view);
    ++viewSerial_;
    update();
}

void TasPlot::setCurrentRow(long row) {
    if (row == current_)
        return;
    current_ = row;
    update();
}

void TasPlot::setReading(bool reading) {
    reading_ = reading;
    update();
}

void TasPlot::setVolatileFree(bool on) {
    volatileFree_ = on;
    update();
}

void TasPlot::resetZoom() {
    range_ = kWhole;
    update();
}

TasPlot::Style TasPlot::exportStyle(const QSize& size) {
    return {std::max(1.0, std::min(size.width() / kScreenSize.width(),
                                   size.height() / kScreenSize.height())),
            false};
}

QRectF TasPlot::plotArea(const QSize& size, double scale) const {
    const double left = 60 * scale, top = 20 * scale, right = 170 * scale, bottom = 50 * scale;
    return QRectF(left, top, std::max(10.0, size.width() - left - right),
                  std::max(10.0, size.height() - top - bottom));
}

QPointF TasPlot::toScreen(double silica, double alkali, const QSize& size, double scale) const {
    const QRectF a = plotArea(size, scale);
    return {a.left() + (silica - range_.left()) / range_.width() * a.width(),
            a.bottom() - (alkali - range_.top()) / range_.height() * a.height()};
}

long TasPlot::rowsInSight() const {
    if (!view_)
        return 0;
    if (range_ == kWhole)
        return view_->plotted();
    long n = 0;
    for (const auto& p : view_->points)
        if (p.valid && range_.contains(p.silica, p.alkali))
            ++n;
    return n;
}

bool TasPlot::drawsDensity() const {
    return rowsInSight() > kMaxDots;
}

QString TasPlot::legendText() const {
    if (reading_)
        return "Reading...";
    const long plotted = view_ ? view_->plotted() : 0;
    const long none = view_ ? view_->noPoint : 0;
    QString text = QString("%1 rows plotted").arg(counted(plotted));
    if (none)
        text += QString(", %1 with no point").arg(counted(none));
    if (view_ && view_->outside)
        text += QString(" (%1 outside the diagram)").arg(counted(view_->outside));
    return text;
}

std::vector<FieldLabel> TasPlot::fieldLabels(const QSize& size, double scale) const {
    std::vector<QPolygonF> outlines;
    std::vector<QPointF> preferred;
    std::vector<QString> names;
    for (const auto& f : tas::fields()) {
        QPolygonF poly;
        for (const auto& v : f.outline)
            poly << toScreen(v.silica, v.alkali, size, scale);
        outlines.push_back(poly);
        preferred.push_back(toScreen(f.label.silica, f.label.alkali, size, scale));
        names.push_back(f.name);
    }
    QFont face = font();
    face.setPointSizeF(kFontPoints * scale);
    return FieldLabels::place(outlines, preferred, names, plotArea(size, scale), face);
}

void TasPlot::drawPoints(QPainter& p, const QRectF& area, const QSize& size, double scale) const {
    if (!view_ || view_->points.empty())
        return;
    if (!drawsDensity()) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(31, 119, 180, 160));
        for (const auto& pt : view_->points)
            if (pt.valid)
                p.drawEllipse(toScreen(pt.silica, pt.alkali, size, scale), 2.2 * scale,
                              2.2 * scale);
        return;
    }
    const double cell = 4 * scale;
    const int cols = std::max(1, static_cast<int>(area.width() / cell));
    const int rows = std::max(1, static_cast<int>(area.height() / cell));
    Density& d = density_;
    if (d.view != viewSerial_ || d.range != range_ || d.cols != cols || d.rows != rows) {
        d.view = viewSerial_;
        d.range = range_;
        d.cols = cols;
        d.rows = rows;
        d.bins.assign(static_cast<std::size_t>(cols) * rows, 0);
        // Cell coordinates by multiplication only: this runs over every row.
        const float left = static_cast<float>(range_.left());
        const float bottom = static_cast<float>(range_.top());
        const float xScale = static_cast<float>(cols / range_.width());
        const float yScale = static_cast<float>(rows / range_.height());
        for (const auto& pt : view_->points) {
            if (!pt.valid)
                continue;
            const float cx = (pt.silica - left) * xScale;
            const float cy = (pt.alkali - bottom) * yScale;
            if (!(cx >= 0 && cx < cols && cy >= 0 && cy < rows))
                continue;
            ++d.bins[static_cast<std::size_t>(static_cast<int>(cy)) * cols + static_cast<int>(cx)];
        }
        d.most = d.bins.empty() ? 0 : *std::max_element(d.bins.begin(), d.bins.end());
    }
    const std::vector<std::uint32_t>& bins = d.bins;
    const std::uint32_t most = d.most;
    const double top = std::log1p(static_cast<double>(most));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const std::uint32_t n = bins[static_cast<std::size_t>(r) * cols + c];
            if (n)
                p.fillRect(QRectF(area.left() + c * area.width() / cols,
                                  area.bottom() - (r + 1) * area.height() / rows,
                                  area.width() / cols + 0.5, area.height() / rows + 0.5),
                           densityColour(std::log1p(n) / top));
        }
    // The colour scale and what it counts, in the margin.
    p.setClipping(false);
    const QRectF bar(area.right() + 20 * scale, area.top() + 40 * scale, 16 * scale, 160 * scale);
    for (int i = 0; i < 160; ++i)
        p.fillRect(QRectF(bar.left(), bar.bottom() - (i + 1) * scale, bar.width(), scale),
                   densityColour(i / 159.0));
    p.setPen(QPen(Qt::black, scale));
    p.setBrush(Qt::NoBrush);
    p.drawRect(bar);
    p.drawText(QPointF(bar.right() + 4 * scale, bar.top() + 8 * scale), counted(most));
    p.drawText(QPointF(bar.right() + 4 * scale, bar.bottom()), "1");
    p.drawText(QRectF(bar.left(), bar.top() - 34 * scale, 140 * scale, 30 * scale),
               Qt::TextWordWrap, "rows per cell\n(log scale)");
    p.setClipRect(area);
}

void TasPlot::render(QPainter& p, const QSize& size, const Style& style) const {
    const double s = style.scale;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    const QRectF area = plotArea(size, s);
    QFont small = font();
    small.setPointSizeF(kFontPoints * s);
    p.setFont(small);

    // Ticks and axis titles.
    p.setPen(QPen(Qt::black, s));
    p.drawRect(area);
    const double xStep = range_.width() > 30 ? 5 : range_.width() > 8 ? 1 : 0.5;
    const double yStep = range_.height() > 10 ? 2 : range_.height() > 3 ? 1 : 0.2;
    for (double x = std::ceil(range_.left() / xStep) * xStep; x <= range_.right() + 1e-9;
         x += xStep) {
        const QPointF at = toScreen(x, range_.top(), size, s);
        p.drawLine(at, at + QPointF(0, 5 * s));
        p.drawText(QRectF(at.x() - 20 * s, at.y() + 6 * s, 40 * s, 14 * s), Qt::AlignCenter,
                   QString::number(x));
    }
    for (double y = std::ceil(range_.top() / yStep) * yStep; y <= range_.bottom() + 1e-9;
         y += yStep) {
        const QPointF at = toScreen(range_.left(), y, size, s);
        p.drawLine(at, at - QPointF(5 * s, 0));
        p.drawText(QRectF(at.x() - 40 * s, at.y() - 7 * s, 32 * s, 14 * s),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(y));
    }
    const QString basis = volatileFree_ ? "wt%, volatile-free" : "wt%, as analysed";
    p.drawText(QRectF(area.left(), area.bottom() + 22 * s, area.width(), 16 * s), Qt::AlignCenter,
               "SiO2 (" + basis + ")");
    p.save();
    p.translate(14 * s, area.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-area.height() / 2, -8 * s, area.height(), 16 * s), Qt::AlignCenter,
               "Na2O + K2O (" + basis + ")");
    p.restore();

    // The rows: dots, or density when there are too many to tell apart.
    p.setClipRect(area);
    drawPoints(p, area, size, s);

    // Fields and their names over the rows, so that they stay readable.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(60, 60, 60), 1.2 * s));
    for (const auto& f : tas::fields()) {
        QPolygonF poly;
        for (const auto& v : f.outline)
            poly << toScreen(v.silica, v.alkali, size, s);
        p.drawPolygon(poly);
    }
    for (const FieldLabel& l : fieldLabels(size, s)) {
        p.setFont(l.font);
        p.drawText(l.rect, Qt::AlignCenter, l.text);
    }
    p.setFont(small);
    QPainterPath line;
    const auto& pts = tas::alkalineLine();
    line.moveTo(toScreen(pts[0].silica, pts[0].alkali, size, s));
    for (std::size_t i = 1; i < pts.size(); ++i)
        line.lineTo(toScreen(pts[i].silica, pts[i].alkali, size, s));
    p.setPen(QPen(QColor(200, 0, 0), 1.5 * s, Qt::DashLine));
    p.drawPath(line);

    // The grid's current row, on screen only.
    if (style.currentRow && view_ && current_ >= 0 &&
        current_ < static_cast<long>(view_->points.size())) {
        const auto& pt = view_->points[static_cast<std::size_t>(current_)];
        if (pt.valid) {
            const QPointF c = toScreen(pt.silica, pt.alkali, size, s);
            p.setPen(QPen(Qt::red, 2 * s));
            p.drawEllipse(c, 7 * s, 7 * s);
            for (const QPointF d : {QPointF(1, 0), QPointF(-1, 0), QPointF(0, 1), QPointF(0, -1)})
                p.drawLine(c + d * 4 * s, c + d * 12 * s);
        }
    }
    p.setClipping(false);

    // Legend, in the right margin and clear of the window's edge.
    const double margin = size.width() - area.right();
    const QRectF legend(area.right() + 8 * s, area.top(), margin - 16 * s, area.height());
    p.setPen(Qt::black);
    p.drawText(legend, Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, legendText());
    const QFontMetricsF metrics(small);
    const double legendHeight =
        metrics.boundingRect(legend, Qt::AlignLeft | Qt::TextWordWrap, legendText()).height();
    const double y = area.bottom() - legendHeight - 12 * s;
    p.setPen(QPen(QColor(200, 0, 0), 1.5 * s, Qt::DashLine));
    p.drawLine(QPointF(legend.left(), y), QPointF(legend.left() + 20 * s, y));
    p.setPen(Qt::black);
    p.drawText(QRectF(legend.left() + 24 * s, y - 16 * s, legend.width() - 24 * s, 32 * s),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, "alkaline / subalkaline");
    p.restore();
}

void TasPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    render(p, size());
}

long TasPlot::nearestRow(const QPointF& pos, double within) const {
    if (!view_)
        return -1;
    long best = -1;
    double bestDistance = within * within;
    const QRectF a = plotArea(size());
    for (std::size_t i = 0; i < view_->points.size(); ++i) {
        const auto& pt = view_->points[i];
        if (!pt.valid)
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

void TasPlot::mousePressEvent(QMouseEvent* e) {
    setFocus(Qt::MouseFocusReason); // so that Home works after a click
    if (e->button() != Qt::LeftButton || !plotArea(size()).contains(e->position()))
        return;
    const long row = nearestRow(e->position());
    if (row >= 0)
        emit rowPicked(row);
}

void TasPlot::mouseMoveEvent(QMouseEvent* e) {
    const long row = nearestRow(e->position());
    if (row < 0 || !describe_) {
        QToolTip::hideText();
        return;
    }
    QToolTip::showText(e->globalPosition().toPoint(), describe_(row), this);
}

void TasPlot::wheelEvent(QWheelEvent* e) {
    const QRectF a = plotArea(size());
    if (!a.contains(e->position()) || e->angleDelta().y() == 0)
        return;
    const double fx = (e->position().x() - a.left()) / a.width();
    const double fy = (a.bottom() - e->position().y()) / a.height();
    const double x = range_.left() + fx * range_.width();
    const double y = range_.top() + fy * range_.height();
    const double k = e->angleDelta().y() > 0 ? 0.8 : 1.25;
    const double w = std::min(kWhole.width(), range_.width() * k);
    const double h = std::min(kWhole.height(), range_.height() * k);
    // The whole diagram is the outer limit: zooming out near an edge slides
    // the view back over the diagram.
    const double left = std::clamp(x - fx * w, kWhole.left(), kWhole.right() - w);
    const double bottom = std::clamp(y - fy * h, kWhole.top(), kWhole.bottom() - h);
    range_ = QRectF(left, bottom, w, h);
    update();
}

void TasPlot::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Home) {
        resetZoom();
        return;
    }
    QWidget::keyPressEvent(e);
}

void TasPlot::contextMenuEvent(QContextMenuEvent* e) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* whole = menu->addAction("&Whole Diagram");
    whole->setShortcut(QKeySequence(Qt::Key_Home));
    whole->setEnabled(range_ != kWhole);
    connect(whole, &QAction::triggered, this, &TasPlot::resetZoom);
    menu->popup(e->globalPos());
}
