// Tools > TAS Diagram..., Map..., Import CSV... and Export View...: a file into the
// active table, the grid's view out to CSV or a workbook. The exchange runs
// off the user-interface thread, on a database connection of its own.
#include "ToolsController.h"

#include "FileCheckController.h"
#include "HistoryController.h"
#include "ValueColumnsController.h"

#include "ImportPreview.h"

#include "diagram/DiagramWindow.h"
#include "diagram/MapWindow.h"
#include "diagram/NormWindow.h"
#include "exchange/CsvImport.h"
#include "exchange/ViewExport.h"
#include "form/Globals.h"
#include "form/MainForm.h"
#include "norm/NormColumns.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/db/Database.h"
#include "platform/dialogs/BackgroundTask.h"
#include "platform/dialogs/FileDialogs.h"
#include "platform/dialogs/Guarded.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/view/SnapshotRows.h"
#include "platform/view/View.h"
#include "query/TableSet.h"
#include "schema/Schema.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include <optional>

namespace {

// The user stopped the reading: nothing to tell.
bool cancelled(const BackgroundTask::Error& error) {
    return error.kind == BackgroundTask::Error::Kind::File &&
           static_cast<CsvError::Code>(error.code) == CsvError::Code::Cancelled;
}

// The map's area as a search of the grid, run as the search bar's is.
void searchArea(MainForm& form, const QString& statement) {
    if (!form.beginCommand())
        return;
    const auto failed = [&form](const QString& text) {
        MessageBox::Show(text, 48, "Search Error");
        form.endCommand();
    };
    try {
        form.RefreshRecordView(
            statement,
            [&form] {
                // The refresh's count is known here.
                form.showRecordCount(form.Data1->view()->count(), " in the Area");
                form.endCommand();
            },
            failed);
    } catch (const std::exception& e) {
        failed(QString::fromStdString(e.what()));
    }
}

// The columns after the view's own in an export: those given (the norm),
// then the chosen values kept beside each row, numbers as numbers and a
// qualified value ("<0.05") as its text.
ViewExport::ExtraColumns withValueColumns(const ViewExport::ExtraColumns* before,
                                          const std::vector<ValueColumns::Choice>& choices,
                                          const std::string& table,
                                          std::shared_ptr<std::shared_ptr<engine::Database>> db) {
    ViewExport::ExtraColumns out;
    if (before)
        out.names = before->names;
    std::vector<std::string> analytes;
    for (const auto& c : choices) {
        out.names.push_back(c.unit.empty() ? c.analyte : c.analyte + " (" + c.unit + ")");
        analytes.push_back(c.analyte);
    }
    const auto first = before ? before->cells : nullptr;
    out.cells = [first, choices, analytes, table, db](const std::vector<engine::Value>& row) {
        std::vector<engine::Value> cells = first ? first(row) : std::vector<engine::Value>();
        std::vector<engine::SampleValue> values;
        const engine::Value& id = row[schema::kIdColumn];
        if (*db && id.isNumber())
            (*db)->readSomeValues(table, "[ID] = " + std::to_string(id.toInteger()), analytes,
                                  [&](const engine::StoredValue& v) {
                                      values.push_back(v.value);
                                      return true;
                                  });
        for (const auto& c : choices) {
            const QString text = ValueColumns::cellText(values, c);
            bool number = false;
            const double d = text.toDouble(&number);
            cells.push_back(text.isEmpty() ? engine::Value()
                            : number       ? engine::Value::real(d)
                                           : engine::Value::text(text.toStdString()));
        }
        return cells;
    };
    return out;
}

// The rows an export writes: the view's snapshot, as read on the export's
// own connection.
class SnapshotExport : public ViewExport::Rows {
public:
    explicit SnapshotExport(SnapshotRows& rows) : rows_(rows) {}
    long count() override { return rows_.count(); }
    const std::vector<std::string>& fieldNames() override { return rows_.fieldNames(); }
    bool gone(long row) override { return rows_.gone(row); }
    const engine::Value& cell(long row, int column) override { return rows_.cell(row, column); }

private:
    SnapshotRows& rows_;
};

} // namespace

