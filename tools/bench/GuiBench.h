#pragma once

#include <string>

class BenchReport;

// The main window end to end, offscreen, against the engine alone.
void runGuiCases(BenchReport& report, const std::string& dir);
