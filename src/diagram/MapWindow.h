#pragma once

#include "MapGround.h"
#include "MapPlot.h"
#include "map/Coastlines.h"
#include "map/MapFrame.h"

#include <QPointF>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class DataControl;
class QComboBox;
class QLabel;
class QPainter;
class BackgroundReader;

// Where the grid's samples are: a world map with the coastlines, a dot for
// each sample of the view that has a position, the grid's current row
// ringed. It follows the grid as the diagram window does (a table switch,
// a search, a Refresh or another user's rows read the view again, on a
// thread of its own); a click makes the nearest sample current, the pointer
// names it, the wheel zooms about the pointer and Home shows the world
// again. A rectangle dragged with the right button (or with Shift) becomes
// a search of the grid: areaChosen hands the statement on. Samples are held
// by their keys, never by their place in the view. Beyond 20,000 samples in
// sight they are drawn as density cells; the dots may be coloured by a text
// column (MapPlot draws them, the graticule's degrees and the scale bar).
class MapWindow : public QWidget {
    Q_OBJECT
public:
    // A window of its own; the parent, when given, owns it.
    explicit MapWindow(DataControl* data, QWidget* parent = nullptr);
    ~MapWindow() override;

    // One sample of the view with a position.
    struct Sample {
        std::int64_t key = 0;
        double longitude = 0, latitude = 0;
    };
    struct Samples {
        std::vector<Sample> placed;
        long noPosition = 0;
        bool anyValues = false;   // whether the table holds any coordinates
        MapPlot::Colours colours; // by placed sample, when asked for
    };

    const geo::MapFrame& frame() const { return frame_; }
    void setFrame(const geo::MapFrame& frame);
    const Samples* samples() const { return samples_.get(); }
    QWidget* canvas() const { return canvas_; }
    QLabel* statusLine() const { return status_; }
    QLabel* legend() const { return legend_; }
    // A text column's index in the table to colour the dots by, or -1;
    // the same choice as the diagram window's.
    void colourBy(int column);
    // Whether the samples in sight are drawn as density cells.
    bool drawsDensity() const;
    bool loading() const;
    bool coastlinesShown() const;
    // The sample nearest a point of the canvas within a few pixels, or none.
    std::optional<std::int64_t> sampleAt(QPointF at) const;
    // The grid's search for the samples inside an area of the map.
    QString areaStatement(const geo::Area& area) const;

    // Writes the map as PNG, SVG or PDF (by the suffix) at the given size,
    // with the projection named; throws std::runtime_error with the path
    // and the reason.
    void exportTo(const QString& path, const QSize& size) const;

signals:
    void loaded(); // a view's positions are in
    void coastlinesLoaded();
    void areaChosen(const QString& statement, const QString& description);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void reload();
    void loadFinished(quint64 generation, std::shared_ptr<Samples> samples, const QString& error);
    void followCurrentRow();
    void wantCoastlines();
    void render(QPainter& p, const geo::MapFrame& frame, bool forExport) const;
    void chooseArea(QPointF from, QPointF to);
    void exportClicked();
    QString describe(std::int64_t key) const;
    void updateLegend();
    // Where each placed sample is on the canvas (NaN where it cannot be
    // placed), for the frame shown: projected once per frame and view.
    const std::vector<QPointF>& screenPoints() const;

    DataControl* data_;
    QWidget* canvas_;
    QLabel* legend_;
    QLabel* status_;
    QComboBox* colour_;
    MapPlot plot_;
    MapGround ground_;
    mutable std::uint64_t screenSerial_ = 0; // a new number for every projection of the samples
    geo::MapFrame frame_;
    std::shared_ptr<const Samples> samples_;
    mutable std::vector<QPointF> screen_;
    mutable bool screenStale_ = true;
    std::optional<std::int64_t> current_;
    std::string table_;
    // The coastlines read so far by resolution, and the one being read.
    std::array<std::shared_ptr<const geo::Shorelines>, 3> coasts_;
    int coastsReading_ = -1;
    QString coastError_;
    // Drags: a pan with the left button, an area with the right or Shift.
    QPointF pressedAt_, dragAt_;
    bool dragging_ = false, choosingArea_ = false;
    // The view's samples (superseding each other) and the coastlines.
    BackgroundReader* reader_;
    quint64 generation_ = 0;
    bool stale_ = true;
    QString error_;
};
