#include "ExchangeBench.h"

#include "BenchReport.h"
#include "Processes.h"
#include "SampleData.h"
#include "schema/Schema.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Runs a program to its end, its standard output to a file; returns its
// peak resident memory in MB.
double runProcess(const std::vector<std::string>& args, const std::string& out = "/dev/null") {
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen(out.c_str(), "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execProgram(args);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the benchmark's command failed: " + args[0] + " " + args[1]);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

} // namespace

void runExchangeCases(BenchReport& report, const std::string& dir) {
    namespace fs = std::filesystem;
    const std::string tool = QCoreApplication::applicationDirPath().toStdString() + "/quarzel-db";
    const std::string sqlite = "/usr/bin/sqlite3";
    if (!fs::exists(sqlite)) {
        std::printf("import and export cases left out: no sqlite3 command-line tool\n");
        return;
    }
    const std::string db = dir + "/" + SampleData::kDatabaseName;
    const std::string csv = dir + "/view.csv";
    const std::string select = "SELECT * From [DOZIRO1]Order By [Rockname] ASC";
    runProcess({tool, "export", dir, select, csv});
    long rows = 0;
    {
        std::FILE* f = std::fopen(csv.c_str(), "rb");
        for (int c; (c = std::fgetc(f)) != EOF;)
            rows += c == '\n';
        std::fclose(f);
        --rows; // the header
    }
    const std::string n = std::to_string(rows);

    report.compare(
        "quarzel-db query printing " + n + " rows (new process)",
        [&] {
            runProcess({tool, "query", dir, "SELECT * FROM [DOZIRO1]"}, dir + "/out.txt");
        },
        [&] {
            runProcess({sqlite, "-readonly", "-separator", "\t", db, "SELECT * FROM DOZIRO1"},
                       dir + "/ref.txt");
        },
        1.2, 5);
    fs::remove(dir + "/out.txt");
    fs::remove(dir + "/ref.txt");

    double peak = 0;
    report.compare(
        "export a " + n + "-row view to CSV (new process)",
        [&] {
            peak = std::max(peak, runProcess({tool, "export", dir, select, dir + "/out.csv"}));
        },
        [&] {
            runProcess({sqlite, "-readonly", "-csv", "-header", db,
                        "SELECT * FROM DOZIRO1 ORDER BY Rockname"},
                       dir + "/ref.csv");
        },
        1.5, 5);
    report.limit("peak memory exporting " + n + " rows", peak, 150, "MB");

    // Import into an empty table of the same schema, each time afresh.
    const std::string scratch = dir + "/scratch";
    fs::create_directories(scratch);
    const std::string refDb = scratch + "/ref.db";
    peak = 0;
    report.compare(
        "import a " + n + "-row CSV (new process)",
        [&] {
            fs::copy_file(dir + "/" + SampleData::kWorkgroupName,
                          scratch + "/" + SampleData::kWorkgroupName,
                          fs::copy_options::overwrite_existing);
            // An empty copy of the database: the same file with DOZIRO1 emptied
            // would cost a delete; the shipped empty project tables serve.
            fs::copy_file(db, scratch + "/" + SampleData::kDatabaseName,
                          fs::copy_options::overwrite_existing);
            peak = std::max(peak, runProcess({tool, "import", scratch, "Project3", csv}));
        },
        [&] {
            fs::remove(refDb);
            // The same schema: the table and its five indexes.
            runProcess(
                {sqlite, refDb, schema::createTableSql("T") + ";" + schema::createIndexesSql("T")});
            runProcess({sqlite, refDb, ".import --csv --skip 1 " + csv + " T"});
        },
        1.5, 5);
    report.limit("peak memory importing " + n + " rows", peak, 150, "MB");
    fs::remove_all(scratch);
    fs::remove(csv);
    fs::remove(dir + "/out.csv");
    fs::remove(dir + "/ref.csv");
}
