#pragma once

#include <string>

class BenchReport;

// A compilation's every value, as the user waits for it, each a new
// process: importing a compilation-shaped file (thirty values a sample)
// against the sqlite3 tool importing the same values in long form into an
// indexed table, printing them against the same SELECT, and the store's
// size against that table's.
void runValuesCases(BenchReport& report, const std::string& dir, long samples);
