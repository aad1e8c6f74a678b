#include "EngineBench.h"

#include "BenchReport.h"
#include "SampleData.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/Recordset.h"
#include "schema/Schema.h"

#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

struct Raw {
    explicit Raw(const std::string& path) {
        // Opened as the engine opens its own connection (no mutex per call).
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + path);
    }
    ~Raw() { sqlite3_close(db); }
    // The ordered keys with their exact count, as a program using SQLite
    // directly would fetch them.
    long keys(const std::string& sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
        std::vector<sqlite3_int64> out;
        while (sqlite3_step(s) == SQLITE_ROW)
            out.push_back(sqlite3_column_int64(s, 0));
        sqlite3_finalize(s);
        return static_cast<long>(out.size());
    }
    sqlite3* db = nullptr;
};

} // namespace

void runEngineCases(BenchReport& report, const std::string& dir) {
    auto& engine = engine::DBEngine::instance();
    engine.SystemDB = dir + "/" + SampleData::kWorkgroupName;
    engine.DefaultUser = SampleData::kUser;
    engine.DefaultPassword = SampleData::kPassword;
    const std::string path = dir + "/" + SampleData::kDatabaseName;
    auto db = engine.Workspaces(0).OpenDatabase(path);
    Raw raw(path);
    const std::string at = " (" + std::to_string(raw.keys("SELECT ID FROM DOZIRO1")) + " rows)";

    long count = 0;
    report.compare(
        "dynaset DOZIRO1 by Rockname (exact count)" + at,
        [&] {
            // Every key and the count, as the reference has them.
            auto rs = db->OpenRecordset("SELECT * From [DOZIRO1]Order By [Rockname] ASC");
            rs->waitForIdle();
            count = rs->RecordCount();
        },
        [&] { raw.keys("SELECT ID FROM DOZIRO1 ORDER BY Rockname"); }, 1.1);
    report.compare(
        "search *basalt* by Rockname" + at,
        [&] {
            db->OpenRecordset("SELECT * FROM [DOZIRO1]Where [Rockname] Like '*basalt*'And "
                              "[Rockname] Like '**'Order By [Rockname] ASC")
                ->waitForIdle();
        },
        [&] {
            raw.keys("SELECT ID FROM DOZIRO1 WHERE Rockname LIKE '%basalt%' ORDER BY Rockname");
        },
        1.1);
    // Searches the substring index answers (a rare term, and a term found
    // nowhere), against SQLite's own LIKE scan of the same column: the same
    // rows, in the same order, every key read.
    struct Rare {
        const char* column;
        const char* term;
    };
    for (const Rare& r : {Rare{"Doziro Sample#", "12345"}, Rare{"Location", "Geyser"}}) {
        const std::string c = r.column;
        report.compare(
            "search *" + std::string(r.term) + "* in " + c + ", against a LIKE scan" + at,
            [&] {
                db->OpenRecordset("SELECT * FROM [DOZIRO1]Where [" + c + "] Like '*" + r.term +
                                  "*'And [" + c + "] Like '**'Order By [" + c + "] ASC")
                    ->waitForIdle();
            },
            [&] {
                raw.keys("SELECT ID FROM DOZIRO1 WHERE \"" + c + "\" LIKE '%" + r.term +
                         "%' ORDER BY \"" + c + "\"");
            },
            0.05); // at least twenty times faster
    }
    for (schema::Column column : schema::kTextColumns) {
        const char* c = schema::columnName(column);
        for (const char* d : {"ASC", "DESC"}) {
            const std::string order = std::string("Order By [") + c + "] " + d;
            report.compare(
                "sort " + std::string(c) + " " + d + at,
                [&] { db->OpenRecordset("SELECT * From [DOZIRO1]" + order)->waitForIdle(); },
                [&] { raw.keys("SELECT ID FROM DOZIRO1 " + order); }, 1.1);
        }
    }

    auto rs = db->OpenRecordset("SELECT * From [DOZIRO1]Order By [Rockname] ASC");
    rs->waitForIdle();
    const double rss = BenchReport::residentMegabytes();
    std::vector<sqlite3_int64> lastKeys;
    for (long i = rs->RecordCount() - 256; i < rs->RecordCount(); ++i)
        lastKeys.push_back(rs->keyAt(i));
    sqlite3_stmt* byKey = nullptr;
    sqlite3_prepare_v2(raw.db, "SELECT * FROM DOZIRO1 WHERE ID = ?1", -1, &byKey, nullptr);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> guard(byKey, sqlite3_finalize);
    report.compare(
        "fetch the last 256-row page" + at,
        [&] {
            rs->clearCache(); // a cold fetch every time
            for (long i = rs->RecordCount() - 256; i < rs->RecordCount(); ++i)
                rs->valueAt(i, 0);
        },
        [&] {
            // In one read transaction, as the engine reads a page.
            sqlite3_exec(raw.db, "BEGIN", nullptr, nullptr, nullptr);
            long n = 0;
            for (auto k : lastKeys) {
                sqlite3_bind_int64(byKey, 1, k);
                if (sqlite3_step(byKey) == SQLITE_ROW)
                    for (int c = 0; c < schema::kColumnCount; ++c)
                        n += sqlite3_column_bytes(byKey, c);
                sqlite3_reset(byKey);
            }
            sqlite3_exec(raw.db, "COMMIT", nullptr, nullptr, nullptr);
        },
        1.1);
    report.limit("resident memory with the dynaset open" + at, rss, 300, "MB");
    std::printf("(%ld rows in DOZIRO1)\n", count);
}
