#include "Schema.h"

namespace schema {

const std::array<const char*, kColumnCount> kColumns = {
    "Rockname", "Geologist", "Date",   "Location", "Doziro Sample#",
    "SiO2",     "TiO2",      "Al2O3",  "Fe2O3",    "FeO",
    "MnO",      "MgO",       "CaO",    "Na2O",     "K2O",
    "P2O5",     "H2O+",      "H2O-",   "CO2",      "Cl",
    "F",        "S",         "SO3",    "Cr2O3",    "ZrO2",
    "Total",    "Trace1",    "Trace2", "Trace3",   "Trace4",
    "Trace5",   "ID"};

const std::array<const char*, kTableCount> kTables = {"DOZIRO1", "Project1", "Project2",
                                                      "Project3"};

namespace {
// The descriptive columns that are sorted and searched.
constexpr int kSortable[] = {0, 1, 2, 3, 4};
} // namespace

std::string createTableSql(const std::string& table) {
    // Text columns compare without regard to case, as users expect; SiO2
    // keeps numbers as numbers while its default stays the text 'Empty'.
    std::string sql = "CREATE TABLE [" + table + "] (";
    for (int i = 0; i < kColumnCount; ++i) {
        sql += i ? ", [" : "[";
        sql += kColumns[static_cast<size_t>(i)];
        sql += "] ";
        if (i < kFirstAnalysisColumn)
            sql += "TEXT COLLATE NOCASE";
        else if (i == kFirstAnalysisColumn)
            sql += "NUMERIC DEFAULT 'Empty'";
        else if (i <= kLastAnalysisColumn)
            sql += "REAL";
        else
            sql += "INTEGER PRIMARY KEY AUTOINCREMENT";
    }
    return sql + ")";
}

std::string createIndexesSql(const std::string& table) {
    std::string sql;
    for (int i : kSortable) {
        const std::string col = kColumns[static_cast<size_t>(i)];
        std::string name = table + "_" + col;
        for (char& c : name)
            if (c == ' ' || c == '#')
                c = '_';
        sql += "CREATE INDEX [" + name + "] ON [" + table + "] ([" + col + "] COLLATE NOCASE);";
    }
    return sql;
}

} // namespace schema
