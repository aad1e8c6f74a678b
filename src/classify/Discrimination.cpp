// The discrimination diagrams' fields, from the published vertices (in ppm,
// or in the published ratios), each extended along its end segment to the
// frame where the published line stops short of it. The ternaries' fields
// are closed as published: gaps between them stay unclassed.
#include "Discrimination.h"

#include <array>
#include <cmath>
#include <utility>

namespace chart {

namespace {

double lg(double v) {
    return std::log10(v);
}

// Whether a point lies inside a polygon (crossings of a ray to the right).
bool inside(const std::vector<Vertex>& poly, const Vertex& p) {
    bool in = false;
    for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const Vertex& a = poly[i];
        const Vertex& b = poly[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x)
            in = !in;
    }
    return in;
}

bool within(const Box& b, const Vertex& p) {
    return p.x >= b.left && p.x <= b.left + b.width && p.y >= b.bottom &&
           p.y <= b.bottom + b.height;
}

} // namespace

Vertex logAtX(const Vertex& a, const Vertex& b, double x) {
    const double t = (lg(x) - lg(a.x)) / (lg(b.x) - lg(a.x));
    return {x, std::pow(10.0, lg(a.y) + t * (lg(b.y) - lg(a.y)))};
}

Vertex logAtY(const Vertex& a, const Vertex& b, double y) {
    const Vertex swapped = logAtX({a.y, a.x}, {b.y, b.x}, y);
    return {swapped.y, swapped.x};
}

FieldDiagram::FieldDiagram(Layout layout) : layout_(std::move(layout)) {
    const Box& f = layout_.frame;
    const Vertex lo = toPlane({f.left, f.bottom});
    const Vertex hi = toPlane({f.left + f.width, f.bottom + f.height});
    plane_ = {lo.x, lo.y, hi.x - lo.x, hi.y - lo.y};
    for (std::size_t i = 0; i < layout_.fields.size(); ++i) {
        const Region& r = layout_.fields[i];
        classes_.push_back(i < layout_.meanings.size() ? r.name + " (" + layout_.meanings[i] + ")"
                                                       : r.name);
        Region g{r.name, {}, toPlane(r.label), r.dashedEdges};
        for (const Vertex& v : r.outline)
            g.outline.push_back(toPlane(v));
        regions_.push_back(std::move(g));
    }
    for (const Region& r : layout_.names) {
        for (Region& g : regions_)
            if (g.name == r.name)
                g.name.clear();
        regions_.push_back({r.name, {}, toPlane(r.label)});
    }
    for (const Curve& c : layout_.lines) {
        Curve d = c;
        for (Vertex& v : d.points)
            v = toPlane(v);
        curves_.push_back(std::move(d));
    }
    for (const std::string& e : layout_.elements) {
        reasons_.push_back(e == "Ti" ? "no Ti (nor TiO2)" : "no " + e);
        reasons_.push_back(e + " below detection");
        reasons_.push_back(e + " not above 0");
    }
}

std::vector<std::string> FieldDiagram::key() const {
    return layout_.meanings.empty() ? std::vector<std::string>() : classes_;
}

Vertex FieldDiagram::inTriangle(double top, double left, double right) {
    const double sum = top + left + right;
    const double t = 100 * top / sum, r = 100 * right / sum;
    return {r + t / 2, t * std::sqrt(3.0) / 2};
}

const std::vector<int>& FieldDiagram::columns() const {
    static const std::vector<int> none; // the values beside the row, not its columns
    return none;
}

Vertex FieldDiagram::toPlane(const Vertex& q) const {
    return layout_.log ? Vertex{lg(q.x), lg(q.y)} : q;
}

Vertex FieldDiagram::fromPlane(const Vertex& p) const {
    return layout_.log ? Vertex{std::pow(10.0, p.x), std::pow(10.0, p.y)} : p;
}

