#pragma once

#include <string>

class BenchReport;

// The TAS diagram of a whole table: reading, classifying, binning and
// painting, against reading the same columns with SQLite's C API.
void runTasCases(BenchReport& report, const std::string& dir);
