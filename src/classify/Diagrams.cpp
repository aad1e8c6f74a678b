// The diagrams: TAS (its fields from TasDiagram), K2O against SiO2
// (Peccerillo & Taylor 1976), AFM (Irvine & Baragar 1971), Shand's index,
// and Harker's variation diagrams; the trace-element ones from Discrimination.
#include "Diagram.h"

#include "Discrimination.h"
#include "TasDiagram.h"
#include "TasPoint.h"
#include "schema/Schema.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace chart {

namespace {

// The oxides of the volatile-free sum, as the TAS diagram takes them.
const std::vector<int>& sumColumns() {
    return tas::sumColumns();
}
// Positions within sumColumns().
constexpr int in(schema::Column c) {
    return schema::positionIn(schema::kVolatileFreeSum, c);
}
constexpr int kSiO2 = in(schema::Column::SiO2), kAl2O3 = in(schema::Column::Al2O3),
              kFe2O3 = in(schema::Column::Fe2O3), kFeO = in(schema::Column::FeO),
              kMgO = in(schema::Column::MgO), kCaO = in(schema::Column::CaO),
              kNa2O = in(schema::Column::Na2O), kK2O = in(schema::Column::K2O),
              kP2O5 = in(schema::Column::P2O5);

// The volatile-free factor of a row, or 0 when the row has no usable sum:
// an oxide negative, above 100 or not finite; a needed one not a number.
double factor(const double* v, std::initializer_list<int> needed, bool volatileFree) {
    for (int i : needed)
        if (std::isnan(v[i]))
            return 0;
    static const std::size_t n = sumColumns().size();
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::isnan(v[i]))
            continue;
        if (!std::isfinite(v[i]) || v[i] < 0 || v[i] > 100)
            return 0;
        sum += v[i];
    }
    if (!(sum > 0))
        return 0;
    return volatileFree ? 100 / sum : 1;
}

double orZero(double x) {
    return std::isnan(x) ? 0 : x;
}

// Linear along a polyline given with ascending x, continued beyond its ends
// by its end segments.
double along(const std::vector<Vertex>& line, double x) {
    std::size_t i = 1;
    while (i + 1 < line.size() && x > line[i].x)
        ++i;
    const Vertex& a = line[i - 1];
    const Vertex& b = line[i];
    return a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x);
}

std::string basis(bool volatileFree) {
    return volatileFree ? "wt%, volatile-free" : "wt%, as analysed";
}

// TAS with the volcanic names of its fields, or with the plutonic rocks
// Middlemost (1994) gives for each field (the same fields and lines).
class Tas : public Diagram {
public:
    explicit Tas(bool plutonic) : plutonic_(plutonic) {
        for (const auto& f : tas::fields())
            classes_.push_back(plutonic ? tas::plutonicName(f.name) : f.name);
    }
    std::string keyword() const override { return plutonic_ ? "tas-plutonic" : "tas"; }
    std::string title() const override {
        return plutonic_ ? "TAS Diagram, plutonic names (Middlemost 1994)" : "TAS Diagram";
    }
    const std::vector<int>& columns() const override { return sumColumns(); }
    Place place(const double* v, bool volatileFree) const override {
        const tas::Point p = tas::classifyOxides(v, volatileFree);
        return {p.valid, p.silica, p.alkali, p.field};
    }
    const std::vector<std::string>& classes() const override { return classes_; }
    Box whole() const override { return {35, 0, 55, 18}; }
    std::string xTitle(bool vf) const override { return "SiO2 (" + basis(vf) + ")"; }
    std::string yTitle(bool vf) const override { return "Na2O + K2O (" + basis(vf) + ")"; }
    std::vector<Region> regions() const override {
        std::vector<Region> r;
        for (const auto& f : tas::fields()) {
            Region g{plutonic_ ? tas::plutonicName(f.name) : f.name,
                     {},
                     {f.label.silica, f.label.alkali}};
            for (const auto& v : f.outline)
                g.outline.push_back({v.silica, v.alkali});
            r.push_back(g);
        }
        return r;
    }
    std::vector<Curve> curves() const override {
        Curve c{"alkaline / subalkaline", {}, true};
        for (const auto& v : tas::alkalineLine())
            c.points.push_back({v.silica, v.alkali});
        return {c};
    }

private:
    bool plutonic_;
    std::vector<std::string> classes_;
};

} // namespace

