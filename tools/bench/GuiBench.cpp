#include "GuiBench.h"

#include "BenchReport.h"
#include "SampleData.h"
#include "app/QuarzelDatabase.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/Recordset.h"
#include "platform/program/ProgramInfo.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include <sqlite3.h>

#include <cstdio>
#include <memory>

namespace {

// Renders the visible rows and the label for real (grab() runs their paint
// events), whether or not the offscreen window has a backing store yet.
void paint(QuarzelDatabase& w) {
    QCoreApplication::processEvents();
    (void)w.vaSpread1->viewport()->grab();
    (void)w.Label3->grab();
}

// "Find" as the user clicks it, up to the painted rows and label.
void find(QuarzelDatabase& w, const QString& term, const QString& column) {
    w.Text1[0]->setText(term);
    w.Text1[1]->clear();
    w.Combo1->setEditText(column);
    w.Command1_Click(0);
    paint(w);
}

} // namespace

void runGuiCases(BenchReport& report, const std::string& dir) {
    ProgramInfo::setPath(QString::fromStdString(dir));
    auto& engine = engine::DBEngine::instance();
    engine.SystemDB = dir + "/" + SampleData::kWorkgroupName;
    engine.DefaultUser = SampleData::kUser;
    engine.DefaultPassword = SampleData::kPassword;
    auto db = engine.Workspaces(0).OpenDatabase(dir + "/" + SampleData::kDatabaseName);
    auto open = [&](const QString& sql) { db->OpenRecordset(sql.toStdString()); };
    const QString whole = "SELECT * From [DOZIRO1]Order By [Rockname] ASC";

    std::unique_ptr<QuarzelDatabase> window;
    report.compare(
        "Form_Load to the first painted rows",
        [&] {
            window.reset();
            window = std::make_unique<QuarzelDatabase>();
            window->show();
            paint(*window);
        },
        [&] { open(whole); }, 1.5);
    QuarzelDatabase& w = *window;

    w.vaSpread1->setFocus();
    const double jump = BenchReport::milliseconds([&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
        QApplication::sendEvent(w.vaSpread1, &press);
        paint(w);
    });
    report.limit("Ctrl+End to the last row, painted", jump, 50, "ms");
    if (w.vaSpread1->Row() != w.vaSpread1->RowCount() - 1)
        std::printf("Ctrl+End did not reach the last row (row %ld)\n", w.vaSpread1->Row());

    const long rows = w.vaSpread1->RowCount();
    for (int step = 0; step <= 100; ++step) {
        w.vaSpread1->setRow(std::min(rows - 1, rows * step / 100));
        paint(w);
    }
    report.limit("resident memory after 100 painted jumps through the table",
                 BenchReport::residentMegabytes(), 200, "MB");

    const QString basalt =
        "SELECT * FROM [DOZIRO1]Where [Rockname] Like '*basalt*'And [Rockname] Like "
        "'**'Order By [Rockname] ASC";
    report.compare(
        "Find basalt in Rockname, end to end", [&] { find(w, "basalt", "Rockname"); },
        [&] { open(basalt); }, 1.3);

    struct Sort {
        void (QuarzelDatabase::*handler)();
        const char* order;
    };
    const Sort sorts[] = {
        {&QuarzelDatabase::mnuRockname_Click, "Order By [Rockname] ASC"},
        {&QuarzelDatabase::mnuGeologist_Click, "Order By [Geologist] ASC"},
        {&QuarzelDatabase::mnuDate_Click, "Order By [Date] ASC"},
        {&QuarzelDatabase::mnuLocation_Click, "Order By [Location] ASC"},
        {&QuarzelDatabase::mnuSample_Click, "Order By [Doziro Sample#] ASC"},
        {&QuarzelDatabase::mnuRocknameD_Click, "Order By [Rockname] DESC"},
        {&QuarzelDatabase::mnuGeologistD_Click, "Order By [Geologist] DESC"},
        {&QuarzelDatabase::mnuDateD_Click, "Order By [Date] DESC"},
        {&QuarzelDatabase::mnuLocationD_Click, "Order By [Location] DESC"},
        {&QuarzelDatabase::mnuSampleD_Click, "Order By [Doziro Sample#] DESC"},
    };
    for (const Sort& s : sorts) {
        report.compare(
            std::string("sort, end to end: ") + s.order,
            [&] {
                (w.*s.handler)();
                paint(w);
            },
            [&] { open(QString("SELECT * From [DOZIRO1]") + s.order); }, 1.3);
    }

    sqlite3* raw = nullptr;
    sqlite3_open_v2((dir + "/" + SampleData::kDatabaseName).c_str(), &raw, SQLITE_OPEN_READONLY,
                    nullptr);
    report.compare(
        "Find site in Location, end to end, against built-in LIKE count",
        [&] { find(w, "site", "Location"); },
        [&] {
            sqlite3_stmt* s = nullptr;
            sqlite3_prepare_v2(raw, "SELECT count(*) FROM DOZIRO1 WHERE Location LIKE '%site%'", -1,
                               &s, nullptr);
            sqlite3_step(s);
            sqlite3_finalize(s);
        },
        1.5);
    sqlite3_close(raw);
    window.reset();
}
