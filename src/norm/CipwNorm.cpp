// The allocation follows Verma et al. (2003), "A revised CIPW norm": the
// analysis adjusted for iron and recalculated, minor oxides folded into the
// major ones they stand in for (MnO with FeO), the accessory minerals
// first, then the provisional silicates, and the silica deficiency made
// good step by step down to kaliophilite.
#include "CipwNorm.h"
#include "RockName.h"

#include "classify/TasDiagram.h"
#include "classify/TasPoint.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace norm {

namespace {

constexpr MineralName kNames[kMineralCount] = {
    {"Q", "quartz"},
    {"Or", "orthoclase"},
    {"Ab", "albite"},
    {"An", "anorthite"},
    {"Lc", "leucite"},
    {"Ne", "nepheline"},
    {"Kp", "kaliophilite"},
    {"C", "corundum"},
    {"Ac", "acmite"},
    {"Ns", "sodium metasilicate"},
    {"Ks", "potassium metasilicate"},
    {"Wo", "wollastonite"},
    {"Di", "diopside"},
    {"Hy", "hypersthene"},
    {"Ol", "olivine"},
    {"Mt", "magnetite"},
    {"Hm", "hematite"},
    {"Il", "ilmenite"},
    {"Tn", "titanite"},
    {"Pf", "perovskite"},
    {"Ru", "rutile"},
    {"Ap", "apatite"},
    {"Cc", "calcite"},
    {"Cs", "dicalcium silicate"},
    {"Z", "zircon"},
    {"Fr", "fluorite"},
    {"Hl", "halite"},
    {"Th", "thenardite"},
    {"Pr", "pyrite"},
    {"Cm", "chromite"},
};

// Standard atomic weights (IUPAC 2001), which the standard's molar masses
// are made of.
namespace atom {
constexpr double O = 15.9994, Si = 28.0855, Ti = 47.867, Al = 26.981538, Fe = 55.845,
                 Mn = 54.938049, Mg = 24.3050, Ca = 40.078, Na = 22.989770, K = 39.0983,
                 P = 30.973761, C = 12.0107, Cl = 35.453, F = 18.9984032, S = 32.065, Cr = 51.9961,
                 Zr = 91.224;
}

constexpr double kMolar[kOxideCount] = {
    atom::Si + 2 * atom::O,     // SiO2
    atom::Ti + 2 * atom::O,     // TiO2
    2 * atom::Al + 3 * atom::O, // Al2O3
    2 * atom::Fe + 3 * atom::O, // Fe2O3
    atom::Fe + atom::O,         // FeO
    atom::Mn + atom::O,         // MnO
    atom::Mg + atom::O,         // MgO
    atom::Ca + atom::O,         // CaO
    2 * atom::Na + atom::O,     // Na2O
    2 * atom::K + atom::O,      // K2O
    2 * atom::P + 5 * atom::O,  // P2O5
    2 * 1.00794 + atom::O,      // H2O+
    2 * 1.00794 + atom::O,      // H2O-
    atom::C + 2 * atom::O,      // CO2
    atom::Cl,                   // Cl
    atom::F,                    // F
    atom::S,                    // S
    atom::S + 3 * atom::O,      // SO3
    2 * atom::Cr + 3 * atom::O, // Cr2O3
    atom::Zr + 2 * atom::O,     // ZrO2
};

// Oxides of the first recalculation to 100 %; the minor ones (CO2, Cl, F,
// S, SO3, Cr2O3, ZrO2) join them in the second.
constexpr int kMajors[] = {SiO2, TiO2, Al2O3, Fe2O3, FeO, MnO, MgO, CaO, Na2O, K2O, P2O5};
constexpr int kMinors[] = {CO2, Cl, F, S, SO3, Cr2O3, ZrO2};
// A row needs these; the others count as 0 when empty.
constexpr int kNeeded[] = {SiO2, TiO2, Al2O3, MgO, CaO, Na2O, K2O};

std::string joinNames(const std::vector<int>& oxides) {
    std::string out;
    for (std::size_t i = 0; i < oxides.size(); ++i) {
        if (i)
            out += i + 1 == oxides.size() ? " and " : ", ";
        out += oxideName(oxides[i]);
    }
    return out;
}

// Takes as much of a and b as the smaller allows, in the ratio 1 : k of b.
double take(double& a, double& b, double k = 1) {
    const double n = std::min(a, b / k);
    a -= n;
    b -= n * k;
    return n;
}

} // namespace

const MineralName& mineralName(int mineral) {
    return kNames[mineral];
}

double molarMass(int oxide) {
    return kMolar[oxide];
}

