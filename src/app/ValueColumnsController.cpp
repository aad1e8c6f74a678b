#include "ValueColumnsController.h"

#include "ColumnChooser.h"
#include "ValueQueryDialog.h"
#include "form/MainForm.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/data/RecordsetModel.h"
#include "platform/dialogs/BackgroundTask.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/dialogs/Screen.h"
#include "platform/view/View.h"
#include "query/SelectionController.h"
#include "query/ValueStatement.h"

#include <QLabel>

#include <QSettings>
#include <QStringList>

#include <memory>
#include <stdexcept>

namespace {

QSettings settings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Quarzel", "Columns");
}

} // namespace

ValueColumnsController::ValueColumnsController(MainForm& form, QObject* parent)
    : QObject(parent), form_(form), values_(new ValueColumns(form.Data1->view(), this)) {
    form_.vaSpread1->recordsetModel()->setValueColumns(values_);
    connect(form_.Data1->view(), &View::recordsetChanged, this, [this] { followTable(); });
}

QString ValueColumnsController::settingsKey() const {
    const View* view = form_.Data1->view();
    if (!view->shown())
        return {};
    QString db = view->databaseName();
    db.replace('/', '|').replace('\\', '|');
    return db + "/" + QString::fromStdString(view->table());
}

void ValueColumnsController::followTable() {
    const QString key = settingsKey();
    if (key == shownFor_)
        return;
    shownFor_ = key;
    std::vector<ValueColumns::Choice> choices;
    for (const QString& entry : settings().value(key).toStringList()) {
        const QStringList parts = entry.split('\t');
        if (parts.size() == 2)
            choices.push_back({parts[0].toStdString(), parts[1].toStdString()});
    }
    form_.vaSpread1->recordsetModel()->valueColumnsChosen(choices);
}

void ValueColumnsController::show(const std::vector<ValueColumns::Choice>& choices) {
    form_.vaSpread1->recordsetModel()->valueColumnsChosen(choices);
    QStringList entries;
    for (const auto& c : choices)
        entries << QString::fromStdString(c.analyte) + '\t' + QString::fromStdString(c.unit);
    QSettings s = settings();
    if (entries.isEmpty())
        s.remove(settingsKey());
    else
        s.setValue(settingsKey(), entries);
}

void ValueColumnsController::readHeld(const QString& title, bool counted,
                                      std::function<void(const Held&)> then) {
    const View* view = form_.Data1->view();
    auto database = view->database();
    if (!view->shown() || !database) {
        MessageBox::Show("There is no open table.", 48, title);
        return;
    }
    const std::string table = view->table();
    auto held = std::make_shared<Held>();
    auto* task = BackgroundTask::start(form_.formWidget(), title,
                                       "Reading the values kept beside the table...",
                                       [database, table, held, counted](BackgroundTask::Control&) {
                                           auto reader = database->openAnother(true);
                                           *held = counted ? reader->analytes(table)
                                                           : reader->analytesHeld(table);
                                       });
    const QString key = settingsKey();
    connect(task, &BackgroundTask::finished, this,
            [this, held, key, title, then](bool ok, const BackgroundTask::Error& error) {
                if (!ok) {
                    MessageBox::Show(error.text, 48, title);
                    return;
                }
                if (form_.closing() || key != settingsKey())
                    return; // the table changed meanwhile: asked again if wanted
                then(*held);
            });
}

void ValueColumnsController::mnuColumns_Click() {
    readHeld("Columns", true, [this](const Held& held) {
        if (const auto chosen = ColumnChooser::choose(held, values_->choices(), form_.formWidget()))
            show(*chosen);
    });
}

void ValueColumnsController::mnuFindValue_Click() {
    findOrSort(true);
}

void ValueColumnsController::mnuSortValue_Click() {
    findOrSort(false);
}

void ValueColumnsController::findOrSort(bool find) {
    const auto kind = find ? ValueQueryDialog::Kind::Find : ValueQueryDialog::Kind::Sort;
    const QString title = find ? "Find by Value" : "Sort by Value";
    readHeld(title, false, [this, kind, find, title](const Held& held) {
        if (held.empty()) {
            MessageBox::Show("The table keeps no values beside its columns.", 64, title);
            return;
        }
        const auto answer = ValueQueryDialog::ask(kind, ColumnChooser::offered(held),
                                                  values_->choices(), form_.formWidget());
        if (!answer || !form_.beginCommand())
            return;
        const std::string table = form_.Data1->view()->table();
        const auto channels = ValueStatement::channels(held, answer->column);
        const QString statement =
            !find ? ValueStatement::sort(table, answer->column, channels, answer->descending)
            : answer->words.isEmpty() ? ValueStatement::findNumbers(table, answer->column, channels,
                                                                    answer->from, answer->to)
                                      : ValueStatement::findWords(table, channels, answer->words);
        const QString previousSource = form_.Data1->RecordSource();
        const QString previousLabel = form_.Label3->text();
        const MainForm::Then done = [this] {
            form_.ApplyGridLayout(false);
            Screen::setMousePointer(0);
            form_.endCommand();
        };
        // As the search bar: the view and label stay as they were.
        const MainForm::Failed failed = [this, previousSource, previousLabel](const QString& text) {
            form_.Data1->setRecordSource(previousSource);
            form_.Label3->setText(previousLabel);
            MessageBox::Show(text, 48, "Search Error");
            Screen::setMousePointer(0);
            form_.endCommand();
        };
        Screen::setMousePointer(11);
        try {
            if (statement.isEmpty())
                throw std::runtime_error("The value cannot be read from the table.");
            if (!find) {
                form_.RefreshRecordView(statement, done, failed);
                return;
            }
            SelectionController::showMatches(form_, statement, done, failed);
        } catch (const std::exception& e) {
            failed(QString::fromStdString(e.what()));
        }
    });
}
