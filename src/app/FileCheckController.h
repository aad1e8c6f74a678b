#pragma once

#include "platform/db/IntegrityReport.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

class MainForm;
class QThread;
namespace engine {
class Database;
}

// The check of the database file's consistency: once, quietly, on a
// thread of its own after the program has opened the file (it says nothing
// unless it finds damage), and whenever the user asks ("Tools > Check the
// File...", with its progress). Damage found offers the repair, which
// copies the file beside itself and rebuilds its indexes; the grid is read
// again after. A server keeps its own consistency and is not checked.
//
// The quiet check stands aside while the window runs a command: it waits
// between two slices of rows (no read transaction open) from pause() to
// resume(), so the command's reads never share the disk and the cores
// with it.
class FileCheckController : public QObject {
    Q_OBJECT
public:
    explicit FileCheckController(MainForm& form, QObject* parent = nullptr);
    ~FileCheckController() override; // stops the quiet check, within one slice of rows

    void checkQuietly();
    void pause();
    void resume();
    void mnuCheckFile_Click();

signals:
    void quietCheckFinished(engine::IntegrityReport::State state); // for tests

private:
    std::shared_ptr<engine::Database> fileDatabase() const;
    void reportDamage(const engine::IntegrityReport& report);
    void repair(const QString& found); // found: the rows named, for the user to look at

    MainForm& form_;
    QThread* quiet_ = nullptr; // at the lowest priority: it never slows the user's work
    bool waitUnlessStopped();  // on the check's thread; false once stopped

    std::atomic<bool> stop_{false};
    std::mutex gate_;
    std::condition_variable resumed_;
    bool paused_ = false; // under gate_
};
