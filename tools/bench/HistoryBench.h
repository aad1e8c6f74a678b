#pragma once

#include <string>

class BenchReport;

// What keeping the history costs an edit: the same edits, through the same
// engine, on the file and on a copy of it that keeps no history.
void runHistoryCases(BenchReport& report, const std::string& dir);
