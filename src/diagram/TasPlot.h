#pragma once

#include "classify/TasView.h"

#include <QRectF>
#include <QWidget>

#include <functional>

// The TAS diagram drawn: the fields with their names, the alkaline /
// subalkaline line dashed, axes in wt% with ticks, the view's rows and the
// current row marked. Up to kMaxDots rows in sight are drawn as dots; more
// are drawn as density (rows per cell, on a colour scale with its legend).
// The wheel zooms about the pointer and Home shows the whole diagram again.
class TasPlot : public QWidget {
    Q_OBJECT
public:
    static constexpr long kMaxDots = 20000;

    explicit TasPlot(QWidget* parent = nullptr);

    void setView(std::shared_ptr<const tas::ViewPoints> view);
    const tas::ViewPoints* view() const { return view_.get(); }
    void setCurrentRow(long row);
    long currentRow() const { return current_; }
    // How a hovered row is described (sample number, rock name).
    void setDescriber(std::function<QString(long)> describe) { describe_ = std::move(describe); }

    // Draws the whole diagram into any paint device of the given size.
    void render(QPainter& p, const QSize& size) const;
    // The row whose point lies nearest to a position in the widget, or -1.
    long nearestRow(const QPointF& pos, double within = 1e9) const;
    QPointF toScreen(double silica, double alkali, const QSize& size) const;
    bool drawsDensity() const;
    QString legendText() const;

signals:
    void rowPicked(long row);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    QRectF plotArea(const QSize& size) const;
    long rowsInSight() const;

    std::shared_ptr<const tas::ViewPoints> view_;
    long current_ = -1;
    QRectF range_; // SiO2 across, Na2O + K2O up, in wt%
    std::function<QString(long)> describe_;
};
