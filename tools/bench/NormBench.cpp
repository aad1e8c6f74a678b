#include "NormBench.h"

#include "BenchReport.h"
#include "Processes.h"
#include "SampleData.h"

#include <QCoreApplication>

#include <sqlite3.h>

#include <filesystem>

void runNormCases(BenchReport& report, const std::string& dir) {
    namespace fs = std::filesystem;
    const std::string tool = QCoreApplication::applicationDirPath().toStdString() + "/quarzel-db";
    long total = 0;
    {
        sqlite3* raw = nullptr;
        const std::string db = dir + "/" + SampleData::kDatabaseName;
        sqlite3_open_v2(db.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(raw, "SELECT count(*) FROM DOZIRO1", -1, &s, nullptr);
        if (sqlite3_step(s) == SQLITE_ROW)
            total = static_cast<long>(sqlite3_column_int64(s, 0));
        sqlite3_finalize(s);
        sqlite3_close(raw);
    }
    // As the other whole-table cases: past a million rows, the first
    // million, both sides alike.
    constexpr long kMaxRows = 1000000;
    std::vector<std::string> where;
    std::string n = std::to_string(total);
    if (total > kMaxRows) {
        where = {"--where", "[ID] <= " + std::to_string(kMaxRows)};
        n = std::to_string(kMaxRows) + " of " + n;
    }
    const auto with = [&](std::vector<std::string> args) {
        args.insert(args.end(), where.begin(), where.end());
        return args;
    };
    const std::string out = dir + "/norm.txt";
    report.compare(
        "quarzel-db norm of " + n + " rows, against classify (new processes)",
        [&] {
            runProcess(with({tool, "norm", dir}), out);
        },
        [&] {
            runProcess(with({tool, "classify", dir}), out);
        },
        1.5, 5);
    fs::remove(out);
}
