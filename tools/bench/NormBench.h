#pragma once

#include <string>

class BenchReport;

// The CIPW norm of a whole table from the command line, against the TAS
// classification of the same rows (both new processes, output to a file).
void runNormCases(BenchReport& report, const std::string& dir);
