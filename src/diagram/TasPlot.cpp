#include "TasPlot.h"

#include "classify/TasDiagram.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

const QRectF kWhole(35, 0, 55, 18); // SiO2 35-90, Na2O + K2O 0-18

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
    update();
}

void TasPlot::setCurrentRow(long row) {
    if (row == current_)
        return;
    current_ = row;
    update();
}

QRectF TasPlot::plotArea(const QSize& size) const {
    return QRectF(60, 20, std::max(10, size.width() - 60 - 150), std::max(10, size.height() - 70));
}

QPointF TasPlot::toScreen(double silica, double alkali, const QSize& size) const {
    const QRectF a = plotArea(size);
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
    const long plotted = view_ ? view_->plotted() : 0;
    const long none = view_ ? view_->noPoint : 0;
    QString text = QString("%1 rows plotted").arg(plotted);
    if (none)
        text += QString(", %1 with no point").arg(none);
    if (view_ && view_->outside)
        text += QString(" (%1 outside the diagram)").arg(view_->outside);
    return text;
}

void TasPlot::render(QPainter& p, const QSize& size) const {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    const QRectF area = plotArea(size);
    QFont small = font();
    small.setPointSizeF(8);
    p.setFont(small);

    // Ticks and axis titles.
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(area);
    const double xStep = range_.width() > 30 ? 5 : range_.width() > 8 ? 1 : 0.5;
    const double yStep = range_.height() > 10 ? 2 : range_.height() > 3 ? 1 : 0.2;
    for (double x = std::ceil(range_.left() / xStep) * xStep; x <= range_.right() + 1e-9;
         x += xStep) {
        const QPointF at = toScreen(x, range_.top(), size);
        p.drawLine(at, at + QPointF(0, 5));
        p.drawText(QRectF(at.x() - 20, at.y() + 6, 40, 14), Qt::AlignCenter, QString::number(x));
    }
    for (double y = std::ceil(range_.top() / yStep) * yStep; y <= range_.bottom() + 1e-9;
         y += yStep) {
        const QPointF at = toScreen(range_.left(), y, size);
        p.drawLine(at, at - QPointF(5, 0));
        p.drawText(QRectF(at.x() - 40, at.y() - 7, 32, 14), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(y));
    }
    p.drawText(QRectF(area.left(), area.bottom() + 22, area.width(), 16), Qt::AlignCenter,
               "SiO2 (wt%)");
    p.save();
    p.translate(14, area.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-100, -8, 200, 16), Qt::AlignCenter, "Na2O + K2O (wt%)");
    p.restore();

    p.setClipRect(area);
    // The rows: dots, or density when there are too many to tell apart.
    if (view_ && !view_->points.empty()) {
        if (drawsDensity()) {
            const int cell = 4;
            const int cols = std::max(1, static_cast<int>(area.width()) / cell);
            const int rows = std::max(1, static_cast<int>(area.height()) / cell);
            std::vector<std::uint32_t> bins(static_cast<std::size_t>(cols) * rows, 0);
            std::uint32_t most = 0;
            for (const auto& pt : view_->points) {
                if (!pt.valid)
                    continue;
                const double fx = (pt.silica - range_.left()) / range_.width();
                const double fy = (pt.alkali - range_.top()) / range_.height();
                if (fx < 0 || fx >= 1 || fy < 0 || fy >= 1)
                    continue;
                auto& b = bins[static_cast<std::size_t>(static_cast<int>(fy * rows)) * cols +
                               static_cast<int>(fx * cols)];
                most = std::max(most, ++b);
            }
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
            // The colour scale and what it counts.
            p.setClipping(false);
            const QRectF bar(area.right() + 20, area.top() + 40, 16, 160);
            for (int i = 0; i < 160; ++i)
                p.fillRect(QRectF(bar.left(), bar.bottom() - i - 1, bar.width(), 1),
                           densityColour(i / 159.0));
            p.drawRect(bar);
            p.drawText(QPointF(bar.right() + 4, bar.top() + 8), QString::number(most));
            p.drawText(QPointF(bar.right() + 4, bar.bottom()), "1");
            p.drawText(QRectF(bar.left(), bar.top() - 34, 130, 30), Qt::TextWordWrap,
                       "rows per cell\n(log scale)");
            p.setClipRect(area);
        } else {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(31, 119, 180, 160));
            for (const auto& pt : view_->points)
                if (pt.valid)
                    p.drawEllipse(toScreen(pt.silica, pt.alkali, size), 2.2, 2.2);
        }
    }

    // Fields and their names over the rows, so that they stay readable.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(60, 60, 60), 1.2));
    for (const auto& f : tas::fields()) {
        QPolygonF poly;
        for (const auto& v : f.outline)
            poly << toScreen(v.silica, v.alkali, size);
        p.drawPolygon(poly);
        const QPointF c = toScreen(f.label.silica, f.label.alkali, size);
        const QString name =
            QString(f.name).replace(" / ", "/\n").replace("Basaltic ", "Basaltic\n");
        p.drawText(QRectF(c.x() - 60, c.y() - 14, 120, 28), Qt::AlignCenter, name);
    }
    QPainterPath line;
    const auto& pts = tas::alkalineLine();
    line.moveTo(toScreen(pts[0].silica, pts[0].alkali, size));
    for (std::size_t i = 1; i < pts.size(); ++i)
        line.lineTo(toScreen(pts[i].silica, pts[i].alkali, size));
    p.setPen(QPen(QColor(200, 0, 0), 1.5, Qt::DashLine));
    p.drawPath(line);

    // The grid's current row.
    if (view_ && current_ >= 0 && current_ < static_cast<long>(view_->points.size())) {
        const auto& pt = view_->points[static_cast<std::size_t>(current_)];
        if (pt.valid) {
            const QPointF c = toScreen(pt.silica, pt.alkali, size);
            p.setPen(QPen(Qt::red, 2));
            p.drawEllipse(c, 7, 7);
            p.drawLine(c - QPointF(12, 0), c - QPointF(4, 0));
            p.drawLine(c + QPointF(4, 0), c + QPointF(12, 0));
            p.drawLine(c - QPointF(0, 12), c - QPointF(0, 4));
            p.drawLine(c + QPointF(0, 4), c + QPointF(0, 12));
        }
    }
    p.setClipping(false);

    // Legend.
    p.setPen(Qt::black);
    p.drawText(QRectF(area.right() + 8, area.bottom() - 60, 145, 60),
               Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, legendText());
    p.setPen(QPen(QColor(200, 0, 0), 1.5, Qt::DashLine));
    p.drawLine(QPointF(area.right() + 10, area.bottom() - 80),
               QPointF(area.right() + 30, area.bottom() - 80));
    p.setPen(Qt::black);
    p.drawText(QPointF(area.right() + 34, area.bottom() - 76), "alkaline / subalkaline");
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
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<long>(i);
        }
    }
    return best;
}

