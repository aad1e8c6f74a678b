#include "TableRows.h"

#include "SampleData.h"

#include <filesystem>

#include <sqlite3.h>

long tableRows(const std::string& databasePath, const std::string& table) {
    long total = 0;
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(databasePath.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        const std::string sql = "SELECT count(*) FROM \"" + table + "\"";
        if (sqlite3_prepare_v2(raw, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW)
            total = static_cast<long>(sqlite3_column_int64(s, 0));
        sqlite3_finalize(s);
    }
    sqlite3_close(raw);
    return total;
}

void createSmallCollection(const std::string& dir) {
    std::filesystem::remove_all(dir);
    SampleData::Options o;
    o.rows = 300;
    o.projectRows = {36, 30, 0};
    SampleData::create(dir, o);
}
