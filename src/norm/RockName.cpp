#include "RockName.h"

#include "classify/TasDiagram.h"

#include <cctype>
#include <cstdio>
#include <utility>

namespace norm {

namespace {

std::string highMgName(const double* w) {
    const double silica = w[SiO2], alkali = w[Na2O] + w[K2O], mgo = w[MgO], tio2 = w[TiO2];
    if (silica >= 30 && silica <= 52) {
        if (mgo > 18 && alkali < 2)
            return tio2 < 1 ? "Komatiite" : "Meimechite";
        if (mgo > 12 && alkali < 3)
            return "Picrite";
    }
    if (silica > 52 && mgo > 8 && tio2 < 0.5)
        return "Boninite";
    return {};
}

bool peralkaline(const double* w) {
    return w[Na2O] / molarMass(Na2O) + w[K2O] / molarMass(K2O) > w[Al2O3] / molarMass(Al2O3);
}

// The fields a rule refines, found once by name.
struct Fields {
    int tephrite, trachyte, rhyolite, basalt, trachybasalt, basalticTrachyandesite, trachyandesite;
    Fields() {
        const auto find = [](const char* name) {
            for (std::size_t f = 0; f < tas::fields().size(); ++f)
                if (std::string(tas::fields()[f].name) == name)
                    return static_cast<int>(f);
            return -2; // not a field: no row matches it
        };
        tephrite = find("Tephrite / basanite");
        trachyte = find("Trachyte / trachydacite");
        rhyolite = find("Rhyolite");
        basalt = find("Basalt");
        trachybasalt = find("Trachybasalt");
        basalticTrachyandesite = find("Basaltic trachyandesite");
        trachyandesite = find("Trachyandesite");
    }
};

// Words of plutonic rock names; "granite" also stands in "monzogranite",
// "diorite" in "granodiorite".
const char* const kPlutonicWords[] = {
    "gabbro",       "adamellite",   "norite",      "troctolite",   "anorthosite", "diorite",
    "tonalite",     "trondhjemite", "granite",     "granodiorite", "granitoid",   "charnockite",
    "monzonite",    "syenite",      "foidolite",   "ijolite",      "essexite",    "theralite",
    "peridotite",   "dunite",       "harzburgite", "lherzolite",   "wehrlite",    "pyroxenite",
    "hornblendite", "plutonic",     "intrusive"};

std::string volcanicName(const Norm& n) {
    static const Fields fields;
    const double* w = n.adjusted;
    const int field = n.tasField;
    if (field < 0)
        return tas::kOutside;
    const double* m = n.mineral;
    const bool sodic = w[Na2O] - 2 >= w[K2O];
    if (field == fields.tephrite)
        return m[Ol] > 10 ? "Basanite" : "Tephrite";
    if (field == fields.trachyte) {
        const double felsic = m[Q] + m[Or] + m[Ab] + m[An];
        if (felsic > 0 && 100 * m[Q] / felsic > 20)
            return "Trachydacite";
        return peralkaline(w) ? "Peralkaline trachyte" : "Trachyte";
    }
    if (field == fields.rhyolite)
        return peralkaline(w) ? "Peralkaline rhyolite" : "Rhyolite";
    if (field == fields.basalt)
        return m[Ne] > 0 ? "Alkali basalt" : "Subalkali basalt";
    if (field == fields.trachybasalt)
        return sodic ? "Hawaiite" : "Potassic trachybasalt";
    if (field == fields.basalticTrachyandesite)
        return sodic ? "Mugearite" : "Shoshonite";
    if (field == fields.trachyandesite)
        return sodic ? "Benmoreite" : "Latite";
    return tas::fields()[static_cast<std::size_t>(field)].name;
}

} // namespace

bool soundsPlutonic(const std::string& rockname) {
    if (rockname.empty())
        return false;
    std::string lower = rockname;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* word : kPlutonicWords)
        if (lower.find(word) != std::string::npos)
            return true;
    return false;
}

namespace {

struct NamesChoice {
    Names names;
    const char* keyword;
    const char* description;
};
constexpr NamesChoice kNamesChoices[] = {
    {Names::ByRockName, "by-rock-name", "Plutonic where the rock name says so"},
    {Names::Volcanic, "volcanic", "Volcanic names"},
    {Names::Plutonic, "plutonic", "Plutonic names (Middlemost 1994)"}};

const NamesChoice& choiceOf(Names names) {
    for (const NamesChoice& c : kNamesChoices)
        if (c.names == names)
            return c;
    return kNamesChoices[0];
}

} // namespace

const char* namesDescription(Names names) {
    return choiceOf(names).description;
}

const char* namesKeyword(Names names) {
    return choiceOf(names).keyword;
}

std::string rockName(const Norm& n, Names names) {
    if (!n.valid)
        return {};
    const bool plutonic =
        names == Names::Plutonic || (names == Names::ByRockName && n.namedPlutonic);
    if (plutonic)
        return tas::plutonicName(volcanicName(n));
    std::string high = highMgName(n.adjusted);
    return high.empty() ? volcanicName(n) : high;
}

std::string nameWithFlags(const Norm& n, Names names) {
    if (!n.valid)
        return n.reason;
    std::string name = rockName(n, names);
    char note[96];
    if (n.sumOutOfRange()) {
        std::snprintf(note, sizeof note, " (oxides sum to %.2f as analysed)", n.analysedSum);
        name += note;
    }
    if (n.silicaDeficit > 0) {
        std::snprintf(note, sizeof note, " (%.2f %% SiO2 lacking after kaliophilite)",
                      n.silicaDeficit);
        name += note;
    }
    return name;
}

} // namespace norm
