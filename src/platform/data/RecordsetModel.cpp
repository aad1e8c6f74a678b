#include "RecordsetModel.h"

#include "NumberFormat.h"
#include "platform/db/EngineError.h"
#include "platform/view/View.h"

#include <QColor>
#include <QTimer>

#include <algorithm>
#include <climits>

RecordsetModel::RecordsetModel(View* view, QObject* parent)
    : QAbstractTableModel(parent), view_(view) {
    // Before a new record set, the grid wrote back the edit (the view's
    // pendingEditsDue); what is left of it has nowhere to go.
    connect(view_, &View::recordsetChanging, this, [this] { beginReset(true); });
    connect(view_, &View::recordsetChanged, this, [this] {
        readFailureReported_ = false;
        // A new record set brings new columns without number formats.
        formats_ = QStringList();
        for (int i = 0; i < columnCount(); ++i)
            formats_ << QString();
        endReset();
    });
    connect(view_, &View::rowsChanged, this, [this] {
        beginReset(true);
        endReset();
    });
    // Other users' changes: only the rows concerned; an edit under way
    // names its row by key, and so stays with it wherever it goes.
    connect(view_, &View::rowChangedElsewhere, this, [this](RowRef row) {
        if (row.index >= 0 && row.index < rows_) {
            emit dataChanged(index(static_cast<int>(row.index), 0),
                             index(static_cast<int>(row.index), columnCount() - 1));
            emit rowWritten(row.index);
        }
    });
    connect(view_, &View::rowsRead, this, [this](long first, long last) {
        last = std::min(last, static_cast<long>(rows_) - 1);
        if (first <= last)
            emit dataChanged(index(static_cast<int>(first), 0),
                             index(static_cast<int>(last), columnCount() - 1));
    });
    connect(view_, &View::rowsReadAgain, this,
            [this] { emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1)); });
    connect(view_, &View::rowsMovedElsewhere, this, [this] {
        beginReset(false);
        endReset();
    });
    connect(view_, &View::rowInsertedElsewhere, this, [this](RowRef row) {
        if (row.index > rows_)
            return; // beyond the rows shown yet: taken up with them
        beginInsertRows({}, static_cast<int>(row.index), static_cast<int>(row.index));
        ++rows_;
        endInsertRows();
    });
    connect(view_, &View::rowRemovedElsewhere, this, [this](RowRef row) {
        if (row.index >= 0 && row.index < rows_) {
            beginRemoveRows({}, static_cast<int>(row.index), static_cast<int>(row.index));
            --rows_;
            endRemoveRows();
        }
        if (pending_ && pending_->key == row.key) {
            // The row is gone: its edit has nothing left to be saved into.
            pending_.reset();
            QTimer::singleShot(0, this, [this] {
                emit writeFailed("Another user deleted the row you were editing; your change "
                                 "to it was not saved.");
            });
        }
    });
    connect(view_, &View::rowsKnown, this, [this](bool soon) {
        followRows(soon ? kCommandStep : kGrowStep);
        // Rows shown as still coming whose keys are in now are painted.
        const long read = view_->keysRead();
        if (comingFrom_ >= 0 && comingFrom_ < read && comingFrom_ < rows_) {
            const long to = std::min<long>(read, rows_) - 1;
            emit dataChanged(index(static_cast<int>(comingFrom_), 0),
                             index(static_cast<int>(to), columnCount() - 1));
            comingFrom_ = read < rows_ ? read : -1;
        }
    });
}

void RecordsetModel::beginReset(bool dropEdit) {
    beginResetModel();
    if (dropEdit)
        pending_.reset();
}

void RecordsetModel::endReset() {
    comingFrom_ = -1;
    rows_ = std::min(knownRows(), kCommandStep);
    shownExtra_ = extraCount();
    endResetModel();
    followRows(0); // the rest, if any, between events
}

int RecordsetModel::knownRows() const {
    return static_cast<int>(std::min<long>(view_->knownRowCount(), INT_MAX));
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
    return parent.isValid() ? 0 : fieldCount() + extraCount();
}