// The K2O series of Peccerillo & Taylor (1976), their boundaries as the
// reference gives them (with the published correction of 1.3 to 1.5 on the
// second), each continued beyond its end points along its end segments. A
// point on a boundary belongs to the series above it. The published frame
// (SiO2 45-78, K2O 0-6) is widened to the rows: nephelinites and picrites
// lie below SiO2 45.
class K2OSeries : public Diagram {
public:
    static const std::vector<Curve>& lines() {
        static const std::vector<Curve> c = {
            {"tholeiite / calc-alkaline",
             {{48, 0.3}, {52, 0.5}, {56, 0.7}, {63, 1.0}, {70, 1.3}, {78, 1.6}},
             false},
            {"calc-alkaline / high-K calc-alkaline",
             {{48, 1.2}, {52, 1.5}, {56, 1.8}, {63, 2.4}, {70, 3.0}},
             false},
            {"high-K calc-alkaline / shoshonite",
             {{48, 1.6}, {52, 2.4}, {56, 3.2}, {63, 4.0}},
             false},
        };
        return c;
    }
    std::string keyword() const override { return "k2o"; }
    std::string title() const override { return "K2O against SiO2"; }
    const std::vector<int>& columns() const override { return sumColumns(); }
    Place place(const double* v, bool volatileFree) const override {
        const double k = factor(v, {kSiO2, kK2O}, volatileFree);
        if (k == 0)
            return {};
        Place p{true, v[kSiO2] * k, v[kK2O] * k, 0};
        for (const Curve& c : lines())
            if (p.y >= along(c.points, p.x))
                ++p.cls;
        return p;
    }
    const std::vector<std::string>& classes() const override {
        static const std::vector<std::string> c = {"Tholeiite series", "Calc-alkaline series",
                                                   "High-K calc-alkaline series",
                                                   "Shoshonite series"};
        return c;
    }
    Box whole() const override { return {45, 0, 33, 6}; }
    std::string xTitle(bool vf) const override { return "SiO2 (" + basis(vf) + ")"; }
    std::string yTitle(bool vf) const override { return "K2O (" + basis(vf) + ")"; }
    bool widenedToData() const override { return true; }
    std::vector<Curve> curves() const override {
        std::vector<Curve> out = lines();
        for (Curve& c : out)
            c.continued = true; // they divide the whole diagram, as place() does
        return out;
    }
    std::vector<Region> regions() const override {
        // Names only (the lines are the boundaries): each in its band.
        return {{"Tholeiite series", {}, {72, 0.6}},
                {"Calc-alkaline series", {}, {70, 2.1}},
                {"High-K calc-alkaline series", {}, {66, 3.6}},
                {"Shoshonite series", {}, {56, 4.8}}};
    }
};

