// Reading a header as the analyte it reports. Compilations write names in
// capitals ("SIO2", "LA", "FE2O3T"), so a name is looked up without regard
// to case among the elements, the oxides and volatiles petrologists report,
// and the isotope ratios; only then is it taken for a fact. "CO2" is the
// oxide, never cobalt: the oxides are looked up before the elements.
#include "AnalyteName.h"

#include "TextRules.h"

#include <cctype>
#include <map>
#include <vector>

namespace {

using textrules::lower;
using textrules::trimmed;

const char* const kElements[] = {
    "H",  "He", "Li", "Be", "B",  "C",  "N",  "O",  "F",  "Ne", "Na", "Mg", "Al", "Si", "P",
    "S",  "Cl", "Ar", "K",  "Ca", "Sc", "Ti", "V",  "Cr", "Mn", "Fe", "Co", "Ni", "Cu", "Zn",
    "Ga", "Ge", "As", "Se", "Br", "Kr", "Rb", "Sr", "Y",  "Zr", "Nb", "Mo", "Ru", "Rh", "Pd",
    "Ag", "Cd", "In", "Sn", "Sb", "Te", "I",  "Xe", "Cs", "Ba", "La", "Ce", "Pr", "Nd", "Sm",
    "Eu", "Gd", "Tb", "Dy", "Ho", "Er", "Tm", "Yb", "Lu", "Hf", "Ta", "W",  "Re", "Os", "Ir",
    "Pt", "Au", "Hg", "Tl", "Pb", "Bi", "Po", "Rn", "Ra", "Th", "Pa", "U",  "Pu"};

const char* const kOxides[] = {
    "SiO2",  "TiO2",  "Al2O3", "Fe2O3", "Fe2O3T", "FeO",   "FeOT", "MnO",   "MgO",   "CaO",
    "Na2O",  "K2O",   "P2O5",  "H2O",   "H2O+",   "H2O-",  "H2OT", "CO2",   "SO2",   "SO3",
    "Cr2O3", "NiO",   "BaO",   "SrO",   "ZrO2",   "LOI",   "V2O5", "Li2O",  "Rb2O",  "Cs2O",
    "B2O3",  "ZnO",   "CuO",   "CoO",   "PbO",    "ThO2",  "UO2",  "HfO2",  "Nb2O5", "Ta2O5",
    "Y2O3",  "La2O3", "Ce2O3", "BeO",   "Sc2O3",  "Ga2O3", "MoO3", "WO3",   "SnO2",  "As2O3",
    "Sb2O3", "Bi2O3", "Nd2O3", "Sm2O3", "Mn2O3",  "MnO2",  "NiO",  "Cl2O-1"};

std::string upperKey(const std::string& s) {
    std::string k;
    for (unsigned char c : s)
        if (c != ' ')
            k += static_cast<char>(std::toupper(c));
    return k;
}

const std::map<std::string, std::string>& dictionary() {
    static const std::map<std::string, std::string> d = [] {
        std::map<std::string, std::string> m;
        for (const char* e : kElements)
            m.emplace(upperKey(e), e);
        for (const char* o : kOxides)
            m[upperKey(o)] = o; // oxides over elements: CO2 is no cobalt
        const std::pair<const char*, const char*> aliases[] = {
            {"FEO*", "FeOT"},         {"FEO(T)", "FeOT"},        {"FEOTOT", "FeOT"},
            {"FEOTOTAL", "FeOT"},     {"TFEO", "FeOT"},          {"FEO_T", "FeOT"},
            {"FEO_TOT", "FeOT"},      {"FEO(TOT)", "FeOT"},      {"FE2O3*", "Fe2O3T"},
            {"FE2O3(T)", "Fe2O3T"},   {"FE2O3TOT", "Fe2O3T"},    {"FE2O3TOTAL", "Fe2O3T"},
            {"TFE2O3", "Fe2O3T"},     {"FE2O3_T", "Fe2O3T"},     {"FE2O3_TOT", "Fe2O3T"},
            {"FE2O3(TOT)", "Fe2O3T"}, {"H2O(+)", "H2O+"},        {"H2O(-)", "H2O-"},
            {"H2OP", "H2O+"},         {"H2OM", "H2O-"},          {"H2O_PLUS", "H2O+"},
            {"H2O_MINUS", "H2O-"},    {"LOSSONIGNITION", "LOI"}, {"GV", "LOI"},
            {"GLÜHVERLUST", "LOI"}};
        for (const auto& [from, to] : aliases)
            m[from] = to;
        return m;
    }();
    return d;
}

std::string elementNamed(const std::string& text) {
    const std::string k = upperKey(text);
    for (const char* e : kElements)
        if (upperKey(e) == k)
            return e;
    return {};
}

bool allDigits(const std::string& s) {
    if (s.empty() || s.size() > 3)
        return false;
    for (unsigned char c : s)
        if (!std::isdigit(c))
            return false;
    return true;
}

// "87Sr" or "SR87": the mass and the element.
bool isotope(const std::string& t, std::string& out) {
    std::size_t split = 0;
    while (split < t.size() && std::isdigit(static_cast<unsigned char>(t[split])))
        ++split;
    std::string mass, element;
    if (split > 0) {
        mass = t.substr(0, split);
        element = t.substr(split);
    } else {
        split = t.size();
        while (split > 0 && std::isdigit(static_cast<unsigned char>(t[split - 1])))
            --split;
        element = t.substr(0, split);
        mass = t.substr(split);
    }
    element = elementNamed(element);
    if (!allDigits(mass) || element.empty())
        return false;
    out = mass + element;
    return true;
}

// An isotope ratio ("SR87_SR86", "87Sr/86Sr", "(87Sr/86Sr)i", "ND143/ND144(I)").
bool isotopeRatio(std::string t, std::string& out) {
    bool initial = false;
    const std::string l = lower(t);
    for (const char* tail : {"(i)", "_i", "_ini", "(ini)", "_initial", " initial", "(initial)"})
        if (textrules::endsWithNoCase(t, tail)) {
            t = t.substr(0, t.size() - std::string(tail).size());
            initial = true;
            break;
        }
    if (!initial && t.size() > 3 && t.front() == '(' && (l.back() == 'i') &&
        t[t.size() - 2] == ')') {
        t = t.substr(1, t.size() - 3);
        initial = true;
    }
    const std::size_t at = t.find_first_of("_/");
    if (at == std::string::npos || t.find_first_of("_/", at + 1) != std::string::npos)
        return false;
    std::string a, b;
    if (!isotope(trimmed(t.substr(0, at)), a) || !isotope(trimmed(t.substr(at + 1)), b))
        return false;
    out = initial ? "(" + a + "/" + b + ")i" : a + "/" + b;
    return true;
}

// "EPSILON_ND", "eps Nd", "εNd"; "D18O", "delta 18O", "δ18O".
bool epsilonOrDelta(const std::string& t, std::string& out, std::string& unit) {
    std::string k = upperKey(t);
    for (char& c : k)
        if (c == '_' || c == '-')
            c = ' ';
    std::string rest;
    auto strip = [&](const char* head) {
        const std::string h = head;
        if (k.rfind(h, 0) != 0)
            return false;
        rest = trimmed(k.substr(h.size()));
        return !rest.empty();
    };
    if (strip("EPSILON") || strip("EPS") || strip("\xCE\xB5") || strip("\xCE\x95")) {
        const std::string e = elementNamed(rest);
        if (e.empty())
            return false;
        out = "\xCE\xB5" + e;
        return true;
    }
    if (strip("DELTA") || strip("\xCE\xB4") || strip("\xCE\x94") || strip("D")) {
        std::string iso;
        std::string r;
        for (char c : rest)
            if (c != ' ')
                r += c;
        if (!isotope(r, iso) || !std::isdigit(static_cast<unsigned char>(r[0])))
            return false;
        out = "\xCE\xB4" + iso;
        unit = "\xE2\x80\xB0";
        return true;
    }
    return false;
}

// An element's symbol as chemists or compilations write it ("Sr", "SR"),
// not a word in lower case ("b", "sr" are no headers for boron or Sr).
bool symbolAsWritten(const std::string& base) {
    const std::string e = elementNamed(base);
    return base == e || base == upperKey(e);
}

std::string sentenceCase(const std::string& s) {
    bool shouted = false;
    for (unsigned char c : s) {
        if (std::islower(c))
            return s;
        shouted = shouted || std::isupper(c);
    }
    if (!shouted)
        return s;
    std::string out = lower(s);
    out[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[0])));
    return out;
}