ToolsController::ToolsController(MainForm& form, QMenuBar* bar) : form_(form) {
    QAction* help = nullptr;
    for (QAction* a : bar->actions())
        if (a->text() == "&Help")
            help = a;
    auto* tools = new QMenu("&Tools", bar);
    tools->setObjectName("mnuTools");
    bar->insertMenu(help, tools);
    // An item of the menu: its text, its name, what it does.
    auto item = [&](const char* text, const char* name, auto handler) {
        QAction* a = tools->addAction(text);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, guarded(handler));
        return a;
    };
    item("&TAS Diagram...", "mnuTas", [this] {
        mnuTas_Click();
    })->setShortcut(QKeySequence("Ctrl+T"));
    item("&Diagrams...", "mnuDiagrams", [this] { mnuDiagrams_Click(); });
    item("&Norm...", "mnuNorm", [this] { mnuNorm_Click(); });
    columns_ = new ValueColumnsController(form_, this);
    item("&Columns...", "mnuColumns", [this] { columns_->mnuColumns_Click(); });
    item("Find by &Value...", "mnuFindValue", [this] { columns_->mnuFindValue_Click(); });
    item("Sort by Va&lue...", "mnuSortValue", [this] { columns_->mnuSortValue_Click(); });
    history_ = new HistoryController(form_, this);
    item("&History...", "mnuHistory", [this] { history_->mnuHistory_Click(); });
    item("&Map...", "mnuMap", [this] {
        auto* map = form_.formWidget()->findChild<MapWindow*>();
        if (!map) { // owned by the main window
            map = new MapWindow(form_.Data1, form_.formWidget());
            connect(map, &MapWindow::areaChosen, this,
                    [this](const QString& statement) { searchArea(form_, statement); });
        }
        map->show();
        map->raise();
        map->activateWindow();
    });
    tools->addSeparator();
    item("&Import CSV...", "mnuImport", [this] { mnuImport_Click(); });
    item("&Export View...", "mnuExport", [this] { mnuExport_Click(); });
    tools->addSeparator();
    check_ = new FileCheckController(form_, this);
    item("Check the &File...", "mnuCheckFile", [this] { check_->mnuCheckFile_Click(); });
}

ToolsController::~ToolsController() {
    delete tas_;
    delete norm_;
}

void ToolsController::mnuTas_Click() {
    showDiagrams();
    if (tas_->diagramKeyword() != "tas")
        tas_->chooseDiagram("tas");
}

void ToolsController::mnuDiagrams_Click() {
    showDiagrams();
}

void ToolsController::showDiagrams() {
    if (!tas_)
        tas_ = new DiagramWindow(form_.Data1, form_.vaSpread1->recordsetModel());
    tas_->show();
    tas_->raise();
    tas_->activateWindow();
}

void ToolsController::mnuNorm_Click() {
    if (!norm_)
        norm_ = new NormWindow(form_.Data1, form_.vaSpread1->recordsetModel());
    norm_->show();
    norm_->raise();
    norm_->activateWindow();
}

void ToolsController::mnuImport_Click() {
    const QString file =
        QFileDialog::getOpenFileName(form_.formWidget(), "Import CSV", QString(),
                                     "Tables (*.csv *.txt *.xlsx *.ods);;CSV files (*.csv "
                                     "*.txt);;Workbooks (*.xlsx *.ods);;All files (*)");
    if (!file.isEmpty())
        importCsv(file);
}

void ToolsController::mnuExport_Click() {
    const QString file = FileDialogs::getSaveFileName(form_.formWidget(), "Export View", "view.csv",
                                                      "CSV file (*.csv);;Excel workbook (*.xlsx)");
    if (file.isEmpty())
        return;
    const bool withNorm = MessageBox::Ask(
        "Append each row's CIPW norm and refined name to its columns?\n\nIron is split as "
        "the Norm window chooses: " +
            QString(norm::ironDescription(exportIron())) + ".",
        "Export View", "With the &Norm", "&View Only");
    exportView(file, withNorm);
}

norm::IronChoice ToolsController::exportIron() const {
    return norm_ ? norm_->ironChoice() : norm::IronChoice::Volcanic;
}

QString ToolsController::activeTableName() const {
    // The name the Active Database menu gives the table.
    for (int i = 0; i < TableSet::kCount; ++i)
        if (TableSet::activeValue(i) == ActiveDatabase)
            return form_.menuItem("mnuActive1", i)->text().remove('&');
    return TableSet::table(ActiveDatabase);
}

