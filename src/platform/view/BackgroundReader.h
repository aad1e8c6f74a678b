#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QThread;

// The one way a window reads off the user-interface thread: the work runs
// on a thread of its own and hands back what is to be done with its result,
// which then runs on this object's thread, unless a later reading (or
// cancel()) superseded it meanwhile. A superseded reading is told to stop
// through its flag and is cleared away when it has; none is ever waited
// for, except by the destructor, so none outlives its window. A reading in
// place of one still stopping waits until that one has ended: the two
// would otherwise hold a view's worth of memory each (a diagram's points
// of ten million rows are 100 MB).
//
// The work must not throw: it turns its failures into its result.
class BackgroundReader : public QObject {
    Q_OBJECT
public:
    using Finish = std::function<void()>;
    using Work = std::function<Finish(const std::atomic<bool>& cancel)>;

    explicit BackgroundReader(QObject* parent = nullptr);
    ~BackgroundReader() override;

    // Starts a reading in place of the one before.
    void start(Work work);
    // Starts a reading beside the others, superseding none and superseded
    // by none (only cancelAll() and the destructor stop it).
    void startBeside(Work work);
    // The latest reading's result is no longer wanted.
    void cancel();
    void cancelAll();
    // Whether the latest reading is still running, or waiting to.
    bool reading() const { return latest_ != nullptr || waiting_ != nullptr; }

private:
    struct Reading {
        QThread* thread;
        std::shared_ptr<std::atomic<bool>> cancel;
        bool replaced; // started by start(): one in place of another
    };
    void run(Work work, bool latest);
    bool replacedStillRunning() const;

    std::vector<Reading> readings_;
    QThread* latest_ = nullptr;
    std::unique_ptr<Work> waiting_; // the latest, until the one it replaces has ended
};
