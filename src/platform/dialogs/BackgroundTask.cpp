#include "BackgroundTask.h"

#include "platform/db/EngineError.h"
#include "platform/program/FileError.h"

#include <QFontMetrics>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <exception>

namespace {

std::vector<BackgroundTask*> underWay; // user-interface thread only

struct Waiter {
    QPointer<QObject> context;
    std::function<void()> then;
};
std::vector<Waiter> waiters;

void runWaiters() {
    auto due = std::move(waiters);
    waiters.clear();
    for (auto& w : due)
        if (w.context)
            w.then();
}

} // namespace

BackgroundTask* BackgroundTask::start(QWidget* owner, const QString& title, const QString& label,
                                      Work work) {
    return new BackgroundTask(owner, title, label, std::move(work));
}

BackgroundTask::BackgroundTask(QWidget* owner, const QString& title, const QString& label,
                               Work work)
    : QObject(owner), window_(owner ? owner->window() : nullptr) {
    underWay.push_back(this);
    setBusy(true);
    progress_ = new QProgressDialog(label, "Cancel", 0, 1000, window_);
    progress_->setWindowTitle(title);
    // Wide enough for its title and its text, whatever the window manager.
    const QFontMetrics metrics(progress_->font());
    progress_->setMinimumWidth(std::min(900, std::max(metrics.horizontalAdvance(title) + 160,
                                                      metrics.horizontalAdvance(label) + 60)));
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(1000);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setValue(0);
    connect(progress_, &QProgressDialog::canceled, this, &BackgroundTask::cancel);
    tick_ = new QTimer(this);
    connect(tick_, &QTimer::timeout, this, [this] {
        const long long total = control_.total.load();
        if (total > 0 && progress_)
            progress_->setValue(
                static_cast<int>(std::min(999LL, control_.done.load() * 1000 / total)));
    });
    tick_->start(100);
    thread_ = QThread::create([this, work = std::move(work)] {
        try {
            work(control_);
        } catch (const engine::EngineError& e) {
            failed(Error::Kind::Engine, e.number(), e.what());
        } catch (const FileError& e) {
            failed(Error::Kind::File, e.fileCode(), e.what());
        } catch (const std::exception& e) {
            failed(Error::Kind::Other, 0, e.what());
        }
    });
    connect(thread_, &QThread::finished, this, &BackgroundTask::ended, Qt::QueuedConnection);
    thread_->start();
}

BackgroundTask::~BackgroundTask() {
    // Its owner is going: the work stops at its next look, and is waited for.
    control_.cancel = true;
    if (thread_) {
        thread_->wait();
        delete thread_;
    }
    underWay.erase(std::remove(underWay.begin(), underWay.end(), this), underWay.end());
    setBusy(false);
    delete progress_.data();
    if (underWay.empty())
        runWaiters();
}

void BackgroundTask::ended() {
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    tick_->stop();
    if (progress_)
        progress_->close();
    setBusy(false);
    underWay.erase(std::remove(underWay.begin(), underWay.end(), this), underWay.end());
    emit finished(ok_, failure_);
    deleteLater();
    if (underWay.empty())
        runWaiters();
}

void BackgroundTask::failed(Error::Kind kind, int code, const char* text) {
    ok_ = false;
    failure_ = {kind, code, QString::fromUtf8(text)};
}

void BackgroundTask::setBusy(bool busy) {
    if (!busy) {
        for (auto& w : disabled_)
            if (w)
                w->setEnabled(true);
        disabled_.clear();
        return;
    }
    if (!window_)
        return;
    // The window's menus and controls: its direct children that are not
    // windows of their own (the progress dialog stays usable).
    for (QObject* child : window_->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w && !w->isWindow() && w->isEnabled()) {
            w->setEnabled(false);
            disabled_.emplace_back(w);
        }
    }
}

void BackgroundTask::cancel() {
    control_.cancel = true;
}

bool BackgroundTask::running() {
    return !underWay.empty();
}

void BackgroundTask::cancelAll() {
    for (BackgroundTask* t : underWay)
        t->cancel();
}

void BackgroundTask::whenIdle(QObject* context, std::function<void()> then) {
    if (underWay.empty()) {
        then();
        return;
    }
    waiters.push_back({context, std::move(then)});
}
