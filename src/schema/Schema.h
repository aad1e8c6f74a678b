#pragma once

#include "Column.h"

#include <array>
#include <string>

// The four sample tables and their 32 columns, in table order. A column's
// position here is its grid column index.
namespace schema {

constexpr int kColumnCount = 32;
constexpr int kTableCount = 4;

extern const std::array<const char*, kColumnCount> kColumns;
static_assert(index(Column::ID) + 1 == kColumnCount, "a Column for each of kColumns");
extern const std::array<const char*, kTableCount> kTables;

// The numeric columns of an analysis lie between the text columns and the key.
constexpr int kFirstAnalysisColumn = index(Column::SiO2);
constexpr int kLastAnalysisColumn = index(Column::Trace5);
constexpr int kIdColumn = index(Column::ID);

// CREATE TABLE statement and index statements for one table.
std::string createTableSql(const std::string& table);
std::string createIndexesSql(const std::string& table);
// The substring index of the five text columns, its triggers, and its
// first filling.
std::string trigramTable(const std::string& table);
std::string createTrigramSql(const std::string& table);

} // namespace schema
