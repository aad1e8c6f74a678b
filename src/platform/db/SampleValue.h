#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace engine {

// One value a source reported for a sample, kept as it was reported:
// beyond the 32 columns a sample can carry any number of them (every
// element, isotope ratio and sample fact of a compilation). The 32-column
// row keeps its wt% oxides; a value converted into one of those columns
// stays here as well, in its own unit.
//
// A fact about the sample (Latitude, Longitude, Elevation, Age, Material,
// Setting, the source's own identifier...) is a value without a unit: a
// number in `value`, or words in `text`.
struct SampleValue {
    std::string analyte; // as chemists write it: "La", "SiO2", "FeOT", "87Sr/86Sr", "Latitude"
    std::string unit;    // "wt%", "ppm", "ppb", "ppt", "‰"...; empty for a ratio or a fact
    std::string method;  // "XRF", "ICP-MS"...; empty where the source names none
    // '<' below detection (value is the limit), '>' above the range, or 0.
    char qualifier = 0;
    std::optional<double> value; // the number; none for a fact in words
    std::string text;            // a fact in words ("whole rock"); empty for a number
    std::optional<double> uncertainty;
    std::string reference; // the citation in full; empty where none is given

    bool operator==(const SampleValue&) const = default;
};

// A value as read back: the sample it belongs to (the row's ID).
struct StoredValue {
    std::int64_t sample = 0;
    SampleValue value;
};

} // namespace engine
