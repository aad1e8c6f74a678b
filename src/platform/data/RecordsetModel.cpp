#include "RecordsetModel.h"

#include "DataControl.h"
#include "NumberFormat.h"
#include "platform/db/EngineError.h"
#include "platform/db/Recordset.h"

#include <QColor>
#include <QTimer>

#include <climits>

RecordsetModel::RecordsetModel(DataControl* data, QObject* parent)
    : QAbstractTableModel(parent), data_(data) {
    connect(data_, &DataControl::recordsetChanging, this, &RecordsetModel::beginReset);
    connect(data_, &DataControl::recordsetChanged, this, [this] {
        readFailureReported_ = false;
        // A new record set brings new columns without number formats.
        formats_ = QStringList();
        for (int i = 0; i < columnCount(); ++i)
            formats_ << QString();
        endReset();
    });
    connect(data_, &DataControl::rowsChanged, this, [this] {
        beginReset();
        endReset();
    });
    // Other users' changes: only the rows concerned, and an edit under way
    // stays with its row.
    connect(data_, &DataControl::rowChangedElsewhere, this, [this](long row) {
        if (row < 0) {
            emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1));
            return;
        }
        if (row < rows_) {
            emit dataChanged(index(static_cast<int>(row), 0),
                             index(static_cast<int>(row), columnCount() - 1));
            emit rowWritten(row);
        }
    });
    connect(data_, &DataControl::rowsMovedElsewhere, this, [this] {
        // Rows between two places changed: shown again from what is read;
        // an edit under way is written back first, as before any change
        // of rows.
        commitPending();
        beginReset();
        endReset();
    });
    connect(data_, &DataControl::rowInsertedElsewhere, this, [this](long row) {
        if (row > rows_)
            return; // beyond the rows shown yet: taken up with them
        beginInsertRows({}, static_cast<int>(row), static_cast<int>(row));
        ++rows_;
        if (pendingRow_ >= row)
            ++pendingRow_;
        endInsertRows();
    });
    connect(data_, &DataControl::rowRemovedElsewhere, this, [this](long row) {
        if (row >= rows_)
            return;
        beginRemoveRows({}, static_cast<int>(row), static_cast<int>(row));
        --rows_;
        const bool editGone = pendingRow_ == row;
        if (editGone) {
            // The row is gone: its edit has nothing left to be saved into.
            pending_.clear();
            pendingRow_ = -1;
        } else if (pendingRow_ > row) {
            --pendingRow_;
        }
        endRemoveRows();
        if (editGone)
            QTimer::singleShot(0, this, [this] {
                emit writeFailed("Another user deleted the row you were editing; your change "
                                 "to it was not saved.");
            });
    });
    connect(data_, &DataControl::rowsKnown, this,
            [this](bool soon) { followRows(soon ? kCommandStep : kGrowStep); });
}

void RecordsetModel::beginReset() {
    beginResetModel();
    pending_.clear();
    pendingRow_ = -1;
}

void RecordsetModel::endReset() {
    rows_ = std::min(knownRows(), kCommandStep);
    endResetModel();
    followRows(0); // the rest, if any, between events
}

int RecordsetModel::knownRows() const {
    auto* rs = data_->engineRecordset();
    return rs ? static_cast<int>(std::min<long>(rs->knownRowCount(), INT_MAX)) : 0;
}

void RecordsetModel::followRows(int step) {
    const int now = knownRows();
    if (now > rows_ && step > 0) {
        // The views keep a little for every row; ten million rows at once
        // would hold the event loop for a quarter of a second. A command
        // goes on after a small step; the rest follows between events.
        const int to = std::min(now, rows_ + step);
        beginInsertRows({}, rows_, to - 1);
        rows_ = to;
        endInsertRows();
    }
    if (now > rows_) {
        if (!catchingUp_) {
            catchingUp_ = true;
            QTimer::singleShot(0, this, [this] {
                catchingUp_ = false;
                followRows(kGrowStep);
            });
        }
    } else if (now < rows_) {
        beginRemoveRows({}, now, rows_ - 1);
        rows_ = now;
        endRemoveRows();
    }
}

int RecordsetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int RecordsetModel::columnCount(const QModelIndex& parent) const {
    auto* rs = data_->engineRecordset();
    return parent.isValid() || !rs ? 0 : rs->FieldCount();
}

QString RecordsetModel::cellText(long row, int column) const {
    if (row == pendingRow_) {
        auto it = pending_.find(column);
        if (it != pending_.end())
            return it->second;
    }
    auto* rs = data_->engineRecordset();
    if (!rs)
        return {};
    try {
        return formatCell(rs->valueAt(row, column), formats_.value(column));
    } catch (const engine::EngineError& e) {
        if (e.number() == engine::err::NoCurrentRecord)
            return {}; // a row that vanished shows empty rather than failing the paint
        // A row that could not be read is marked as such, never shown as
        // empty data; the user is told once why.
        if (!readFailureReported_) {
            readFailureReported_ = true;
            emit const_cast<RecordsetModel*>(this)->readFailed(QString::fromStdString(e.what()));
        }
        return kUnreadable;
    }
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return cellText(index.row(), index.column());
    if (role == Qt::BackgroundRole || role == Qt::ForegroundRole) {
        auto* rs = data_->engineRecordset();
        if (rs && rs->readFailures() && !rs->rowReadable(index.row()))
            return role == Qt::BackgroundRole ? QVariant(QColor(255, 220, 220))
                                              : QVariant(QColor(160, 0, 0));
    }
    return {};
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation o, int role) const {
    if (role != Qt::DisplayRole || o != Qt::Horizontal)
        return {};
    auto* rs = data_->engineRecordset();
    if (!rs || section < 0 || section >= rs->FieldCount())
        return {};
    return QString::fromStdString(rs->FieldNames()[static_cast<size_t>(section)]);
}

Qt::ItemFlags RecordsetModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && !data_->recordsetReadOnly())
        f |= Qt::ItemIsEditable;
    return f;
}

bool RecordsetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || data_->recordsetReadOnly())
        return false;
    const QString text = value.toString();
    if (text == cellText(index.row(), index.column()))
        return true; // unchanged: nothing to write
    if (pendingRow_ != index.row() && !commitPending())
        return false;
    pendingRow_ = index.row();
    pending_[index.column()] = text;
    emit dataChanged(index, index);
    return true;
}

bool RecordsetModel::submit() {
    return commitPending();
}

void RecordsetModel::revert() {
    if (pendingRow_ < 0)
        return;
    const long row = pendingRow_;
    pending_.clear();
    pendingRow_ = -1;
    emit dataChanged(index(static_cast<int>(row), 0),
                     index(static_cast<int>(row), columnCount() - 1));
}

bool RecordsetModel::commitPending(QString* error) {
    if (pending_.empty() || pendingRow_ < 0)
        return true;
    auto* rs = data_->engineRecordset();
    std::vector<std::pair<int, std::string>> changes;
    for (const auto& [col, text] : pending_)
        changes.emplace_back(col, text.toStdString());
    try {
        try {
            rs->updateRow(pendingRow_, changes);
        } catch (const engine::EngineError& e) {
            if (e.number() != engine::err::WriteConflict || !keepMine_)
                throw;
            // The set holds the other user's row now: keeping one's own
            // values is the same save again, checked against that version.
            if (!keepMine_(QString::fromStdString(e.what()))) {
                const long row = pendingRow_;
                revert(); // theirs stay, and are shown
                emit rowWritten(row);
                return true;
            }
            rs->updateRow(pendingRow_, changes);
        }
    } catch (const std::exception& e) {
        revert();
        const QString msg = QString::fromStdString(e.what());
        if (error)
            *error = msg;
        emit writeFailed(msg);
        return false;
    }
    const long written = pendingRow_;
    revert(); // the cells now show what was stored
    emit rowWritten(written);
    return true;
}

void RecordsetModel::setNumberFormat(int column, const QString& format) {
    if (column < 0 || column >= formats_.size())
        return;
    formats_[column] = format;
    emit dataChanged(index(0, column), index(rowCount() - 1, column));
}
