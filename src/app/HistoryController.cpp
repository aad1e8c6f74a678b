#include "HistoryController.h"

#include "form/MainForm.h"
#include "platform/data/DataControl.h"
#include "platform/db/Database.h"
#include "platform/dialogs/BackgroundTask.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/view/View.h"

#include <memory>

namespace {

constexpr const char* kTitle = "History";

struct Read {
    bool kept = true;
    HistoryDialog::Entries changes;
    HistoryDialog::Entries deleted;
};

} // namespace

HistoryController::HistoryController(MainForm& form, QObject* parent)
    : QObject(parent), form_(form) {}

void HistoryController::mnuHistory_Click() {
    View* view = form_.Data1->view();
    auto database = view->database();
    if (!view->shown() || !database) {
        MessageBox::Show("There is no open table.", 48, kTitle);
        return;
    }
    const std::string table = view->table();
    std::optional<std::int64_t> key;
    QString sample;
    auto& rs = form_.Data1->Recordset();
    const long at = view->position();
    if (!rs.IsBOF() && !rs.IsEOF() && at >= 0 && at < view->knownRowCount()) {
        key = view->keyAt(at);
        sample = QString("ID %1").arg(*key);
    }
    auto read = std::make_shared<Read>();
    auto* task = BackgroundTask::start(form_.formWidget(), kTitle, "Reading the history...",
                                       [database, table, key, read](BackgroundTask::Control&) {
                                           auto db = database->openAnother(true);
                                           engine::History history(*db, table);
                                           read->kept = history.kept();
                                           if (!read->kept)
                                               return;
                                           if (key)
                                               read->changes = history.ofSample(*key);
                                           read->deleted = history.recent(100, true);
                                       });
    connect(task, &BackgroundTask::finished, this,
            [this, read, table, sample](bool ok, const BackgroundTask::Error& error) {
                if (!ok) {
                    MessageBox::Show(error.text, 48, kTitle);
                    return;
                }
                if (form_.closing())
                    return;
                if (!read->kept) {
                    MessageBox::Show("No history is kept of this table yet: it is kept from the "
                                     "first time the database is opened for changes.",
                                     64, kTitle);
                    return;
                }
                if (const auto choice = HistoryDialog::choose(sample, read->changes, read->deleted,
                                                              form_.formWidget()))
                    restore(table, *choice);
            });
}

void HistoryController::restore(const std::string& table, const HistoryDialog::Choice& choice) {
    auto database = form_.Data1->view()->database();
    if (!database)
        return;
    auto result = std::make_shared<engine::History::Restored>();
    auto* task = BackgroundTask::start(
        form_.formWidget(), kTitle,
        choice.action == HistoryDialog::Choice::Action::Undo ? "Undoing the change..."
                                                             : "Bringing the sample back...",
        [database, table, choice, result](BackgroundTask::Control&) {
            auto db = database->openAnother(false);
            engine::History history(*db, table);
            *result = choice.action == HistoryDialog::Choice::Action::Undo
                          ? history.undo(choice.entry)
                          : history.bringBack(choice.entry);
        });
    connect(task, &BackgroundTask::finished, this,
            [this, result, choice](bool ok, const BackgroundTask::Error& error) {
                if (!ok) {
                    MessageBox::Show(error.text, 48, kTitle);
                    return;
                }
                using Outcome = engine::History::Restored::Outcome;
                if (result->outcome == Outcome::Deleted) {
                    MessageBox::Show(QString("Sample ID %1 was deleted since. Nothing was written.")
                                         .arg(choice.entry.sample),
                                     48, kTitle);
                } else if (result->outcome == Outcome::Conflict) {
                    QString text = QString("Sample ID %1 was changed again since this change. "
                                           "Nothing was written.\n")
                                       .arg(choice.entry.sample);
                    for (const auto& c : result->theirs)
                        text +=
                            QString("\n%1 now holds %2; this change left %3.")
                                .arg(QString::fromStdString(c.name), HistoryDialog::shown(c.before),
                                     HistoryDialog::shown(c.after));
                    MessageBox::Show(text, 48, kTitle);
                } else if (choice.action == HistoryDialog::Choice::Action::BringBack &&
                           result->key != choice.entry.sample) {
                    MessageBox::Show(
                        QString("Sample ID %1 is back, as ID %2: its ID was taken meanwhile.")
                            .arg(choice.entry.sample)
                            .arg(result->key),
                        64, kTitle);
                }
                refreshView(result->key);
            });
}

bool HistoryController::goTo(std::int64_t key) {
    const long row = form_.Data1->view()->indexOf(key, -1);
    if (row < 0)
        return false;
    form_.Data1->Recordset().setAbsolutePosition(row); // through the data control: the grid follows
    return true;
}

// The grid shows what was written, as after an import, on the sample
// restored.
void HistoryController::refreshView(std::int64_t key) {
    if (form_.closing() || !form_.beginCommand())
        return;
    const auto failed = [this](const QString& text) {
        MessageBox::Show(text, 48, "DataBase Error");
        form_.endCommand();
    };
    try {
        form_.RefreshRecordView(
            form_.Data1->RecordSource(),
            [this, key] {
                form_.endCommand();
                if (goTo(key))
                    return;
                // Its key is not read yet: once every key is, unless the user
                // has moved meanwhile.
                const long at = form_.Data1->view()->position();
                form_.Data1->whenKeysComplete(
                    this,
                    [this, key, at] {
                        const View* now = form_.Data1->view();
                        if (now->shown() && now->position() == at)
                            goTo(key);
                    },
                    [] {});
            },
            failed);
    } catch (const std::exception& e) {
        failed(QString::fromStdString(e.what()));
    }
}