std::string withoutTail(const std::string& s, std::size_t n) {
    return trimmed(s.substr(0, s.size() - n));
}

} // namespace

std::string AnalyteName::knownUnit(const std::string& unit) {
    std::string u;
    for (char c : lower(trimmed(unit)))
        if (c != ' ' && c != '.')
            u += c;
    if (u.empty())
        return {};
    auto is = [&](std::initializer_list<const char*> names) {
        for (const char* n : names)
            if (u == n)
                return true;
        return false;
    };
    const std::string micro = "\xC2\xB5", mu = "\xCE\xBC";
    for (const std::string& m : {micro, mu})
        for (std::size_t at = u.find(m); at != std::string::npos; at = u.find(m))
            u.replace(at, m.size(), "u");
    if (is({"wt%", "wt", "pct", "%", "mass%", "gew-%", "gew%", "m%", "percent", "wtpct"}))
        return "wt%";
    if (is({"ppm", "ug/g", "mg/kg", "g/t"}))
        return "ppm";
    if (is({"ppb", "ng/g", "ug/kg", "mg/t"}))
        return "ppb";
    if (is({"ppt", "pg/g", "ng/kg"}))
        return "ppt";
    if (is({"\xE2\x80\xB0", "permil", "permille", "per mil", "o/oo"}))
        return "\xE2\x80\xB0";
    return {};
}

