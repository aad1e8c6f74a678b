#include "DBGrid.h"

#include "DataControl.h"
#include "GridHeader.h"
#include "RecordsetModel.h"
#include "Twips.h"
#include "platform/db/EngineError.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyledItemDelegate>

#include <limits>
#include <stdexcept>

namespace {

// Cell editors take a pasted text whole; the engine refuses what a column
// cannot hold, with a message, rather than the box cutting it silently.
class CellDelegate : public QStyledItemDelegate {
public:
    explicit CellDelegate(DBGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            line->setMaxLength(std::numeric_limits<int>::max());
        if (editor)
            emit grid_->editorCreated(editor);
        return editor;
    }

private:
    DBGrid* grid_;
};

} // namespace

DBGrid::DBGrid(QWidget* parent) : QTableView(parent) {
    setHorizontalHeader(new GridHeader(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    verticalHeader()->setVisible(true); // record selectors
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setFixedWidth(Twips::toPixels(240));
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultSectionSize(Twips::toPixels(1440));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the grid for the next control rather than moving cell to cell.
    setTabKeyNavigation(false);
    setItemDelegate(new CellDelegate(this));
}

void DBGrid::setHeadFont(const QFont& font) {
    horizontalHeader()->setFont(font);
    verticalHeader()->setFont(font);
}

void DBGrid::setDataSource(DataControl* data) {
    data_ = data;
    model_ = new RecordsetModel(data->view(), this);
    setModel(model_);
    connect(data->view(), &View::pendingEditsDue, this, [this] { commitEdit(); });
    connect(data->view(), &View::recordsetChanged, this, &DBGrid::rebuildColumns);
    connect(data->view(), &View::positionChanged, this, &DBGrid::followRecordset);
    connect(data->view(), &View::writableChanged, this, &DBGrid::followWritable);
    connect(model_, &RecordsetModel::writeFailed, this, &DBGrid::writeFailed);
    connect(model_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (wantedRow_ >= 0 && wantedRow_ < model_->rowCount())
            followRecordset(wantedRow_);
    });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { wantedRow_ = -1; });
    // Met while painting: the message waits until the paint is over.
    connect(model_, &RecordsetModel::readFailed, this, &DBGrid::readFailed, Qt::QueuedConnection);
}

void DBGrid::rebuildColumns() {
    auto* h = horizontalHeader();
    for (int i = 0; i < model_->columnCount(); ++i)
        h->resizeSection(i, h->defaultSectionSize());
    followWritable();
    col_ = 0;
}

void DBGrid::holdEditing(bool held) {
    editingHeld_ = held;
    followWritable();
}

void DBGrid::followWritable() {
    const bool writable = data_ && !data_->recordsetReadOnly() && !editingHeld_;
    setEditTriggers(writable
                        ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::AnyKeyPressed
                        : QAbstractItemView::NoEditTriggers);
}

void DBGrid::followRecordset(long row) {
    if (syncing_)
        return;
    if (data_ && data_->view()->shown() && row >= model_->rowCount() &&
        row < data_->view()->knownRowCount()) {
        // The model is still growing to the record set's count: the row
        // is made current when it gets there, unless another move comes first.
        wantedRow_ = row;
        return;
    }
    wantedRow_ = -1;
    syncing_ = true;
    if (row >= 0 && row < model_->rowCount()) {
        const QModelIndex idx = model_->index(static_cast<int>(row), std::max(0, col_));
        setCurrentIndex(idx);
        scrollTo(idx);
    } else {
        setCurrentIndex(QModelIndex());
    }
    syncing_ = false;
}

void DBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (current.isValid())
        col_ = current.column();
    if (current.isValid() && model_->pendingElsewhere(current.row()))
        commitEdit();
    if (syncing_ || !current.isValid() || !data_ || !data_->view()->shown())
        return;
    syncing_ = true;
    try {
        data_->Recordset().setAbsolutePosition(current.row());
    } catch (const std::exception&) {
    }
    syncing_ = false;
}

void DBGrid::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        state() != QAbstractItemView::EditingState) {
        commitEdit();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

bool DBGrid::commitEdit() {
    // Take the text out of an open cell editor first.
    if (state() == QAbstractItemView::EditingState) {
        QWidget* editor = QApplication::focusWidget();
        if (editor && editor != this && editor != viewport() && isAncestorOf(editor)) {
            commitData(editor);
            closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
    }
    return model_->commitPending();
}

GridColumn DBGrid::Columns(int index) {
    if (index < 0 || index >= ColumnCount())
        throw std::out_of_range("Invalid column index: the grid has no column " +
                                std::to_string(index) + ".");
    return GridColumn(*this, index);
}

// The record set's columns; the values shown after them are no columns of
// the grid's own.
int DBGrid::ColumnCount() const {
    return model_ ? model_->fieldCount() : 0;
}

int DBGrid::Col() const {
    return col_;
}

void DBGrid::setCol(int column) {
    // Without a record set (a start-up that failed) the true cause is that
    // there is no row at all.
    if (!data_ || !data_->view()->shown())
        throw engine::EngineError(engine::err::NoCurrentRecord, "No current record.");
    if (column < 0 || column >= ColumnCount())
        throw std::out_of_range("Invalid column index: the grid has no column " +
                                std::to_string(column) + ".");
    col_ = column;
    const QModelIndex cur = currentIndex();
    if (cur.isValid()) {
        syncing_ = true;
        setCurrentIndex(model_->index(cur.row(), column));
        syncing_ = false;
    }
}

long DBGrid::Row() const {
    return data_ ? data_->view()->position() : -1;
}

void DBGrid::setRow(long row) {
    if (!data_ || !data_->view()->shown())
        throw engine::EngineError(engine::err::NoCurrentRecord, "No current record.");
    data_->Recordset().setAbsolutePosition(row);
}

long DBGrid::RowCount() const {
    return model_ ? model_->rowCount() : 0;
}

QString DBGrid::Text() const {
    const long row = Row();
    if (row < 0 || row >= RowCount())
        throw engine::EngineError(engine::err::NoCurrentRecord, "No current record.");
    data_->view()->valueAt(row, col_); // a row that cannot be read says why
    return model_->cellText(row, col_);
}

int GridColumn::Width() const {
    return Twips::fromPixels(grid_.horizontalHeader()->sectionSize(index_));
}

void GridColumn::setWidth(int twips) {
    grid_.horizontalHeader()->resizeSection(index_, Twips::toPixels(twips));
}

QString GridColumn::NumberFormat() const {
    return grid_.model_->numberFormat(index_);
}

void GridColumn::setNumberFormat(const QString& format) {
    grid_.model_->setNumberFormat(index_, format);
}
