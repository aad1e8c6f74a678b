#pragma once

#include "AnalyteName.h"

#include <string>
#include <vector>

// How the columns of a file map to the table's: our own 32 names (so that
// an export reads back), the oxide headers with units that compilations
// and lab sheets use (SIO2(WT%), SiO2 [wt%], SiO2_wt, SIO2_PCT, SiO₂,
// H2O(+), Cr [ppm], Zr_PPM...), and the descriptive headers (ROCK NAME,
// SAMPLE ID, LOCATION COMMENT, COLLECTOR, SAMPLING DATE, Locality...),
// without regard to case and surrounding blanks. A file's ID is never
// written into ours.
//
// Every column is also kept as its source reported it, beside the table's
// 32 columns: an analysis as its analyte in its unit and method, anything
// else as a fact about the sample; a citation column gives the sample's
// references. Nothing is left out but what the user chooses to leave out
// (and the file's own key, and a descriptive column's value already in
// ours).
//
// Units: weight per cent as it is; ppm and the like converted to weight
// per cent, an element to its oxide where our column is the oxide (Cr to
// Cr2O3, Zr to ZrO2). A column in a unit we do not know is skipped, and
// listed, and so is an element without its unit (Cr, S, Cl, F: ppm as
// often as wt%), never assumed. Total iron (FeOT, Fe2O3T) has no column of
// its own: a row that gives neither FeO nor Fe2O3 keeps its total iron in
// the one it was reported as; a row that gives FeO beside total iron has
// its Fe2O3 worked out.
//
// Several columns may feed one of ours (SiO2 by XRF and by ICP, CO2 in wt%
// and in ppm): each row takes the first that gives a value, in their order
// (the better name, then wt% before other units, then the file's order).
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
        // What the store keeps of the column.
        enum class Keep { No, Value, Citation, ReferencePart, Method, Unit };
        Keep keep = Keep::Value;
        AnalyteName reported;  // the analyte or fact, its unit and method
        int unitColumn = -1;   // the file column that gives this one's unit row by row
        int methodColumn = -1; // the file column that gives this one's method row by row
        int position = 0;      // 1 for the file's first column
        double limit = 0;      // the detection limit a lab's limits row gives; 0: none
        // Whether its values are kept as reported: not a descriptive
        // column's (ours has it), nor an element's whose unit is not known.
        bool kept() const;
    };
    std::vector<Source> sources;
    std::vector<int> target; // per file column: our column index, or -1
    // Per column of ours (and kTotalIronAs + FeO or Fe2O3 at the end): the
    // file columns that feed it, in the order a row takes them.
    std::vector<std::vector<int>> feeders;
    int methodColumn = -1;            // a column naming the method of the row's values
    std::vector<std::string> skipped; // file headers that map to nothing (or ID)
    // Choices between two headers for one column, in words ("ROCK NAME,
    // not ROCK TYPE, for Rockname"; "CO2(WT%), then CO2(PPM), for CO2").
    std::vector<std::string> choices;

    // Two file columns for one of our text columns: the better name wins
    // (our exact name, then the more specific one), the other is kept as a
    // fact; two equally good, or one header twice, are refused with a
    // CsvError naming both and their positions.
    static ImportColumns map(const std::vector<std::string>& header);
    // Our column for one header, or -1.
    static int columnFor(const std::string& header);
    // One header read: its column, unit and factor, and what it reports.
    static Source read(const std::string& header);
    // Applies a units row (one cell per file column) to columns whose
    // header named no unit; a unit we do not know skips the column.
    void applyUnits(const std::vector<std::string>& units);
    // A lab's row of method codes, or of detection limits, one cell per
    // file column (the first, the row's label, is not read).
    void applyMethods(const std::vector<std::string>& methods);
    void applyLimits(const std::vector<std::string>& limits);
    // What a row above or below the header is, by its first cell: a lab's
    // units, limits or methods row ("Unit Symbol", "Detection Limit",
    // "Analysis Method"), or none.
    enum class Label { None, Units, Limits, Methods };
    static Label labelOf(const std::string& firstCell);
    // Settles target, skipped and choices from the sources (map and
    // applyUnits do).
    void settle();

    // A file column's mapping as one number: our column, kTotalIronAs plus
    // FeO's or Fe2O3's for total iron, or -1 for none.
    static constexpr int kTotalIronAs = 100;
    static constexpr int kKept = -2; // into none of ours, kept as reported
    int code(std::size_t fileColumn) const;
    // The user's own mapping, one code per file column: it wins over the
    // names; two of the user's columns for one of ours throw a CsvError.
    void choose(const std::vector<int>& codes);
    // Whether a cell names a unit (a units row holds only such cells).
    static bool isUnit(const std::string& cell);
    bool anyAnalysis() const; // whether any column maps to an analysis
    bool anyKept() const;     // whether any column is kept as reported
    // How a file column is kept as reported, in words ("kept as La, ppm,
    // ICP-MS"); empty when it is not.
    std::string keptText(std::size_t fileColumn) const;

private:
    static Source readName(const std::string& header);
};
