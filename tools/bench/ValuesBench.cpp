#include "ValuesBench.h"

#include "BenchReport.h"
#include "Processes.h"
#include "SampleData.h"
#include "TableRows.h"
#include "TraceBench.h"
#include "ValueColumnsBench.h"

#include <QCoreApplication>

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Thirty values a sample, as a precompiled compilation writes them: the
// coordinates, ten oxides in wt%, eighteen trace elements in ppm.
const char* const kOxides[] = {"SIO2", "TIO2", "AL2O3", "FEOT", "MNO",
                               "MGO",  "CAO",  "NA2O",  "K2O",  "P2O5"};
const char* const kOxideNames[] = {"SiO2", "TiO2", "Al2O3", "FeOT", "MnO",
                                   "MgO",  "CaO",  "Na2O",  "K2O",  "P2O5"};
const char* const kTraces[] = {"Rb", "Sr", "Y",  "Zr", "Nb", "Ba", "La", "Ce", "Pr",
                               "Nd", "Sm", "Eu", "Gd", "Dy", "Er", "Yb", "Hf", "Th"};

// The two files: wide as downloaded, long as the reference imports it.
void writeFiles(const std::string& wide, const std::string& lng, long samples) {
    std::FILE* w = std::fopen(wide.c_str(), "wb");
    std::FILE* l = std::fopen(lng.c_str(), "wb");
    std::fputs("SAMPLE NAME,ROCK NAME,LATITUDE,LONGITUDE", w);
    for (const char* o : kOxides)
        std::fprintf(w, ",%s(WT%%)", o);
    for (const char* t : kTraces)
        std::fprintf(w, ",%s(PPM)", t);
    std::fputs("\n", w);
    std::fputs("sample,analyte,value,unit\n", l);
    unsigned seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % 10000;
    };
    for (long s = 1; s <= samples; ++s) {
        const double lat = -60 + (next() % 12000) / 100.0, lon = -180 + (next() % 36000) / 100.0;
        std::fprintf(w, "S-%ld,BASALT,%.2f,%.2f", s, lat, lon);
        std::fprintf(l, "S-%ld,Latitude,%.2f,\nS-%ld,Longitude,%.2f,\n", s, lat, s, lon);
        for (std::size_t i = 0; i < std::size(kOxides); ++i) {
            const double v = 0.1 + next() / 200.0;
            std::fprintf(w, ",%.2f", v);
            std::fprintf(l, "S-%ld,%s,%.2f,wt%%\n", s, kOxideNames[i], v);
        }
        for (const char* t : kTraces) {
            const double v = 0.05 + next() / 10.0;
            std::fprintf(w, ",%.2f", v);
            std::fprintf(l, "S-%ld,%s,%.2f,ppm\n", s, t, v);
        }
        std::fputs("\n", w);
    }
    std::fclose(w);
    std::fclose(l);
}

// The pages a file's tables and indexes take whose names match.
double pages(const std::string& path, const std::string& like) {
    sqlite3* db = nullptr;
    double bytes = 0;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db,
                               "SELECT sum(pgsize) FROM dbstat WHERE name IN (SELECT name FROM "
                               "sqlite_master WHERE tbl_name LIKE ?1)",
                               -1, &s, nullptr) == SQLITE_OK) {
            sqlite3_bind_text(s, 1, like.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(s) == SQLITE_ROW)
                bytes = sqlite3_column_double(s, 0);
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return bytes;
}

} // namespace

void runValuesCases(BenchReport& report, const std::string& dir, long samples) {
    namespace fs = std::filesystem;
    const std::string tool = QCoreApplication::applicationDirPath().toStdString() + "/quarzel-db";
    const std::string sqlite = "/usr/bin/sqlite3";
    if (!fs::exists(sqlite)) {
        std::printf("values cases left out: no sqlite3 command-line tool\n");
        return;
    }
    const std::string wide = dir + "/compilation.csv", lng = dir + "/long.csv";
    writeFiles(wide, lng, samples);
    const std::string blank = dir + "/values-blank", scratch = dir + "/values-scratch";
    createSmallCollection(blank);
    fs::create_directories(scratch);
    const std::string refDb = scratch + "/ref.db";
    const std::string n =
        std::to_string(samples) + "-sample, " + std::to_string(samples * 30) + "-value";
    report.compare(
        "import a " + n + " compilation (new process)",
        [&] {
            for (const char* f : {SampleData::kWorkgroupName, SampleData::kDatabaseName})
                fs::copy_file(blank + "/" + f, scratch + "/" + f,
                              fs::copy_options::overwrite_existing);
            runProcess({tool, "import", scratch, "Project3", wide});
        },
        [&] {
            fs::remove(refDb);
            runProcess({sqlite, refDb,
                        "CREATE TABLE long (sample TEXT, analyte TEXT, value REAL, unit TEXT); "
                        "CREATE INDEX long_sample ON long (sample); CREATE INDEX long_analyte "
                        "ON long (analyte)"});
            runProcess({sqlite, refDb, ".import --csv --skip 1 " + lng + " long"});
        },
        1.5, 3);
    const std::string ours = scratch + "/" + SampleData::kDatabaseName;
    report.compare(
        "print the " + n + " values (new process)",
        [&] {
            runProcess({tool, "values", scratch, "--table", "Project3"}, dir + "/out.txt");
        },
        [&] {
            runProcess({sqlite, "-readonly", "-separator", "\t", refDb,
                        "SELECT sample, analyte, value, unit FROM long ORDER BY sample"},
                       dir + "/ref.txt");
        },
        1.5, 3);
    const double store = pages(ours, "Project3_values") + pages(ours, "quarzel_channel") +
                         pages(ours, "quarzel_reference");
    const double reference = pages(refDb, "long");
    report.limit("the store's size against the long-form table's, " + n,
                 reference > 0 ? store / reference : 0, 1.3, "x");
    runTraceCases(report, scratch, "Project3", refDb);
    runValueColumnsCases(report, scratch, 3, samples);
    fs::remove_all(scratch);
    fs::remove_all(blank);
    fs::remove(wide);
    fs::remove(lng);
    fs::remove(dir + "/out.txt");
    fs::remove(dir + "/ref.txt");
}
