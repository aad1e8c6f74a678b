#include "DensityCells.h"

#include <QLocale>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

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

void DensityCells::draw(QPainter& p, const tas::ViewPoints& view, std::uint64_t serial,
                        const QRectF& range, const QRectF& area, double scale, bool withScale) {
    const double cell = 4 * scale;
    const int cols = std::max(1, static_cast<int>(area.width() / cell));
    const int rows = std::max(1, static_cast<int>(area.height() / cell));
    if (view_ != serial || range_ != range || cols_ != cols || rows_ != rows) {
        view_ = serial;
        range_ = range;
        cols_ = cols;
        rows_ = rows;
        bins_.assign(static_cast<std::size_t>(cols) * rows, 0);
        // Cell coordinates by multiplication only: this runs over every row.
        const float left = static_cast<float>(range.left());
        const float bottom = static_cast<float>(range.top());
        const float xScale = static_cast<float>(cols / range.width());
        const float yScale = static_cast<float>(rows / range.height());
        for (const auto& pt : view.points) {
            if (!pt.valid())
                continue;
            const float cx = (pt.silica - left) * xScale;
            const float cy = (pt.alkali - bottom) * yScale;
            if (!(cx >= 0 && cx < cols && cy >= 0 && cy < rows))
                continue;
            ++bins_[static_cast<std::size_t>(static_cast<int>(cy)) * cols + static_cast<int>(cx)];
        }
        most_ = bins_.empty() ? 0 : *std::max_element(bins_.begin(), bins_.end());
    }
    const double top = std::log1p(static_cast<double>(most_));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const std::uint32_t n = bins_[static_cast<std::size_t>(r) * cols + c];
            if (n)
                p.fillRect(QRectF(area.left() + c * area.width() / cols,
                                  area.bottom() - (r + 1) * area.height() / rows,
                                  area.width() / cols + 0.5, area.height() / rows + 0.5),
                           densityColour(std::log1p(n) / top));
        }
    if (!withScale)
        return;
    // The colour scale and what it counts, in the margin.
    p.save();
    p.setClipping(false);
    const QRectF bar(area.right() + 20 * scale, area.top() + 40 * scale, 16 * scale, 160 * scale);
    for (int i = 0; i < 160; ++i)
        p.fillRect(QRectF(bar.left(), bar.bottom() - (i + 1) * scale, bar.width(), scale),
                   densityColour(i / 159.0));
    p.setPen(QPen(Qt::black, scale));
    p.setBrush(Qt::NoBrush);
    p.drawRect(bar);
    p.drawText(QPointF(bar.right() + 4 * scale, bar.top() + 8 * scale),
               QLocale(QLocale::English).toString(static_cast<qlonglong>(most_)));
    p.drawText(QPointF(bar.right() + 4 * scale, bar.bottom()), "1");
    p.drawText(QRectF(bar.left(), bar.top() - 34 * scale, 140 * scale, 30 * scale),
               Qt::TextWordWrap, "rows per cell\n(log scale)");
    p.restore();
}
