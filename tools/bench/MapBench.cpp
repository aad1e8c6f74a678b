#include "MapBench.h"

#include "BenchReport.h"
#include "Processes.h"
#include "SampleData.h"
#include "TableRows.h"
#include "WindowMeter.h"
#include "app/MainMenu.h"
#include "app/QuarzelDatabase.h"
#include "diagram/MapWindow.h"
#include "map/SamplePositions.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/program/ProgramInfo.h"

#include <QAction>
#include <QCoreApplication>

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <unordered_map>
#include <utility>

namespace {

// The map window opened on the table of positions, as the user opens it,
// and a sort with it open: the window may not hold the event loop while the
// map reads its samples and draws them.
void mapWindowHolds(BenchReport& report, const std::string& dir, long samples) {
    ProgramInfo::setPath(QString::fromStdString(dir));
    QuarzelDatabase w;
    w.show();
    paint(w);
    settle(w);
    w.menu()->item("mnuActive1", 3)->trigger(); // Project3
    paint(w);
    settle(w);
    const std::string at = " (" + std::to_string(samples) + " samples)";
    std::vector<double> opened, sorted;
    for (int run = 0; run < 3; ++run) {
        {
            CommandMeter meter(&w);
            w.findChild<QAction*>("mnuMap")->trigger();
            auto* map = w.findChild<MapWindow*>();
            while (map->loading())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            (void)map->grab(); // its samples painted
            opened.push_back(meter.held());
        }
        {
            CommandMeter meter(&w);
            w.menu()->item(run % 2 ? "mnuRockname" : "mnuRocknameD")->trigger();
            paint(w);
            settle(w);
            auto* map = w.findChild<MapWindow*>();
            while (map->loading())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            (void)map->grab();
            sorted.push_back(meter.held());
        }
        w.findChild<MapWindow*>()->close();
    }
    report.limit("map window opened, its samples read and painted: event loop held at most" + at,
                 BenchReport::median(opened), 100, "ms");
    report.limit("sort with the map open, up to its samples painted: event loop held at most" + at,
                 BenchReport::median(sorted), 100, "ms");
}

} // namespace

void runMapCases(BenchReport& report, const std::string& dir, long samples) {
    namespace fs = std::filesystem;
    const std::string tool = QCoreApplication::applicationDirPath().toStdString() + "/quarzel-db";
    const std::string scratch = dir + "/map-scratch", csv = dir + "/positions.csv";
    createSmallCollection(scratch);
    {
        std::FILE* f = std::fopen(csv.c_str(), "wb");
        std::fputs("SAMPLE NAME,ROCK NAME,LATITUDE,LONGITUDE,SIO2(WT%)\n", f);
        unsigned seed = 4711;
        auto next = [&] {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 8) % 36000;
        };
        for (long s = 1; s <= samples; ++s)
            std::fprintf(f, "M-%ld,BASALT,%.2f,%.2f,49.5\n", s, -89 + (next() % 17800) / 100.0,
                         -180 + next() / 100.0);
        std::fclose(f);
    }
    std::printf("importing %ld positions for the map's case ...\n", samples);
    std::fflush(stdout); // not written again by the process started next
    runProcess({tool, "import", scratch, "Project3", csv});
    fs::remove(csv);

    auto& engine = engine::DBEngine::instance();
    engine.SystemDB = scratch + "/" + SampleData::kWorkgroupName;
    engine.DefaultUser = SampleData::kUser;
    engine.DefaultPassword = SampleData::kPassword;
    const std::string path = scratch + "/" + SampleData::kDatabaseName;
    auto db = engine.Workspaces(0).OpenDatabase(path, false, true);
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open " + path);
    std::size_t ours = 0, reference = 0;
    report.compare(
        "map: every sample's position, " + std::to_string(samples) +
            " samples, read by ID (against SQLite reading the same two values)",
        [&] {
            geo::SamplePositions::Facts facts;
            geo::SamplePositions::read(*db, "Project3", facts);
            ours = facts.size();
        },
        [&] {
            std::unordered_map<sqlite3_int64, std::pair<double, double>> at;
            sqlite3_stmt* s = nullptr;
            sqlite3_prepare_v2(raw,
                               "SELECT v.sample, c.analyte, v.value FROM Project3_values v JOIN "
                               "quarzel_channel c ON c.code = v.channel WHERE c.analyte IN "
                               "('Latitude', 'Longitude')",
                               -1, &s, nullptr);
            while (sqlite3_step(s) == SQLITE_ROW) {
                auto& p = at[sqlite3_column_int64(s, 0)];
                const char* analyte = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
                (analyte[1] == 'a' ? p.first : p.second) = sqlite3_column_double(s, 2);
            }
            sqlite3_finalize(s);
            reference = at.size();
        },
        1.5, 3);
    if (ours != reference)
        std::printf("map case: %zu positions read, the reference %zu\n", ours, reference);
    sqlite3_close(raw);
    db.reset();
    mapWindowHolds(report, scratch, samples);
    fs::remove_all(scratch);
}
