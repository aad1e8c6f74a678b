#include "View.h"

#include "ChangeListener.h"
#include "DataRecordset.h"
#include "platform/db/ChangeFeed.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Recordset.h"
#include "platform/db/SqlText.h"

#include <QElapsedTimer>

#include <QTimer>

#include <chrono>
#include <utility>

namespace {

// The program never holds its events for an answer: the first rows are
// painted at once, the count when it comes (tests wait longer, to see a
// command finished when its handler returns).
int budgetMs = 0;
// A turn that applies other users' changes holds the window at most about
// this long (and one change beyond).
int sliceMs = 30;

} // namespace

View::View(QObject* parent) : QObject(parent) {
    qRegisterMetaType<RowRef>();
    loading_ = new QTimer(this);
    loading_->setInterval(40);
    connect(loading_, &QTimer::timeout, this, [this] { followLoading(); });
}

// The listener goes first: nothing it still delivers reaches a view half
// destroyed.
View::~View() {
    listener_.reset();
}

void View::setDatabaseName(const QString& name) {
    databaseName_ = name;
    reopen_ = true;
}

void View::useDatabase(std::shared_ptr<engine::Database> db) {
    listener_.reset();
    database_ = std::move(db);
    reopen_ = false;
}

bool View::recordsetReadOnly() const {
    return !recordset_ || recordset_->ReadOnly();
}

void View::lockRecordset() {
    readOnly_ = true;
    if (recordset_ && !recordset_->ReadOnly()) {
        recordset_->makeReadOnly();
        emit writableChanged();
    }
}

void View::refresh() {
    open(true);
}

void View::beginRefresh() {
    open(false);
}

void View::open(bool wait) {
    // A refresh waiting for the engine lets the window paint; anything that
    // asks for another one meanwhile (closing the window) gets this one.
    if (refreshing_)
        return;
    refreshing_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{refreshing_};
    emit pendingEditsDue();
    std::shared_ptr<engine::Database> db = openDatabase();
    auto rs = db->OpenRecordset(recordSource_.toStdString(), readOnly_, wait);
    dropOpening(); // read before this one
    if (rs->settleOpening(std::chrono::milliseconds(wait ? 0 : budgetMs))) {
        show(std::move(db), std::move(rs));
        return;
    }
    opening_ = std::move(rs);
    openingDatabase_ = std::move(db);
    const quint64 turn = ++openingTurn_;
    // Always in a slot: what the set meets is told to the waits its
    // command asks for once this returns.
    const auto follow = [this, turn] {
        QMetaObject::invokeMethod(
            this,
            [this, turn] {
                if (turn == openingTurn_ && opening_)
                    followOpening();
            },
            Qt::QueuedConnection);
    };
    opening_->setOnChange(follow);
    follow(); // its first screen may have come before it was listened to
}

void View::followOpening() {
    try {
        if (!opening_->settleOpening(std::chrono::milliseconds(0)))
            return;
    } catch (const engine::EngineError& e) {
        dropOpening(QString::fromStdString(e.what()));
        return;
    }
    emit pendingEditsDue(); // an edit made in the rows shown meanwhile
    if (!opening_)
        return; // a wait answered there began another refresh
    auto rs = std::move(opening_);
    show(std::exchange(openingDatabase_, nullptr), std::move(rs));
    answerWaiting(); // what waited for it, as soon as it can be answered
}

void View::dropOpening(const QString& description) {
    if (!opening_)
        return;
    ++openingTurn_;
    opening_.reset();
    openingDatabase_.reset();
    const quint64 lost = generation_ + 1;
    std::vector<Waiting> dropped;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (it->generation == lost) {
            dropped.push_back(std::move(*it));
            it = waiting_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& w : dropped) {
        if (!w.context)
            continue;
        if (!description.isEmpty() && w.failed)
            w.failed(description);
        else if (w.superseded)
            w.superseded();
    }
}

std::shared_ptr<engine::Database> View::openDatabase() {
    if (!reopen_ && database_)
        return database_;
    if (databaseName_.isEmpty())
        throw engine::EngineError(3024, "Could not find file ''.");
    return engine::DBEngine::instance().Workspaces(0).OpenDatabase(databaseName_.toStdString());
}

