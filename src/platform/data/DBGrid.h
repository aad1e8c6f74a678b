#pragma once

#include "GridColumn.h"

#include <QTableView>

class DataControl;
class RecordsetModel;

// The data-bound grid: shows the data control's record set, a row per
// record with record selectors, the current row highlighted. Its columns
// are rebuilt from the record set at every refresh, with default widths and
// no number format. While the record set is writable, cells can be edited;
// an edit is written back when the row is left, Enter is pressed, or the
// data control refreshes.
class DBGrid : public QTableView {
    Q_OBJECT
public:
    explicit DBGrid(QWidget* parent = nullptr);

    void setDataSource(DataControl* data);
    RecordsetModel* recordsetModel() const { return model_; }

    // Throws std::out_of_range past the last column.
    GridColumn Columns(int index);
    int ColumnCount() const;

    int Col() const;
    void setCol(int column);
    long Row() const;
    void setRow(long row);
    // The current cell's text as the grid displays it. Throws when there is
    // no current row.
    QString Text() const;
    long RowCount() const;

    // Writes a pending edit now; false when it was refused.
    bool commitEdit();
    // No cell can be edited while held (a command is under way).
    void holdEditing(bool held);

    // The font of the column headers.
    void setHeadFont(const QFont& font);

signals:
    void writeFailed(const QString& description);
    // Rows of the record set could not be read; once per record set, after
    // the paint that met them.
    void readFailed(const QString& description);
    // A cell editor was opened, so that the window can give it its keys.
    void editorCreated(QWidget* editor);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    friend class GridColumn;
    void rebuildColumns();
    void followWritable();
    void followRecordset(long row);

    DataControl* data_ = nullptr;
    RecordsetModel* model_ = nullptr;
    int col_ = 0;
    bool syncing_ = false;
    long wantedRow_ = -1;
    bool editingHeld_ = false;
};