// AFM: A = Na2O + K2O, F = FeO + 0.8998 Fe2O3, M = MgO, by weight,
// recalculated to 100. Drawn in a triangle with F at the top, A at the
// lower left and M at the lower right. The tholeiitic / calc-alkaline line
// of Irvine & Baragar (1971) is given as (A, F) pairs with A falling from
// 58.8 to 15; a point above it (more F for its A) is tholeiitic. Beyond
// the line's ends the end values hold.
class Afm : public Diagram {
public:
    static const std::vector<Vertex>& line() { // (A, F), A ascending
        static const std::vector<Vertex> l = {{15, 35},     {16.6, 43.4}, {18.9, 51.1},
                                              {19.4, 52.8}, {21.4, 54.6}, {25.4, 54.6},
                                              {29.6, 53.6}, {47.6, 42.4}, {58.8, 36.2}};
        return l;
    }
    static double lineF(double a) {
        const auto& l = line();
        if (a <= l.front().x)
            return l.front().y;
        if (a >= l.back().x)
            return l.back().y;
        return along(l, a);
    }
    // Triangle coordinates of (A, F, M) in per cent.
    static Vertex toPlane(double /*a*/, double f, double m) {
        return {m + f / 2, f * std::sqrt(3.0) / 2};
    }
    std::string keyword() const override { return "afm"; }
    std::string title() const override { return "AFM Diagram"; }
    const std::vector<int>& columns() const override { return sumColumns(); }
    Place place(const double* v, bool) const override {
        for (int i : {kNa2O, kK2O, kMgO})
            if (std::isnan(v[i]))
                return {};
        if (std::isnan(v[kFeO]) && std::isnan(v[kFe2O3]))
            return {};
        if (factor(v, {}, false) == 0)
            return {};
        const double a = v[kNa2O] + v[kK2O];
        const double f = orZero(v[kFeO]) + 0.8998 * orZero(v[kFe2O3]);
        const double m = v[kMgO];
        const double sum = a + f + m;
        if (!(sum > 0))
            return {};
        const double A = 100 * a / sum, F = 100 * f / sum, M = 100 * m / sum;
        const Vertex at = toPlane(A, F, M);
        return {true, at.x, at.y, F > lineF(A) ? 0 : 1};
    }
    const std::vector<std::string>& classes() const override {
        static const std::vector<std::string> c = {"Tholeiitic", "Calc-alkaline"};
        return c;
    }
    bool ternary() const override { return true; }
    std::vector<std::string> corners() const override {
        return {"A (Na2O + K2O)", "M (MgO)", "F (FeO + 0.8998 Fe2O3)"};
    }
    Box whole() const override { return {0, 0, 100, 50 * std::sqrt(3.0)}; }
    std::string xTitle(bool) const override { return "M = MgO"; }
    std::string yTitle(bool) const override { return "F = FeO + 0.8998 Fe2O3"; }
    std::vector<Curve> curves() const override {
        Curve c{"tholeiitic / calc-alkaline", {}, true};
        for (const Vertex& af : line())
            c.points.push_back(toPlane(af.x, af.y, 100 - af.x - af.y));
        return {c};
    }
    std::vector<Region> regions() const override {
        return {{"Tholeiitic", {}, toPlane(15, 65, 20)},
                {"Calc-alkaline", {}, toPlane(40, 25, 35)}};
    }
};

// Shand's index, molar: A/CNK = Al2O3 / (CaO - 3.33 P2O5 + Na2O + K2O)
// across, A/NK = Al2O3 / (Na2O + K2O) up. Peralkaline when A/NK < 1;
// otherwise peraluminous when A/CNK > 1, metaluminous when not. CaO and
// P2O5 count as 0 when empty.
class Shand : public Diagram {
public:
    std::string keyword() const override { return "shand"; }
    std::string title() const override { return "Shand's Index"; }
    const std::vector<int>& columns() const override { return sumColumns(); }
    Place place(const double* v, bool) const override {
        if (factor(v, {kAl2O3, kNa2O, kK2O}, false) == 0)
            return {};
        const double al = v[kAl2O3] / 101.961276, na = v[kNa2O] / 61.97894, k = v[kK2O] / 94.1960,
                     ca = orZero(v[kCaO]) / 56.0774, p = orZero(v[kP2O5]) / 141.944522;
        const double nk = na + k, cnk = ca - 3.33 * p + nk;
        if (!(nk > 0) || !(cnk > 0))
            return {};
        Place out{true, al / cnk, al / nk, 1};
        if (out.y < 1)
            out.cls = 2;
        else if (out.x > 1)
            out.cls = 0;
        return out;
    }
    const std::vector<std::string>& classes() const override {
        static const std::vector<std::string> c = {"Peraluminous", "Metaluminous", "Peralkaline"};
        return c;
    }
    Box whole() const override { return {0.5, 0.4, 1.5, 2.6}; }
    // Basalts and ultramafic rocks lie beyond the usual frame (A/CNK below
    // 0.5, A/NK above 3).
    bool widenedToData() const override { return true; }
    std::string xTitle(bool) const override { return "A/CNK (molar)"; }
    std::string yTitle(bool) const override { return "A/NK (molar)"; }
    std::vector<Curve> curves() const override {
        // The limits hold at any size: drawn far enough to cross any frame.
        constexpr double far = 1e6;
        return {{"A/CNK = 1", {{1, 1}, {1, far}}}, {"A/NK = 1", {{0, 1}, {far, 1}}}};
    }
    std::vector<Region> regions() const override {
        return {{"Metaluminous", {}, {0.75, 2.2}},
                {"Peraluminous", {}, {1.5, 2.2}},
                {"Peralkaline", {}, {1.25, 0.7}}};
    }
};

