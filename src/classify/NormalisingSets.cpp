// The normalising compositions, transcribed from the published tables in
// their own units and order, and converted to ppm once, here.
#include "NormalisingSets.h"

#include <cmath>
#include <initializer_list>
#include <stdexcept>
#include <utility>

namespace trace {

const std::array<const char*, kElementCount> kElements = {
    "La", "Ce", "Pr", "Nd", "Pm", "Sm", "Eu", "Gd", "Tb", "Dy", "Ho", "Er", "Tm", "Yb", "Lu",
    "Cs", "Rb", "Ba", "Th", "U",  "Nb", "Ta", "K",  "Pb", "Sr", "P",  "Zr", "Hf", "Ti", "Y"};

int elementIndex(const std::string& symbol) {
    for (int i = 0; i < kElementCount; ++i)
        if (symbol == kElements[static_cast<std::size_t>(i)])
            return i;
    return -1;
}

bool bridged(int element) {
    return element == 4; // Pm
}

const std::vector<int>& elementsOf(PatternKind kind) {
    static const std::vector<int> ree = [] {
        std::vector<int> v;
        for (const char* e : {"La", "Ce", "Pr", "Nd", "Pm", "Sm", "Eu", "Gd", "Tb", "Dy", "Ho",
                              "Er", "Tm", "Yb", "Lu"})
            v.push_back(elementIndex(e));
        return v;
    }();
    static const std::vector<int> multi = [] {
        std::vector<int> v;
        for (const char* e : {"Cs", "Rb", "Ba", "Th", "U",  "Nb", "Ta", "K",  "La", "Ce",
                              "Pb", "Pr", "Sr", "P",  "Nd", "Zr", "Hf", "Sm", "Eu", "Ti",
                              "Gd", "Tb", "Dy", "Y",  "Ho", "Er", "Tm", "Yb", "Lu"})
            v.push_back(elementIndex(e));
        return v;
    }();
    return kind == PatternKind::Ree ? ree : multi;
}

bool NormalisingSet::has(int element) const {
    return element >= 0 && element < kElementCount &&
           !std::isnan(ppm[static_cast<std::size_t>(element)]);
}

namespace {

using Entries = std::initializer_list<std::pair<const char*, double>>;

// A set from its table: values in the table's unit, times `toPpm`.
NormalisingSet set(std::string keyword, std::string name, double toPpm, Entries entries,
                   Entries ppmEntries = {}) {
    NormalisingSet s{std::move(keyword), std::move(name), {}};
    s.ppm.fill(std::nan(""));
    auto put = [&](const char* symbol, double v) {
        const int i = elementIndex(symbol);
        if (i < 0)
            throw std::logic_error(std::string("no element ") + symbol);
        s.ppm[static_cast<std::size_t>(i)] = v;
    };
    for (const auto& [symbol, v] : entries)
        put(symbol, v * toPpm);
    for (const auto& [symbol, v] : ppmEntries) // a ppb table's few ppm entries
        put(symbol, v);
    return s;
}

// Sun & McDonough (1989), Table 1, primitive mantle as printed.
constexpr std::pair<const char*, double> kPmSm89[] = {
    {"Cs", 0.032}, {"Rb", 0.635}, {"Ba", 6.989}, {"Th", 0.085}, {"U", 0.021},  {"Nb", 0.713},
    {"Ta", 0.041}, {"K", 250},    {"La", 0.687}, {"Ce", 1.775}, {"Pb", 0.185}, {"Pr", 0.276},
    {"Sr", 21.1},  {"P", 95},     {"Nd", 1.354}, {"Zr", 11.2},  {"Hf", 0.309}, {"Sm", 0.444},
    {"Eu", 0.168}, {"Ti", 1300},  {"Gd", 0.596}, {"Tb", 0.108}, {"Dy", 0.737}, {"Y", 4.55},
    {"Ho", 0.164}, {"Er", 0.48},  {"Tm", 0.074}, {"Yb", 0.493}, {"Lu", 0.074}};

NormalisingSet pmSm89(std::string keyword, std::string name, double cs, double pb) {
    NormalisingSet s = set(std::move(keyword), std::move(name), 1, {});
    for (const auto& [symbol, v] : kPmSm89)
        s.ppm[static_cast<std::size_t>(elementIndex(symbol))] = v;
    s.ppm[static_cast<std::size_t>(elementIndex("Cs"))] = cs;
    s.ppm[static_cast<std::size_t>(elementIndex("Pb"))] = pb;
    return s;
}

} // namespace

const std::vector<NormalisingSet>& normalisingSets() {
    static const std::vector<NormalisingSet> sets = {
        set("ci-sm89", "CI chondrite (Sun & McDonough 1989)", 1,
            {{"La", 0.237},  {"Ce", 0.612},  {"Pr", 0.095},  {"Nd", 0.467},  {"Sm", 0.153},
             {"Eu", 0.058},  {"Gd", 0.2055}, {"Tb", 0.0374}, {"Dy", 0.254},  {"Ho", 0.0566},
             {"Er", 0.1655}, {"Tm", 0.0255}, {"Yb", 0.170},  {"Lu", 0.0254}, {"Cs", 0.188},
             {"Rb", 2.32},   {"Ba", 2.41},   {"Th", 0.029},  {"U", 0.008},   {"Nb", 0.246},
             {"Ta", 0.014},  {"K", 545},     {"Pb", 2.47},   {"Sr", 7.26},   {"P", 1220},
             {"Zr", 3.87},   {"Hf", 0.1066}, {"Ti", 445},    {"Y", 1.57}}),
        // The table is in ppb; only its REE are taken.
        set("ci-ms95", "CI chondrite (McDonough & Sun 1995)", 1e-3,
            {{"La", 237},
             {"Ce", 613},
             {"Pr", 92.8},
             {"Nd", 457},
             {"Sm", 148},
             {"Eu", 56.3},
             {"Gd", 199},
             {"Tb", 36.1},
             {"Dy", 246},
             {"Ho", 54.6},
             {"Er", 160},
             {"Tm", 24.7},
             {"Yb", 161},
             {"Lu", 24.6}}),
        set("boynton84", "Chondrite (Boynton 1984)", 1,
            {{"La", 0.31},
             {"Ce", 0.808},
             {"Pr", 0.122},
             {"Nd", 0.6},
             {"Sm", 0.195},
             {"Eu", 0.0735},
             {"Gd", 0.259},
             {"Tb", 0.0474},
             {"Dy", 0.322},
             {"Ho", 0.0718},
             {"Er", 0.21},
             {"Tm", 0.0324},
             {"Yb", 0.209},
             {"Lu", 0.0322}}),
        pmSm89("pm-sm89", "Primitive mantle (Sun & McDonough 1989)", 0.032, 0.185),
        // The table's footnote: Cs and Pb for normalised diagrams.
        pmSm89("pm-sm89-footnote",
               "Primitive mantle (Sun & McDonough 1989, footnote Cs 0.0079, Pb 0.071)", 0.0079,
               0.071),
        set("pm-ms95", "Primitive mantle (McDonough & Sun 1995)", 1e-3,
            {{"Cs", 21},  {"Rb", 600}, {"Ba", 6600}, {"Th", 79.5}, {"U", 20.3}, {"Nb", 658},
             {"Ta", 37},  {"La", 648}, {"Ce", 1675}, {"Pb", 150},  {"Pr", 254}, {"Nd", 1250},
             {"Hf", 283}, {"Sm", 406}, {"Eu", 154},  {"Gd", 544},  {"Tb", 99},  {"Dy", 674},
             {"Ho", 149}, {"Er", 438}, {"Tm", 68},   {"Yb", 441},  {"Lu", 67.5}},
            {{"K", 240}, {"Sr", 19.9}, {"P", 90}, {"Zr", 10.5}, {"Ti", 1205}, {"Y", 4.3}}),
        set("nmorb-sm89", "N-MORB (Sun & McDonough 1989)", 1,
            {{"Cs", 0.007}, {"Rb", 0.56}, {"Ba", 6.3},   {"Th", 0.12}, {"U", 0.047}, {"Nb", 2.33},
             {"Ta", 0.132}, {"K", 600},   {"La", 2.5},   {"Ce", 7.5},  {"Pb", 0.3},  {"Pr", 1.32},
             {"Sr", 90},    {"P", 510},   {"Nd", 7.3},   {"Zr", 74},   {"Hf", 2.05}, {"Sm", 2.63},
             {"Eu", 1.02},  {"Ti", 7600}, {"Gd", 3.68},  {"Tb", 0.67}, {"Dy", 4.55}, {"Y", 28},
             {"Ho", 1.01},  {"Er", 2.97}, {"Tm", 0.456}, {"Yb", 3.05}, {"Lu", 0.455}}),
    };
    return sets;
}

const NormalisingSet* findSet(const std::string& keyword) {
    for (const NormalisingSet& s : normalisingSets())
        if (s.keyword == keyword)
            return &s;
    return nullptr;
}

const NormalisingSet& defaultSet(PatternKind kind) {
    return *findSet(kind == PatternKind::Ree ? "ci-sm89" : "pm-sm89");
}

} // namespace trace