void ToolsController::importCsv(const QString& file) {
    readAndAsk(file, {}, {});
}

void ToolsController::readAndAsk(const QString& file, const std::vector<int>& mapping,
                                 const QString& sheet) {
    const QString table = TableSet::table(ActiveDatabase);
    const std::shared_ptr<engine::Database> database = form_.Data1->database();
    if (table.isEmpty() || !database) {
        MessageBox::Show("There is no open table to import into.", 48, "Import Error");
        emit exchangeFinished(false);
        return;
    }
    // First read through: what would be done.
    auto reading = std::make_shared<CsvImport::Reading>();
    const std::string path = file.toStdString();
    const std::string wanted = sheet.toStdString();
    const std::string target = table.toStdString();
    auto* task = BackgroundTask::start(
        form_.formWidget(), "Import CSV", "Reading " + QFileInfo(file).fileName() + "...",
        [reading, path, mapping, wanted, database, target](BackgroundTask::Control& c) {
            *reading = CsvImport::read(path, &c.cancel, mapping, wanted);
            // Which rows the table holds already, for the user to decide on.
            if (auto* plan = std::get_if<ImportPlan>(reading.get()))
                CsvImport::findDuplicates(*database->openAnother(true), target, *plan, &c.cancel);
        });
    connect(task, &BackgroundTask::finished, this,
            [this, reading, file, mapping, table, database](bool ok,
                                                            const BackgroundTask::Error& error) {
                const auto* sheets = std::get_if<SheetList>(reading.get());
                if (ok && sheets && !form_.closing()) {
                    // A workbook of several sheets: the user says which.
                    QStringList names;
                    for (const std::string& n : sheets->names)
                        names << QString::fromStdString(n);
                    const QString chosen = ImportPreview::chooseSheet(QFileInfo(file).fileName(),
                                                                      names, form_.formWidget());
                    if (chosen.isEmpty())
                        emit exchangeFinished(false);
                    else
                        readAndAsk(file, mapping, chosen);
                    return;
                }
                if (!ok && !cancelled(error))
                    MessageBox::Show(error.text, 48, "Import Error");
                if (!ok || sheets || form_.closing()) {
                    emit exchangeFinished(false);
                    return;
                }
                askAndImport(
                    std::make_shared<ImportPlan>(std::move(std::get<ImportPlan>(*reading))), table,
                    database);
            });
}

void ToolsController::askAndImport(std::shared_ptr<ImportPlan> plan, const QString& table,
                                   std::shared_ptr<engine::Database> database) {
    const QString summary = QString::fromStdString(plan->describe());
    const QString shownName = activeTableName();
    if (plan->good() == 0) {
        MessageBox::Show(summary + "\nNo row can be imported.", 48, "Import Error");
        emit exchangeFinished(false);
        return;
    }
    const QString question =
        plan->bad ? QString("Import the %1 good rows into %2, leaving out the bad ones?")
                        .arg(plan->good())
                        .arg(shownName)
                  : QString("Import the %1 rows into %2?").arg(plan->rows).arg(shownName);
    std::vector<int> mapping;
    auto duplicates = CsvImport::Duplicates::Skip;
    switch (ImportPreview::ask(*plan, question, mapping, duplicates, form_.formWidget())) {
    case ImportPreview::Answer::Cancel:
        emit exchangeFinished(false);
        return;
    case ImportPreview::Answer::ReadAgain:
        readAndAsk(QString::fromStdString(plan->path), mapping,
                   QString::fromStdString(plan->sheet));
        return;
    case ImportPreview::Answer::Import:
        break;
    }
    auto written = std::make_shared<long>(0);
    auto stored = std::make_shared<long long>(0);
    auto met = std::make_shared<long>(0);
    const std::string target = table.toStdString();
    auto* importing = BackgroundTask::start(
        form_.formWidget(), "Import CSV", "Importing into " + shownName + "...",
        [plan, database, target, written, stored, met, duplicates](BackgroundTask::Control& c) {
            c.total = plan->bytes;
            auto db = database->openAnother(false);
            *written = CsvImport::run(
                *db, target, *plan, [&](long long bytes) { c.done = bytes; }, &c.cancel,
                stored.get(), duplicates, met.get());
        });
    connect(importing, &BackgroundTask::finished, this,
            [this, plan, written, stored, met, duplicates](bool ok,
                                                           const BackgroundTask::Error& error) {
                if (!ok)
                    MessageBox::Show(error.text, 48, "Import Error");
                if (!ok || *written < 0) { // cancelled: the table is as it was
                    emit exchangeFinished(false);
                    return;
                }
                MessageBox::Show(QString::fromStdString(CsvImport::summary(*plan, *written, *stored,
                                                                           *met, duplicates)),
                                 64, "Import CSV");
                refreshAfterImport();
            });
}

