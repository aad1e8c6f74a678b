#pragma once

#include "CsvSource.h"

#include <string>
#include <vector>

// Files that give one sample over several rows, made one row per sample
// before they are read like any other:
// - the long layout (SAMPLE, ANALYTE, VALUE[, UNIT][, METHOD], one value
//   a row): each analyte, unit and method becomes a column of its own,
//   headed as "La (ppm) [ICP-MS]";
// - rows of one sample by method (a METHOD column, the sample again on
//   each row): each analysis column becomes one per method, "SIO2 [XRF]".
// A sample's other columns take the first value its rows give; two rows
// that give one analyte in one unit by one method, differently, are
// counted. Samples keep the order in which they first appear.
class SamplePivot {
public:
    struct Result {
        CsvSource::Rows rows; // the header first
        long rowsRead = 0;
        long samples = 0;
        long clashes = 0;   // values given twice, differently; the first kept
        std::string layout; // "the long layout", "rows of one sample by method"
    };

    // Whether the header is of the long layout: columns for the sample,
    // the analyte and the value.
    static bool isLong(const std::vector<std::string>& header);
    // Whether rows are by method: a method column beside the sample's.
    static bool isByMethod(const std::vector<std::string>& header);

    // Reads the records after the header (headerRecord records are above
    // it; the lines in `skip` are not data) and pivots them.
    static Result pivot(const CsvSource& source, long headerRecord,
                        const std::vector<std::string>& header, const std::vector<long>& skip);
};
