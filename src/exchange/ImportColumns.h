#pragma once

#include <string>
#include <vector>

// How the columns of a file map to the table's: our own 32 names (so that
// an export reads back), the oxide headers with units that compilations
// and lab sheets use (SIO2(WT%), SiO2 [wt%], SiO2_wt, SIO2_PCT, SiO₂,
// H2O(+), Cr [ppm], Zr_PPM...), and the descriptive headers (ROCK NAME,
// SAMPLE ID, LOCATION COMMENT, COLLECTOR, SAMPLING DATE, Locality...),
// without regard to case and surrounding blanks. A file's ID is never
// written into ours; columns that map to nothing are skipped.
//
// Units: weight per cent as it is; ppm and the like converted to weight
// per cent, an element to its oxide where our column is the oxide (Cr to
// Cr2O3, Zr to ZrO2). A column in a unit we do not know is skipped, and
// listed. Total iron (FeOT, Fe2O3T) has no column of its own: a row that
// gives neither FeO nor Fe2O3 keeps its total iron in the one it was
// reported as.
struct ImportColumns {
    // One file column.
    struct Source {
        std::string header;
        int target = -1;        // our column, or -1: skipped
        int totalIron = -1;     // FeO or Fe2O3 for a total-iron column, else -1
        double factor = 1;      // to weight per cent (and to the oxide)
        std::string unit;       // as the file gives it, empty when none
        std::string conversion; // the conversion in words, empty when none
        std::string why;        // why a column is skipped, if not for its name
        int rank = 0;           // the better name of two for one column wins
        bool needsUnit = false; // an element (Cr, Zr): never taken without its unit
        int named = -1;         // the column the name gives, taken or not
    };
    std::vector<Source> sources;
    std::vector<int> target;          // per file column: our column index, or -1
    std::vector<std::string> skipped; // file headers that map to nothing (or ID)
    // Choices between two headers for one column, in words ("ROCK NAME,
    // not ROCK TYPE, for Rockname").
    std::vector<std::string> choices;

    // Two file columns for one of ours: the better name wins (our exact
    // name, then the more specific one); two equally good are refused with
    // a CsvError naming both.
    static ImportColumns map(const std::vector<std::string>& header);
    // Our column for one header, or -1.
    static int columnFor(const std::string& header);
    // One header read: its column, unit and factor.
    static Source read(const std::string& header);
    // Applies a units row (one cell per file column) to columns whose
    // header named no unit; a unit we do not know skips the column.
    void applyUnits(const std::vector<std::string>& units);
    // Settles target, skipped and choices from the sources (map and
    // applyUnits do).
    void settle();

    // A file column's mapping as one number: our column, kTotalIronAs plus
    // FeO's or Fe2O3's for total iron, or -1 for none.
    static constexpr int kTotalIronAs = 100;
    int code(std::size_t fileColumn) const;
    // The user's own mapping, one code per file column: it wins over the
    // names; two of the user's columns for one of ours throw a CsvError.
    void choose(const std::vector<int>& codes);
    // Whether a cell names a unit (a units row holds only such cells).
    static bool isUnit(const std::string& cell);
    bool anyAnalysis() const; // whether any column maps to an analysis
};
