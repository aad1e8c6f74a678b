#include "Iron.h"

#include "classify/TasDiagram.h"
#include "classify/TasPoint.h"

#include <algorithm>
#include <cstring>

namespace norm {

namespace {

constexpr struct {
    IronChoice choice;
    const char* keyword;
    const char* description;
} kChoices[] = {
    {IronChoice::Volcanic, "volcanic", "Le Maitre (1976), volcanic"},
    {IronChoice::Plutonic, "plutonic", "Le Maitre (1976), plutonic"},
    {IronChoice::Middlemost, "middlemost", "Middlemost (1989), by TAS field"},
    {IronChoice::Analysed, "analysed", "as analysed"},
};

// Fe2O3/FeO by weight for the volcanic rocks of each TAS field (Middlemost
// 1989); outside the diagram, the picrobasalt value.
double middlemostRatio(const Analysis& a) {
    constexpr auto& sum = schema::kVolatileFreeSum;
    double oxides[sum.size()];
    for (std::size_t i = 0; i < sum.size(); ++i)
        oxides[i] = a.value[oxideOf(sum[i])];
    const tas::Point p = tas::classifyOxides(oxides, true);
    const std::string field =
        p.field < 0 ? "" : tas::fields()[static_cast<std::size_t>(p.field)].name;
    const double alkali = p.alkali;
    if (field == "Foidite")
        return alkali > 10 ? 0.4 : 0.3;
    if (field == "Tephrite / basanite")
        return alkali > 6 ? 0.3 : 0.2;
    if (field == "Phonolite" || field == "Trachyte / trachydacite" || field == "Rhyolite")
        return 0.5;
    if (field == "Dacite" || field == "Trachyandesite" || field == "Tephriphonolite")
        return 0.4;
    if (field == "Andesite" || field == "Basaltic trachyandesite" || field == "Phonotephrite")
        return 0.35;
    if (field == "Basaltic andesite" || field == "Trachybasalt")
        return 0.3;
    if (field == "Basalt")
        return 0.2;
    return 0.15;
}

} // namespace

const char* ironKeyword(IronChoice choice) {
    for (const auto& c : kChoices)
        if (c.choice == choice)
            return c.keyword;
    return "";
}

const char* ironDescription(IronChoice choice) {
    for (const auto& c : kChoices)
        if (c.choice == choice)
            return c.description;
    return "";
}

std::optional<IronChoice> ironFromKeyword(const std::string& keyword) {
    for (const auto& c : kChoices)
        if (keyword == c.keyword)
            return c.choice;
    return std::nullopt;
}

IronSplit splitIron(const Analysis& a, IronChoice choice) {
    IronSplit out;
    const bool ferric = a.given(Fe2O3), ferrous = a.given(FeO);
    if (!ferric && !ferrous) {
        out.reason = "no iron: Fe2O3 and FeO are empty";
        return out;
    }
    if (choice == IronChoice::Analysed) {
        if (!(ferric && ferrous)) {
            out.reason = std::string("iron as analysed needs both Fe2O3 and FeO; the row gives "
                                     "total iron as ") +
                         (ferric ? "Fe2O3" : "FeO");
            return out;
        }
        out.feo = a.value[FeO];
        out.fe2o3 = a.value[Fe2O3];
        return out;
    }
    const double total = a.orZero(Fe2O3) + kFeOAsFe2O3 * a.orZero(FeO);
    const double silica = a.orZero(SiO2), alkali = a.orZero(Na2O) + a.orZero(K2O);
    double ratio = 0; // FeO / (FeO + Fe2O3) by weight
    switch (choice) {
    case IronChoice::Volcanic:
        ratio = 0.93 - 0.0042 * silica - 0.022 * alkali;
        break;
    case IronChoice::Plutonic:
        ratio = 0.88 - 0.0016 * silica - 0.027 * alkali;
        break;
    case IronChoice::Middlemost:
        ratio = 1 / (1 + middlemostRatio(a));
        break;
    case IronChoice::Analysed:
        break;
    }
    ratio = std::clamp(ratio, 0.0, 1.0);
    // FeO = ratio * s and Fe2O3 = (1 - ratio) * s, with the total kept.
    const double s = total / ((1 - ratio) + kFeOAsFe2O3 * ratio);
    out.feo = ratio * s;
    out.fe2o3 = (1 - ratio) * s;
    return out;
}

} // namespace norm
