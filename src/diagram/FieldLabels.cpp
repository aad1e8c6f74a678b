#include "FieldLabels.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace {

// The name as it may be written: whole, then broken at its middle-most
// blank (or after a slash), so that a long name becomes two short lines;
// as a last resort, a compound rock name broken after its first part
// ("Monzo-" "gabbro"), for the smallest fields.
std::vector<QString> wrappings(const QString& name, bool lastResort) {
    std::vector<QString> out{name};
    if (lastResort && !name.contains(' '))
        for (const char* part : {"Monzo", "Peridot", "Trachy", "Tephri", "Phono", "Grano"})
            if (name.startsWith(part) && name.size() > static_cast<int>(std::strlen(part)) + 3)
                out.push_back(name.left(static_cast<int>(std::strlen(part))) + "-\n" +
                              name.mid(static_cast<int>(std::strlen(part))));
    int best = -1;
    for (int i = 0; i < name.size(); ++i)
        if (name[i] == ' ' &&
            (best < 0 || std::abs(i - name.size() / 2) < std::abs(best - name.size() / 2)))
            best = i;
    if (best > 0) {
        QString two = name;
        const bool slash = two.mid(best - 1, 3) == " / " || two.mid(best, 3) == " / ";
        if (slash)
            two.replace(" / ", "/\n");
        else
            two[best] = '\n';
        out.push_back(two);
    }
    return out;
}

double area(const QPolygonF& p) {
    double a = 0;
    for (int i = 0; i < p.size(); ++i) {
        const QPointF& u = p[i];
        const QPointF& v = p[(i + 1) % p.size()];
        a += u.x() * v.y() - v.x() * u.y();
    }
    return std::abs(a) / 2;
}

} // namespace

bool FieldLabels::boxInside(const QRectF& box, const QPolygonF& polygon) {
    constexpr int kSteps = 4;
    for (int i = 0; i <= kSteps; ++i) {
        const double fx = box.left() + box.width() * i / kSteps;
        const double fy = box.top() + box.height() * i / kSteps;
        for (const QPointF& p : {QPointF(fx, box.top()), QPointF(fx, box.bottom()),
                                 QPointF(box.left(), fy), QPointF(box.right(), fy)})
            if (!polygon.containsPoint(p, Qt::OddEvenFill))
                return false;
    }
    return true;
}

std::vector<FieldLabel> FieldLabels::place(const std::vector<QPolygonF>& outlines,
                                           const std::vector<QPointF>& preferred,
                                           const std::vector<QString>& names, const QRectF& area,
                                           const QFont& font, double smallest) {
    const QPolygonF sight(area);
    std::vector<QPolygonF> visible(outlines.size());
    for (std::size_t f = 0; f < outlines.size(); ++f)
        visible[f] = outlines[f].intersected(sight);
    // The fields with the least room choose first.
    std::vector<std::size_t> order(outlines.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return ::area(visible[a]) < ::area(visible[b]);
    });
    std::vector<FieldLabel> placed;
    const double pad = std::max(1.5, font.pointSizeF() / 4);
    for (std::size_t f : order) {
        const QPolygonF& room = visible[f];
        if (room.size() < 3 || ::area(room) < 1)
            continue;
        const QRectF bounds = room.boundingRect();
        QPointF want = preferred[f];
        if (!room.containsPoint(want, Qt::OddEvenFill))
            want = bounds.center();
        bool done = false;
        // Down to the smallest size, tried last; never below it.
        const double largest = std::max(font.pointSizeF(), smallest);
        for (double size = largest; !done; size = std::max(smallest, size - largest * 0.1)) {
            QFont face = font;
            face.setPointSizeF(size);
            const QFontMetricsF metrics(face);
            for (const QString& text : wrappings(names[f], size <= smallest)) {
                const QRectF box = metrics.boundingRect(QRectF(), Qt::AlignCenter, text)
                                       .adjusted(-pad, -pad, pad, pad);
                if (box.width() > bounds.width() || box.height() > bounds.height())
                    continue;
                const double step = std::max(1.0, std::min(bounds.width(), bounds.height()) / 40);
                double bestDistance = -1;
                QRectF best;
                for (double y = bounds.top() + box.height() / 2;
                     y <= bounds.bottom() - box.height() / 2; y += step)
                    for (double x = bounds.left() + box.width() / 2;
                         x <= bounds.right() - box.width() / 2; x += step) {
                        const double d =
                            (x - want.x()) * (x - want.x()) + (y - want.y()) * (y - want.y());
                        if (bestDistance >= 0 && d >= bestDistance)
                            continue;
                        const QRectF at(x - box.width() / 2, y - box.height() / 2, box.width(),
                                        box.height());
                        if (!boxInside(at, room))
                            continue;
                        if (std::any_of(placed.begin(), placed.end(),
                                        [&](const FieldLabel& l) { return l.rect.intersects(at); }))
                            continue;
                        bestDistance = d;
                        best = at;
                    }
                if (bestDistance >= 0) {
                    placed.push_back({static_cast<int>(f), text, best, face});
                    done = true;
                    break;
                }
            }
            if (size <= smallest)
                break;
        }
    }
    return placed;
}