double AnalyteName::toWeightPercent(const std::string& unit) {
    const std::string u = knownUnit(unit);
    return u == "wt%" ? 1 : u == "ppm" ? 1e-4 : u == "ppb" ? 1e-7 : u == "ppt" ? 1e-10 : 0;
}

bool AnalyteName::isMethodCode(const std::string& text) {
    // Letters, a dash, then letters and digits: ME-XRF26, ME-MS81, FUS-ICP.
    const std::size_t dash = text.find('-');
    if (dash == std::string::npos || dash < 2 || dash + 2 > text.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (i == dash)
            continue;
        if (!(std::isupper(c) || (i > dash && std::isdigit(c))))
            return false;
    }
    return true;
}

AnalyteName AnalyteName::read(const std::string& header) {
    // Line breaks inside a header cell ("TiO2\nwt%") are blanks.
    std::string h;
    for (char c : header)
        h += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
    h = trimmed(h);
    for (std::size_t at = h.find("  "); at != std::string::npos; at = h.find("  "))
        h.erase(at, 1);
    AnalyteName a;
    std::string unitText;
    // "[XRF]" after a unit in parentheses is the method; "[ppm]" alone a unit.
    if (h.size() > 2 && h.back() == ']') {
        const std::size_t open = h.rfind('[');
        if (open != std::string::npos && open > 0) {
            const std::string inside = trimmed(h.substr(open + 1, h.size() - open - 2));
            // A method is written in capitals ("XRF", "ICP-MS"); "[mol%]",
            // "[cc STP/g]" are units.
            bool method = knownUnit(inside).empty();
            for (unsigned char c : inside)
                method = method && !std::islower(c) && c != '%' && c != '/';
            (method ? a.method : unitText) = inside;
            h = trimmed(h.substr(0, open));
        }
    }
    if (h.size() > 2 && h.back() == ')') {
        // The parenthesis that closes at the end, nested ones inside it
        // ("HE3_HE4(R/R(A))").
        std::size_t open = std::string::npos;
        for (std::size_t i = h.size(), depth = 0; i-- > 0;) {
            depth += h[i] == ')';
            if (h[i] == '(' && --depth == 0) {
                open = i;
                break;
            }
        }
        const std::string inside = open == std::string::npos
                                       ? std::string()
                                       : trimmed(h.substr(open + 1, h.size() - open - 2));
        const std::string li = lower(inside);
        if (li == "min." || li == "min") {
            a.bound = Bound::Min;
            h = trimmed(h.substr(0, open));
        } else if (li == "max." || li == "max") {
            a.bound = Bound::Max;
            h = trimmed(h.substr(0, open));
        } else if (open != std::string::npos && open > 0 && li != "+" && li != "-" && li != "t" &&
                   li != "tot" && li != "i" && li != "ini" && li != "initial" && unitText.empty()) {
            unitText = inside;
            h = trimmed(h.substr(0, open));
        }
    }
    std::string base = h;
    // "SiO2_ME-XRF26", "Cr_ppm_ME-MS81", "SIO2_PCT", "SiO2 wt%", "Zr_PPM".
    if (!isotopeRatio(base, a.name)) {
        for (int pass = 0; pass < 2; ++pass)
            for (char sep : {'_', ' '}) {
                const std::size_t last = base.rfind(sep);
                if (last == std::string::npos || last == 0)
                    continue;
                const std::string tail = trimmed(base.substr(last + 1));
                if (a.method.empty() && isMethodCode(tail)) {
                    a.method = tail;
                    base = trimmed(base.substr(0, last));
                    break;
                }
                if (unitText.empty() && !knownUnit(tail).empty()) {
                    unitText = tail;
                    base = trimmed(base.substr(0, last));
                    break;
                }
            }
        const std::string lb = lower(base);
        for (const char* tail : {" min.", " min", "_min"})
            if (a.bound == Bound::None && textrules::endsWithNoCase(base, tail)) {
                a.bound = Bound::Min;
                base = withoutTail(base, std::string(tail).size());
            }
        for (const char* tail : {" max.", " max", "_max"})
            if (a.bound == Bound::None && textrules::endsWithNoCase(base, tail)) {
                a.bound = Bound::Max;
                base = withoutTail(base, std::string(tail).size());
            }
        for (const char* head : {"min. ", "min "})
            if (a.bound == Bound::None && lb.rfind(head, 0) == 0) {
                a.bound = Bound::Min;
                base = trimmed(base.substr(std::string(head).size()));
            }
        for (const char* head : {"max. ", "max "})
            if (a.bound == Bound::None && lb.rfind(head, 0) == 0) {
                a.bound = Bound::Max;
                base = trimmed(base.substr(std::string(head).size()));
            }
    }
    a.unit = knownUnit(unitText).empty() ? unitText : knownUnit(unitText);
    // A fact's words in parentheses ("LAND/SEA (SAMPLING)") are its name's,
    // not a unit; a short one ("(YRS.)", "(M)") stays its unit.
    const bool longWords = a.unit.size() > 5 && knownUnit(a.unit).empty();
    std::string deltaUnit;
    if (!a.name.empty()) {
        a.analyte = true;
    } else if (const auto it = dictionary().find(upperKey(base));
               it != dictionary().end() &&
               (!elementNamed(base).empty() ? symbolAsWritten(base) : true)) {
        a.name = it->second;
        a.analyte = true;
    } else if (isotopeRatio(base, a.name)) {
        a.analyte = true;
    } else if (epsilonOrDelta(base, a.name, deltaUnit)) {
        a.analyte = true;
        if (a.unit.empty())
            a.unit = deltaUnit;
    } else {
        if (longWords) {
            base += " (" + a.unit + ")";
            a.unit.clear();
        }
        a.name = sentenceCase(base);
        if (upperKey(base) == "UNIQUE_ID")
            a.name = "Unique ID";
        else if (upperKey(base) == "IGSN")
            a.name = "IGSN";
        else if (upperKey(base) == "LAT")
            a.name = "Latitude";
        else if (upperKey(base) == "LON" || upperKey(base) == "LONG")
            a.name = "Longitude";
    }
    return a;
}
