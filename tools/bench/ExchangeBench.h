#pragma once

#include <string>

class BenchReport;

// Import and export as the user waits for them, each a new process:
// quarzel-db against the sqlite3 command-line tool doing the same work.
void runExchangeCases(BenchReport& report, const std::string& dir);
