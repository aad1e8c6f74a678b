#pragma once

#include "platform/db/SampleValue.h"

#include <map>
#include <string>
#include <vector>

struct ImportPlan;

// A row of a file as its source reported it, for the store beside the
// table: every analysis column as its analyte with its unit, method,
// qualifier and citation, every other column as a fact, the sample's
// references in full. Nothing is converted: a value in ppm stays in ppm.
//
// "<0.01" is below detection with its limit, ">10000" above the range; a
// negative concentration (a survey's way of writing below detection) is
// below detection at its absolute value. A fact's lower and upper bound
// ("LATITUDE (MIN.)", "(MAX.)") that agree are one fact; else both are kept
// ("Latitude min", "Latitude max").
class ReportedValues {
public:
    // A reference block's entries: "[29001] Smith, J. (2001): ..." by its number.
    using References = std::map<std::string, std::string>;

    // The line of a block of notes that is a reference ("[n] text"), put
    // into references; false for any other line.
    static bool readReference(const std::vector<std::string>& fields, char delimiter,
                              References& references);

    // The values of one record; false with `why` (and the column and its
    // text) when an analysis holds what is no number.
    static bool read(const ImportPlan& plan, const std::vector<std::string>& fields,
                     std::vector<engine::SampleValue>& values, std::string& column,
                     std::string& text, std::string& why);
};
