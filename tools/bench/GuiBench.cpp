#include "GuiBench.h"

#include "BenchReport.h"
#include "Processes.h"
#include "SampleData.h"
#include "WindowMeter.h"
#include "app/MainMenu.h"
#include "app/QuarzelDatabase.h"
#include "app/ToolsController.h"
#include "diagram/DiagramWindow.h"
#include "diagram/NormWindow.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/Recordset.h"
#include "platform/program/ProgramInfo.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <QElapsedTimer>
#include <QScrollBar>
#include <QTimer>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace {

// What a program showing a view needs from SQLite: the exact count and the
// first screen of rows, in the view's order.
struct FirstScreen {
    explicit FirstScreen(const std::string& path) {
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    }
    ~FirstScreen() { sqlite3_close(db); }
    void show(const std::string& where, const std::string& order) {
        run("SELECT count(*) FROM DOZIRO1" + where);
        run("SELECT * FROM DOZIRO1" + where + " " + order + " LIMIT 20");
    }
    void run(const std::string& sql) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
        while (sqlite3_step(s) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(s); ++c)
                sink += sqlite3_column_bytes(s, c);
        sqlite3_finalize(s);
    }
    sqlite3* db = nullptr;
    long sink = 0;
};

} // namespace

void runGuiCases(BenchReport& report, const std::string& dir) {
    ProgramInfo::setPath(QString::fromStdString(dir));
    auto& engine = engine::DBEngine::instance();
    engine.SystemDB = dir + "/" + SampleData::kWorkgroupName;
    engine.DefaultUser = SampleData::kUser;
    engine.DefaultPassword = SampleData::kPassword;
    const std::string path = dir + "/" + SampleData::kDatabaseName;
    FirstScreen raw(path);
    std::string at;
    {
        auto db = engine.Workspaces(0).OpenDatabase(path);
        at = " (" + std::to_string(db->OpenRecordset("SELECT * FROM [DOZIRO1]")->RecordCount()) +
             " rows)";
    }

    // A cold start, against a new sqlite3 shell printing the count and
    // the first screen of rows. The shell starts no window and logs no one
    // on: its time is told, and the start is held to its own limit.
    namespace fs = std::filesystem;
    const std::string sqlite = "/usr/bin/sqlite3";
    if (fs::exists(sqlite)) {
        const StartTimes t = timeStart(dir, [&] {
            return spawnUntilFirstLine(
                {sqlite, "-readonly", path,
                 "SELECT count(*) FROM DOZIRO1; SELECT * FROM DOZIRO1 ORDER BY Rockname LIMIT 20"},
                true);
        });
        char shell[64];
        std::snprintf(shell, sizeof shell, " (sqlite3 shell: %.0f ms)", t.reference);
        report.limit("start, a new process to the first painted rows" + at + shell, t.ours, 400,
                     "ms");
    }

    // Each command as the user runs it, to its painted rows and label; the
    // event loop is held all that time, which is its own limit.
    std::unique_ptr<QuarzelDatabase> window;
    double held = 0;
    double peak = 0;
    {
        CommandMeter meter;
        window = std::make_unique<QuarzelDatabase>(); // Form_Load
        window->show();
        paint(*window);
        settle(*window);
        held = meter.held();
        peak = std::max(peak, meter.peakMegabytes());
    }
    report.limit("event loop held at most by the start (Form_Load, first paint)" + at, held, 100,
                 "ms");
    QuarzelDatabase& w = *window;

    w.vaSpread1->setFocus();
    const double jump = BenchReport::milliseconds([&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
        QApplication::sendEvent(w.vaSpread1, &press);
        paint(w);
    });
    report.limit("Ctrl+End to the last row, painted" + at, jump, 50, "ms");
    if (w.vaSpread1->Row() != w.vaSpread1->RowCount() - 1)
        std::printf("Ctrl+End did not reach the last row (row %ld)\n", w.vaSpread1->Row());
    const double drag = BenchReport::milliseconds([&] {
        QScrollBar* bar = w.vaSpread1->verticalScrollBar();
        bar->setValue(bar->maximum() / 2);
        paint(w);
    });
    report.limit("scroll bar dragged to the middle, rows painted" + at, drag, 100, "ms");

    // The Norm window beside the grid: each move of the current row is
    // followed by a new norm, painted.
    w.findChild<QAction*>("mnuNorm")->trigger();
    NormWindow* normWindow = w.tools().normWindow();
    std::vector<double> follows;
    w.vaSpread1->setRow(w.vaSpread1->RowCount() / 2);
    w.vaSpread1->setFocus();
    for (int i = 0; i < 200; ++i)
        follows.push_back(BenchReport::milliseconds([&] {
            QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
            QApplication::sendEvent(w.vaSpread1, &down);
            normWindow->repaint();
        }));
    report.limit("Norm window: a move of the current row followed and painted (median of 200)" + at,
                 BenchReport::median(follows), 10, "ms");
    normWindow->close();

    const long rows = w.vaSpread1->RowCount();
    for (int step = 0; step <= 100; ++step) {
        w.vaSpread1->setRow(std::min(rows - 1, rows * step / 100));
        paint(w);
    }
    report.limit("resident memory after 100 painted jumps through the table" + at,
                 BenchReport::residentMegabytes(), 300, "MB");

    // A command's three moments: the first rows painted, the count label
    // painted (the command returns), and the longest the event loop waited.
    auto commandCase = [&](const std::string& name, const std::function<void()>& command,
                           const std::string& where, const std::string& order) {
        const CommandTimes t = timeCommand(w, command, [&] { raw.show(where, order); });
        peak = std::max(peak, t.peak);
        report.record(name + ", to the count label painted" + at, t.label, t.reference, 1.5);
        report.limit(name + ": first rows painted" + at, t.firstRows, 150, "ms");
        report.limit(name + ": count label painted" + at, t.label, 300, "ms");
        report.limit(name + ": event loop held at most" + at, t.held, 100, "ms");
    };
    commandCase(
        "Find basalt in Rockname", [&] { find(w, "basalt", "Rockname"); },
        " WHERE Rockname LIKE '%basalt%'", "ORDER BY Rockname");
    commandCase(
        "Find site in Location", [&] { find(w, "site", "Location"); },
        " WHERE Location LIKE '%site%'", "ORDER BY Location");
    // A rare term (part of a sample number): the substring index answers it.
    commandCase(
        "Find 12345 in Doziro Sample#", [&] { find(w, "12345", "Doziro Sample#"); },
        " WHERE \"Doziro Sample#\" LIKE '%12345%'", "ORDER BY \"Doziro Sample#\"");
    commandCase(
        "Refresh", [&] { w.Command1[1]->click(); }, "", "ORDER BY Rockname");
    commandCase(
        "table switch to Geochem", [&] { w.menu()->item("mnuActive1", 0)->trigger(); }, "",
        "ORDER BY Rockname");

    struct Sort {
        const char* item;
        const char* order;
    };
    const Sort sorts[] = {
        {"mnuRockname", "Rockname ASC"},
        {"mnuGeologist", "Geologist ASC"},
        {"mnuDate", "Date ASC"},
        {"mnuLocation", "Location ASC"},
        {"mnuSample", "\"Doziro Sample#\" ASC"},
        {"mnuRocknameD", "Rockname DESC"},
        {"mnuGeologistD", "Geologist DESC"},
        {"mnuDateD", "Date DESC"},
        {"mnuLocationD", "Location DESC"},
        {"mnuSampleD", "\"Doziro Sample#\" DESC"},
    };
    for (const Sort& s : sorts)
        commandCase(
            std::string("sort by ") + s.order, [&] { w.menu()->item(s.item)->trigger(); }, "",
            std::string("ORDER BY ") + s.order);
    // The TAS diagram open beside the grid, then closed: a sort, a Refresh
    // and a search, each up to the diagram's new points; nothing the
    // diagram does may hold the main window.
    w.findChild<QAction*>("mnuTas")->trigger();
    DiagramWindow* tas = w.tools().diagramWindow();
    while (tas->loading())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    // The other kinds of diagram with the window open: a trace-element
    // diagram and the REE pattern, each chosen and then followed through
    // three sorts; their points are read from the values kept beside the rows.
    for (const char* keyword : {"ti-zr-y", "ree"}) {
        std::vector<double> held;
        double diagramPeak = 0;
        for (int run = 0; run < 4; ++run) {
            CommandMeter meter(&w);
            if (run == 0)
                tas->chooseDiagram(keyword);
            else
                w.menu()->item(run % 2 ? "mnuGeologistD" : "mnuGeologist")->trigger();
            paint(w);
            settle(w);
            while (tas->loading())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            (void)tas->grab();
            held.push_back(meter.held());
            diagramPeak = std::max(diagramPeak, meter.peakMegabytes());
        }
        peak = std::max(peak, diagramPeak);
        const std::string name = std::string("diagram ") + keyword;
        report.limit(name + " chosen, then three sorts: event loop held at most" + at,
                     *std::max_element(held.begin(), held.end()), 100, "ms");
        report.limit(name + ": peak resident memory" + at, diagramPeak, 300, "MB");
    }
    tas->chooseDiagram("tas");
    while (tas->loading())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    for (const bool open : {true, false}) {
        if (!open)
            tas->close();
        const std::string state = open ? " with the diagram open" : " after the diagram was closed";
        const std::pair<std::string, std::function<void()>> commands[] = {
            {"sort by Geologist", [&] { w.menu()->item("mnuGeologist")->trigger(); }},
            {"Refresh", [&] { w.Command1[1]->click(); }},
            {"Find basalt in Rockname", [&] { find(w, "basalt", "Rockname"); }},
        };
        for (const auto& [name, command] : commands) {
            std::vector<double> held;
            for (int run = 0; run < 3; ++run) {
                CommandMeter meter(&w);
                command();
                paint(w);
                settle(w);
                while (tas->loading())
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                if (open)
                    (void)tas->grab(); // the diagram's points painted too
                held.push_back(meter.held());
                peak = std::max(peak, meter.peakMegabytes());
            }
            report.limit(name + state + ": event loop held at most" + at, BenchReport::median(held),
                         100, "ms");
        }
    }
    report.limit("peak resident memory during the start and the commands" + at, peak, 300, "MB");
    window.reset();
}
