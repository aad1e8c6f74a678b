#include "ValueColumnsController.h"

#include "ColumnChooser.h"
#include "form/MainForm.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/data/RecordsetModel.h"
#include "platform/dialogs/BackgroundTask.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/view/View.h"

#include <QSettings>
#include <QStringList>

#include <memory>

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

void ValueColumnsController::mnuColumns_Click() {
    const View* view = form_.Data1->view();
    auto database = view->database();
    if (!view->shown() || !database) {
        MessageBox::Show("There is no open table.", 48, "Columns");
        return;
    }
    const std::string table = view->table();
    auto held = std::make_shared<std::vector<engine::Database::AnalyteCount>>();
    auto* task = BackgroundTask::start(form_.formWidget(), "Columns",
                                       "Reading the values kept beside the table...",
                                       [database, table, held](BackgroundTask::Control&) {
                                           *held = database->openAnother(true)->analytes(table);
                                       });
    const QString key = settingsKey();
    connect(task, &BackgroundTask::finished, this,
            [this, held, key](bool ok, const BackgroundTask::Error& error) {
                if (!ok) {
                    MessageBox::Show(error.text, 48, "Columns");
                    return;
                }
                if (form_.closing() || key != settingsKey())
                    return; // the table changed meanwhile: asked again if wanted
                if (const auto chosen =
                        ColumnChooser::choose(*held, values_->choices(), form_.formWidget()))
                    show(*chosen);
            });
}
