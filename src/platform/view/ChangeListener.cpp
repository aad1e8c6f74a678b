// The change feed's thread and the worker on it that watches, reads and
// reconnects the feed; see ChangeListener.h.
#include "ChangeListener.h"

#include "platform/db/EngineError.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// Threads told to end whose end this thread has not seen yet: joined when
// the program ends (user-interface thread only).
std::vector<QThread*>& ending() {
    static std::vector<QThread*> threads;
    return threads;
}

void joinEnding() {
    for (QThread* t : std::exchange(ending(), {})) {
        t->wait();
        delete t;
    }
}

} // namespace

// Lives on the feed's thread and owns everything there: the feed, the
// notifier on its socket, the timer that tries the server again.
class FeedWorker : public QObject {
    Q_OBJECT
public:
    explicit FeedWorker(std::unique_ptr<engine::ChangeFeed> feed) : feed_(std::move(feed)) {}
    ~FeedWorker() override {
        delete notifier_; // before the feed's connection (and its socket) goes
        feed_.reset();
    }

    void start() {
        retry_ = new QTimer(this);
        retry_->setInterval(3000);
        connect(retry_, &QTimer::timeout, this, &FeedWorker::retry);
        if (feed_->socket() < 0)
            retry_->start();
        else
            watch();
    }

    // A batch told was applied: another may be taken.
    void delivered() {
        --ahead_;
        if (held_) {
            held_ = false;
            take();
        }
    }

signals:
    void heard(const ChangeBatch& changes, bool missed);
    void reconnected(bool missed);

private:
    void watch() {
        notifier_ = new QSocketNotifier(feed_->socket(), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &FeedWorker::take);
    }

    void take() {
        if (ahead_ >= ChangeListener::kAhead) {
            // The window has not shown what was read yet: the socket is
            // left unread (and unwatched, or it would wake this thread
            // without end) until it has.
            held_ = true;
            if (notifier_)
                notifier_->setEnabled(false);
            return;
        }
        ChangeBatch changes = feed_->take();
        if (feed_->socket() < 0) {
            // The server went away: listened to again when it is back,
            // and what was missed meanwhile is then read again. The
            // notifier may be the one calling.
            if (notifier_) {
                notifier_->setEnabled(false);
                notifier_->deleteLater();
            }
            notifier_ = nullptr;
            retry_->start();
            return;
        }
        if (notifier_ && !notifier_->isEnabled())
            notifier_->setEnabled(true);
        const bool missed = feed_->missed();
        if (!changes.empty() || missed) {
            ++ahead_;
            emit heard(changes, missed);
        }
        // A statement that changed many rows comes in batches, each taken
        // in a turn of its own.
        if (feed_->more())
            takeSoon();
    }

    void takeSoon() {
        if (takeDue_)
            return;
        takeDue_ = true;
        QTimer::singleShot(0, this, [this] {
            takeDue_ = false;
            take();
        });
    }

    void retry() {
        if (!feed_->reconnect())
            return;
        retry_->stop();
        const bool missed = feed_->missed();
        watch();
        emit reconnected(missed);
        // What was committed meanwhile is in the logs: read now, not at
        // the next notice.
        if (feed_->more())
            takeSoon();
    }

    std::unique_ptr<engine::ChangeFeed> feed_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* retry_ = nullptr;
    int ahead_ = 0;     // batches told and not yet applied
    bool held_ = false; // a take waits for that
    bool takeDue_ = false;
};

ChangeListener::ChangeListener(std::unique_ptr<engine::ChangeFeed> feed, QObject* parent)
    : QObject(parent), thread_(new QThread), worker_(new FeedWorker(std::move(feed))) {
    qRegisterMetaType<ChangeBatch>();
    static const bool joinedAtExit = (qAddPostRoutine(joinEnding), true);
    (void)joinedAtExit;
    thread_->setObjectName("change feed");
    worker_->moveToThread(thread_);
    connect(thread_, &QThread::started, worker_, &FeedWorker::start);
    // The worker, and with it the feed, ends on its own thread.
    connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(worker_, &FeedWorker::heard, this, &ChangeListener::deliver);
    connect(worker_, &FeedWorker::reconnected, this, &ChangeListener::reconnected);
    thread_->start();
}

ChangeListener::~ChangeListener() {
    // Not waited for: the thread ends after the statement it is in, and
    // is deleted here once it has (or joined when the program ends).
    QThread* thread = thread_;
    ending().push_back(thread);
    connect(thread, &QThread::finished, thread, [thread] {
        auto& e = ending();
        const auto it = std::find(e.begin(), e.end(), thread);
        if (it == e.end())
            return; // joined already
        e.erase(it);
        thread->wait(); // it has left its loop; only its last steps are left
        thread->deleteLater();
    });
    thread->quit();
}

void ChangeListener::deliver(const ChangeBatch& changes, bool missed) {
    // The next batch is read once this one is applied (applied()), so that
    // it holds what was committed meanwhile.
    emit changesHeard(changes, missed);
}

void ChangeListener::applied() {
    FeedWorker* worker = worker_;
    QMetaObject::invokeMethod(
        worker, [worker] { worker->delivered(); }, Qt::QueuedConnection);
}

#include "ChangeListener.moc"