void View::show(std::shared_ptr<engine::Database> db, std::unique_ptr<engine::Recordset> rs) {
    emit recordsetChanging();
    const bool newDatabase = db != database_;
    database_ = std::move(db);
    if (newDatabase)
        listen();
    reopen_ = false;
    proxy_.reset();
    recordset_ = std::move(rs);
    deferred_.clear(); // the new set was read after them
    ++generation_;
    finishApplying(); // and after the changes still to be applied
    countTold_ = keysTold_ = false;
    dropWaiting(generation_); // what waited for the old set is superseded
    // The loading threads say when more is known; the answer is taken up
    // here, on this thread, for the set of that moment only.
    const quint64 generation = generation_;
    recordset_->setOnChange([this, generation] {
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == generation_)
                    followLoading();
            },
            Qt::QueuedConnection);
    });
    proxy_ = std::make_unique<DataRecordset>(*this, *recordset_);
    emit recordsetChanged();
    emit positionChanged(recordset_->AbsolutePosition());
    // Always followed to the end: a slot above may have waited for every
    // key already (the diagram reads the whole view), and the grid must
    // still be told of the rows beyond its first screen.
    loading_->start();
}

DataRecordset& View::recordsetProxy() {
    if (!proxy_)
        throw engine::EngineError(91, "Object variable or With block variable not set.");
    return *proxy_;
}

long View::knownRowCount() const {
    return recordset_ ? recordset_->knownRowCount() : 0;
}

long View::keysRead() const {
    return recordset_ ? recordset_->keysRead() : 0;
}

bool View::keysComplete() const {
    return !recordset_ || recordset_->keysComplete();
}

long View::count() const {
    if (!recordset_)
        return 0;
    return recordset_->countKnown() ? recordset_->RecordCount() : -1;
}

int View::fieldCount() const {
    return recordset_ ? recordset_->FieldCount() : 0;
}

const std::vector<std::string>& View::fieldNames() const {
    static const std::vector<std::string> none;
    return recordset_ ? recordset_->FieldNames() : none;
}

std::string View::table() const {
    return recordset_ ? recordset_->Table() : std::string();
}

long View::position() const {
    return recordset_ ? recordset_->AbsolutePosition() : -1;
}

const engine::Value& View::valueAt(long index, int column) {
    if (!recordset_ || index < 0 || index >= recordset_->keysRead())
        throw engine::EngineError(engine::err::NoCurrentRecord, "No current record.");
    return recordset_->valueAt(index, column);
}

bool View::rowReadable(long index) {
    return recordset_ && recordset_->rowReadable(index);
}

bool View::rowAtHand(long index) const {
    return !recordset_ || budgetMs > 0 || recordset_->rowAtHand(index);
}

void View::readAhead(long index) {
    if (!recordset_)
        return;
    const quint64 generation = generation_;
    recordset_->readAhead(index, [this, generation] {
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation != generation_ || !recordset_)
                    return;
                for (const auto& [first, last] : recordset_->takeRowsRead())
                    emit rowsRead(first, last);
            },
            Qt::QueuedConnection);
    });
}

bool View::readFailures() const {
    return recordset_ && recordset_->readFailures();
}

std::int64_t View::keyAt(long index) const {
    if (!recordset_ || index < 0 || index >= recordset_->keysRead())
        throw engine::EngineError(engine::err::NoCurrentRecord, "No current record.");
    return recordset_->keyAt(index);
}

std::optional<ViewSnapshot> View::snapshot() const {
    if (!recordset_)
        return std::nullopt;
    auto keys = recordset_->sharedKeys();
    if (!keys)
        return std::nullopt;
    return ViewSnapshot{database_, recordset_->Table(), std::move(keys), generation_};
}

long View::indexOf(std::int64_t key, long near) const {
    return recordset_ ? recordset_->findKey(key, near) : -1;
}

EditBuffer View::beginEdit(long index) {
    if (!recordset_ || index < 0 || index >= recordset_->keysRead())
        throw engine::EngineError(engine::err::NoCurrentRecord, "No current record.");
    EditBuffer b;
    b.table = recordset_->Table();
    b.key = recordset_->keyAt(index);
    b.version = recordset_->versionAt(index);
    for (int c = 0; c < recordset_->FieldCount(); ++c)
        b.read.push_back(recordset_->valueAt(index, c).storedText());
    return b;
}

