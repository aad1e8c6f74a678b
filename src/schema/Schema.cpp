#include "Schema.h"

#include <string_view>

namespace schema {

constexpr std::array<const char*, kColumnCount> kColumns = {
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
constexpr bool named(Column c, std::string_view name) {
    return kColumns[at(c)] && kColumns[at(c)] == name;
}
} // namespace
static_assert(named(Column::Rockname, "Rockname") &&
                  named(Column::SampleNumber, "Doziro Sample#") && named(Column::SiO2, "SiO2") &&
                  named(Column::Na2O, "Na2O") && named(Column::H2OPlus, "H2O+") &&
                  named(Column::ZrO2, "ZrO2") && named(Column::Total, "Total") &&
                  named(Column::Trace5, "Trace5") && named(Column::ID, "ID"),
              "Column and kColumns in the same order");

const char* columnName(Column c) {
    return kColumns[at(c)];
}

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
    for (Column c : kTextColumns) {
        const std::string col = columnName(c);
        std::string name = table + "_" + col;
        for (char& c : name)
            if (c == ' ' || c == '#')
                c = '_';
        sql += "CREATE INDEX [" + name + "] ON [" + table + "] ([" + col + "] COLLATE NOCASE);";
    }
    return sql;
}

std::string trigramTable(const std::string& table) {
    return table + "_trigram";
}

std::string createTrigramSql(const std::string& table) {
    // An index of every three-character run of the five text columns, kept
    // by SQLite's FTS5 over the table's own rows (external content) and in
    // step with every insert, update and delete by triggers, in the same
    // transaction as the change. Only which rows hold a run is kept, not
    // where in them (detail=none): a quarter of the table's size instead of
    // as much again; the search checks its candidate rows anyway.
    const std::string fts = "[" + trigramTable(table) + "]";
    std::string cols, newValues, oldValues;
    for (Column column : kTextColumns) {
        const std::string c = std::string("[") + columnName(column) + "]";
        cols += (cols.empty() ? "" : ", ") + c;
        newValues += ", new." + c;
        oldValues += ", old." + c;
    }
    const std::string name = "[" + table + "_trigram_";
    std::string sql = "CREATE VIRTUAL TABLE " + fts + " USING fts5(" + cols + ", content='" +
                      table +
                      "', content_rowid='ID', tokenize='trigram case_sensitive 0', detail=none);";
    sql += "CREATE TRIGGER " + name + "insert] AFTER INSERT ON [" + table + "] BEGIN INSERT INTO " +
           fts + "(rowid, " + cols + ") VALUES (new.[ID]" + newValues + "); END;";
    sql += "CREATE TRIGGER " + name + "delete] AFTER DELETE ON [" + table + "] BEGIN INSERT INTO " +
           fts + "(" + fts + ", rowid, " + cols + ") VALUES ('delete', old.[ID]" + oldValues +
           "); END;";
    sql += "CREATE TRIGGER " + name + "update] AFTER UPDATE ON [" + table + "] BEGIN INSERT INTO " +
           fts + "(" + fts + ", rowid, " + cols + ") VALUES ('delete', old.[ID]" + oldValues +
           "); INSERT INTO " + fts + "(rowid, " + cols + ") VALUES (new.[ID]" + newValues +
           "); END;";
    sql += "INSERT INTO " + fts + "(" + fts + ") VALUES ('rebuild');";
    return sql;
}

} // namespace schema
