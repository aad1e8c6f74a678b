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

bool QuarzelDatabase::importCsv(const QString& file) {
    const QString table = TableSet::table(ActiveDatabase);
    const std::shared_ptr<engine::Database> database = Data1->database();
    if (table.isEmpty() || !database) {
        MessageBox::Show("There is no open table to import into.", 48, "Import Error");
        return false;
    }
    // First read through: what would be done.
    ImportPlan plan;
    QString error;
    if (!BackgroundTask::run(
            this, "Import CSV", "Reading " + QFileInfo(file).fileName() + "...",
            [&](BackgroundTask::Control& c) {
                plan = CsvImport::plan(file.toStdString(), &c.cancel);
            },
            &error)) {
        if (error != "Cancelled.")
            MessageBox::Show(error, 48, "Import Error");
        return false;
    }
    const QString summary = QString::fromStdString(plan.describe());
    const QString shownName = activeTableName();
    if (plan.good() == 0) {
        MessageBox::Show(summary + "\nNo row can be imported.", 48, "Import Error");
        return false;
    }
    const QString question =
        summary + (plan.bad
                       ? QString("\nImport the %1 good rows into %2, leaving out the bad ones?")
                             .arg(plan.good())
                             .arg(shownName)
                       : QString("\nImport the %1 rows into %2?").arg(plan.rows).arg(shownName));
    if (!MessageBox::Ask(question, "Import CSV", "Import", "Cancel"))
        return false;
    long written = 0;
    const bool ok = BackgroundTask::run(
        this, "Import CSV", "Importing into " + shownName + "...",
        [&](BackgroundTask::Control& c) {
            c.total = plan.bytes;
            auto db = database->openAnother(false);
            written = CsvImport::run(
                *db, table.toStdString(), plan, [&](long long bytes) { c.done = bytes; },
                &c.cancel);
        },
        &error);
    if (!ok) {
        MessageBox::Show(error, 48, "Import Error");
        return false;
    }
    if (written < 0)
        return false; // cancelled: the table is as it was
    // The view shows the new rows, with the new count.
    try {
        RefreshRecordView(Data1->RecordSource());
    } catch (const std::exception& e) {
        MessageBox::Show(QString::fromStdString(e.what()), 48, "DataBase Error");
    }
    return true;
}

bool QuarzelDatabase::exportView(const QString& file) {
    const std::shared_ptr<engine::Database> database = Data1->database();
    const QString source = Data1->RecordSource();
    if (!database || !Data1->engineRecordset()) {
        MessageBox::Show("There is no view to export.", 48, "Export Error");
        return false;
    }
    long written = 0;
    QString error;
    const bool ok = BackgroundTask::run(
        this, "Export View", "Exporting to " + QFileInfo(file).fileName() + "...",
        [&](BackgroundTask::Control& c) {
            // The same statement on a connection of its own gives the
            // grid's rows in the grid's order.
            auto db = database->openAnother(true);
            auto rs = db->OpenRecordset(source.toStdString(), true);
            c.total = rs->RecordCount();
            written = ViewExport::write(
                *rs, file.toStdString(), [&](long r) { c.done = r; }, &c.cancel);
        },
        &error);
    if (!ok)
        MessageBox::Show(error, 48, "Export Error");
    return ok && written >= 0;
}
