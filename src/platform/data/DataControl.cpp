#include "DataControl.h"

#include "platform/db/ChangeFeed.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Recordset.h"

#include <QHBoxLayout>
#include <QThread>
#include <QTimer>

#include <QLabel>
#include <QSocketNotifier>
#include <QToolButton>
#include <algorithm>
#include <chrono>

namespace {

// The program never holds its events for an answer: the first rows are
// painted at once, the count when it comes (tests wait longer, to see a
// command finished when its handler returns).
int budgetMs = 0;

} // namespace

DataControl::DataControl(QWidget* parent) : QWidget(parent) {
    loading_ = new QTimer(this);
    loading_->setInterval(40);
    connect(loading_, &QTimer::timeout, this, [this] { followLoading(); });
    feedRetry_ = new QTimer(this);
    feedRetry_->setInterval(3000);
    connect(feedRetry_, &QTimer::timeout, this, [this] { retryListening(); });
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const char* arrows[] = {"|◀", "◀", "▶", "▶|"};
    const char* tips[] = {"First record", "Previous record", "Next record", "Last record"};
    caption_ = new QLabel(this);
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setFrameShape(QFrame::Panel);
    caption_->setFrameShadow(QFrame::Sunken);
    for (int i = 0; i < 4; ++i) {
        if (i == 2)
            layout->addWidget(caption_, 1);
        auto* b = new QToolButton(this);
        b->setText(QString::fromUtf8(arrows[i]));
        b->setToolTip(tips[i]);
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRaise(false);
        b->setFixedWidth(18);
        b->setStyleSheet("QToolButton { padding: 0px; font-size: 7pt; }");
        b->setObjectName(QString("nav%1").arg(i));
        connect(b, &QToolButton::clicked, this, [this, i] { navigate(i); });
        layout->addWidget(b);
    }
}

DataControl::~DataControl() {
    delete feedNotifier_; // before the feed's connection (and its socket) goes
}

void DataControl::setDatabaseName(const QString& name) {
    databaseName_ = name;
    reopen_ = true;
}

QString DataControl::Caption() const {
    return caption_->text();
}
void DataControl::setCaption(const QString& caption) {
    caption_->setText(caption);
}

bool DataControl::recordsetReadOnly() const {
    return !recordset_ || recordset_->ReadOnly();
}

void DataControl::lockRecordset() {
    readOnly_ = true;
    if (recordset_ && !recordset_->ReadOnly()) {
        recordset_->makeReadOnly();
        emit writableChanged();
    }
}