// A Harker diagram: one column against SiO2. Oxides of the volatile-free
// sum are recalculated with it; the other columns (volatiles, traces,
// Total) as stored. Mg# = 100 Mg / (Mg + Fe), molar, iron as FeOT; FeOT =
// FeO + 0.8998 Fe2O3.
class Harker : public Diagram {
public:
    explicit Harker(std::string name, int column) : name_(std::move(name)), column_(column) {
        columns_ = sumColumns();
        at_ = -1;
        for (std::size_t i = 0; i < columns_.size(); ++i)
            if (columns_[i] == column_)
                at_ = static_cast<int>(i);
        if (column_ >= 0 && at_ < 0) {
            at_ = static_cast<int>(columns_.size());
            columns_.push_back(column_);
        }
    }
    std::string keyword() const override { return "harker:" + name_; }
    std::string title() const override { return name_ + " against SiO2"; }
    const std::vector<int>& columns() const override { return columns_; }
    Place place(const double* v, bool volatileFree) const override {
        const double k = factor(v, {kSiO2}, volatileFree);
        if (k == 0)
            return {};
        double y;
        if (name_ == "Mg#") {
            if (std::isnan(v[kMgO]) || (std::isnan(v[kFeO]) && std::isnan(v[kFe2O3])))
                return {};
            const double mg = v[kMgO] / 40.3044;
            const double fe = (orZero(v[kFeO]) + 0.8998 * orZero(v[kFe2O3])) / 71.8444;
            if (!(mg + fe > 0))
                return {};
            y = 100 * mg / (mg + fe);
        } else if (name_ == "FeOT") {
            if (std::isnan(v[kFeO]) && std::isnan(v[kFe2O3]))
                return {};
            y = (orZero(v[kFeO]) + 0.8998 * orZero(v[kFe2O3])) * k;
        } else {
            const double raw = v[at_];
            if (std::isnan(raw) || !std::isfinite(raw))
                return {};
            const bool inSum = at_ < static_cast<int>(sumColumns().size());
            y = inSum ? raw * k : raw;
        }
        return {true, v[kSiO2] * k, y, -1};
    }
    const std::vector<std::string>& classes() const override {
        static const std::vector<std::string> none;
        return none;
    }
    std::string unclassed() const override { return ""; }
    Box whole() const override { return {35, 0, 45, 20}; }
    bool scaledToData() const override { return true; }
    std::string xTitle(bool vf) const override { return "SiO2 (" + basis(vf) + ")"; }
    std::string yTitle(bool vf) const override {
        if (name_ == "Mg#")
            return "Mg# (molar, iron as FeOT)";
        const bool inSum = at_ < static_cast<int>(sumColumns().size());
        return name_ + (inSum || name_ == "FeOT" ? " (" + basis(vf) + ")" : " (as stored)");
    }

private:
    std::string name_;
    int column_;
    int at_;
    std::vector<int> columns_;
};

std::unique_ptr<Diagram> makeDiagram(const std::string& keyword) {
    if (keyword == "tas" || keyword == "tas-plutonic")
        return std::make_unique<Tas>(keyword == "tas-plutonic");
    if (keyword == "k2o")
        return std::make_unique<K2OSeries>();
    if (keyword == "afm")
        return std::make_unique<Afm>();
    if (keyword == "shand")
        return std::make_unique<Shand>();
    if (auto d = makeDiscrimination(keyword))
        return d;
    const std::string prefix = "harker:";
    if (keyword.rfind(prefix, 0) == 0) {
        const std::string name = keyword.substr(prefix.size());
        if (name == "Mg#" || name == "FeOT")
            return std::make_unique<Harker>(name, -1);
        for (int c = schema::kFirstAnalysisColumn + 1; c <= schema::kLastAnalysisColumn; ++c)
            if (name == schema::kColumns[static_cast<std::size_t>(c)])
                return std::make_unique<Harker>(name, c);
    }
    return nullptr;
}

const std::vector<std::string>& harkerPage() {
    static const std::vector<std::string> page = {"TiO2", "Al2O3", "FeOT", "MgO",
                                                  "CaO",  "Na2O",  "K2O",  "P2O5"};
    return page;
}

} // namespace chart
