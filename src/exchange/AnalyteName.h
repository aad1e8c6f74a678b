#pragma once

#include <string>

// A file column's header read as what it reports: the analyte as chemists
// write it ("SIO2(WT%)" is SiO2 in wt%, "LA(PPM)" is La in ppm,
// "SR87_SR86" is 87Sr/86Sr, "EPSILON_ND" is εNd, "D18O" is δ18O in ‰),
// its unit and its method ("SiO2(WT%)[XRF]", "SiO2_ME-XRF26"), or a fact
// about the sample ("LATITUDE (MIN.)" is Latitude, the lower bound).
//
// A header that names no analyte is a fact under its own name, sentence-
// cased when the file shouts it; nothing is dropped for its name. The unit
// is kept as the file writes it, spelled the usual way where it is one we
// know ("WT%", "pct", "%" are wt%; "µg/g", "mg/kg" are ppm).
struct AnalyteName {
    enum class Bound { None, Min, Max };

    std::string name;     // "SiO2", "La", "87Sr/86Sr", "Latitude", "Tectonic setting"
    std::string unit;     // "wt%", "ppm", "‰", "cc STP/g"; empty where none is given
    std::string method;   // "XRF", "ME-XRF26"; empty where none is given
    bool analyte = false; // an element, oxide, isotope ratio or the like; else a fact
    Bound bound = Bound::None;

    static AnalyteName read(const std::string& header);
    // A unit as the file writes it, spelled the usual way ("WT%" -> "wt%");
    // empty for text that is no unit we know.
    static std::string knownUnit(const std::string& unit);
    // A known unit's factor to weight per cent; 0 for others.
    static double toWeightPercent(const std::string& unit);
    // Whether text looks like a lab's method code ("ME-XRF26", "FUS-ICP").
    static bool isMethodCode(const std::string& text);
};
