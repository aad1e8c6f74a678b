// quarzel-bench: measures the engine and the program against their goals.
#include "BenchReport.h"
#include "CoastBench.h"
#include "EngineBench.h"
#include "ExchangeBench.h"
#include "GuiBench.h"
#include "HistoryBench.h"
#include "MapBench.h"
#include "NormBench.h"
#include "ServerBench.h"
#include "TasBench.h"
#include "ValuesBench.h"
#include "platform/db/FreedMemory.h"

#include "SampleData.h"
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string cacheDir(long rows) {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    std::filesystem::path base = xdg && *xdg ? xdg : std::string(home ? home : "/tmp") + "/.cache";
    // "-v3": files with the substring index; older ones are built again.
    return (base / "quarzel-bench" / ("rows-" + std::to_string(rows) + "-v3")).string();
}

} // namespace

int main(int argc, char** argv) {
    engine::keepLargeBlocksApart(); // as the program does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    long rows = 1000000;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--rows" && i + 1 < argc) {
            rows = std::strtol(argv[++i], nullptr, 10);
        } else if (a == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else {
            std::fprintf(stderr, "usage: quarzel-bench [--rows N] [--only "
                                 "engine|gui|tas|norm|exchange|values|history|map|server]\n");
            return 2;
        }
    }
    if (rows < 300) {
        std::fprintf(stderr, "quarzel-bench: --rows needs at least 300\n");
        return 2;
    }
    const std::string dir = cacheDir(rows);
    if (!std::filesystem::exists(dir + "/" + SampleData::kDatabaseName)) {
        std::printf("building a %ld-row database in %s ...\n", rows, dir.c_str());
        SampleData::Options o;
        o.rows = rows;
        SampleData::create(dir, o);
    }
    BenchReport report;
    auto wanted = [&](const char* group) { return only.empty() || only == group; };
    if (wanted("engine") || wanted("gui") || wanted("tas"))
        runEngineCases(report, dir); // also logs on, for the cases after it
    if (wanted("gui"))
        runGuiCases(report, dir);
    if (wanted("tas"))
        runTasCases(report, dir);
    if (wanted("norm"))
        runNormCases(report, dir);
    if (wanted("exchange"))
        runExchangeCases(report, dir);
    if (wanted("values")) // a compilation of up to a million samples, all its values
        runValuesCases(report, dir, std::min(rows, 1000000L));
    if (wanted("history"))
        runHistoryCases(report, dir);
    if (wanted("map")) { // the coastlines, and the samples' positions, up to a million
        runCoastCases(report);
        runMapCases(report, dir, std::min(rows, 1000000L));
    }
    if (only == "server") // a server of its own: asked for by name only
        runServerCases(report, dir);
    report.print();
    return 0;
}
