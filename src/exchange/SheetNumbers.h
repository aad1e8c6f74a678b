#pragma once

#include <string>
#include <utility>
#include <vector>

// Numbers that the workbook writer wrote with too few digits (it keeps 16
// significant ones: 0.30000000000000004 became 0.3, the largest double
// became infinity), written again once the workbook is complete: the
// sheet's XML in the archive is rewritten with the shortest text that reads
// back each such number. Such numbers are rare (results of arithmetic), so
// the sheet is rewritten only when there are any.
class SheetNumbers {
public:
    // Whether 16 significant digits read back exactly this number.
    static bool writtenExactly(double value);
    // A cell (row 0 is the header) whose number needs all its digits; in
    // the order the cells are written.
    void note(long row, int column, double value);
    bool empty() const { return cells_.empty(); }
    // Rewrites the sheet entry of the archive. Throws std::runtime_error
    // with the reason.
    void applyTo(const std::string& xlsx, const std::string& sheetEntry) const;

private:
    std::vector<std::pair<std::string, std::string>> cells_; // reference, text
};
