#pragma once

#include "schema/Schema.h"

#include <string>
#include <vector>

struct BadRow;
struct ImportPlan;

// One record of a file converted into the table's 32 cells: text as it
// stands, numbers in the file's decimal mark converted to weight per cent,
// each of our columns from the first of its file columns that gives a
// value, total iron split where the row says how; what the plan tells
// the user is counted on the way.
namespace rowcells {

struct Cell {
    enum { Null, Number, Text } kind = Null;
    double number = 0;
    std::string text;
};

// Counts and lists kept while converting, for the plan.
struct Tally {
    std::vector<long> nulls = std::vector<long>(schema::kColumnCount, 0);
    std::vector<long> negatives = std::vector<long>(schema::kColumnCount, 0);
    long totalIron = 0, datesConverted = 0, datesKept = 0, ironWorkedOut = 0;
    std::vector<std::string> keptDates;
    long disagreements = 0, unknownUnits = 0;
    std::vector<std::string> firstDisagreements;
};

// Converts one record; false (with the reason) for a bad row.
bool convert(const ImportPlan& plan, std::vector<std::string>& fields, long line,
             std::vector<Cell>& cells, BadRow& bad, Tally* tally);

} // namespace rowcells
