#include "FileCheckController.h"

#include "form/MainForm.h"
#include "platform/data/DataControl.h"
#include "platform/db/Database.h"
#include "platform/db/Workspace.h"
#include "platform/dialogs/BackgroundTask.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/view/View.h"

#include <QMetaObject>
#include <QThread>

namespace {

constexpr const char* kTitle = "Check the File";
constexpr std::size_t kProblemsShown = 8;

using engine::IntegrityReport;

QString problemLines(const IntegrityReport& r) {
    QString text = "\n";
    for (std::size_t i = 0; i < r.problems.size() && i < kProblemsShown; ++i)
        text += "\n" + QString::fromStdString(r.problems[i]);
    const long long more =
        r.problemCount - static_cast<long long>(std::min(r.problems.size(), kProblemsShown));
    if (more > 0)
        text += QString("\n... and %1 more.").arg(more);
    return text;
}

} // namespace

FileCheckController::FileCheckController(MainForm& form, QObject* parent)
    : QObject(parent), form_(form) {}

FileCheckController::~FileCheckController() {
    {
        std::lock_guard<std::mutex> lock(gate_);
        stop_ = true;
    }
    resumed_.notify_all();
    if (quiet_) {
        quiet_->wait();
        delete quiet_;
    }
}

std::shared_ptr<engine::Database> FileCheckController::fileDatabase() const {
    auto database = form_.Data1->view()->database();
    if (!database || form_.Data1->DatabaseName().startsWith(engine::Workspace::kServerPrefix))
        return nullptr;
    return database;
}

void FileCheckController::pause() {
    std::lock_guard<std::mutex> lock(gate_);
    paused_ = true;
}

void FileCheckController::resume() {
    {
        std::lock_guard<std::mutex> lock(gate_);
        paused_ = false;
    }
    resumed_.notify_all();
}

bool FileCheckController::waitUnlessStopped() {
    std::unique_lock<std::mutex> lock(gate_);
    resumed_.wait(lock, [this] { return !paused_ || stop_; });
    return !stop_;
}

void FileCheckController::checkQuietly() {
    auto database = fileDatabase();
    if (!database || quiet_)
        return;
    quiet_ = QThread::create([this, database] {
        IntegrityReport report;
        try {
            if (!waitUnlessStopped())
                return;
            auto db = database->openAnother(true);
            report =
                db->checkIntegrity([this](long long, long long) { return waitUnlessStopped(); });
        } catch (const std::exception& e) {
            report.why = e.what(); // the window's own reads report what fails
        }
        if (stop_)
            return;
        // The controller outlives this call: its destructor joins the thread.
        QMetaObject::invokeMethod(
            this,
            [this, report] {
                emit quietCheckFinished(report.state);
                // Rows that cannot be read say so when they are shown; the
                // check speaks of what no read notices.
                if (report.state == IntegrityReport::State::Damaged && !form_.closing())
                    reportDamage(report);
            },
            Qt::QueuedConnection);
    });
    quiet_->start(QThread::IdlePriority);
}

void FileCheckController::mnuCheckFile_Click() {
    auto database = fileDatabase();
    if (!database) {
        MessageBox::Show(form_.Data1->view()->database()
                             ? "The server keeps its data consistent itself: there is no file "
                               "to check."
                             : "There is no open database.",
                         64, kTitle);
        return;
    }
    auto report = std::make_shared<IntegrityReport>();
    auto* task = BackgroundTask::start(
        form_.formWidget(), kTitle, "Checking every row of the file...",
        [database, report](BackgroundTask::Control& control) {
            auto db = database->openAnother(true);
            *report = db->checkIntegrity([&control](long long done, long long total) {
                control.total = std::max(done, total);
                control.done = done;
                return !control.cancel;
            });
        });
    connect(task, &BackgroundTask::finished, this,
            [this, report](bool ok, const BackgroundTask::Error& error) {
                if (!ok) {
                    MessageBox::Show(error.text, 48, kTitle);
                    return;
                }
                if (report->damaged())
                    reportDamage(*report);
                else if (report->state == IntegrityReport::State::Sound)
                    MessageBox::Show(QString("The file is sound: each of the %1 rows of its "
                                             "tables (the program's own bookkeeping included) "
                                             "is in every index of its table.")
                                         .arg(report->rowsRead),
                                     64, kTitle);
                else
                    MessageBox::Show(
                        "The check was not finished: " + QString::fromStdString(report->why) + ".",
                        48, kTitle);
            });
}

void FileCheckController::reportDamage(const IntegrityReport& report) {
    const QString file = form_.Data1->DatabaseName();
    if (report.state == IntegrityReport::State::Unreadable) {
        MessageBox::Show("The database '" + file +
                             "' is damaged: some of its rows cannot be read. Restore it from a "
                             "backup copy." +
                             problemLines(report),
                         48, kTitle);
        return;
    }
    if (MessageBox::Ask("The database '" + file +
                            "' is damaged: some rows do not match the indexes a search uses, "
                            "so a search may miss them." +
                            problemLines(report) +
                            "\n\nRepair it now? Its indexes are rebuilt from the rows; the file "
                            "as it is now is kept beside it first.",
                        kTitle, "Repair", "Not Now"))
        repair(problemLines(report));
}

void FileCheckController::repair(const QString& found) {
    auto database = fileDatabase();
    if (!database || !form_.beginCommand())
        return;
    form_.endCommand(); // the task below holds the window
    struct Result {
        std::string copy;
        IntegrityReport after;
    };
    auto result = std::make_shared<Result>();
    auto* task =
        BackgroundTask::start(form_.formWidget(), kTitle, "Repairing the file...",
                              [database, result](BackgroundTask::Control& control) {
                                  auto db = database->openAnother(false);
                                  result->copy = db->repairIndexes();
                                  result->after = db->checkIntegrity(
                                      [&control](long long, long long) { return !control.cancel; });
                              });
    connect(task, &BackgroundTask::finished, this,
            [this, result, found](bool ok, const BackgroundTask::Error& error) {
                if (!ok) {
                    MessageBox::Show(error.text, 48, kTitle);
                    return;
                }
                const QString kept = QString::fromStdString(result->copy);
                if (result->after.damaged())
                    MessageBox::Show("The indexes were rebuilt, but the file is still damaged. "
                                     "The file as it was is kept at '" +
                                         kept + "'." + problemLines(result->after),
                                     48, kTitle);
                else
                    MessageBox::Show("The file is repaired: every row is in its indexes again. "
                                     "The file as it was is kept at '" +
                                         kept +
                                         "'. Look at these rows: their values may have been "
                                         "altered.\n" +
                                         found,
                                     64, kTitle);
                if (form_.closing() || !form_.beginCommand())
                    return;
                const auto done = [this] { form_.endCommand(); };
                form_.RefreshRecordView(form_.Data1->RecordSource(), done,
                                        [this](const QString& text) {
                                            MessageBox::Show(text, 48, "DataBase Error");
                                            form_.endCommand();
                                        });
            });
}
