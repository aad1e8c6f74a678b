#pragma once

#include "FieldLabels.h"
#include "classify/TasView.h"

#include <QRectF>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// The TAS diagram drawn: the fields with their names, the alkaline /
// subalkaline line dashed, axes in wt% with ticks, the view's rows and the
// current row marked. Up to kMaxDots rows in sight are drawn as dots; more
// are drawn as density (rows per cell, on a colour scale with its legend).
// The wheel zooms about the pointer, never beyond the whole diagram; Home
// or resetZoom() shows the whole diagram again.
class TasPlot : public QWidget {
    Q_OBJECT
public:
    static constexpr long kMaxDots = 20000;
    // How near a click or the pointer must be to a point to take it, in pixels.
    static constexpr double kPickRadius = 6;

    // How a drawing is made: on screen, or exported at another size (fonts,
    // dots and lines scaled with it, the current-row ring left out).
    struct Style {
        double scale = 1;
        bool currentRow = true;
    };

    explicit TasPlot(QWidget* parent = nullptr);

    void setView(std::shared_ptr<const tas::ViewPoints> view);
    const tas::ViewPoints* view() const { return view_.get(); }
    void setCurrentRow(long row);
    long currentRow() const { return current_; }
    void setReading(bool reading);
    // Whether the axes are recalculated free of volatiles (their titles say so).
    void setVolatileFree(bool on);
    // How a hovered row is described (sample number, rock name).
    void setDescriber(std::function<QString(long)> describe) { describe_ = std::move(describe); }

    // Draws the whole diagram into any paint device of the given size.
    void render(QPainter& p, const QSize& size, const Style& style) const;
    void render(QPainter& p, const QSize& size) const { render(p, size, Style()); }
    // The style of an export at the given size: scaled from the window's.
    static Style exportStyle(const QSize& size);
    // The row whose point lies nearest to a position in the widget, within
    // the given distance in pixels, or -1.
    long nearestRow(const QPointF& pos, double within = kPickRadius) const;
    QPointF toScreen(double silica, double alkali, const QSize& size, double scale = 1) const;
    QRectF plotArea(const QSize& size, double scale = 1) const;
    QRectF range() const { return range_; } // SiO2 across, Na2O + K2O up, in wt%
    void resetZoom();
    bool drawsDensity() const;
    QString legendText() const;
    // The fields' names as drawn at the given size.
    std::vector<FieldLabel> fieldLabels(const QSize& size, double scale = 1) const;

signals:
    void rowPicked(long row);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;

private:
    long rowsInSight() const;
    void drawPoints(QPainter& p, const QRectF& area, const QSize& size, double scale) const;

    std::shared_ptr<const tas::ViewPoints> view_;
    // The density cells of the view as last counted: a repaint (the ring
    // moving with the grid's row) counts ten million points again only when
    // the view, the zoom or the cells changed.
    struct Density {
        std::uint64_t view = 0; // viewSerial_ when counted
        QRectF range;
        int cols = 0, rows = 0;
        std::vector<std::uint32_t> bins;
        std::uint32_t most = 0;
    };
    mutable Density density_;
    std::uint64_t viewSerial_ = 0; // a new number for every view set
    long current_ = -1;
    bool reading_ = false;
    bool volatileFree_ = true;
    QRectF range_;
    std::function<QString(long)> describe_;
};
