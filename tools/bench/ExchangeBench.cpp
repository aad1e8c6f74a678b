#include "ExchangeBench.h"

#include "BenchReport.h"
#include "Processes.h"
#include "SampleData.h"
#include "TableRows.h"
#include "schema/Schema.h"

#include <QCoreApplication>

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// The substring index's pages against its table's, as the file holds them.
double indexShare(const std::string& path, const std::string& table) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return 0;
    }
    sqlite3_stmt* s = nullptr;
    double share = 0;
    const std::string sql = "SELECT sum(CASE WHEN name = ?1 THEN pgsize END), sum(CASE WHEN name "
                            "LIKE ?1 || '\\_trigram%' ESCAPE '\\' THEN pgsize END) FROM dbstat";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(s, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(s) == SQLITE_ROW && sqlite3_column_double(s, 0) > 0)
            share = sqlite3_column_double(s, 1) / sqlite3_column_double(s, 0);
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return share;
}

// The values the import keeps beside the table, in long form as a
// reference imports them: a line per analysis cell the file gives, SiO2 to
// ZrO2 in wt% (the trace columns and the total are no analyte), in the
// file's order of rows.
std::string longFormSql(const std::string& where) {
    std::string cells;
    const int first = schema::kFirstAnalysisColumn, last = schema::index(schema::Column::ZrO2);
    for (int c = first; c <= last; ++c) {
        const std::string name = schema::kColumns[static_cast<std::size_t>(c)];
        cells += std::string(c == first ? "" : " UNION ALL ") + "SELECT ID, Rockname, " +
                 std::to_string(c) + " AS k, '" + name + "' AS analyte, [" + name +
                 "] AS value FROM DOZIRO1 WHERE typeof([" + name + "]) IN ('integer', 'real')" +
                 (where.empty() ? "" : " AND " + where);
    }
    return "SELECT [Doziro Sample#], analyte, value, 'wt%' FROM DOZIRO1 JOIN (" + cells +
           ") USING (ID) ORDER BY DOZIRO1.Rockname, ID, k";
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
    // Whole-table printing, export and import grow linearly; past a million
    // rows they run on the first million, both sides alike, so that a run
    // at ten million rows ends in reasonable time.
    constexpr long kMaxRows = 1000000;
    const long total = tableRows(db, "DOZIRO1");
    const bool capped = total > kMaxRows;
    const std::string ours = capped ? "Where [ID] <= " + std::to_string(kMaxRows) + " " : "";
    const std::string theirs = capped ? " WHERE ID <= " + std::to_string(kMaxRows) : "";
    const std::string of = capped ? " of " + std::to_string(total) : "";
    const std::string select = "SELECT * From [DOZIRO1]" + ours + "Order By [Rockname] ASC";
    runProcess({tool, "export", dir, select, csv});
    long rows = 0;
    {
        std::FILE* f = std::fopen(csv.c_str(), "rb");
        for (int c; (c = std::fgetc(f)) != EOF;)
            rows += c == '\n';
        std::fclose(f);
        --rows; // the header
    }
    const std::string n = std::to_string(rows) + of;

    report.compare(
        "quarzel-db query printing " + n + " rows (new process)",
        [&] {
            runProcess({tool, "query", dir, "SELECT * FROM [DOZIRO1]" + ours}, dir + "/out.txt");
        },
        [&] {
            runProcess(
                {sqlite, "-readonly", "-separator", "\t", db, "SELECT * FROM DOZIRO1" + theirs},
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
                        "SELECT * FROM DOZIRO1" + theirs + " ORDER BY Rockname"},
                       dir + "/ref.csv");
        },
        1.5, 5);
    report.limit("peak memory exporting " + n + " rows", peak, 150, "MB");

    // Import into an empty table of the same schema, each time afresh: a
    // small database is made once and copied before every run.
    const std::string scratch = dir + "/scratch";
    const std::string blank = dir + "/blank";
    fs::remove_all(blank);
    {
        SampleData::Options o;
        o.rows = 300;
        o.projectRows = {36, 30, 0}; // Project3 empty, as the reference's table
        SampleData::create(blank, o);
    }
    fs::create_directories(scratch);
    const std::string refDb = scratch + "/ref.db";
    const std::string lng = dir + "/long.csv";
    runProcess({sqlite, "-readonly", "-csv", "-header", db,
                longFormSql(capped ? "ID <= " + std::to_string(kMaxRows) : "")},
               lng);
    peak = 0;
    report.compare(
        "import a " + n + "-row CSV, its values kept beside the table (new process)",
        [&] {
            for (const char* f : {SampleData::kWorkgroupName, SampleData::kDatabaseName})
                fs::copy_file(blank + "/" + f, scratch + "/" + f,
                              fs::copy_options::overwrite_existing);
            peak = std::max(peak, runProcess({tool, "import", scratch, "Project3", csv}));
        },
        [&] {
            fs::remove(refDb);
            // The table and its five indexes. Ours keeps its substring index
            // up to date besides; the goal allows for it.
            runProcess(
                {sqlite, refDb, schema::createTableSql("T") + ";" + schema::createIndexesSql("T")});
            runProcess({sqlite, refDb, ".import --csv --skip 1 " + csv + " T"});
            // The import keeps each analysis also as reported: the same
            // values in long form, in an indexed table beside.
            runProcess({sqlite, refDb,
                        "CREATE TABLE long (sample TEXT, analyte TEXT, value REAL, unit TEXT); "
                        "CREATE INDEX long_sample ON long (sample); CREATE INDEX long_analyte "
                        "ON long (analyte)"});
            runProcess({sqlite, refDb, ".import --csv --skip 1 " + lng + " long"});
        },
        1.5, 5);
    report.limit("peak memory importing " + n + " rows", peak, 150, "MB");
    report.limit("substring index against its table, after importing " + n + " rows",
                 indexShare(scratch + "/" + SampleData::kDatabaseName, "Project3"), 0.5, "x");
    fs::remove_all(scratch);
    fs::remove_all(blank);
    fs::remove(csv);
    fs::remove(lng);
    fs::remove(dir + "/out.csv");
    fs::remove(dir + "/ref.csv");
}
