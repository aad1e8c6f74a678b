#pragma once

#include <string>

class BenchReport;

// The engine's dynasets against raw SQLite calls on the same file.
void runEngineCases(BenchReport& report, const std::string& dir);