int RecordsetModel::fieldCount() const {
    return view_->fieldCount();
}

int RecordsetModel::extraCount() const {
    return values_ && view_->shown() ? values_->count() : 0;
}

void RecordsetModel::setValueColumns(ValueColumns* values) {
    values_ = values;
    shownExtra_ = extraCount();
    connect(values_, &ValueColumns::cellsArrived, this, [this] {
        if (rows_ > 0 && extraCount() > 0)
            emit dataChanged(index(0, fieldCount()),
                             index(rows_ - 1, fieldCount() + extraCount() - 1));
    });
}

void RecordsetModel::valueColumnsChosen(const std::vector<ValueColumns::Choice>& choices) {
    // The grid's own columns stay as they are; those after them change.
    const int first = fieldCount();
    if (shownExtra_ > 0) {
        beginRemoveColumns({}, first, first + shownExtra_ - 1);
        shownExtra_ = 0;
        values_->setChoices({});
        endRemoveColumns();
    }
    if (!choices.empty() && view_->shown()) {
        beginInsertColumns({}, first, first + static_cast<int>(choices.size()) - 1);
        values_->setChoices(choices);
        shownExtra_ = extraCount();
        endInsertColumns();
    } else {
        values_->setChoices(choices);
    }
}

bool RecordsetModel::pendingAt(long row) const {
    if (!pending_ || !view_->shown())
        return false;
    try {
        return view_->keyAt(row) == pending_->key;
    } catch (const engine::EngineError&) {
        return false;
    }
}

bool RecordsetModel::pendingElsewhere(int row) const {
    return pending_ && !pendingAt(row);
}

bool RecordsetModel::coming(long row) const {
    if (row < view_->keysRead())
        return false;
    if (comingFrom_ < 0 || row < comingFrom_)
        comingFrom_ = row;
    return true;
}

QString RecordsetModel::cellText(long row, int column) const {
    if (coming(row))
        return kComing;
    if (column >= fieldCount()) {
        if (!view_->shown() || column - fieldCount() >= extraCount())
            return {};
        try {
            return values_->cell(view_->keyAt(row), column - fieldCount());
        } catch (const std::exception&) {
            return {};
        }
    }
    if (pendingAt(row)) {
        auto it = pending_->changes.find(column);
        if (it != pending_->changes.end())
            return it->second;
    }
    if (!view_->shown())
        return {};
    try {
        return formatCell(view_->valueAt(row, column), formats_.value(column));
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
    // A paint never waits for a server: a row not read yet is shown as
    // coming and read on a thread (an editor, and Text, read it here).
    const bool notAtHand = !coming(index.row()) && index.column() < fieldCount() &&
                           !pendingAt(index.row()) && !view_->rowAtHand(index.row());
    if (role == Qt::DisplayRole && notAtHand) {
        view_->readAhead(index.row());
        return QString(kComing);
    }
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return cellText(index.row(), index.column());
    if (role == Qt::ForegroundRole && (notAtHand || coming(index.row())))
        return QColor(128, 128, 128);
    if (role == Qt::BackgroundRole || role == Qt::ForegroundRole) {
        if (view_->readFailures() && !coming(index.row()) && !view_->rowReadable(index.row()))
            return role == Qt::BackgroundRole ? QVariant(QColor(255, 220, 220))
                                              : QVariant(QColor(160, 0, 0));
    }
    return {};
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation o, int role) const {
    if (role != Qt::DisplayRole || o != Qt::Horizontal)
        return {};
    const int fields = view_->fieldCount();
    if (view_->shown() && section >= fields && section - fields < extraCount())
        return values_->header(section - fields);
    if (section < 0 || section >= fields)
        return {};
    return QString::fromStdString(view_->fieldNames()[static_cast<size_t>(section)]);
}

Qt::ItemFlags RecordsetModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    // The values kept beside the row are shown, not edited here.
    if (index.isValid() && !view_->recordsetReadOnly() && index.column() < fieldCount() &&
        index.row() < view_->keysRead())
        f |= Qt::ItemIsEditable;
    return f;
}

