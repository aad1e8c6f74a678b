#pragma once

#include <string>

class BenchReport;

// The main window on a compilation's table with five of its values shown
// as columns: moving through a million rows with their cells read as they
// come, and finding and sorting by a value.
void runValueColumnsCases(BenchReport& report, const std::string& dir, int tableMenuIndex,
                          long samples);
