#pragma once

#include "CipwNorm.h"

#include <string>

namespace norm {

// The name a sample is published under: its TAS field, refined by the
// norm and the alkalis (Le Bas et al. 1986; Le Maitre 2002), or a high-Mg
// name (Le Bas 2000), which comes first:
// - picritic rocks, SiO2 30 to 52: komatiite (TiO2 < 1) or meimechite
//   when MgO > 18 and Na2O + K2O < 2, else picrite when MgO > 12 and
//   Na2O + K2O < 3; boninite when SiO2 > 52, MgO > 8 and TiO2 < 0.5;
// - tephrite / basanite: basanite above 10 % normative olivine;
// - trachyte / trachydacite: trachydacite when 100 Q / (Q + Or + Ab + An)
//   is above 20;
// - basalt: alkali basalt with normative nepheline, subalkali otherwise;
// - the trachybasalt row: hawaiite, mugearite, benmoreite when
//   Na2O - 2 >= K2O, else potassic trachybasalt, shoshonite, latite;
// - "peralkaline" before trachyte and rhyolite when molar Na2O + K2O
//   exceeds Al2O3.
// All on the adjusted analysis. A row without a norm has no name.
//
// A plutonic rock takes the plutonic name of its TAS field as Middlemost
// (1994) gives the equivalents (gabbro for basalt, monzonite for
// trachyandesite, foid syenite for phonolite...), the refinements carried
// over (alkali gabbro, quartz monzonite, peralkaline granite); the high-Mg
// names are volcanic and do not apply. Which rows are plutonic: those whose
// rock name says so (ByRockName), or all, or none.
enum class Names { ByRockName, Volcanic, Plutonic };
std::string rockName(const Norm& norm, Names names = Names::ByRockName);

// Whether a rock name names a plutonic rock: gabbro, diorite, granite,
// syenite, peridotite... anywhere in it, in any case.
bool soundsPlutonic(const std::string& rockname);

// The choices as the Norm window lists them and `--names` takes them.
const char* namesDescription(Names names);
const char* namesKeyword(Names names);

// The name with what the user should know of the analysis: a sum far from
// 100 % as analysed, silica lacking even for kaliophilite. A row without a
// norm gives its reason.
std::string nameWithFlags(const Norm& norm, Names names = Names::ByRockName);

} // namespace norm