void DataControl::Refresh() {
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
    std::shared_ptr<engine::Database> db = database_;
    if (reopen_ || !db) {
        if (databaseName_.isEmpty())
            throw engine::EngineError(3024, "Could not find file ''.");
        db = engine::DBEngine::instance().Workspaces(0).OpenDatabase(databaseName_.toStdString());
    }
    auto rs = db->OpenRecordset(recordSource_.toStdString(), readOnly_);
    emit recordsetChanging();
    const bool newDatabase = db != database_;
    database_ = std::move(db);
    if (newDatabase)
        listen();
    reopen_ = false;
    proxy_.reset();
    recordset_ = std::move(rs);
    ++generation_;
    countTold_ = keysTold_ = false;
    dropWaiting(); // what waited for the old set is superseded
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

void DataControl::listen() {
    delete feedNotifier_;
    feedNotifier_ = nullptr;
    feedRetry_->stop();
    try {
        feed_ = database_ ? database_->listen() : nullptr;
    } catch (const engine::EngineError&) {
        feed_.reset(); // no live view; the rows shown stay as read
    }
    if (!feed_)
        return;
    if (feed_->socket() < 0) {
        feedRetry_->start();
        return;
    }
    feedNotifier_ = new QSocketNotifier(feed_->socket(), QSocketNotifier::Read, this);
    connect(feedNotifier_, &QSocketNotifier::activated, this, [this] { takeChanges(); });
}

void DataControl::retryListening() {
    if (!feed_ || !feed_->reconnect())
        return;
    feedRetry_->stop();
    const bool missed = feed_->missed();
    feedNotifier_ = new QSocketNotifier(feed_->socket(), QSocketNotifier::Read, this);
    connect(feedNotifier_, &QSocketNotifier::activated, this, [this] { takeChanges(); });
    if (missed && recordset_) {
        // What others committed meanwhile was not heard: the rows shown are
        // read again (the keys stay until the next refresh).
        recordset_->clearCache();
        emit rowChangedElsewhere(-1);
    }
}

void DataControl::takeChanges() {
    if (!feed_)
        return;
    const auto changes = feed_->take();
    if (feed_->socket() < 0) {
        // The server went away: the window goes on with what it has read,
        // and listens again when the server is back.
        feedNotifier_->deleteLater();
        feedNotifier_ = nullptr;
        feedRetry_->start();
        return;
    }
    if (!recordset_)
        return;
    const QString table = QString::fromStdString(recordset_->Table()).toLower();
    for (const auto& c : changes) {
        if (QString::fromStdString(c.table).toLower() != table)
            continue;
        long row = -1;
        try {
            row = recordset_->applyChange(c.kind, c.key);
        } catch (const engine::EngineError&) {
            continue; // shown as it was; read again when next needed
        }
        if (row == engine::Recordset::kMoved) {
            emit rowsMovedElsewhere();
            continue;
        }
        if (row < 0)
            continue;
        if (c.kind == engine::ChangeFeed::Kind::Changed)
            emit rowChangedElsewhere(row);
        else if (c.kind == engine::ChangeFeed::Kind::Inserted)
            emit rowInsertedElsewhere(row);
        else
            emit rowRemovedElsewhere(row);
    }
}

void DataControl::followLoading(bool soon) {
    if (!recordset_)
        return;
    if (recordset_->keysComplete())
        loading_->stop();
    emit rowsKnown(soon);
    answerWaiting();
}

void DataControl::answerWaiting() {
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

void DataControl::dropWaiting() {
    auto dropped = std::move(waiting_);
    waiting_.clear();
    for (auto& w : dropped)
        if (w.context && w.superseded)
            w.superseded();
}

void DataControl::when(bool forKeys, QObject* context, std::function<void()> then,
                       std::function<void()> superseded) {
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
    waiting_.push_back({generation_, forKeys, context, std::move(then), std::move(superseded)});
}

void DataControl::whenCounted(QObject* context, std::function<void()> then,
                              std::function<void()> superseded) {
    when(false, context, std::move(then), std::move(superseded));
}

void DataControl::whenKeysComplete(QObject* context, std::function<void()> then,
                                   std::function<void()> superseded) {
    when(true, context, std::move(then), std::move(superseded));
}

void DataControl::setAnswerBudget(int milliseconds) {
    budgetMs = milliseconds;
}

int DataControl::answerBudget() {
    return budgetMs;
}

DataRecordset& DataControl::Recordset() {
    if (!proxy_)
        throw engine::EngineError(91, "Object variable or With block variable not set.");
    return *proxy_;
}

void DataControl::navigate(int which) {
    if (!proxy_)
        return;
    // The last row needs every key; nothing waits for them here: the move
    // is made when they are in (unless another set is shown first).
    const auto move = [this, which] {
        try {
            if (!proxy_ || recordset_->RecordCount() == 0)
                return;
            // The bar stops at either end rather than raising an error.
            const long pos = recordset_->AbsolutePosition();
            const long last = recordset_->RecordCount() - 1;
            long target = which == 0 ? 0 : which == 1 ? pos - 1 : which == 2 ? pos + 1 : last;
            target = std::clamp(target, 0L, last);
            proxy_->setAbsolutePosition(target);
        } catch (const std::exception& e) {
            emit commandFailed(QString::fromStdString(e.what()));
        }
    };
    whenKeysComplete(this, move);
}
