// Drawing a view's patterns: the log axis fitted to whole decades of what
// is drawn, lines or the band, the current row on top.
#include "PatternPlot.h"

#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

const QSizeF kScreenSize(880, 560);
constexpr double kFontPoints = 8;

QString counted(long n) {
    return QLocale(QLocale::English).toString(static_cast<qlonglong>(n));
}

QString decadeLabel(int power) {
    return power < 0 ? QString::number(std::pow(10.0, power), 'f', -power)
                     : QString::number(static_cast<qlonglong>(std::llround(std::pow(10.0, power))));
}

} // namespace

PatternPlot::PatternPlot(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setMinimumSize(480, 360);
    setAutoFillBackground(true);
    setPalette(QPalette(Qt::white));
}

void PatternPlot::setView(std::shared_ptr<const trace::PatternView> view) {
    view_ = std::move(view);
    // Whole decades around every amount drawn (and the band's), at least two.
    double lo = INFINITY, hi = -INFINITY;
    if (view_) {
        for (float v : view_->values)
            if (v > 0 && std::isfinite(v)) {
                lo = std::min(lo, static_cast<double>(v));
                hi = std::max(hi, static_cast<double>(v));
            }
    }
    if (!(lo <= hi)) {
        decades_ = {-1, 3};
    } else {
        int bottom = static_cast<int>(std::floor(std::log10(lo)));
        int top = static_cast<int>(std::ceil(std::log10(hi)));
        bottom = std::clamp(bottom, -4, 5);
        top = std::clamp(top, bottom + 2, 7);
        decades_ = {bottom, top};
    }
    update();
}

void PatternPlot::setCurrentRow(long row) {
    if (row != current_) {
        current_ = row;
        update();
    }
}

void PatternPlot::setReading(bool reading) {
    reading_ = reading;
    update();
}

PatternPlot::Style PatternPlot::exportStyle(const QSize& size) {
    return {std::max(1.0, std::min(size.width() / kScreenSize.width(),
                                   size.height() / kScreenSize.height())),
            false};
}

bool PatternPlot::drawsBand() const {
    return view_ && view_->plotted() > kMaxLines;
}

QString PatternPlot::legendText() const {
    if (reading_)
        return "Reading...";
    if (!view_)
        return QString();
    QString text = QString("%1 rows drawn").arg(counted(view_->plotted()));
    if (drawsBand())
        text += " as their median and 10-90 % band";
    if (view_->empty)
        text += QString(", %1 without any of these elements").arg(counted(view_->empty));
    return text;
}

QRectF PatternPlot::plotArea(const QSize& size, double s) const {
    const double left = 70 * s, top = 30 * s, right = 24 * s, bottom = 44 * s;
    return QRectF(left, top, std::max(10.0, size.width() - left - right),
                  std::max(10.0, size.height() - top - bottom));
}

QPointF PatternPlot::toScreen(double position, double value, const QSize& size, double s) const {
    const QRectF a = plotArea(size, s);
    const double n = view_ ? static_cast<double>(view_->elements.size()) : 1;
    const double x = a.left() + (position + 0.5) / n * a.width();
    const double span = decades_.second - decades_.first;
    const double y = a.bottom() - (std::log10(value) - decades_.first) / span * a.height();
    return {x, y};
}

