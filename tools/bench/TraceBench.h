#pragma once

#include <string>

class BenchReport;

// The diagrams drawn from the values kept beside the rows, each against
// SQLite reading the same values from the long-form table of the same
// compilation: the REE pattern of up to 100,000 rows with its median and
// band, and a discrimination diagram (Nb against Y) of every row.
void runTraceCases(BenchReport& report, const std::string& collection, const std::string& table,
                   const std::string& longDb);
