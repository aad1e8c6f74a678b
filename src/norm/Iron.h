#pragma once

#include "Analysis.h"

#include <optional>
#include <string>

namespace norm {

// How a row's total iron is split into FeO and Fe2O3 before the norm.
enum class IronChoice {
    Volcanic,   // Le Maitre (1976), volcanic rocks: the standard's choice
    Plutonic,   // Le Maitre (1976), plutonic rocks
    Middlemost, // Middlemost (1989): a ratio for each TAS field
    Analysed,   // FeO and Fe2O3 as analysed; for rows that give both
};

const char* ironKeyword(IronChoice choice);     // "volcanic", as the command line takes it
const char* ironDescription(IronChoice choice); // as the window writes it
std::optional<IronChoice> ironFromKeyword(const std::string& keyword);

// The converted total: Fe2O3 + 1.1113 FeO, the factor being 2 FeO / Fe2O3
// in molar masses.
constexpr double kFeOAsFe2O3 = 1.1113;

struct IronSplit {
    double feo = 0;
    double fe2o3 = 0;
    std::string reason; // why there is no split; empty when there is
};

// One column filled and the other empty: that column is total iron (as the
// import stores compilations that give total iron only). Both filled: their
// total is split again, as the standard does for every analysis, unless
// the choice is "as analysed". The ratio is taken on the analysis as given.
IronSplit splitIron(const Analysis& a, IronChoice choice);

} // namespace norm
