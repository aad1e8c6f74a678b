#pragma once

#include <string>

class BenchReport;

// The main window on a shared server on this machine (loopback): a private
// cluster kept beside the cached rows, made from them once.
void runServerCases(BenchReport& report, const std::string& dir);