void TasPlot::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !plotArea(size()).contains(e->position()))
        return;
    const long row = nearestRow(e->position());
    if (row >= 0)
        emit rowPicked(row);
}

void TasPlot::mouseMoveEvent(QMouseEvent* e) {
    const long row = nearestRow(e->position(), 6);
    if (row < 0 || !describe_) {
        QToolTip::hideText();
        return;
    }
    QToolTip::showText(e->globalPosition().toPoint(), describe_(row), this);
}

void TasPlot::wheelEvent(QWheelEvent* e) {
    const QRectF a = plotArea(size());
    if (!a.contains(e->position()))
        return;
    const double fx = (e->position().x() - a.left()) / a.width();
    const double fy = (a.bottom() - e->position().y()) / a.height();
    const double x = range_.left() + fx * range_.width();
    const double y = range_.top() + fy * range_.height();
    const double k = e->angleDelta().y() > 0 ? 0.8 : 1.25;
    const double w = std::min(kWhole.width(), range_.width() * k);
    const double h = std::min(kWhole.height(), range_.height() * k);
    range_ = QRectF(x - fx * w, y - fy * h, w, h);
    update();
}

void TasPlot::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Home) {
        range_ = kWhole;
        update();
        return;
    }
    QWidget::keyPressEvent(e);
}