Norm computeNorm(const Analysis& a, IronChoice iron) {
    Norm out;
    out.namedPlutonic = soundsPlutonic(a.rockname);
    if (!a.fault.empty()) {
        out.reason = a.fault;
        return out;
    }
    std::vector<int> missing;
    for (int o : kNeeded)
        if (!a.given(o))
            missing.push_back(o);
    if (!missing.empty()) {
        out.reason = joinNames(missing) + (missing.size() == 1 ? " is" : " are") + " empty";
        return out;
    }
    for (int o = 0; o < kOxideCount; ++o)
        out.analysedSum += a.orZero(o);
    if (!(out.analysedSum > 0)) {
        out.reason = "the oxides sum to 0";
        return out;
    }
    const IronSplit split = splitIron(a, iron);
    if (!split.reason.empty()) {
        out.reason = split.reason;
        return out;
    }

    // The analysis recalculated: the major oxides to 100 %, then with the
    // minor ones to 100 % again; water is left out.
    double w[kOxideCount] = {};
    for (int o : kMajors)
        w[o] = a.orZero(o);
    w[FeO] = split.feo;
    w[Fe2O3] = split.fe2o3;
    double majors = 0, minors = 0;
    for (int o : kMajors)
        majors += w[o];
    for (int o : kMinors)
        minors += (w[o] = a.orZero(o));
    if (!(majors > 0)) {
        out.reason = "the major oxides sum to 0";
        return out;
    }
    for (int o : kMajors)
        w[o] *= 100 / majors;
    const double second = 100 / (100 + minors);
    for (int o = 0; o < kOxideCount; ++o)
        out.adjusted[o] = (w[o] *= second);

    {
        constexpr auto& sum = schema::kVolatileFreeSum;
        double oxides[sum.size()];
        for (std::size_t i = 0; i < sum.size(); ++i)
            oxides[i] = w[oxideOf(sum[i])];
        out.tasField = tas::classifyOxides(oxides, true).field;
    }

    // Moles. MnO goes with FeO, and the molar mass of that FeO is the
    // mixture's.
    double n[kOxideCount];
    for (int o = 0; o < kOxideCount; ++o)
        n[o] = w[o] / kMolar[o];
    const double mgMoles = n[MgO], fe2Moles = n[FeO];
    double feo = n[FeO] + n[MnO];
    const double feoMass =
        feo > 0 ? (n[FeO] * kMolar[FeO] + n[MnO] * kMolar[MnO]) / feo : kMolar[FeO];
    double cao = n[CaO], al = n[Al2O3], na = n[Na2O], k = n[K2O], ti = n[TiO2], fe3 = n[Fe2O3];
    // What the accessory minerals leave of these is not allocated.
    double p = n[P2O5], co2 = n[CO2], cl = n[Cl], f = n[F], s = n[S], so3 = n[SO3], cr = n[Cr2O3];
    const double mg = n[MgO];

    // Accessory minerals.
    const double zircon = n[ZrO2];
    double silicaUsed = zircon;
    // Apatite: 10/3 CaO to each P2O5 (oxyapatite), or fluorapatite as far
    // as there is fluorine, 2/3 F to each.
    const double apatite = take(p, cao, 10.0 / 3);
    double fluorApatite = 0;
    if (f > 0 && apatite > 0) {
        fluorApatite = std::min(apatite, f * 1.5);
        f -= fluorApatite * 2 / 3;
    }
    const double fr = take(cao, f, 2);     // CaF2
    const double hl = 2 * take(na, cl, 2); // NaCl
    const double th = take(so3, na);       // Na2O . SO3
    const double pr = take(feo, s, 2);     // FeS2
    // CO2 goes to calcite: the standard gives it to cancrinite only where
    // the rock's mode shows cancrinite, which an analysis does not tell.
    const double cc = take(co2, cao);
    const double cm = take(cr, feo);
    const double il = take(ti, feo);

    // Provisional feldspars and the minerals of what is left.
    const double orP = take(k, al);
    const double ks = k;
    silicaUsed += 6 * orP + ks;
    const double abP = take(na, al);
    silicaUsed += 6 * abP;
    const double ac = take(na, fe3);
    const double ns = na;
    silicaUsed += 4 * ac + ns;
    const double an = take(al, cao);
    const double corundum = al;
    silicaUsed += 2 * an;
    const double tnP = take(ti, cao);
    const double ru = ti;
    silicaUsed += tnP;
    const double mt = take(fe3, feo);
    const double hm = fe3;
    double mgFe = feo + mg;
    const double mgShare = mgFe > 0 ? mg / mgFe : 0, feShare = mgFe > 0 ? feo / mgFe : 0;
    const double diP = take(cao, mgFe);
    const double woP = cao, hyP = mgFe;
    silicaUsed += 2 * diP + woP + hyP;

    // Quartz, or the deficiency made good: hypersthene to olivine, titanite
    // to perovskite, albite to nepheline, orthoclase to leucite,
    // wollastonite to dicalcium silicate, diopside to dicalcium silicate and
    // olivine, leucite to kaliophilite.
    double q = 0, ol = 0, hy = hyP, tn = tnP, pf = 0, ab = abP, ne = 0, orth = orP, lc = 0,
           wo = woP, cs = 0, di = diP, kp = 0;
    double d = silicaUsed - n[SiO2];
    if (d <= 0) {
        q = -d;
        d = 0;
    }
    if (d > 0) {
        const double x = std::min(d, hyP / 2);
        ol = x, hy = hyP - 2 * x, d -= x;
    }
    if (d > 0) {
        const double x = std::min(d, tnP);
        pf = x, tn = tnP - x, d -= x;
    }
    if (d > 0) {
        const double x = std::min(d / 4, abP);
        ne = x, ab = abP - x, d -= 4 * x;
    }
    if (d > 0) {
        const double x = std::min(d / 2, orP);
        lc = x, orth = orP - x, d -= 2 * x;
    }
    if (d > 0) {
        const double x = std::min(d, woP / 2);
        cs = x, wo = woP - 2 * x, d -= x;
    }
    if (d > 0) {
        const double x = std::min(d, diP);
        cs += x / 2, ol += x / 2, di = diP - x, d -= x;
    }
    if (d > 0) {
        const double x = std::min(d / 2, lc);
        kp = x, lc -= x, d -= 2 * x;
    }
    // Too little silica even for kaliophilite: what is lacking is reported.
    out.silicaDeficit = d > 1e-12 ? d * kMolar[SiO2] : 0;

    // Weights.
    const double mSi = kMolar[SiO2], mAl = kMolar[Al2O3], mNa = kMolar[Na2O], mK = kMolar[K2O],
                 mCa = kMolar[CaO], mMg = kMolar[MgO], mTi = kMolar[TiO2], mFe3 = kMolar[Fe2O3];
    double* m = out.mineral;
    m[Q] = q * mSi;
    m[Or] = orth * (mK + mAl + 6 * mSi);
    m[Ab] = ab * (mNa + mAl + 6 * mSi);
    m[An] = an * (mCa + mAl + 2 * mSi);
    m[Lc] = lc * (mK + mAl + 4 * mSi);
    m[Ne] = ne * (mNa + mAl + 2 * mSi);
    m[Kp] = kp * (mK + mAl + 2 * mSi);
    m[C] = corundum * mAl;
    m[Ac] = ac * (mNa + mFe3 + 4 * mSi);
    m[Ns] = ns * (mNa + mSi);
    m[Ks] = ks * (mK + mSi);
    m[Wo] = wo * (mCa + mSi);
    // Diopside, hypersthene and olivine as the mixtures of their Mg and Fe
    // end members that the remaining MgO and FeO make.
    m[Di] = di * (mgShare * (mCa + mMg + 2 * mSi) + feShare * (mCa + feoMass + 2 * mSi));
    m[Hy] = hy * (mgShare * (mMg + mSi) + feShare * (feoMass + mSi));
    m[Ol] = ol * (mgShare * (2 * mMg + mSi) + feShare * (2 * feoMass + mSi));
    m[Mt] = mt * (feoMass + mFe3);
    m[Hm] = hm * mFe3;
    m[Il] = il * (feoMass + mTi);
    m[Tn] = tn * (mCa + mTi + mSi);
    m[Pf] = pf * (mCa + mTi);
    m[Ru] = ru * mTi;
    // Fluorapatite, 3 CaO . P2O5 . 1/3 CaF2, beside oxyapatite.
    const double fluorApatiteMass = 3 * mCa + (atom::Ca + 2 * atom::F) / 3 + kMolar[P2O5];
    m[Ap] = (apatite - fluorApatite) * (10.0 / 3 * mCa + kMolar[P2O5]) +
            fluorApatite * fluorApatiteMass;
    m[Cc] = cc * (mCa + kMolar[CO2]);
    m[Cs] = cs * (2 * mCa + mSi);
    m[Z] = zircon * (kMolar[ZrO2] + mSi);
    m[Fr] = fr * (atom::Ca + 2 * atom::F);
    m[Hl] = hl * (atom::Na + atom::Cl);
    m[Th] = th * (mNa + kMolar[SO3]);
    m[Pr] = pr * (feoMass - atom::O + 2 * atom::S);
    m[Cm] = cm * (feoMass + kMolar[Cr2O3]);
    for (double& x : out.mineral)
        x = std::max(0.0, x); // no -0.00 from rounding in the steps above

    for (double x : out.mineral)
        out.sum += x;
    out.di = m[Q] + m[Or] + m[Ab] + m[Ne] + m[Lc] + m[Kp];
    out.mgNumber = mgMoles + fe2Moles > 0 ? 100 * mgMoles / (mgMoles + fe2Moles)
                                          : std::numeric_limits<double>::quiet_NaN();
    out.cia = alterationIndex(a);
    out.valid = true;
    return out;
}

double alterationIndex(const Analysis& a) {
    for (int o : {Al2O3, CaO, Na2O, K2O})
        if (!a.given(o))
            return std::numeric_limits<double>::quiet_NaN();
    const double al = a.value[Al2O3] / kMolar[Al2O3];
    // CaO of the silicates alone: apatite's (10/3 CaO to a P2O5) taken out.
    const double ca =
        std::max(0.0, a.value[CaO] / kMolar[CaO] - 10.0 / 3 * a.orZero(P2O5) / kMolar[P2O5]);
    const double sum = al + ca + a.value[Na2O] / kMolar[Na2O] + a.value[K2O] / kMolar[K2O];
    return sum > 0 ? 100 * al / sum : std::numeric_limits<double>::quiet_NaN();
}

} // namespace norm
