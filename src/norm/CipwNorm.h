#pragma once

#include "Analysis.h"
#include "Iron.h"

#include <string>

namespace norm {

// The normative minerals, in the order the norm's table lists them.
enum Mineral {
    Q,
    Or,
    Ab,
    An,
    Lc,
    Ne,
    Kp,
    C,
    Ac,
    Ns,
    Ks,
    Wo,
    Di,
    Hy,
    Ol,
    Mt,
    Hm,
    Il,
    Tn,
    Pf,
    Ru,
    Ap,
    Cc,
    Cs,
    Z,
    Fr,
    Hl,
    Th,
    Pr,
    Cm,
    kMineralCount
};

struct MineralName {
    const char* abbreviation; // as tables of norms head their columns
    const char* name;         // written out
};
const MineralName& mineralName(int mineral);

// Grams per mole of an oxide, from the standard atomic weights the norm uses.
double molarMass(int oxide);

// The CIPW norm of one analysis, computed as the standard igneous norm of
// Verma et al. (2002, 2003) does.
struct Norm {
    bool valid = false;
    std::string reason; // why there is no norm

    double mineral[kMineralCount] = {}; // wt %
    // The analysis the minerals are made of: iron split, recalculated to
    // 100 % free of water; Oxide order, water 0.
    double adjusted[kOxideCount] = {};
    double sum = 0;      // of the minerals
    double mgNumber = 0; // 100 Mg / (Mg + Fe2+), molar, on the adjusted oxides; NaN without either
    double di = 0;       // differentiation index: Q + Or + Ab + Ne + Lc + Kp
    double cia = 0;      // chemical index of alteration (alterationIndex); NaN without it
    double analysedSum = 0;     // the oxides as given, volatiles included
    double silicaDeficit = 0;   // wt % of SiO2 still lacking after kaliophilite
    int tasField = -1;          // on the adjusted analysis; -1 outside the diagram
    bool namedPlutonic = false; // the row's rock name is a plutonic rock's (soundsPlutonic)

    // An analysis this far from 100 % is computed but flagged.
    static constexpr double kLowSum = 85, kHighSum = 105;
    bool sumOutOfRange() const { return analysedSum < kLowSum || analysedSum > kHighSum; }
};

Norm computeNorm(const Analysis& analysis, IronChoice iron = IronChoice::Volcanic);

// The chemical index of alteration of Nesbitt & Young (1982), on the
// analysis as given: 100 Al2O3 / (Al2O3 + CaO* + Na2O + K2O), molar, CaO*
// the CaO of the silicates (apatite's taken out by P2O5; no carbonate
// correction). NaN without Al2O3, CaO, Na2O or K2O.
double alterationIndex(const Analysis& a);

} // namespace norm
