#include "HistoryBench.h"

#include "BenchReport.h"
#include "SampleData.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/Recordset.h"
#include "schema/Column.h"

#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>

namespace {

// A copy whose DOZIRO1 keeps no history: a view stands where its history
// table would be, so that none can be made and no trigger writes one.
std::string copyWithoutHistory(const std::string& dir) {
    namespace fs = std::filesystem;
    const fs::path copy = fs::path(dir) / "no-history";
    fs::create_directories(copy);
    for (const char* f : {SampleData::kDatabaseName, SampleData::kWorkgroupName})
        fs::copy_file(fs::path(dir) / f, copy / f, fs::copy_options::overwrite_existing);
    sqlite3* db = nullptr;
    const std::string path = (copy / SampleData::kDatabaseName).string();
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open " + path);
    sqlite3_exec(db,
                 "DROP TABLE IF EXISTS DOZIRO1_history; DROP TABLE IF EXISTS "
                 "DOZIRO1_history_columns; DROP TABLE IF EXISTS DOZIRO1_history_values; "
                 "CREATE VIEW DOZIRO1_history AS SELECT 1 AS entry",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return path;
}

} // namespace

void runHistoryCases(BenchReport& report, const std::string& dir) {
    auto& engine = engine::DBEngine::instance();
    engine.SystemDB = dir + "/" + SampleData::kWorkgroupName;
    engine.DefaultUser = SampleData::kUser;
    engine.DefaultPassword = SampleData::kPassword;
    const std::string bare = copyWithoutHistory(dir);
    auto kept = engine.Workspaces(0).OpenDatabase(dir + "/" + SampleData::kDatabaseName);
    engine.SystemDB =
        std::filesystem::path(bare).parent_path().string() + "/" + SampleData::kWorkgroupName;
    auto none = engine.Workspaces(0).OpenDatabase(bare);
    auto open = [](engine::Database& db) {
        auto rs = db.OpenRecordset("SELECT * From [DOZIRO1]Order By [Rockname] ASC");
        rs->waitForIdle();
        return rs;
    };
    auto keptRows = open(*kept);
    auto bareRows = open(*none);
    int round = 0;
    // Twenty saved edits of one cell each, every one a change (a new date).
    auto edits = [&](engine::Recordset& rs) {
        ++round;
        for (long i = 0; i < 20; ++i)
            rs.updateRow(i, {{schema::index(schema::Column::Date),
                              "2026-12-" + std::to_string(10 + (i + round) % 9)}});
    };
    report.compare(
        "twenty single-row edits, saved, with their history (against none kept)",
        [&] { edits(*keptRows); }, [&] { edits(*bareRows); }, 1.1, 7);
}