bool RecordsetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || view_->recordsetReadOnly() ||
        index.row() >= view_->keysRead())
        return false;
    const QString text = value.toString();
    if (text == cellText(index.row(), index.column()))
        return true; // unchanged: nothing to write
    if (!pendingAt(index.row())) {
        if (!commitPending())
            return false;
        try {
            pending_ = view_->beginEdit(index.row());
        } catch (const std::exception& e) {
            emit writeFailed(QString::fromStdString(e.what()));
            return false;
        }
    }
    pending_->changes[index.column()] = text;
    emit dataChanged(index, index);
    return true;
}

bool RecordsetModel::submit() {
    return commitPending();
}

long RecordsetModel::repaintKey(std::int64_t key) {
    const long row = view_->indexOf(key, view_->position());
    if (row >= 0 && row < rows_)
        emit dataChanged(index(static_cast<int>(row), 0),
                         index(static_cast<int>(row), columnCount() - 1));
    return row;
}

void RecordsetModel::revert() {
    if (!pending_)
        return;
    const std::int64_t key = pending_->key;
    pending_.reset();
    repaintKey(key);
}

QString RecordsetModel::conflictText(const SaveResult& conflict) {
    QString text = "Another user changed this row since you read it, so your change was not saved.";
    for (const auto& c : conflict.columns) {
        if (c.changedHere)
            text += QString("\n%1: yours \"%2\", theirs \"%3\"").arg(c.name, c.mine, c.theirs);
        else
            text += QString("\n%1 (changed by the other user only): theirs \"%2\", as you read it "
                            "\"%3\"")
                        .arg(c.name, c.theirs, c.read);
    }
    return text;
}

bool RecordsetModel::commitPending(QString* error) {
    if (!pending_)
        return true;
    // Out of the model before anything is asked: a change that reaches the
    // window while the question is open finds no edit to save.
    EditBuffer buffer = std::move(*pending_);
    pending_.reset();
    const auto fail = [&](const QString& msg) {
        repaintKey(buffer.key); // the cells show what is stored
        if (error)
            *error = msg;
        emit writeFailed(msg);
        return false;
    };
    for (;;) {
        const SaveResult r = view_->save(buffer);
        switch (r.kind) {
        case SaveResult::Kind::Saved:
            break;
        case SaveResult::Kind::Failed:
            if (r.code == engine::err::ConnectionLost || r.code == engine::err::CannotOpen) {
                // Nothing of it is lost: it stays in the grid until the
                // server is back.
                pending_ = std::move(buffer);
                if (error)
                    *error = r.text;
                emit writeFailed(r.text + "\n\nYour change stays in the grid and is saved when "
                                          "the server is back.");
                return false;
            }
            return fail(r.text);
        case SaveResult::Kind::Deleted:
            return fail(r.text);
        case SaveResult::Kind::Conflict:
            if (!keepMine_)
                return fail(conflictText(r));
            if (keepMine_(conflictText(r))) {
                // Saved over theirs, knowingly: checked against their version,
                // so that a third change meanwhile is asked about again.
                buffer.version = r.version;
                buffer.read = r.theirs;
                continue;
            }
            break; // theirs stay, and are shown
        }
        break;
    }
    // The cells now show what is stored.
    if (const long row = repaintKey(buffer.key); row >= 0)
        emit rowWritten(row);
    return true;
}

QString RecordsetModel::pendingText() const {
    if (!pending_)
        return {};
    QString text = QString("ID %1").arg(pending_->key);
    for (const auto& [column, value] : pending_->changes)
        text +=
            "\n" + headerData(column, Qt::Horizontal, Qt::DisplayRole).toString() + ": " + value;
    return text;
}

void RecordsetModel::setNumberFormat(int column, const QString& format) {
    if (column < 0 || column >= formats_.size())
        return;
    formats_[column] = format;
    emit dataChanged(index(0, column), index(rowCount() - 1, column));
}
