// Tools > Import CSV... and Export View...: a file into the active table,
// the grid's view out to CSV or a workbook. The work runs off the
// user-interface thread, on a database connection of its own.
#include "Globals.h"
#include "MainMenu.h"
#include "QuarzelDatabase.h"
#include "exchange/CsvImport.h"
#include "exchange/ViewExport.h"
#include "platform/data/DataControl.h"
#include "platform/db/Database.h"
#include "platform/db/Recordset.h"
#include "platform/dialogs/BackgroundTask.h"
#include "platform/dialogs/FileDialogs.h"
#include "platform/dialogs/Guarded.h"
#include "platform/dialogs/MessageBox.h"
#include "query/TableSet.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>


void QuarzelDatabase::mnuImport_Click() {
    const QString file = QFileDialog::getOpenFileName(this, "Import CSV", QString(),
                                                      "CSV files (*.csv *.txt);;All files (*)");
    if (!file.isEmpty())
        importCsv(file);
}

void QuarzelDatabase::mnuExport_Click() {
    const QString file = FileDialogs::getSaveFileName(this, "Export View", "view.csv",
                                                      "CSV file (*.csv);;Excel workbook (*.xlsx)");
    if (!file.isEmpty())
        exportView(file);
}

QString QuarzelDatabase::activeTableName() const {
    // The name the Active Database menu gives the table.
    for (int i = 0; i < TableSet::kCount; ++i)
        if (TableSet::activeValue(i) == ActiveDatabase)
            return menu_->item("mnuActive1", i)->text().remove('&');
    return TableSet::table(ActiveDatabase);
}

void QuarzelDatabase::importCsv(const QString& file) {
    const QString table = TableSet::table(ActiveDatabase);
    const std::shared_ptr<engine::Database> database = Data1->database();
    if (table.isEmpty() || !database) {
        MessageBox::Show("There is no open table to import into.", 48, "Import Error");
        emit exchangeFinished(false);
        return;
    }
    // First read through: what would be done.
    auto plan = std::make_shared<ImportPlan>();
    const std::string path = file.toStdString();
    auto* reading = BackgroundTask::start(
        this, "Import CSV", "Reading " + QFileInfo(file).fileName() + "...",
        [plan, path](BackgroundTask::Control& c) { *plan = CsvImport::plan(path, &c.cancel); });
    connect(reading, &BackgroundTask::finished, this,
            [this, plan, table, database](bool ok, const QString& error) {
                if (!ok && error != "Cancelled.")
                    MessageBox::Show(error, 48, "Import Error");
                if (!ok || closing_) {
                    emit exchangeFinished(false);
                    return;
                }
                askAndImport(plan, table, database);
            });
}

void QuarzelDatabase::askAndImport(std::shared_ptr<ImportPlan> plan, const QString& table,
                                   std::shared_ptr<engine::Database> database) {
    const QString summary = QString::fromStdString(plan->describe());
    const QString shownName = activeTableName();
    if (plan->good() == 0) {
        MessageBox::Show(summary + "\nNo row can be imported.", 48, "Import Error");
        emit exchangeFinished(false);
        return;
    }
    const QString question =
        summary + (plan->bad
                       ? QString("\nImport the %1 good rows into %2, leaving out the bad ones?")
                             .arg(plan->good())
                             .arg(shownName)
                       : QString("\nImport the %1 rows into %2?").arg(plan->rows).arg(shownName));
    if (!MessageBox::Ask(question, "Import CSV", "Import", "Cancel")) {
        emit exchangeFinished(false);
        return;
    }
    auto written = std::make_shared<long>(0);
    const std::string target = table.toStdString();
    auto* importing = BackgroundTask::start(
        this, "Import CSV", "Importing into " + shownName + "...",
        [plan, database, target, written](BackgroundTask::Control& c) {
            c.total = plan->bytes;
            auto db = database->openAnother(false);
            *written = CsvImport::run(
                *db, target, *plan, [&](long long bytes) { c.done = bytes; }, &c.cancel);
        });
    connect(importing, &BackgroundTask::finished, this,
            [this, written](bool ok, const QString& error) {
                if (!ok)
                    MessageBox::Show(error, 48, "Import Error");
                if (!ok || *written < 0) { // cancelled: the table is as it was
                    emit exchangeFinished(false);
                    return;
                }
                // The view shows the new rows, with the new count.
                if (closing_ || !beginCommand()) {
                    emit exchangeFinished(true);
                    return;
                }
                const Failed failed = [this](const QString& text) {
                    MessageBox::Show(text, 48, "DataBase Error");
                    endCommand();
                    emit exchangeFinished(true);
                };
                try {
                    RefreshRecordView(
                        Data1->RecordSource(),
                        [this] {
                            endCommand();
                            emit exchangeFinished(true);
                        },
                        failed);
                } catch (const std::exception& e) {
                    failed(QString::fromStdString(e.what()));
                }
            });
}

void QuarzelDatabase::exportView(const QString& file) {
    const std::shared_ptr<engine::Database> database = Data1->database();
    const QString source = Data1->RecordSource();
    if (!database || !Data1->engineRecordset()) {
        MessageBox::Show("There is no view to export.", 48, "Export Error");
        emit exchangeFinished(false);
        return;
    }
    auto written = std::make_shared<long>(0);
    const std::string statement = source.toStdString();
    const std::string target = file.toStdString();
    auto* exporting = BackgroundTask::start(
        this, "Export View", "Exporting to " + QFileInfo(file).fileName() + "...",
        [database, statement, target, written](BackgroundTask::Control& c) {
            // The same statement on a connection of its own gives the
            // grid's rows in the grid's order.
            auto db = database->openAnother(true);
            auto rs = db->OpenRecordset(statement, true);
            c.total = rs->RecordCount();
            *written = ViewExport::write(
                *rs, target, [&](long r) { c.done = r; }, &c.cancel);
        });
    connect(exporting, &BackgroundTask::finished, this,
            [this, written](bool ok, const QString& error) {
                if (!ok)
                    MessageBox::Show(error, 48, "Export Error");
                emit exchangeFinished(ok && *written >= 0);
            });
}
