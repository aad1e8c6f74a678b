#pragma once

#include "WorkbookReader.h"

#include <string>
#include <vector>

// The sheets of an .ods, read from its content.xml as WorkbookReader hands
// them on. Repeated rows and cells come as that many (each copy counted
// against a bound, so a few bytes cannot ask for billions of cells), while
// repeated empty ones only move the place on and cost nothing. A cell with
// something in it past the last row or column refuses the workbook, named.
// Throws std::runtime_error with the reason for a file that cannot be read.
class OdsReader {
public:
    static std::vector<WorkbookReader::Sheet> read(const std::string& path);
};
