#pragma once

#include <string>
#include <vector>

// How the columns of a file map to the table's: our own 32 names (so that
// an export reads back), the oxide headers with units that compilations
// use (SIO2(WT%), SiO2 [wt%], SiO2_wt, SiO2 wt%, H2OP, H2OM...), and the
// descriptive headers (ROCK NAME, SAMPLE ID, LOCATION COMMENT, COLLECTOR,
// SAMPLING DATE...), without regard to case and surrounding blanks. A
// file's ID is never written into ours; columns that map to nothing are
// skipped. Two file columns that map to one of ours are refused.
struct ImportColumns {
    std::vector<int> target;          // per file column: our column index, or -1
    std::vector<std::string> skipped; // file headers that map to nothing (or ID)

    // Throws CsvError naming both headers of a duplicate mapping.
    static ImportColumns map(const std::vector<std::string>& header);
    // Our column for one header, or -1.
    static int columnFor(const std::string& header);
};
