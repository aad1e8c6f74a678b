#include "BackgroundReader.h"

#include "platform/db/FreedMemory.h"

#include <QPointer>
#include <QThread>

#include <algorithm>

BackgroundReader::BackgroundReader(QObject* parent) : QObject(parent) {}

BackgroundReader::~BackgroundReader() {
    cancelAll();
    for (const Reading& r : readings_) {
        r.thread->wait();
        delete r.thread;
    }
}

void BackgroundReader::start(Work work) {
    cancel();
    if (replacedStillRunning()) {
        waiting_ = std::make_unique<Work>(std::move(work));
        return;
    }
    run(std::move(work), true);
}

bool BackgroundReader::replacedStillRunning() const {
    return std::any_of(readings_.begin(), readings_.end(),
                       [](const Reading& r) { return r.replaced; });
}

void BackgroundReader::startBeside(Work work) {
    run(std::move(work), false);
}

void BackgroundReader::cancel() {
    for (const Reading& r : readings_)
        if (r.thread == latest_)
            *r.cancel = true;
    latest_ = nullptr;
    waiting_.reset();
}

void BackgroundReader::cancelAll() {
    for (const Reading& r : readings_)
        *r.cancel = true;
    latest_ = nullptr;
    waiting_.reset();
}

void BackgroundReader::run(Work work, bool latest) {
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    QThread* thread = QThread::create([this, work = std::move(work), cancel] {
        Finish finish = work(*cancel);
        if (!finish || *cancel) {
            engine::returnFreedMemory(); // what the reading held
            return;
        }
        // The flag is looked at again on this object's thread: a reading
        // superseded after its work ended is dropped there.
        QMetaObject::invokeMethod(
            this,
            [finish = std::move(finish), cancel] {
                if (!*cancel)
                    finish();
            },
            Qt::QueuedConnection);
        // After the result is handed over, so that it waits for nothing.
        engine::returnFreedMemory();
    });
    connect(thread, &QThread::finished, this, [this, thread] {
        readings_.erase(std::remove_if(readings_.begin(), readings_.end(),
                                       [thread](const Reading& r) { return r.thread == thread; }),
                        readings_.end());
        if (latest_ == thread)
            latest_ = nullptr;
        thread->wait(); // "finished" comes just before the thread's very end
        delete thread;
        if (waiting_ && !replacedStillRunning()) {
            const std::unique_ptr<Work> next = std::move(waiting_);
            run(std::move(*next), true);
        }
    });
    readings_.push_back({thread, cancel, latest});
    if (latest)
        latest_ = thread;
    thread->start();
}
