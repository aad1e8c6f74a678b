#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include <functional>
#include <map>

class DataControl;

// The grid's table model over the data control's dynaset. It holds no rows
// itself: the record set reads them by key, a page at a time, into its own
// bounded cache. Cell edits are held for the current row and written back,
// in one statement, when the row is left or submitted.
class RecordsetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordsetModel(DataControl* data, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    bool submit() override;
    void revert() override;

    QString numberFormat(int column) const { return formats_.value(column); }
    void setNumberFormat(int column, const QString& format);
    QString cellText(long row, int column) const;

    // Writes the pending edit of the row, if any. On refusal the pending
    // values are dropped (the cells show what is stored) and the engine's
    // description is given back.
    bool commitPending(QString* error = nullptr);
    bool hasPending() const { return !pending_.empty(); }

    // Asked when another user changed the row since it was read (a shared
    // server): the engine's description of both values; true keeps this
    // user's values, saving them over the other's. Unset, the edit is
    // refused as any failed write is.
    void setConflictQuestion(std::function<bool(const QString&)> keepMine) {
        keepMine_ = std::move(keepMine);
    }

    // Shown in each cell of a row that could not be read.
    static constexpr const char* kUnreadable = "#Unreadable";

signals:
    // A row's edit was written: what is stored in that row has changed.
    // (A number format or a dropped edit changes only what is shown.)
    void rowWritten(long row);
    void writeFailed(const QString& description);
    void readFailed(const QString& description);

private:
    void beginReset();
    void endReset();
    void followRows(int step);
    int knownRows() const;
    DataControl* data_;
    int rows_ = 0; // as the views were last told
    bool catchingUp_ = false;
    static constexpr int kGrowStep = 1000000;
    static constexpr int kCommandStep = 65536;
    mutable bool readFailureReported_ = false;
    QStringList formats_;
    long pendingRow_ = -1;
    std::function<bool(const QString&)> keepMine_;
    std::map<int, QString> pending_;
};