void PatternPlot::drawAxes(QPainter& p, const QSize& size, double s) const {
    const QRectF a = plotArea(size, s);
    QFont face = font();
    face.setPointSizeF(kFontPoints * s);
    p.setFont(face);
    const QFontMetricsF fm(face);
    // Decades with their labels, and the 2..9 between them as ticks.
    for (int d = decades_.first; d <= decades_.second; ++d) {
        const double y = toScreen(0, std::pow(10.0, d), size, s).y();
        p.setPen(QPen(QColor(215, 215, 215), s));
        if (d > decades_.first && d < decades_.second)
            p.drawLine(QPointF(a.left(), y), QPointF(a.right(), y));
        p.setPen(QPen(Qt::black, s));
        const QString label = decadeLabel(d);
        p.drawText(QPointF(a.left() - 6 * s - fm.horizontalAdvance(label), y + fm.ascent() / 3),
                   label);
        if (d == decades_.second)
            break;
        for (int m = 2; m <= 9; ++m) {
            const double ym = toScreen(0, m * std::pow(10.0, d), size, s).y();
            p.drawLine(QPointF(a.left(), ym), QPointF(a.left() + 3 * s, ym));
        }
    }
    p.setPen(QPen(Qt::black, s));
    p.drawRect(a);
    if (view_) {
        for (std::size_t i = 0; i < view_->elements.size(); ++i) {
            const QString name = trace::kElements[static_cast<std::size_t>(view_->elements[i])];
            const double x = toScreen(static_cast<double>(i), 1, size, s).x();
            p.drawLine(QPointF(x, a.bottom()), QPointF(x, a.bottom() - 4 * s));
            p.drawText(
                QPointF(x - fm.horizontalAdvance(name) / 2, a.bottom() + fm.height() + 2 * s),
                name);
        }
        // The set's name in the frame, so that every picture of it says.
        QFont bold = face;
        bold.setBold(true);
        p.setFont(bold);
        p.drawText(QPointF(a.left() + 8 * s, a.top() + fm.height() + 4 * s),
                   QString::fromStdString(view_->setName));
        p.setFont(face);
        const QString what =
            drawsBand()
                ? QString("Median and 10-90 % band of %1 rows").arg(counted(view_->plotted()))
                : QString("%1 rows").arg(counted(view_->plotted()));
        p.drawText(QPointF(a.left() + 8 * s, a.top() + 2 * fm.height() + 6 * s), what);
    }
    const QString title =
        "Sample / " + (view_ ? QString::fromStdString(view_->setName) : QString("reference"));
    p.save();
    p.translate(a.left() - 48 * s, a.center().y());
    p.rotate(-90);
    p.drawText(QPointF(-fm.horizontalAdvance(title) / 2, 0), title);
    p.restore();
}

// One row's line: pieces between known amounts, broken at an unknown one
// (a bridged element never breaks it) and at a limit, which is an arrow.
void PatternPlot::drawRow(QPainter& p, std::size_t row, const QSize& size, double s,
                          bool marks) const {
    const std::size_t n = view_->elements.size();
    const float* v = view_->valuesOf(row);
    const std::uint8_t* limit = view_->limitsOf(row);
    if (!v)
        return; // no amount to draw
    QPainterPath path;
    bool open = false;
    int piece = 0; // points in the piece being drawn
    QPointF last;
    auto endPiece = [&] {
        if (piece == 1 && !marks) // a lone amount between gaps: a dot, not nothing
            path.addEllipse(last, 1.5 * s, 1.5 * s);
        piece = 0;
        open = false;
    };
    for (std::size_t i = 0; i < n; ++i) {
        if (trace::bridged(view_->elements[i]) && std::isnan(v[i]))
            continue;
        if (!(v[i] > 0) || limit[i]) {
            endPiece();
            if (limit[i] && v[i] > 0) {
                const QPointF at = toScreen(static_cast<double>(i), v[i], size, s);
                const double h = 11 * s, w = 3.5 * s;
                path.moveTo(at);
                path.lineTo(at + QPointF(0, h));
                path.moveTo(at + QPointF(-w, h - w));
                path.lineTo(at + QPointF(0, h));
                path.lineTo(at + QPointF(w, h - w));
                path.moveTo(at + QPointF(-w, 0));
                path.lineTo(at + QPointF(w, 0));
            }
            continue;
        }
        const QPointF at = toScreen(static_cast<double>(i), v[i], size, s);
        if (open)
            path.lineTo(at);
        else
            path.moveTo(at);
        open = true;
        ++piece;
        last = at;
        if (marks) {
            path.addEllipse(at, 2 * s, 2 * s);
            path.moveTo(at); // the line goes on from the point, not the ring
        }
    }
    endPiece();
    p.drawPath(path);
}

