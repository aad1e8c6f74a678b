#pragma once

#include <string>
#include <vector>

// The sheets of a spreadsheet workbook (.xlsx or .ods), read with liborcus
// as a table of texts per sheet: text as it stands, numbers as the shortest
// text that reads back the same number, formulas as their last result,
// dates as the table writes them (datetext: 2019-05-06, 2019-05-06 14:30, a
// time alone 14:30). A number with a date or time format is that date or
// time, counted from the workbook's own origin; one without stays a number
// (the origin goes with the sheet, for a Date column to read it by).
class WorkbookReader {
public:
    struct Sheet {
        std::string name;
        std::vector<std::vector<std::string>> rows; // from the sheet's first row
        int origin[3] = {1899, 12, 30};             // the workbook's day 0 of its date serials
        bool empty() const { return rows.empty(); }
    };

    // Whether the file is a workbook, by its name.
    static bool isWorkbook(const std::string& path);
    // Every sheet, in the workbook's order, or none: throws CsvError for a
    // file that cannot be read (damaged, or a cell past 1,048,576 rows by
    // 16,384 columns, or a sheet mostly emptiness around a stray cell),
    // with the reason and the cell named; OutOfMemory when it will not fit.
    static std::vector<Sheet> read(const std::string& path);
};
