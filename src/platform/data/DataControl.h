#pragma once

#include "DataRecordset.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

#include <memory>

class QLabel;
namespace engine {
class ChangeFeed;
class Database;
class Recordset;
} // namespace engine

// The data control: it owns the open database and the record set of its
// record source, and offers the small navigation bar users expect (first,
// previous, next, last). DatabaseName, RecordSource and ReadOnly take
// effect at the next Refresh. Failures are thrown as exceptions carrying the
// engine's description; the control never shows a message itself.
class DataControl : public QWidget {
    Q_OBJECT
public:
    explicit DataControl(QWidget* parent = nullptr);
    ~DataControl() override;

    QString DatabaseName() const { return databaseName_; }
    void setDatabaseName(const QString& name);
    QString RecordSource() const { return recordSource_; }
    void setRecordSource(const QString& sql) { recordSource_ = sql; }
    bool ReadOnly() const { return readOnly_; }
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
    QString Caption() const;
    void setCaption(const QString& caption);

    // Runs the record source. On failure the previous record set stays.
    void Refresh();

    // Throws when there is no record set yet.
    DataRecordset& Recordset();
    engine::Recordset* engineRecordset() const { return recordset_.get(); }
    // The open database, once a refresh has opened it.
    std::shared_ptr<engine::Database> database() const { return database_; }
    bool recordsetReadOnly() const;
    // Makes the record set shown read-only at once, without a refresh: for
    // when a refresh that was to do so failed.
    void lockRecordset();
    // Reports rows that became known since the last call.
    void followLoading(bool soon = false);

    // Which record set is shown: a new one at every refresh.
    quint64 generation() const { return generation_; }
    // Runs then once the record set's count is known (RecordCount() then
    // answers at once, or throws what went wrong): at once when it is known
    // within the answer budget, otherwise in a slot when it comes. When
    // another record set is shown first, superseded runs instead.
    void whenCounted(QObject* context, std::function<void()> then,
                     std::function<void()> superseded = {});
    // The same, for every key of the record set read (or failed to be).
    void whenKeysComplete(QObject* context, std::function<void()> then,
                          std::function<void()> superseded = {});
    // How long a command may wait for the engine's answer, holding the
    // event loop, before it finishes in a slot instead.
    static void setAnswerBudget(int milliseconds);
    static int answerBudget();

signals:
    void
    pendingEditsDue(); // before a refresh or a change of rows: the grid writes back a pending edit
    void recordsetChanging(); // a new record set is about to replace the old one
    void recordsetChanged();  // ... and has replaced it
    void rowsChanged();       // rows were added or deleted
    void writableChanged();   // the record set shown became read-only
    void positionChanged(long row);
    // More of the record set's rows are known (its keys are still being
    // read after the first screen was shown). soon: a command is waiting.
    void rowsKnown(bool soon);
    // A move of the navigation bar failed (the engine's description): the
    // window shows it.
    void commandFailed(const QString& description);
    // The shown record set's count is known, or every key is in; each
    // names the record set it belongs to, so that a late one is dropped.
    void countKnown(quint64 generation);
    void keysComplete(quint64 generation);
    // Another user's committed change reached the shown record set (a
    // database on a server): a row's values, a row added at, a row gone
    // from this index.
    void rowChangedElsewhere(long row);
    void rowInsertedElsewhere(long row);
    void rowRemovedElsewhere(long row);
    // ... a changed row moved in the order, or came into the view or left it.
    void rowsMovedElsewhere();

private:
    friend class DataRecordset;
    void navigate(int which);
    struct Waiting {
        quint64 generation;
        bool forKeys;
        QPointer<QObject> context;
        std::function<void()> then;
        std::function<void()> superseded;
    };
    void when(bool forKeys, QObject* context, std::function<void()> then,
              std::function<void()> superseded);
    void answerWaiting();
    void dropWaiting();
    // Other users' changes, heard on the database's change feed.
    void listen();
    void takeChanges();
    void retryListening();

    QString databaseName_;
    QString recordSource_;
    bool readOnly_ = false;
    bool reopen_ = true;
    bool refreshing_ = false;
    std::shared_ptr<engine::Database> database_;
    std::unique_ptr<engine::Recordset> recordset_;
    std::unique_ptr<DataRecordset> proxy_;
    QLabel* caption_;
    class QTimer* loading_;
    quint64 generation_ = 0;
    bool countTold_ = false, keysTold_ = false;
    std::vector<Waiting> waiting_;
    std::unique_ptr<engine::ChangeFeed> feed_;
    class QSocketNotifier* feedNotifier_ = nullptr;
    class QTimer* feedRetry_;
};