void PatternPlot::render(QPainter& p, const QSize& size, const Style& style) const {
    const double s = style.scale;
    p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    drawAxes(p, size, s);
    if (!view_)
        return;
    const QRectF a = plotArea(size, s);
    p.save();
    p.setClipRect(a);
    p.setBrush(Qt::NoBrush);
    const std::size_t rows = view_->rows(), n = view_->elements.size();
    if (!drawsBand()) {
        const int alpha =
            static_cast<int>(std::clamp(6000.0 / (view_->plotted() + 20), 40.0, 220.0));
        p.setPen(QPen(QColor(31, 119, 180, alpha), 1.2 * s));
        for (std::size_t r = 0; r < rows; ++r)
            if (!style.currentRow || static_cast<long>(r) != current_)
                drawRow(p, r, size, s, false);
    } else {
        // The band between the 10 and 90 % lines, in pieces where both are
        // known; the median over it.
        const trace::Band& b = view_->band;
        QPainterPath band, median;
        std::vector<QPointF> upper, lower;
        bool medianOpen = false;
        QPainterPath bars; // the band at an element between gaps
        auto close = [&] {
            if (upper.size() > 1) {
                QPolygonF poly(QList<QPointF>(upper.begin(), upper.end()));
                for (auto it = lower.rbegin(); it != lower.rend(); ++it)
                    poly << *it;
                band.addPolygon(poly);
                band.closeSubpath();
            } else if (upper.size() == 1) {
                bars.moveTo(upper.front());
                bars.lineTo(lower.front());
            }
            upper.clear();
            lower.clear();
        };
        for (std::size_t i = 0; i < n; ++i) {
            const bool skip = trace::bridged(view_->elements[i]) && std::isnan(b.median[i]);
            if (skip)
                continue;
            if (b.p10[i] > 0 && b.p90[i] > 0) {
                upper.push_back(toScreen(static_cast<double>(i), b.p90[i], size, s));
                lower.push_back(toScreen(static_cast<double>(i), b.p10[i], size, s));
            } else {
                close();
            }
            if (b.median[i] > 0) {
                const QPointF at = toScreen(static_cast<double>(i), b.median[i], size, s);
                medianOpen ? median.lineTo(at) : median.moveTo(at);
                medianOpen = true;
            } else {
                medianOpen = false;
            }
        }
        close();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(31, 119, 180, 70));
        p.drawPath(band);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(31, 119, 180, 70), 8 * s, Qt::SolidLine, Qt::FlatCap));
        p.drawPath(bars);
        p.setPen(QPen(QColor(20, 70, 140), 2 * s, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(median);
        // A median between gaps: a bar across the band. A bridged element
        // is no gap.
        auto known = [&](long i, long step) {
            while (i >= 0 && i < static_cast<long>(n) &&
                   trace::bridged(view_->elements[static_cast<std::size_t>(i)]) &&
                   std::isnan(b.median[static_cast<std::size_t>(i)]))
                i += step;
            return i >= 0 && i < static_cast<long>(n) && b.median[static_cast<std::size_t>(i)] > 0;
        };
        for (std::size_t i = 0; i < n; ++i)
            if (b.median[i] > 0 && !known(static_cast<long>(i) - 1, -1) &&
                !known(static_cast<long>(i) + 1, 1)) {
                const QPointF at = toScreen(static_cast<double>(i), b.median[i], size, s);
                p.drawLine(at - QPointF(5 * s, 0), at + QPointF(5 * s, 0));
            }
    }
    if (style.currentRow && current_ >= 0 && static_cast<std::size_t>(current_) < rows) {
        p.setPen(QPen(QColor(220, 20, 20), 2 * s));
        drawRow(p, static_cast<std::size_t>(current_), size, s, true);
    }
    p.restore();
    if (reading_) {
        p.setPen(Qt::darkGray);
        p.drawText(a, Qt::AlignCenter, "Reading...");
    }
}

void PatternPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    render(p, size(), Style());
}

long PatternPlot::nearestRow(const QPointF& pos, double within) const {
    if (!view_ || view_->elements.empty())
        return -1;
    const std::size_t n = view_->elements.size();
    const QRectF a = plotArea(size(), 1);
    const double step = a.width() / static_cast<double>(n);
    const long i = std::lround((pos.x() - a.left()) / step - 0.5);
    if (i < 0 || i >= static_cast<long>(n))
        return -1;
    long best = -1;
    double nearest = within;
    for (std::size_t r = 0; r < view_->rows(); ++r) {
        const float* amounts = view_->valuesOf(r);
        if (!amounts)
            continue;
        const float v = amounts[static_cast<std::size_t>(i)];
        if (!(v > 0))
            continue;
        const double d = std::abs(toScreen(static_cast<double>(i), v, size()).y() - pos.y());
        if (d <= nearest) {
            nearest = d;
            best = static_cast<long>(r);
        }
    }
    return best;
}

void PatternPlot::mousePressEvent(QMouseEvent* e) {
    const long row = nearestRow(e->position());
    if (row >= 0)
        emit rowPicked(row);
}

void PatternPlot::mouseMoveEvent(QMouseEvent* e) {
    const long row = describe_ ? nearestRow(e->position()) : -1;
    if (row >= 0)
        QToolTip::showText(e->globalPosition().toPoint(), describe_(row), this);
    else
        QToolTip::hideText();
}