Place FieldDiagram::placeAmounts(const Amount* ppm) const {
    const std::size_t n = layout_.elements.size();
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        const int first = static_cast<int>(3 * i);
        Place none;
        if (std::isnan(ppm[i].ppm) || !std::isfinite(ppm[i].ppm))
            none.why = first;
        else if (ppm[i].limit)
            none.why = first + 1; // an upper limit is no amount to place
        else if (!(ppm[i].ppm > 0))
            none.why = first + 2;
        else {
            v[i] = ppm[i].ppm;
            continue;
        }
        return none;
    }
    const Vertex q = layout_.quantities(v.data());
    const Vertex at = toPlane(q);
    Place p{true, at.x, at.y, -1, -1};
    if (layout_.classer) {
        p.cls = layout_.classer(q);
        return p;
    }
    if (!within(plane_, at))
        return p;
    for (std::size_t c = 0; c < regions_.size(); ++c)
        if (inside(regions_[c].outline, at)) {
            p.cls = static_cast<int>(c);
            break;
        }
    return p;
}

namespace {

using Layout = FieldDiagram::Layout;

Layout named(std::string keyword, std::string title, std::string x, std::string y,
             std::vector<std::string> elements) {
    Layout l;
    l.keyword = std::move(keyword);
    l.title = std::move(title);
    l.xTitle = std::move(x);
    l.yTitle = std::move(y);
    l.elements = std::move(elements);
    return l;
}

// Pearce, Harris & Tindle (1984), Rb against Y + Nb.
Layout rbYNb() {
    const Vertex p{2, 80}, q{55, 300}, kink{51.5, 8};
    const Vertex left = logAtX(p, q, 1); // the VAG / syn-COLG line to the frame
    Layout l = named("pearce-rb-ynb", "Rb against Y + Nb (granites)", "Y + Nb (ppm)", "Rb (ppm)",
                     {"Rb", "Y", "Nb"});
    l.frame = {1, 1, 1999, 1999};
    l.fields = {
        {"syn-COLG", {left, p, q, {400, 2000}, {1, 2000}}, {6, 600}},
        {"VAG", {{1, 1}, {50, 1}, kink, q, p, left}, {6, 8}},
        {"WPG", {q, kink, {2000, 400}, {2000, 2000}, {400, 2000}}, {300, 600}},
        {"ORG", {{50, 1}, {2000, 1}, {2000, 400}, kink}, {400, 8}},
    };
    l.quantities = [](const double* v) { return Vertex{v[1] + v[2], v[0]}; };
    return l;
}

// Nb against Y. The VAG + syn-COLG / WPG line runs from (50, 10) up to the
// frame's top just right of its corner, towards (1, 2000).
Layout nbY() {
    const Vertex a{1, 2000}, b{50, 10}, c{40, 1}, d{1000, 100};
    const Vertex top = logAtY(a, b, 1000);
    Layout l = named("pearce-nb-y", "Nb against Y (granites)", "Y (ppm)", "Nb (ppm)", {"Y", "Nb"});
    l.frame = {1, 1, 999, 999};
    l.fields = {
        {"VAG + syn-COLG", {{1, 1}, c, b, top, {1, 1000}}, {5, 5}},
        {"WPG", {top, b, d, {1000, 1000}}, {100, 300}},
        {"ORG", {c, {1000, 1}, d, b}, {300, 8}},
    };
    l.lines = {{"upper limit of ORG", {{25, 25}, {1000, 400}}, true}};
    l.quantities = [](const double* v) { return Vertex{v[0], v[1]}; };
    return l;
}

// Rb against Yb + Ta: the frame's right edge at 200, where the published
// WPG / ORG line ends.
Layout rbYbTa() {
    const Vertex p{0.5, 140}, q{6, 200}, r{50, 2000}, s{6, 8}, u{6, 1}, v{200, 400};
    const Vertex left = logAtX(p, q, 0.1);
    Layout l = named("pearce-rb-ybta", "Rb against Yb + Ta (granites)", "Yb + Ta (ppm)", "Rb (ppm)",
                     {"Rb", "Yb", "Ta"});
    l.frame = {0.1, 1, 199.9, 1999};
    l.fields = {
        {"syn-COLG", {left, p, q, r, {0.1, 2000}}, {0.6, 800}},
        {"VAG", {{0.1, 1}, u, s, q, p, left}, {0.8, 10}},
        {"WPG", {q, s, v, {200, 2000}, r}, {60, 700}},
        {"ORG", {u, {200, 1}, v, s}, {40, 4}},
    };
    l.quantities = [](const double* x) { return Vertex{x[1] + x[2], x[0]}; };
    return l;
}

// Ta against Yb.
Layout taYb() {
    const Vertex k{3, 2}, m{5, 1}, up{0.55, 20};
    const Vertex top = logAtY(k, up, 100);
    Layout l =
        named("pearce-ta-yb", "Ta against Yb (granites)", "Yb (ppm)", "Ta (ppm)", {"Yb", "Ta"});
    l.frame = {0.1, 0.01, 99.9, 99.99};
    l.fields = {
        {"syn-COLG", {{0.1, 0.35}, k, up, top, {0.1, 100}}, {0.2, 3}},
        {"WPG", {top, up, k, m, {100, 7}, {100, 100}}, {10, 30}},
        {"VAG", {{0.1, 0.01}, {5, 0.01}, m, k, {0.1, 0.35}}, {0.8, 0.1}},
        {"ORG", {{5, 0.01}, {100, 0.01}, {100, 7}, m}, {30, 0.3}},
    };
    l.lines = {{"upper limit of ORG", {k, {100, 20}}, true}};
    l.quantities = [](const double* v) { return Vertex{v[0], v[1]}; };
    return l;
}

// Shervais (1982): V against Ti/1000, classed by Ti/V alone.
Layout tiV() {
    Layout l =
        named("ti-v", "V against Ti (Shervais 1982)", "Ti/1000 (ppm)", "V (ppm)", {"Ti", "V"});
    l.log = false;
    l.frame = {0, 0, 25, 600};
    l.fields = {
        {"Arc tholeiite", {{0, 0}, {12, 600}, {6, 600}}, {8, 550}},
        {"MORB and back-arc basalt", {{0, 0}, {25, 500}, {25, 600}, {12, 600}}, {18, 560}},
        {"OIB and alkali basalt", {{0, 0}, {25, 250}, {25, 500}}, {22, 330}},
    };
    l.quantities = [](const double* v) { return Vertex{v[0] / 1000, v[1]}; };
    l.classer = [](const Vertex& q) {
        const double ratio = q.x * 1000 / q.y;
        return ratio < 10 ? -1 : ratio < 20 ? 0 : ratio < 50 ? 1 : ratio < 100 ? 2 : -1;
    };
    l.unclassed = "Ti/V below 10, or 100 and above";
    return l;
}

// Pearce (2008): Th/Yb against Nb/Yb, the MORB-OIB array between its two
// published edges.
Layout thNbYb() {
    Layout l = named("th-nb-yb", "Th/Yb against Nb/Yb (Pearce 2008)", "Nb/Yb", "Th/Yb",
                     {"Th", "Nb", "Yb"});
    l.frame = {0.1, 0.01, 999.9, 99.99};
    l.fields = {
        {"MORB-OIB array",
         {{0.1, 0.01}, {0.3, 0.01}, {1000, 48}, {1000, 100}, {800, 100}},
         {20, 2}},
        {"Above the MORB-OIB array", {{0.1, 0.01}, {800, 100}, {0.1, 100}}, {0.5, 5}},
        {"Below the MORB-OIB array", {{0.3, 0.01}, {1000, 0.01}, {1000, 48}}, {100, 0.1}},
    };
    l.names = {{"MORB-OIB array", {}, {30, 2}}};
    l.quantities = [](const double* v) { return Vertex{v[1] / v[2], v[0] / v[2]}; };
    return l;
}

// Pearce (2008): TiO2/Yb against Nb/Yb, its three published lines.
Layout tiNbYb() {
    const Vertex top0{0.1, 2}, top1{100, 2.6}, mid0{0.1, 0.58}, mid1{100, 0.75}, low0{0.1, 0.27},
        low1{100, 0.35};
    Layout l = named("ti-nb-yb", "TiO2/Yb against Nb/Yb (Pearce 2008)", "Nb/Yb",
                     "TiO2/Yb (TiO2 wt%, Yb ppm)", {"Ti", "Nb", "Yb"});
    l.frame = {0.1, 0.1, 99.9, 9.9};
    l.fields = {
        {"OIB array (deep melting)", {mid0, mid1, top1, top0}, {1, 1.2}},
        {"MORB array (shallow melting)", {low0, low1, mid1, mid0}, {1, 0.42}},
    };
    l.quantities = [](const double* v) {
        constexpr double kTiO2PerTi = 1 / 5993.4; // wt% TiO2 per ppm Ti
        return Vertex{v[1] / v[2], v[0] * kTiO2PerTi / v[2]};
    };
    l.unclassed = "outside the arrays";
    return l;
}

// A ternary's layout: fields as published, each vertex (top, lower left,
// lower right) in per cent.
struct Field {
    std::string name, meaning;
    std::vector<std::array<double, 3>> outline;
    std::array<double, 3> label;
};

Layout ternary(std::string keyword, std::string title, std::vector<std::string> elements,
               std::vector<std::string> corners, const std::vector<Field>& fields) {
    auto at = [](const std::array<double, 3>& v) {
        return FieldDiagram::inTriangle(v[0], v[1], v[2]);
    };
    Layout l =
        named(std::move(keyword), std::move(title), corners[1], corners[2], std::move(elements));
    l.ternary = true;
    l.log = false;
    l.frame = {0, 0, 100, 50 * std::sqrt(3.0)};
    l.corners = std::move(corners);
    for (const Field& f : fields) {
        Region r{f.name, {}, at(f.label)};
        for (const auto& v : f.outline)
            r.outline.push_back(at(v));
        l.fields.push_back(std::move(r));
        l.meanings.push_back(f.meaning);
    }
    l.unclassed = "outside the fields";
    return l;
}

// Pearce & Cann (1973): Ti/100 at the top, Zr lower left, 3Y lower right.
Layout tiZrY() {
    Layout l = ternary("ti-zr-y", "Ti/100 - Zr - 3Y (Pearce & Cann 1973)", {"Ti", "Zr", "Y"},
                       {"Zr", "3Y", "Ti/100"},
                       {{"A",
                         "island-arc tholeiites",
                         {{48, 24, 28}, {39, 20.5, 40.5}, {30, 26, 44}, {42.5, 37.5, 30}},
                         {40, 27, 33}},
                        {"B",
                         "MORB, island-arc tholeiites and calc-alkali basalts",
                         {{42.5, 37.5, 30}, {29.5, 45, 25.5}, {19, 40, 41}, {30, 26, 44}},
                         {30, 37, 33}},
                        {"C",
                         "calc-alkali basalts",
                         {{29.5, 45, 25.5},
                          {24, 55.5, 20.5},
                          {16, 63, 21},
                          {10, 62.5, 27.5},
                          {10, 55, 35},
                          {19, 40, 41}},
                         {17, 53, 30}},
                        {"D",
                         "within-plate basalts",
                         {{24, 55.5, 20.5},
                          {28, 59, 13},
                          {50, 38.5, 11.5},
                          {48, 24, 28},
                          {42.5, 37.5, 30},
                          {29.5, 45, 25.5}},
                         {38, 44, 18}}});
    l.quantities = [](const double* v) {
        return FieldDiagram::inTriangle(v[0] / 100, v[1], 3 * v[2]);
    };
    return l;
}

// Wood (1980): Hf/3 at the top, Th lower left, Ta lower right. D is split
// along Hf/Th = 3 (Hf/3 = Th), from the Hf/3 - Th edge's middle.
Layout hfThTa() {
    Layout l =
        ternary("hf-th-ta", "Hf/3 - Th - Ta (Wood 1980)", {"Hf", "Th", "Ta"}, {"Th", "Ta", "Hf/3"},
                {{"A",
                  "N-MORB",
                  {{77, 15, 8}, {87.5, 3, 9.5}, {65.5, 7, 27.5}, {46, 35.5, 18.5}, {68, 22, 10}},
                  {72, 14, 14}},
                 {"B",
                  "E-MORB and within-plate tholeiites",
                  {{65.5, 7, 27.5},
                   {46, 35.5, 18.5},
                   {24.5, 55, 20.5},
                   {19.5, 57.5, 23},
                   {33, 27, 40},
                   {42, 13, 45},
                   {55, 5, 40}},
                  {42, 25, 33}},
                 {"C",
                  "alkaline within-plate basalts",
                  {{33, 27, 40}, {19.5, 57.5, 23}, {7.5, 63.5, 29}, {12, 41, 47}, {20, 32, 48}},
                  {18, 45, 37}},
                 {"D",
                  "volcanic-arc tholeiites, Hf/Th above 3",
                  {{50, 50, 0}, {42, 42, 16}, {68, 22, 10}, {77, 15, 8}, {85, 15, 0}},
                  {62, 31, 7}},
                 {"D",
                  "volcanic-arc calc-alkaline basalts, Hf/Th below 3",
                  {{50, 50, 0}, {42, 42, 16}, {24.5, 56.5, 19}, {0, 95, 5}, {0, 100, 0}},
                  {25, 68, 7}}});
    l.quantities = [](const double* v) { return FieldDiagram::inTriangle(v[0] / 3, v[1], v[2]); };
    return l;
}

// Meschede (1986): 2Nb at the top, Zr/4 lower left, Y lower right. AI and
// AII are split by the figure's dashed line.
Layout nbZrY() {
    Layout l = ternary(
        "nb-zr-y", "2Nb - Zr/4 - Y (Meschede 1986)", {"Nb", "Zr", "Y"}, {"Zr/4", "Y", "2Nb"},
        {{"AI",
          "within-plate alkali basalts",
          {{79, 14, 7}, {56.5, 16.55, 26.95}, {50, 33, 17}, {12, 60, 28}, {34, 52.5, 13.5}},
          {55, 30, 15}},
         {"AII",
          "within-plate alkali basalts and tholeiites",
          {{56.5, 16.55, 26.95}, {50, 33, 17}, {12, 60, 28}, {35, 37.5, 27.5}, {50, 17.3, 32.7}},
          {45, 28, 27}},
         {"B",
          "E-type MORB",
          {{50, 17.3, 32.7},
           {22, 20.5, 57.5},
           {24, 33.5, 42.5},
           {22, 37, 41},
           {31, 36, 33},
           {35, 37.5, 27.5}},
          {33, 27, 40}},
         {"C",
          "within-plate tholeiites and volcanic-arc basalts",
          {{35, 37.5, 27.5}, {31, 36, 33}, {22, 37, 41}, {3, 53, 44}, {12, 60, 28}},
          {17, 50, 33}},
         {"D",
          "N-type MORB and volcanic-arc basalts",
          {{0, 23, 77}, {22, 20.5, 57.5}, {24, 33.5, 42.5}, {22, 37, 41}, {3, 53, 44}, {0, 50, 50}},
          {10, 35, 55}}});
    l.quantities = [](const double* v) {
        return FieldDiagram::inTriangle(2 * v[0], v[1] / 4, v[2]);
    };
    // The split of AI from AII, dashed on both sides of it.
    l.fields[0].dashedEdges = {1, 2};
    l.fields[1].dashedEdges = {0, 1};
    return l;
}

} // namespace

const std::vector<std::string>& discriminationKeywords() {
    static const std::vector<std::string> k = {
        "pearce-rb-ynb", "pearce-nb-y", "pearce-rb-ybta", "pearce-ta-yb", "ti-v",
        "th-nb-yb",      "ti-nb-yb",    "ti-zr-y",        "hf-th-ta",     "nb-zr-y"};
    return k;
}

std::unique_ptr<Diagram> makeDiscrimination(const std::string& keyword) {
    using Make = Layout (*)();
    static const std::pair<const char*, Make> makers[] = {
        {"pearce-rb-ynb", rbYNb}, {"pearce-nb-y", nbY}, {"pearce-rb-ybta", rbYbTa},
        {"pearce-ta-yb", taYb},   {"ti-v", tiV},        {"th-nb-yb", thNbYb},
        {"ti-nb-yb", tiNbYb},     {"ti-zr-y", tiZrY},   {"hf-th-ta", hfThTa},
        {"nb-zr-y", nbZrY}};
    for (const auto& [name, make] : makers)
        if (keyword == name)
            return std::make_unique<FieldDiagram>(make());
    return nullptr;
}

} // namespace chart
