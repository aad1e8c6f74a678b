#include "NormBench.h"

#include "BenchReport.h"
#include "Processes.h"
#include "SampleData.h"
#include "TableRows.h"

#include <QCoreApplication>

#include <filesystem>

void runNormCases(BenchReport& report, const std::string& dir) {
    namespace fs = std::filesystem;
    const std::string tool = QCoreApplication::applicationDirPath().toStdString() + "/quarzel-db";
    const long total = tableRows(dir + "/" + SampleData::kDatabaseName, "DOZIRO1");
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
