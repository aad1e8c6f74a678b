#pragma once

#include "platform/view/EditBuffer.h"
#include "platform/view/SaveResult.h"
#include "platform/view/ValueColumns.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

class View;

// The grid's table model over the view's dynaset. It holds no rows itself:
// the record set reads them by key, a page at a time, into its own bounded
// cache. Cell edits are held for one row, named by its key and version
// (never by its place, which another user's change may move), and written
// back in one statement when the row is left or submitted. While a save
// asks the user anything, the edit is out of the model: nothing else can
// save it meanwhile.
class RecordsetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordsetModel(View* view, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    bool submit() override;
    void revert() override;

    // The record set's own columns, and the values kept beside its rows
    // shown after them (none until chosen).
    int fieldCount() const;
    int extraCount() const;
    void setValueColumns(ValueColumns* values);
    void valueColumnsChosen(const std::vector<ValueColumns::Choice>& choices);
    QString numberFormat(int column) const { return formats_.value(column); }
    void setNumberFormat(int column, const QString& format);
    QString cellText(long row, int column) const;

    // Writes the pending edit of the row, if any. On refusal the pending
    // values are dropped (the cells show what is stored) and the engine's
    // description is given back; but when the server could not be reached,
    // the edit is kept (the cells show it) and saved by the next write-back
    // once the server is back.
    bool commitPending(QString* error = nullptr);
    bool hasPending() const { return pending_.has_value(); }
    // The pending edit as text, a line per changed column ("SiO2: 49.5"),
    // after the row's key; empty without one.
    QString pendingText() const;
    // Whether an edit is held for another row than the one at index.
    bool pendingElsewhere(int row) const;

    // Asked when another user changed the row since it was read (a shared
    // server): both values of every column the two differ in; true keeps
    // this user's values, saving them over the other's. Unset, the edit is
    // refused as any failed write is.
    void setConflictQuestion(std::function<bool(const QString&)> keepMine) {
        keepMine_ = std::move(keepMine);
    }

    // The conflict in the user's words: a line per column.
    static QString conflictText(const SaveResult& conflict);

    // Shown in each cell of a row that could not be read.
    static constexpr const char* kUnreadable = "#Unreadable";
    // A row counted whose key is still coming: shown so, never waited for.
    static constexpr const char* kComing = "…";

signals:
    // A row's edit was written: what is stored in that row has changed.
    // (A number format or a dropped edit changes only what is shown.)
    void rowWritten(long row);
    void writeFailed(const QString& description);
    void readFailed(const QString& description);

private:
    void beginReset(bool dropEdit);
    void endReset();
    bool pendingAt(long row) const;
    // Whether the row's key is still coming (and so marks it for repainting).
    bool coming(long row) const;
    long repaintKey(std::int64_t key); // the row's place now; -1 when not shown
    void followRows(int step);
    int knownRows() const;
    View* view_;
    int rows_ = 0; // as the views were last told
    bool catchingUp_ = false;
    static constexpr int kGrowStep = 1000000;
    static constexpr int kCommandStep = 65536;
    mutable bool readFailureReported_ = false;
    // The first row shown as still coming, or -1: repainted as keys come.
    mutable long comingFrom_ = -1;
    QStringList formats_;
    std::function<bool(const QString&)> keepMine_;
    std::optional<EditBuffer> pending_;
    ValueColumns* values_ = nullptr;
    int shownExtra_ = 0; // extra columns the views were last told of
};
