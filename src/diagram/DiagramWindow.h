#pragma once

#include "classify/TasView.h"

#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class DataControl;
class DiagramPlot;
class PatternPlot;
class RecordsetModel;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class BackgroundReader;
namespace chart {
class Diagram;
struct NoPointReasons;
} // namespace chart
namespace trace {
struct PatternView;
}

// The diagrams of the grid's view, in a window of their own that follows
// the grid: TAS, K2O against SiO2, AFM, Shand's index, a Harker diagram of
// any column, the usual page of eight Harker diagrams, or a trace-element
// discrimination diagram of the values kept beside the rows. A new view
// (table switch, search, sort, refresh, new or deleted rows) is read again
// off the user-interface thread; an edited row moves its point; the current
// row is marked, and a click on a diagram makes the nearest row current.
// Points may be coloured by a text column. The REE and multi-element
// patterns draw the rows' kept values normalised to a set chosen beside
// the diagram list, remembered in the user's settings for each pattern.
class DiagramWindow : public QWidget {
    Q_OBJECT
public:
    DiagramWindow(DataControl* data, RecordsetModel* gridModel);
    ~DiagramWindow() override;

    // tas, k2o, afm, shand, harker:COLUMN, harker (the page of eight), ree
    // or spider (the patterns), or one of chart::discriminationKeywords().
    void chooseDiagram(const QString& keyword);
    QString diagramKeyword() const;
    // A text column's index in the table to colour by, or -1.
    void colourBy(int column);

    DiagramPlot* plot() const { return plot_; }
    // The plots shown: one, or the page's eight; none for a pattern.
    std::vector<DiagramPlot*> plots() const;
    PatternPlot* patternPlot() const { return pattern_; }
    bool patternShown() const;
    // The normalising set of the pattern shown (its keyword, as --set takes it).
    QComboBox* setChoice() const { return set_; }
    QLabel* statusLine() const { return status_; }
    QCheckBox* volatileFree() const { return volatileFree_; }
    QComboBox* diagramChoice() const { return diagram_; }
    bool loading() const;

    // Writes the diagram (or the page) as PNG, SVG or PDF (by the file's
    // suffix) at the given size in pixels, through a temporary file renamed
    // when complete; a PNG carries the resolution given. Throws
    // std::runtime_error with the path and the reason.
    static constexpr int kExportDotsPerInch = 300;
    void exportTo(const QString& path, const QSize& size,
                  int dotsPerInch = kExportDotsPerInch) const;

signals:
    void loaded(); // a view's points are in

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void choiceChanged();
    void reload();
    void letGoOfLargeViews();
    std::vector<DiagramPlot*> allPlots() const; // the single plot and the page's
    // The reading ends with nothing read: no view, or one that cannot be read.
    void finishEmpty(quint64 generation, const QString& error);
    void loadFinished(quint64 generation, std::shared_ptr<std::vector<tas::ViewPoints>> views,
                      const QString& error);
    void patternsFinished(quint64 generation, std::shared_ptr<trace::PatternView> view,
                          const QString& error);
    void fillSets();
    void setChosen();
    void rowWritten(long row);
    void followCurrentRow();
    void exportClicked();
    void renderAll(QPainter& p, const QSize& size, bool forExport) const;
    QString describe(std::size_t plot, long row) const;

    DataControl* data_;
    QComboBox* diagram_;
    QComboBox* harkerColumn_;
    QComboBox* colour_;
    QStackedWidget* stack_;
    DiagramPlot* plot_;
    PatternPlot* pattern_;
    QComboBox* set_;
    std::vector<DiagramPlot*> page_;
    QLabel* status_;
    QCheckBox* volatileFree_;
    QPushButton* export_;
    BackgroundReader* reader_;
    quint64 generation_ = 0;
    bool stale_ = true;
    QString error_;
    // Why the rows shown on a trace-element diagram have no point; null on
    // the others.
    std::shared_ptr<const chart::NoPointReasons> reasons_;
};
