#pragma once

#include "DensityCells.h"
#include "FieldLabels.h"
#include "classify/Diagram.h"
#include "classify/TasView.h"

#include <QPainterPath>
#include <QRectF>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// A diagram drawn: its fields with their names and its lines, axes with
// ticks (or a ternary diagram's triangle), the view's rows and the current
// row marked. Up to kMaxDots rows in sight are drawn as dots, coloured by a
// text column when the view carries colours; more are drawn as density
// (rows per cell, on a colour scale with its legend), without colours, and
// the legend says so. The legend counts the rows inside the frame drawn and
// those outside it apart. The wheel zooms about
// the pointer, never beyond the whole diagram; Home or resetZoom() shows
// the whole diagram again. A compact plot (one of a page of plots) keeps
// small margins and leaves the legend out.
class DiagramPlot : public QWidget {
    Q_OBJECT
public:
    static constexpr long kMaxDots = 20000;
    // How near a click or the pointer must be to a point to take it, in pixels.
    static constexpr double kPickRadius = 6;
    // The smallest font a field's name is drawn in, in pixels on screen
    // (scaled with an export); a name that does not fit at it is left out.
    static constexpr double kMinLabelPixels = 10;

    // How a drawing is made: on screen, or exported at another size (fonts,
    // dots and lines scaled with it, the current-row ring left out).
    struct Style {
        double scale = 1;
        bool currentRow = true;
    };

    explicit DiagramPlot(QWidget* parent = nullptr);

    // The diagram drawn (TAS unless set); the zoom goes back to the whole.
    void setDiagram(std::shared_ptr<const chart::Diagram> diagram);
    const chart::Diagram& diagram() const { return *diagram_; }
    void setCompact(bool compact);
    void setView(std::shared_ptr<tas::ViewPoints> view);
    // One row placed again (its values were written), the counts with it.
    void placeRow(std::size_t row, const chart::Place& place);
    const tas::ViewPoints* view() const { return view_.get(); }
    void setCurrentRow(long row);
    long currentRow() const { return current_; }
    void setReading(bool reading);
    // Whether the axes are recalculated free of volatiles (their titles say so).
    void setVolatileFree(bool on);
    // How a hovered row is described (sample number, rock name, class).
    void setDescriber(std::function<QString(long)> describe) { describe_ = std::move(describe); }
    // Why the rows without a point have none ("no Rb 3"), for the legend.
    void setNoPointNote(const QString& note) {
        noPointNote_ = note;
        update();
    }

    // Draws the whole diagram into any paint device of the given size.
    void render(QPainter& p, const QSize& size, const Style& style) const;
    void render(QPainter& p, const QSize& size) const { render(p, size, Style()); }
    // The style of an export at the given size: scaled from the window's.
    static Style exportStyle(const QSize& size);
    // The row whose point lies nearest to a position in the widget, within
    // the given distance in pixels, or -1.
    long nearestRow(const QPointF& pos, double within = kPickRadius) const;
    // A point of the diagram's plane (SiO2 and Na2O + K2O on TAS) on the drawing.
    QPointF toScreen(double x, double y, const QSize& size, double scale = 1) const;
    QRectF plotArea(const QSize& size, double scale = 1) const;
    QRectF range() const { return range_; } // the part of the plane in sight
    QRectF whole() const;                   // the whole diagram
    void resetZoom();
    bool drawsDensity() const;
    QString legendText() const;
    // The fields' names as drawn at the given size.
    std::vector<FieldLabel> fieldLabels(const QSize& size, double scale = 1) const;
    // The colour a colour class is drawn in.
    static QColor classColour(int index);

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
    void drawAxes(QPainter& p, const QRectF& area, const QSize& size, double s) const;
    void drawTriangle(QPainter& p, const QSize& size, double s) const;
    void drawPoints(QPainter& p, const QRectF& area, const QSize& size, double scale) const;
    void drawLegend(QPainter& p, const QRectF& area, const QSize& size, double s) const;
    QPainterPath inSight(const std::vector<chart::Vertex>& line, const QSize& size, double s) const;
    chart::Vertex beyond(const chart::Vertex& a, const chart::Vertex& b) const;
    QRectF dataBox() const;

    std::shared_ptr<const chart::Diagram> diagram_;
    std::shared_ptr<tas::ViewPoints> view_; // this plot's alone once set
    mutable DensityCells density_;
    // The rows inside the frame drawn, as last counted (for the view and
    // range of that count).
    struct Sight {
        std::uint64_t view = 0;
        QRectF range;
        long inFrame = 0;
        long unclassed = 0; // of those inside
    };
    mutable Sight sight_;
    const Sight& sight() const;
    std::uint64_t viewSerial_ = 0; // a new number for every view set
    long current_ = -1;
    bool reading_ = false;
    bool volatileFree_ = true;
    bool compact_ = false;
    QRectF range_;
    QRectF dataBox_; // the whole of a diagram scaled to its points
    std::function<QString(long)> describe_;
    QString noPointNote_;
};