SaveResult View::save(const EditBuffer& buffer) {
    SaveResult result;
    if (buffer.empty())
        return result;
    // A buffer names its table: a view switched to another since cannot
    // take it (the same key there is another sample).
    if (!recordset_ ||
        QString::fromStdString(recordset_->Table())
                .compare(QString::fromStdString(buffer.table), Qt::CaseInsensitive) != 0) {
        result.kind = SaveResult::Kind::Failed;
        result.code = engine::err::NoCurrentRecord;
        result.text = "Another table is shown now, so your change was not saved.";
        return result;
    }
    engine::Recordset::Changes changes;
    for (const auto& [column, text] : buffer.changes)
        changes.emplace_back(column, text.toStdString());
    engine::Recordset::RowWrite w;
    try {
        w = recordset_->writeRow(buffer.key, buffer.version, changes,
                                 recordset_->AbsolutePosition());
    } catch (const engine::EngineError& e) {
        result.kind = SaveResult::Kind::Failed;
        result.code = e.number();
        result.text = QString::fromStdString(e.what());
        return result;
    }
    using Outcome = engine::Recordset::RowWrite::Outcome;
    if (w.outcome == Outcome::Deleted) {
        result.kind = SaveResult::Kind::Deleted;
        result.code = engine::err::RowDeleted;
        result.text = "The row was deleted since you read it, so your change was not saved.";
        return result;
    }
    if (w.outcome == Outcome::Saved)
        return result;
    result.kind = SaveResult::Kind::Conflict;
    result.version = w.version;
    const auto& names = recordset_->FieldNames();
    for (std::size_t c = 0; c < w.theirs.size(); ++c) {
        SaveResult::Column col;
        col.column = static_cast<int>(c);
        col.name = QString::fromStdString(names.at(c));
        col.read = c < buffer.read.size() ? QString::fromStdString(buffer.read[c]) : QString();
        col.theirs = QString::fromStdString(w.theirs[c].storedText());
        result.theirs.push_back(w.theirs[c].storedText());
        const auto mine = buffer.changes.find(col.column);
        col.changedHere = mine != buffer.changes.end();
        col.mine = col.changedHere ? mine->second : col.read;
        // Every column this user changed, and every one the other user
        // changed: the question names them all, with both values.
        if (col.changedHere || col.theirs != col.read)
            result.columns.push_back(std::move(col));
    }
    return result;
}

void View::listen() {
    listener_.reset();
    heardBatches_ = 0;
    applying_.clear(); // of another database
    std::unique_ptr<engine::ChangeFeed> feed;
    try {
        // Made here, so that whatever is committed once the set is shown
        // is heard; read, and tried again, on the listener's thread.
        feed = database_ ? database_->listen() : nullptr;
    } catch (const engine::EngineError&) {
        return; // no live view; the rows shown stay as read
    }
    if (!feed)
        return;
    listener_ = std::make_unique<ChangeListener>(std::move(feed));
    // Each batch is applied in a turn of its own, as it was taken.
    connect(listener_.get(), &ChangeListener::changesHeard, this,
            [this](const ChangeBatch& changes, bool missed) {
                if (missed)
                    readAgain();
                ++heardBatches_;
                applyChanges(changes);
            });
    // What others committed while the server was away was not heard: the
    // rows shown are read again (the keys stay until the next refresh).
    connect(listener_.get(), &ChangeListener::reconnected, this, [this](bool missed) {
        if (missed)
            readAgain();
    });
}

void View::readAgain() {
    if (!recordset_)
        return;
    recordset_->clearCache();
    emit rowsReadAgain(generation_);
}

void View::applyChanges(const std::vector<engine::ChangeFeed::Change>& changes) {
    if (recordset_) {
        const std::string table = engine::asciiLower(recordset_->Table());
        for (const auto& c : changes)
            if (engine::asciiLower(c.table) == table)
                applying_.push_back(c);
    }
    applyingPrepared_ = false;
    applySlice();
}

