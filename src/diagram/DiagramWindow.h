#pragma once

#include "classify/TasView.h"

#include <QWidget>

#include <atomic>
#include <memory>
#include <vector>

class DataControl;
class RecordsetModel;
class QCheckBox;
class QLabel;
class QPushButton;
class QThread;
class DiagramPlot;

// The TAS diagram of the grid's view, as a window of its own that follows
// the grid: a new view (table switch, search, sort, refresh, new or deleted
// rows) is read again off the user-interface thread; an edited row moves
// its point; the current row is marked, and a click on the diagram makes
// the nearest row current.
class DiagramWindow : public QWidget {
    Q_OBJECT
public:
    DiagramWindow(DataControl* data, RecordsetModel* gridModel);
    ~DiagramWindow() override;

    DiagramPlot* plot() const { return plot_; }
    QLabel* statusLine() const { return status_; }
    QCheckBox* volatileFree() const { return volatileFree_; }
    bool loading() const { return loader_ != nullptr; }

    // Writes the diagram as PNG, SVG or PDF (by the file's suffix) at the
    // given size in pixels, through a temporary file renamed when complete.
    // Throws std::runtime_error with the path and the reason.
    void exportTo(const QString& path, const QSize& size) const;

signals:
    void loaded(); // a view's points are in

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void reload();
    void loadFinished(quint64 generation, std::shared_ptr<tas::ViewPoints> view,
                      const QString& error);
    void rowWritten(long row);
    void followCurrentRow();
    void exportClicked();
    QString describe(long row) const;

    DataControl* data_;
    DiagramPlot* plot_;
    QLabel* status_;
    QCheckBox* volatileFree_;
    QPushButton* export_;
    QThread* loader_ = nullptr;     // the reading of the view shown next
    std::vector<QThread*> readers_; // every reading not yet ended
    std::shared_ptr<std::atomic<bool>> cancel_;
    quint64 generation_ = 0;
    bool stale_ = true;
    QString error_;
};
