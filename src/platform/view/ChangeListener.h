// Other users' changes, read off the user-interface thread: once made (and
// following the logs from where they end), the change feed, a connection of
// its own, is watched, read, reconnected and destroyed on a thread of its
// own, and each batch it takes comes back to this object's thread as a
// queued signal, in the order it was taken.
//
// Invariants: the feed's thread touches nothing of this side (no view, no
// record set, no database): it only emits; changes name rows by table and
// key; a batch is taken only once the one before it is applied (kAhead),
// so that it holds what was committed meanwhile and a statement that
// changed many rows is read as fast as it is shown, each batch in a turn
// of its own; destroying this object never
// waits for the server: the thread ends after the statement it is in, and
// one still running when the program ends is joined then.
#pragma once

#include "platform/db/ChangeFeed.h"

#include <QMetaType>
#include <QObject>

#include <memory>
#include <vector>

class QThread;
class FeedWorker;

using ChangeBatch = std::vector<engine::ChangeFeed::Change>;
Q_DECLARE_METATYPE(ChangeBatch)

class ChangeListener : public QObject {
    Q_OBJECT
public:
    static constexpr int kAhead = 1;

    explicit ChangeListener(std::unique_ptr<engine::ChangeFeed> feed, QObject* parent = nullptr);
    ~ChangeListener() override;

    // The batches told so far are applied: the next may be read.
    void applied();

signals:
    // Changes committed elsewhere; the next batch is read once applied()
    // says this one is. missed: some were not heard (a log
    // trimmed before it was read, too many open gaps): every row shown is
    // to be read again first.
    void changesHeard(const ChangeBatch& changes, bool missed);
    // The server is back after it went away; missed: changes made
    // meanwhile may not all be in the batches that follow.
    void reconnected(bool missed);

private:
    void deliver(const ChangeBatch& changes, bool missed);

    QThread* thread_;
    FeedWorker* worker_;
};