void View::applySlice() {
    applyScheduled_ = false;
    if (!recordset_)
        applying_.clear();
    // What applying the changes asks the server is read for all of them
    // at once, for the set they are applied to.
    // The reading goes on over turns of its own where it is long (a
    // search for the places of many rows): the window answers meanwhile.
    auto later = [this] {
        applyScheduled_ = true;
        QTimer::singleShot(0, this, [this] {
            if (applyScheduled_)
                applySlice();
        });
    };
    if (!applying_.empty() && !applyingPrepared_) {
        preparing_ = !recordset_->prepareChanges({applying_.begin(), applying_.end()});
        applyingPrepared_ = true;
        applyingFor_ = generation_;
        if (preparing_)
            return later();
    } else if (preparing_ && recordset_ && applyingFor_ == generation_) {
        if (!recordset_->prepareMore())
            return later();
    }
    preparing_ = false;
    QElapsedTimer slice;
    slice.start();
    bool applied = false;
    const quint64 generation = generation_;
    for (int done = 0; !applying_.empty() && recordset_ && generation_ == generation; ++done) {
        if (done > 0 && slice.elapsed() >= sliceMs) {
            later(); // the rest in the next turn
            break;
        }
        const engine::ChangeFeed::Change c = applying_.front();
        applying_.pop_front();
        long row = -1;
        try {
            row = recordset_->applyChange(c.kind, c.key);
        } catch (const engine::EngineError&) {
            continue; // shown as it was; read again when next needed
        }
        if (row == engine::Recordset::kReload && !recordset_->keysComplete()) {
            deferred_.push_back(c);
            continue;
        }
        if (row == engine::Recordset::kMoved) {
            applied = true;
            emit rowsMovedElsewhere(generation_);
            continue;
        }
        if (row < 0)
            continue;
        applied = true;
        const RowRef ref{generation_, c.key, row};
        if (c.kind == engine::ChangeFeed::Kind::Changed)
            emit rowChangedElsewhere(ref);
        else if (c.kind == engine::ChangeFeed::Kind::Inserted)
            emit rowInsertedElsewhere(ref);
        else
            emit rowRemovedElsewhere(ref);
    }
    // The current row stays with its key, its place moved or its values
    // changed: whatever follows the current row (the grid's selection, the
    // Norm window) follows it again.
    if (applied && recordset_)
        emit positionChanged(recordset_->AbsolutePosition());
    if (!applyScheduled_)
        finishApplying(); // or a new set, read after them, came meanwhile
}

void View::finishApplying() {
    applying_.clear();
    applyScheduled_ = false;
    if (recordset_ && applyingPrepared_ && applyingFor_ == generation_)
        recordset_->prepareChanges({});
    applyingPrepared_ = false;
    preparing_ = false;
    // Every batch heard is applied: the next may be read.
    for (; heardBatches_ > 0; --heardBatches_)
        if (listener_)
            listener_->applied();
}

void View::followLoading(bool soon) {
    if (!recordset_)
        return;
    if (recordset_->keysComplete()) {
        loading_->stop();
        if (!deferred_.empty())
            applyChanges(std::exchange(deferred_, {}));
    }
    emit rowsKnown(soon);
    answerWaiting();
}

void View::answerWaiting() {
    if (!recordset_)
        return;
    const quint64 generation = generation_;
    const bool counted = recordset_->countKnown();
    const bool complete = recordset_->keysComplete();
    // Taken out first: an answer may start a new command, or a refresh.
    std::vector<Waiting> due;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (it->generation == generation && (it->forKeys ? complete : counted)) {
            due.push_back(std::move(*it));
            it = waiting_.erase(it);
        } else {
            ++it;
        }
    }
    if (counted && !countTold_) {
        countTold_ = true;
        emit countKnown(generation);
    }
    if (complete && !keysTold_) {
        keysTold_ = true;
        emit keysComplete(generation);
    }
    for (auto& w : due)
        if (w.context)
            w.then();
}

void View::dropWaiting(quint64 keep) {
    std::vector<Waiting> dropped;
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (it->generation != keep) {
            dropped.push_back(std::move(*it));
            it = waiting_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& w : dropped)
        if (w.context && w.superseded)
            w.superseded();
}

void View::when(bool forKeys, QObject* context, std::function<void()> then,
                std::function<void()> superseded, Failed failed) {
    if (opening_) {
        // For the set once it is shown; answered as it follows its loading.
        waiting_.push_back({generation_ + 1, forKeys, context, std::move(then),
                            std::move(superseded), std::move(failed)});
        return;
    }
    engine::Recordset* rs = recordset_.get();
    if (!rs) {
        if (superseded)
            superseded();
        return;
    }
    // A short wait for the usual quick answer, handling nothing meanwhile.
    const auto budget = std::chrono::milliseconds(budgetMs);
    if (forKeys ? rs->waitForKeys(budget) : rs->waitForCount(budget)) {
        then();
        return;
    }
    waiting_.push_back(
        {generation_, forKeys, context, std::move(then), std::move(superseded), std::move(failed)});
}

void View::whenCounted(QObject* context, std::function<void()> then,
                       std::function<void()> superseded, Failed failed) {
    when(false, context, std::move(then), std::move(superseded), std::move(failed));
}

void View::whenKeysComplete(QObject* context, std::function<void()> then,
                            std::function<void()> superseded, Failed failed) {
    when(true, context, std::move(then), std::move(superseded), std::move(failed));
}

void View::setAnswerBudget(int milliseconds) {
    budgetMs = milliseconds;
}

int View::answerBudget() {
    return budgetMs;
}

void View::setApplySlice(int milliseconds) {
    sliceMs = milliseconds;
}
