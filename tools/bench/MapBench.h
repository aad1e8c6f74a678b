#pragma once

#include <string>

class BenchReport;

// The map's reading of where the samples are: every sample's latitude and
// longitude kept beside a table, read as the map window reads them (on its
// worker, by ID), against SQLite reading the same two values of the same
// file in one statement.
void runMapCases(BenchReport& report, const std::string& dir, long samples);
