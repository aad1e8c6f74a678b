#pragma once

#include "EditBuffer.h"
#include "RowRef.h"
#include "SaveResult.h"
#include "ViewSnapshot.h"
#include "platform/db/ChangeFeed.h"
#include "platform/db/Value.h"

#include <QObject>

#include <QPointer>
#include <QString>
#include <deque>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ChangeListener;
class DataRecordset;
class QTimer;
namespace engine {
class Database;
class Recordset;
} // namespace engine

// What a window shows of the database: the open database, the record set
// of its record source, the generation that names that record set, the
// waits for its count and keys, and other users' changes heard on the
// database's change feed. Widget-free, so that every window, controller and
// test holds rows the same way.
//
// Invariants: on the user-interface thread the view only asks the engine
// what it can answer without waiting (the waits of the loading threads stay
// in the engine); a continuation runs for the generation it was asked for
// or is told it was superseded; rows are named by key (RowRef, EditBuffer)
// whenever they are held beyond one signal's delivery.
class View : public QObject {
    Q_OBJECT
public:
    explicit View(QObject* parent = nullptr);
    ~View() override;

    QString databaseName() const { return databaseName_; }
    void setDatabaseName(const QString& name);
    // Shows the record source of a database opened already (a command
    // line's, logged on once): no other is opened, and other users'
    // changes are not followed, since nothing stays shown.
    void useDatabase(std::shared_ptr<engine::Database> db);
    QString recordSource() const { return recordSource_; }
    void setRecordSource(const QString& sql) { recordSource_ = sql; }
    bool readOnly() const { return readOnly_; }
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }

    // Runs the record source. On failure (thrown in the engine's words)
    // the previous record set stays.
    void refresh();
    // The same, without waiting for the first screen of rows: the previous
    // record set stays shown until it comes (or, within the answer budget,
    // at once). A statement that cannot run throws here; what the rows'
    // reading meets before their first screen is told to the waits asked
    // for after this call (their failed), and the previous set stays.
    void beginRefresh();
    // Whether a record set is opened and not shown yet.
    bool opening() const { return opening_ != nullptr; }

    // Throws when there is no record set yet.
    DataRecordset& recordsetProxy();
    engine::Recordset* recordset() const { return recordset_.get(); }
    std::shared_ptr<engine::Database> database() const { return database_; }
    bool recordsetReadOnly() const;
    // Makes the record set shown read-only at once, without a refresh.
    void lockRecordset();
    // Reports rows that became known since the last call.
    void followLoading(bool soon = false);

    // What a window reads of the record set shown, never waiting for the
    // loading threads: nothing, 0 or empty while there is none.
    bool shown() const { return recordset_ != nullptr; }
    long knownRowCount() const;
    bool keysComplete() const;
    // Rows below this have their keys; a row after it is still coming,
    // and reading it would wait: the grid shows a placeholder instead.
    long keysRead() const;
    // The exact count, or -1 while it is not known yet (whenCounted()
    // says when it is). Throws when the rows could not be counted.
    long count() const;
    int fieldCount() const;
    const std::vector<std::string>& fieldNames() const;
    std::string table() const;
    long position() const;
    // A cell of a row among the keys read (keysRead()): the row is read by
    // its key when it is not at hand. Throws NoCurrentRecord beyond them,
    // and the engine's description of why a row cannot be read.
    const engine::Value& valueAt(long index, int column);
    bool rowReadable(long index);
    // Whether the row's cells are read, so that valueAt answers without a
    // round trip to a server; when not, readAhead() reads them on a thread
    // and rowsRead says when they are in. Within an answer budget (tests)
    // every row is at hand: it is read when asked for.
    bool rowAtHand(long index) const;
    void readAhead(long index);
    bool readFailures() const;
    // The key at index; throws NoCurrentRecord beyond the keys read.
    std::int64_t keyAt(long index) const;
    // What a reader off this thread takes: empty until every key is read
    // (whenKeysComplete() says when). Throws when they could not be read.
    std::optional<ViewSnapshot> snapshot() const;

    quint64 generation() const { return generation_; }
    using Failed = std::function<void(const QString& description)>;
    // Runs then once the record set's count is known, or every key is in:
    // at once when that comes within the answer budget, otherwise in a slot
    // when it comes. When another record set is shown first, superseded
    // runs instead. Asked while a set is opening, the wait is for that set;
    // failed runs when it cannot be shown (superseded when there is none).
    void whenCounted(QObject* context, std::function<void()> then,
                     std::function<void()> superseded = {}, Failed failed = {});
    void whenKeysComplete(QObject* context, std::function<void()> then,
                          std::function<void()> superseded = {}, Failed failed = {});
    static void setAnswerBudget(int milliseconds);
    static int answerBudget();
    // How long one turn applies other users' changes before the next turn
    // goes on (at least one change a turn).
    static void setApplySlice(int milliseconds);

    // The row at index as an edit begins on it: its key, its version and
    // its cells as read. Throws when the row cannot be read or edited.
    EditBuffer beginEdit(long index);
    // Saves the buffer into its row, wherever that row now is; never
    // asks anything.
    SaveResult save(const EditBuffer& buffer);
    // Where the row with this key stands among the keys read so far (near
    // tried first); -1 when nowhere. Never waits.
    long indexOf(std::int64_t key, long near = -1) const;

