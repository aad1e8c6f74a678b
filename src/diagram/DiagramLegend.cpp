// DiagramPlot's frame and legend beside the plot: a ternary diagram's
// triangle with its corners named, and the legend's counts, dashed lines,
// field key and colours. The legend's parts stack upwards from its counts
// and the colours stop short of them, so that none overlaps another.
#include "DiagramPlot.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>

#include <cmath>

namespace {

const double kRoot3 = std::sqrt(3.0);

QString counted(long n) {
    return QLocale(QLocale::English).toString(static_cast<qlonglong>(n));
}

} // namespace

// A ternary diagram: its triangle, grid lines every 20 %, its corners named.
void DiagramPlot::drawTriangle(QPainter& p, const QSize& size, double s) const {
    const double h = 50 * kRoot3;
    const QPointF a = toScreen(0, 0, size, s), m = toScreen(100, 0, size, s),
                  f = toScreen(50, h, size, s);
    p.setPen(QPen(QColor(210, 210, 210), 0.8 * s));
    for (int k = 20; k < 100; k += 20) {
        const double t = k / 100.0;
        // Lines of equal F, equal M and equal A.
        p.drawLine(toScreen(t * 50, t * h, size, s), toScreen(100 - t * 50, t * h, size, s));
        p.drawLine(toScreen(t * 100, 0, size, s), toScreen(50 + t * 50, h - t * h, size, s));
        p.drawLine(toScreen(100 - t * 100, 0, size, s), toScreen(50 - t * 50, h - t * h, size, s));
    }
    p.setPen(QPen(Qt::black, 1.2 * s));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(QPolygonF({a, m, f}));
    const std::vector<std::string> names = diagram_->corners();
    const QPointF corners[] = {a + QPointF(-10 * s, 16 * s), m + QPointF(10 * s, 16 * s),
                               f + QPointF(0, -12 * s)};
    for (std::size_t i = 0; i < 3 && i < names.size(); ++i)
        p.drawText(QRectF(corners[i].x() - 70 * s, corners[i].y() - 8 * s, 140 * s, 16 * s),
                   Qt::AlignCenter, QString::fromStdString(names[i]));
}

void DiagramPlot::drawLegend(QPainter& p, const QRectF& area, const QSize& size, double s) const {
    const double margin = size.width() - area.right();
    const QRectF legend(area.right() + 8 * s, area.top(), margin - 16 * s, area.height());
    p.setPen(Qt::black);
    p.drawText(legend, Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, legendText());
    const QFontMetricsF metrics(p.font());
    double y =
        area.bottom() -
        metrics.boundingRect(legend, Qt::AlignLeft | Qt::TextWordWrap, legendText()).height() -
        12 * s;
    for (const chart::Curve& c : diagram_->curves()) {
        if (!c.dashed)
            continue;
        p.setPen(QPen(QColor(200, 0, 0), 1.5 * s, Qt::DashLine));
        p.drawLine(QPointF(legend.left(), y), QPointF(legend.left() + 20 * s, y));
        p.setPen(Qt::black);
        p.drawText(QRectF(legend.left() + 24 * s, y - 16 * s, legend.width() - 24 * s, 32 * s),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
                   QString::fromStdString(c.name));
        y -= 34 * s;
    }
    // What the short names in the fields stand for, upwards from the lines.
    const std::vector<std::string> key = diagram_->key();
    for (auto it = key.rbegin(); it != key.rend(); ++it) {
        const QString line = QString::fromStdString(*it);
        const double h =
            metrics.boundingRect(legend, Qt::AlignLeft | Qt::TextWordWrap, line).height();
        y -= h;
        p.drawText(QRectF(legend.left(), y, legend.width(), h), Qt::AlignLeft | Qt::TextWordWrap,
                   line);
        y -= 4 * s;
    }
    // The colours of a text column, from the top, with their rows.
    if (view_ && view_->colour.size() == view_->points.size() && !drawsDensity()) {
        double top = legend.top() + 4 * s;
        for (std::size_t i = 0; i < view_->colourNames.size() && top < y - 40 * s; ++i) {
            p.setPen(Qt::NoPen);
            const bool other =
                i + 1 == view_->colourNames.size() && view_->colourNames[i] == "other";
            p.setBrush(other ? QColor(160, 160, 160) : classColour(static_cast<int>(i)));
            p.drawEllipse(QPointF(legend.left() + 5 * s, top + 7 * s), 4 * s, 4 * s);
            p.setPen(Qt::black);
            const QString text = QString::fromStdString(view_->colourNames[i]) + " (" +
                                 counted(view_->perColour[i]) + ")";
            p.drawText(QRectF(legend.left() + 14 * s, top, legend.width() - 14 * s, 14 * s),
                       Qt::AlignLeft | Qt::AlignVCenter,
                       metrics.elidedText(text, Qt::ElideMiddle, legend.width() - 14 * s));
            top += 16 * s;
        }
    }
}
