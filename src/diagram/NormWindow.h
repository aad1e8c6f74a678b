#pragma once

#include "norm/Iron.h"

#include <QWidget>

class DataControl;
class RecordsetModel;
class QComboBox;
class QLabel;
class QTableWidget;

// The CIPW norm of the grid's current row, as a window of its own that
// follows the grid: another row, another view, an edited row. The minerals
// written out with their weight per cent, the adjusted analysis they are
// made of, Mg#, the differentiation index and the refined name; or why the
// row has no norm.
class NormWindow : public QWidget {
    Q_OBJECT
public:
    NormWindow(DataControl* data, RecordsetModel* gridModel);

    norm::IronChoice ironChoice() const;
    void setIronChoice(norm::IronChoice choice);
    QTableWidget* minerals() const { return minerals_; }
    QTableWidget* analysis() const { return analysis_; }
    QLabel* summary() const { return summary_; }
    QLabel* nameLine() const { return name_; }
    QLabel* rowLine() const { return row_; }

protected:
    void showEvent(QShowEvent* e) override;

private:
    void followCurrentRow();
    void clear(const QString& why);

    DataControl* data_;
    QLabel* row_;
    QComboBox* iron_;
    QComboBox* names_;
    QLabel* name_;
    QTableWidget* minerals_;
    QTableWidget* analysis_;
    QLabel* summary_;
};
