#include "TraceBench.h"

#include "BenchReport.h"
#include "SampleData.h"
#include "classify/Diagram.h"
#include "classify/DiscriminationView.h"
#include "classify/NormalisingSets.h"
#include "classify/PatternView.h"
#include "classify/TasView.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/Recordset.h"

#include <sqlite3.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace {

// Every value of the analytes named, of the first `samples` samples (the
// long table holds them sample by sample, in the order imported).
double readLong(sqlite3* db, const std::string& analytes, long values) {
    const std::string sql =
        "SELECT sample, analyte, value FROM long WHERE rowid <= " + std::to_string(values) +
        " AND analyte IN (" + analytes + ")";
    sqlite3_stmt* s = nullptr;
    double sink = 0;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    while (sqlite3_step(s) == SQLITE_ROW)
        sink += sqlite3_column_double(s, 2) + sqlite3_column_bytes(s, 0);
    sqlite3_finalize(s);
    return sink;
}

} // namespace

void runTraceCases(BenchReport& report, const std::string& collection, const std::string& table,
                   const std::string& longDb) {
    auto& engine = engine::DBEngine::instance();
    engine.SystemDB = collection + "/" + SampleData::kWorkgroupName;
    engine.DefaultUser = SampleData::kUser;
    engine.DefaultPassword = SampleData::kPassword;
    auto db = engine.Workspaces(0).OpenDatabase(collection + "/" + SampleData::kDatabaseName);
    auto rs = db->OpenRecordset("SELECT * From [" + table + "]Order By [ID] ASC", true);
    const std::vector<std::int64_t> all = rs->keys();
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(longDb.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot open " + longDb);
    // Thirty values a sample in the long table (see ValuesBench).
    constexpr long kValuesPerSample = 30;
    double sink = 0;

    const std::vector<std::int64_t> some(all.begin(),
                                         all.begin() + std::min<std::size_t>(all.size(), 100000));
    const std::string rows = std::to_string(some.size());
    report.compare(
        "REE pattern, median and 10-90 % band of a " + rows + "-row view",
        [&] {
            trace::PatternView view;
            trace::readPatterns(*db, rs->Table(), some, trace::PatternKind::Ree,
                                trace::defaultSet(trace::PatternKind::Ree), view);
            sink += view.band.median.empty() ? 0 : view.band.median.front();
        },
        [&] {
            sink += readLong(raw, "'La','Ce','Pr','Nd','Sm','Eu','Gd','Dy','Er','Yb'",
                             static_cast<long>(some.size()) * kValuesPerSample);
        },
        1.5, 3);

    const auto diagram = chart::makeDiagram("pearce-nb-y");
    report.compare(
        "discrimination diagram (Nb against Y) of a " + std::to_string(all.size()) + "-row view",
        [&] {
            tas::ViewPoints view;
            chart::NoPointReasons why;
            chart::readTraceView(*db, rs->Table(), all, *diagram, -1, view, why);
            sink += static_cast<double>(view.plotted());
        },
        [&] {
            sink += readLong(raw, "'Nb','Y'", static_cast<long>(all.size()) * kValuesPerSample);
        },
        1.5, 3);
    sqlite3_close(raw);
    (void)sink;
}
