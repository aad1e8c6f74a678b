#pragma once

#include "classify/PatternView.h"

#include <QWidget>

#include <functional>
#include <memory>

// A REE or multi-element pattern of a view's rows: elements along x, the
// amount over the normalising set's on a log axis titled "Sample / <set>",
// the set's name printed in the frame (and so in every export). Up to
// kMaxLines rows with a pattern are drawn a line each; more as their
// median with the 10-90 % band shaded. A line breaks where an element is
// unknown (Pm excepted, which it bridges); a detection limit is a small
// down arrow, not joined. The current row is drawn in red over the rest;
// a click takes the row whose line passes nearest.
class PatternPlot : public QWidget {
    Q_OBJECT
public:
    static constexpr long kMaxLines = 2000;
    static constexpr double kPickRadius = 6;

    struct Style {
        double scale = 1;
        bool currentRow = true;
    };

    explicit PatternPlot(QWidget* parent = nullptr);

    void setView(std::shared_ptr<const trace::PatternView> view);
    const trace::PatternView* view() const { return view_.get(); }
    void setCurrentRow(long row);
    long currentRow() const { return current_; }
    void setReading(bool reading);
    void setDescriber(std::function<QString(long)> describe) { describe_ = std::move(describe); }

    void render(QPainter& p, const QSize& size, const Style& style) const;
    static Style exportStyle(const QSize& size);
    bool drawsBand() const;
    QString legendText() const;
    // The decades shown, as powers of ten (bottom, top).
    std::pair<int, int> decades() const { return decades_; }
    QPointF toScreen(double position, double value, const QSize& size, double scale = 1) const;
    long nearestRow(const QPointF& pos, double within = kPickRadius) const;

signals:
    void rowPicked(long row);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    QRectF plotArea(const QSize& size, double scale) const;
    void drawAxes(QPainter& p, const QSize& size, double s) const;
    void drawRow(QPainter& p, std::size_t row, const QSize& size, double s, bool marks) const;

    std::shared_ptr<const trace::PatternView> view_;
    std::pair<int, int> decades_{-1, 3};
    long current_ = -1;
    bool reading_ = false;
    std::function<QString(long)> describe_;
};