signals:
    void pendingEditsDue(); // before a refresh or a change of rows
    void recordsetChanging();
    void recordsetChanged();
    void rowsChanged(); // this user added or deleted rows
    void writableChanged();
    void positionChanged(long row);
    void rowsKnown(bool soon);
    void rowsRead(long first, long last); // read ahead, now at hand
    void countKnown(quint64 generation);
    void keysComplete(quint64 generation);
    // Another user's committed change reached the shown record set.
    void rowChangedElsewhere(RowRef row);
    void rowInsertedElsewhere(RowRef row);
    void rowRemovedElsewhere(RowRef row);
    // ... a changed row moved in the order, or came into the view or left it.
    void rowsMovedElsewhere(quint64 generation);
    // What others did while the feed was down was not heard: every row
    // shown is to be read again.
    void rowsReadAgain(quint64 generation);

private:
    friend class DataRecordset;
    struct Waiting {
        quint64 generation;
        bool forKeys;
        QPointer<QObject> context;
        std::function<void()> then;
        std::function<void()> superseded;
        Failed failed;
    };
    void when(bool forKeys, QObject* context, std::function<void()> then,
              std::function<void()> superseded, Failed failed);
    void answerWaiting();
    // Every wait but those for generation keep is superseded.
    void dropWaiting(quint64 keep = 0);
    void open(bool waitForFirstScreen);
    std::shared_ptr<engine::Database> openDatabase();
    void show(std::shared_ptr<engine::Database> db, std::unique_ptr<engine::Recordset> rs);
    void followOpening();
    // The set still opening is given up: its waits hear failed (or
    // superseded when description is empty).
    void dropOpening(const QString& description = {});
    void listen();
    void readAgain();
    void applyChanges(const std::vector<engine::ChangeFeed::Change>& changes);
    void applySlice();
    void finishApplying();

    QString databaseName_;
    QString recordSource_;
    bool readOnly_ = false;
    bool reopen_ = true;
    bool refreshing_ = false;
    std::shared_ptr<engine::Database> database_;
    std::unique_ptr<engine::Recordset> recordset_;
    std::unique_ptr<DataRecordset> proxy_;
    // A set opened by beginRefresh whose first screen is still coming; it
    // is shown as generation_ + 1.
    std::unique_ptr<engine::Recordset> opening_;
    std::shared_ptr<engine::Database> openingDatabase_;
    quint64 openingTurn_ = 0; // names the opening an answer of its loader is for
    QTimer* loading_;
    quint64 generation_ = 0;
    bool countTold_ = false, keysTold_ = false;
    std::vector<Waiting> waiting_;
    // The database's change feed, read on a thread of its own.
    std::unique_ptr<ChangeListener> listener_;
    // Adds and deletions heard before the set's keys were all read: placed
    // once they are, never dropped.
    std::vector<engine::ChangeFeed::Change> deferred_;
    // Changes heard and not yet applied: a turn applies them for at most
    // setApplySlice's time, the next turn goes on, and the feed reads its
    // next batch once all are.
    std::deque<engine::ChangeFeed::Change> applying_;
    bool applyScheduled_ = false;
    bool applyingPrepared_ = false;
    bool preparing_ = false;  // their reading goes on in the next turn
    quint64 applyingFor_ = 0; // the set they were prepared for
    int heardBatches_ = 0;
};