// The view shows the new rows, with the new count.
void ToolsController::refreshAfterImport() {
    if (form_.closing() || !form_.beginCommand()) {
        emit exchangeFinished(true);
        return;
    }
    const auto failed = [this](const QString& text) {
        MessageBox::Show(text, 48, "DataBase Error");
        form_.endCommand();
        emit exchangeFinished(true);
    };
    try {
        form_.RefreshRecordView(
            form_.Data1->RecordSource(),
            [this] {
                form_.endCommand();
                emit exchangeFinished(true);
            },
            failed);
    } catch (const std::exception& e) {
        failed(QString::fromStdString(e.what()));
    }
}

void ToolsController::exportView(const QString& file, bool withNorm) {
    View* view = form_.Data1->view();
    if (!view->database() || !view->shown()) {
        MessageBox::Show("There is no view to export.", 48, "Export Error");
        emit exchangeFinished(false);
        return;
    }
    // The file holds the rows the window shows, in its order: its keys,
    // once they are all in. Another set shown meanwhile is the one the
    // user now sees, and is exported instead.
    view->whenKeysComplete(
        this, [this, file, withNorm] { exportSnapshot(file, withNorm); },
        [this, file, withNorm] {
            // Told inside the refresh: asked again once it is done.
            QTimer::singleShot(0, this, [this, file, withNorm] {
                if (form_.closing())
                    emit exchangeFinished(false);
                else
                    exportView(file, withNorm);
            });
        });
}

void ToolsController::exportSnapshot(const QString& file, bool withNorm) {
    if (form_.closing()) {
        emit exchangeFinished(false);
        return;
    }
    std::optional<ViewSnapshot> snapshot;
    try {
        snapshot = form_.Data1->view()->snapshot();
    } catch (const std::exception& e) {
        MessageBox::Show(QString::fromStdString(e.what()), 48, "Export Error");
        emit exchangeFinished(false);
        return;
    }
    if (!snapshot) {
        MessageBox::Show("There is no view to export.", 48, "Export Error");
        emit exchangeFinished(false);
        return;
    }
    auto written = std::make_shared<long>(0);
    const std::string target = file.toStdString();
    std::shared_ptr<const ViewExport::ExtraColumns> extra;
    if (withNorm)
        extra = std::make_shared<const ViewExport::ExtraColumns>(norm::exportColumns(exportIron()));
    // The values shown after the grid's columns follow them into the file,
    // read row by row on the export's own connection.
    auto valuesDb = std::make_shared<std::shared_ptr<engine::Database>>();
    if (const auto choices = columns_->columns()->choices(); !choices.empty())
        extra = std::make_shared<const ViewExport::ExtraColumns>(
            withValueColumns(extra.get(), choices, snapshot->table, valuesDb));
    auto* exporting = BackgroundTask::start(
        form_.formWidget(), "Export View", "Exporting to " + QFileInfo(file).fileName() + "...",
        [shown = std::move(*snapshot), target, written, extra,
         valuesDb](BackgroundTask::Control& c) {
            SnapshotRows rows(shown);
            *valuesDb = rows.database();
            c.total = rows.count();
            SnapshotExport source(rows);
            *written = ViewExport::write(
                source, target, [&](long r) { c.done = r; }, &c.cancel, extra.get());
        });
    connect(exporting, &BackgroundTask::finished, this,
            [this, written](bool ok, const BackgroundTask::Error& error) {
                if (!ok)
                    MessageBox::Show(error.text, 48, "Export Error");
                emit exchangeFinished(ok && *written >= 0);
            });
}
