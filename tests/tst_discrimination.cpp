// The trace-element discrimination diagrams: points just either side of
// every published boundary, the boundaries written out here from the
// published figures and the sides worked out here on log paper; and a view
// read from the values kept beside the rows, each row found by its key. The
// basalt ternaries: points just inside each field on both sides of its
// boundaries, worked out here from the published vertices.
#include "classify/Diagram.h"
#include "classify/DiscriminationView.h"
#include "classify/KeySlices.h"
#include "diagram/LogAxis.h"
#include "platform/db/Database.h"
#include "platform/db/Query.h"
#include "platform/db/SampleValue.h"
#include "support/TestData.h"

#include <QtTest>

#include <array>
#include <cmath>
#include <map>
#include <set>

namespace {

using chart::Amount;

// The class a diagram gives amounts (ppm, in its elements' order).
QString classOf(const std::string& keyword, std::vector<double> ppm) {
    const auto d = chart::makeDiagram(keyword);
    std::vector<Amount> a;
    for (double v : ppm)
        a.push_back({v, false});
    const chart::Place p = d->placeAmounts(a.data());
    if (!p.valid)
        return "no point";
    return p.cls < 0 ? QString::fromStdString(d->unclassed())
                     : QString::fromStdString(d->classes()[static_cast<std::size_t>(p.cls)]);
}

struct Segment {
    double x0, y0, x1, y1;
    QString left, right; // the class on each side, looking from (x0, y0) to (x1, y1)
};

// Points a twentieth of a decade either side of a segment's middle, on log
// paper, as (x, y) quantities.
std::pair<std::pair<double, double>, std::pair<double, double>> besides(const Segment& s) {
    const double ax = std::log10(s.x0), ay = std::log10(s.y0);
    const double bx = std::log10(s.x1), by = std::log10(s.y1);
    const double mx = (ax + bx) / 2, my = (ay + by) / 2;
    const double len = std::hypot(bx - ax, by - ay);
    const double nx = -(by - ay) / len * 0.05, ny = (bx - ax) / len * 0.05;
    return {{std::pow(10, mx + nx), std::pow(10, my + ny)},
            {std::pow(10, mx - nx), std::pow(10, my - ny)}};
}

// A point of a ternary as (top, lower left, lower right) in per cent.
using Triple = std::array<double, 3>;

// A fiftieth of the way from the middle of a boundary p-q towards a corner
// of the field on one side.
Triple towards(const Triple& p, const Triple& q, const Triple& corner) {
    Triple out;
    for (std::size_t i = 0; i < 3; ++i)
        out[i] = (p[i] + q[i]) / 2 * 0.98 + corner[i] * 0.02;
    return out;
}

engine::SampleValue value(const char* element, double v, char qualifier = 0,
                          const char* unit = "ppm") {
    return engine::SampleValue{element, unit, "ICP-MS", qualifier, v, "", std::nullopt, ""};
}

} // namespace

class TestDiscrimination : public QObject {
    Q_OBJECT
private slots:
    void graniteFieldsOnBothSidesOfEachLine() {
        // Pearce, Harris & Tindle (1984), as (x, y) of each figure.
        const Segment rbYNb[] = {{2, 80, 55, 300, "syn-COLG", "VAG"},
                                 {55, 300, 400, 2000, "syn-COLG", "WPG"},
                                 {51.5, 8, 55, 300, "VAG", "WPG"},
                                 {50, 1, 51.5, 8, "VAG", "ORG"},
                                 {51.5, 8, 2000, 400, "WPG", "ORG"}};
        for (const Segment& s : rbYNb) { // Y + Nb split evenly
            const auto [l, r] = besides(s);
            QCOMPARE(classOf("pearce-rb-ynb", {l.second, l.first / 2, l.first / 2}), s.left);
            QCOMPARE(classOf("pearce-rb-ynb", {r.second, r.first / 2, r.first / 2}), s.right);
        }
        const Segment nbY[] = {{50, 10, 1, 2000, "VAG + syn-COLG", "WPG"},
                               {40, 1, 50, 10, "VAG + syn-COLG", "ORG"},
                               {50, 10, 1000, 100, "WPG", "ORG"}};
        for (const Segment& s : nbY) {
            const auto [l, r] = besides(s);
            QCOMPARE(classOf("pearce-nb-y", {l.first, l.second}), s.left);
            QCOMPARE(classOf("pearce-nb-y", {r.first, r.second}), s.right);
        }
        // The line runs towards (1, 2000), not (1, 200): towards the latter
        // this point would be WPG.
        QCOMPARE(classOf("pearce-nb-y", {1.2, 500}), QString("VAG + syn-COLG"));
        // The dashed upper limit of ORG divides no field.
        QCOMPARE(classOf("pearce-nb-y", {500, 400}), QString("WPG"));

        const Segment rbYbTa[] = {{0.5, 140, 6, 200, "syn-COLG", "VAG"},
                                  {6, 200, 50, 2000, "syn-COLG", "WPG"},
                                  {6, 8, 6, 200, "VAG", "WPG"},
                                  {6, 1, 6, 8, "VAG", "ORG"},
                                  {6, 8, 200, 400, "WPG", "ORG"}};
        for (const Segment& s : rbYbTa) { // Yb three parts of Yb + Ta
            const auto [l, r] = besides(s);
            QCOMPARE(classOf("pearce-rb-ybta", {l.second, l.first * 0.75, l.first * 0.25}), s.left);
            QCOMPARE(classOf("pearce-rb-ybta", {r.second, r.first * 0.75, r.first * 0.25}),
                     s.right);
        }
        const Segment taYb[] = {{0.55, 20, 3, 2, "WPG", "syn-COLG"},
                                {0.1, 0.35, 3, 2, "syn-COLG", "VAG"},
                                {3, 2, 5, 1, "WPG", "VAG"},
                                {5, 0.05, 5, 1, "VAG", "ORG"},
                                {5, 1, 100, 7, "WPG", "ORG"}};
        for (const Segment& s : taYb) {
            const auto [l, r] = besides(s);
            QCOMPARE(classOf("pearce-ta-yb", {l.first, l.second}), s.left);
            QCOMPARE(classOf("pearce-ta-yb", {r.first, r.second}), s.right);
        }
        // Beyond the frame (Y + Nb above 2000) no field is claimed.
        QCOMPARE(classOf("pearce-rb-ynb", {100, 2000, 1000}), QString("outside the diagram"));
    }

    void basaltRatiosOnBothSidesOfEachLine() {
        // Shervais (1982): Ti/V of 10, 20, 50 and 100 at Ti = 10 000 ppm.
        const QString below = "Ti/V below 10, or 100 and above";
        const std::pair<double, QString> tiV[] = {{9, below},
                                                  {11, "Arc tholeiite"},
                                                  {19, "Arc tholeiite"},
                                                  {21, "MORB and back-arc basalt"},
                                                  {49, "MORB and back-arc basalt"},
                                                  {51, "OIB and alkali basalt"},
                                                  {99, "OIB and alkali basalt"},
                                                  {101, below}};
        for (const auto& [ratio, cls] : tiV)
            QCOMPARE(classOf("ti-v", {10000, 10000 / ratio}), cls);

        // Pearce (2008), Th/Yb against Nb/Yb: the array's two edges; Yb 1 ppm.
        const Segment thNb[] = {
            {0.1, 0.01, 800, 100, "Above the MORB-OIB array", "MORB-OIB array"},
            {0.3, 0.01, 1000, 48, "MORB-OIB array", "Below the MORB-OIB array"}};
        for (const Segment& s : thNb) {
            const auto [l, r] = besides(s);
            QCOMPARE(classOf("th-nb-yb", {l.second, l.first, 1}), s.left);
            QCOMPARE(classOf("th-nb-yb", {r.second, r.first, 1}), s.right);
        }
        // N-MORB and OIB of Sun & McDonough (1989) lie in the array.
        QCOMPARE(classOf("th-nb-yb", {0.12, 2.33, 3.05}), QString("MORB-OIB array"));
        QCOMPARE(classOf("th-nb-yb", {4, 48, 2.16}), QString("MORB-OIB array"));

        // TiO2/Yb against Nb/Yb; Yb 1 ppm, Ti = TiO2 wt% x 5993.4.
        const Segment tiNb[] = {
            {0.1, 2, 100, 2.6, "outside the arrays", "OIB array (deep melting)"},
            {0.1, 0.58, 100, 0.75, "OIB array (deep melting)", "MORB array (shallow melting)"},
            {0.1, 0.27, 100, 0.35, "MORB array (shallow melting)", "outside the arrays"}};
        for (const Segment& s : tiNb) {
            const auto [l, r] = besides(s);
            QCOMPARE(classOf("ti-nb-yb", {l.second * 5993.4, l.first, 1}), s.left);
            QCOMPARE(classOf("ti-nb-yb", {r.second * 5993.4, r.first, 1}), s.right);
        }
        // N-MORB (Ti 7600, Nb 2.33, Yb 3.05) and OIB (Ti 17200, Nb 48, Yb 2.16).
        QCOMPARE(classOf("ti-nb-yb", {7600, 2.33, 3.05}), QString("MORB array (shallow melting)"));
        QCOMPARE(classOf("ti-nb-yb", {17200, 48, 2.16}), QString("OIB array (deep melting)"));
    }

    void basaltTernariesOnBothSidesOfEachBoundary() {
        // The amounts (ppm, in the diagram's elements' order) of a point,
        // undoing each corner's scaling: Ti = 100 (Ti/100), Y = (3Y) / 3;
        // Hf = 3 (Hf/3); Nb = (2Nb) / 2, Zr = 4 (Zr/4).
        auto ppm = [](const std::string& keyword, const Triple& t) {
            if (keyword == "ti-zr-y")
                return std::vector<double>{100 * t[0], t[1], t[2] / 3};
            if (keyword == "hf-th-ta")
                return std::vector<double>{3 * t[0], t[1], t[2]};
            return std::vector<double>{t[0] / 2, 4 * t[1], t[2]};
        };
        const struct {
            const char* keyword;
            Triple p, q, corner; // a boundary p-q, a corner of the field expected
            const char* field;
        } cases[] = {
            // Pearce & Cann (1973): Ti/100, Zr, 3Y.
            {"ti-zr-y", {42.5, 37.5, 30}, {30, 26, 44}, {39, 20.5, 40.5}, "A"},
            {"ti-zr-y", {42.5, 37.5, 30}, {30, 26, 44}, {19, 40, 41}, "B"},
            {"ti-zr-y", {29.5, 45, 25.5}, {19, 40, 41}, {10, 55, 35}, "C"},
            {"ti-zr-y", {29.5, 45, 25.5}, {19, 40, 41}, {30, 26, 44}, "B"},
            {"ti-zr-y", {42.5, 37.5, 30}, {29.5, 45, 25.5}, {50, 38.5, 11.5}, "D"},
            {"ti-zr-y", {42.5, 37.5, 30}, {29.5, 45, 25.5}, {30, 26, 44}, "B"},
            {"ti-zr-y", {48, 24, 28}, {42.5, 37.5, 30}, {50, 38.5, 11.5}, "D"},
            {"ti-zr-y", {48, 24, 28}, {42.5, 37.5, 30}, {30, 26, 44}, "A"},
            {"ti-zr-y", {24, 55.5, 20.5}, {29.5, 45, 25.5}, {50, 38.5, 11.5}, "D"},
            {"ti-zr-y", {24, 55.5, 20.5}, {29.5, 45, 25.5}, {10, 62.5, 27.5}, "C"},
            // Wood (1980): Hf/3, Th, Ta; D split along Hf/Th = 3.
            {"hf-th-ta", {65.5, 7, 27.5}, {46, 35.5, 18.5}, {87.5, 3, 9.5}, "A"},
            {"hf-th-ta", {65.5, 7, 27.5}, {46, 35.5, 18.5}, {42, 13, 45}, "B"},
            {"hf-th-ta", {33, 27, 40}, {19.5, 57.5, 23}, {12, 41, 47}, "C"},
            {"hf-th-ta", {33, 27, 40}, {19.5, 57.5, 23}, {46, 35.5, 18.5}, "B"},
            {"hf-th-ta", {68, 22, 10}, {77, 15, 8}, {65.5, 7, 27.5}, "A"},
            {"hf-th-ta", {68, 22, 10}, {77, 15, 8}, {85, 15, 0}, "D (volcanic-arc th"},
            {"hf-th-ta", {50, 50, 0}, {42, 42, 16}, {85, 15, 0}, "D (volcanic-arc th"},
            {"hf-th-ta", {50, 50, 0}, {42, 42, 16}, {0, 100, 0}, "D (volcanic-arc calc"},
            // Meschede (1986): 2Nb, Zr/4, Y.
            {"nb-zr-y", {56.5, 16.55, 26.95}, {50, 33, 17}, {79, 14, 7}, "AI "},
            {"nb-zr-y", {56.5, 16.55, 26.95}, {50, 33, 17}, {35, 37.5, 27.5}, "AII"},
            {"nb-zr-y", {50, 17.3, 32.7}, {35, 37.5, 27.5}, {56.5, 16.55, 26.95}, "AII"},
            {"nb-zr-y", {50, 17.3, 32.7}, {35, 37.5, 27.5}, {22, 20.5, 57.5}, "B"},
            {"nb-zr-y", {35, 37.5, 27.5}, {12, 60, 28}, {50, 33, 17}, "AII"},
            {"nb-zr-y", {35, 37.5, 27.5}, {12, 60, 28}, {22, 37, 41}, "C"},
            {"nb-zr-y", {31, 36, 33}, {22, 37, 41}, {12, 60, 28}, "C"},
            {"nb-zr-y", {31, 36, 33}, {22, 37, 41}, {22, 20.5, 57.5}, "B"},
            {"nb-zr-y", {22, 20.5, 57.5}, {24, 33.5, 42.5}, {0, 23, 77}, "D"},
            {"nb-zr-y", {22, 20.5, 57.5}, {24, 33.5, 42.5}, {50, 17.3, 32.7}, "B"},
            {"nb-zr-y", {22, 37, 41}, {3, 53, 44}, {12, 60, 28}, "C"},
            {"nb-zr-y", {22, 37, 41}, {3, 53, 44}, {0, 23, 77}, "D"},
        };
        for (const auto& c : cases) {
            const QString cls = classOf(c.keyword, ppm(c.keyword, towards(c.p, c.q, c.corner)));
            QVERIFY2(cls.startsWith(c.field), qPrintable(c.keyword + (": " + cls)));
        }
        // Near the 3Y, Ta and Y corners no field is claimed.
        for (const char* k : {"ti-zr-y", "hf-th-ta", "nb-zr-y"})
            QCOMPARE(classOf(k, ppm(k, {5, 5, 90})), QString("outside the fields"));
        // Scaled and recalculated to 100: Ti 3000, Zr 30, Y 10 is (30, 30, 30)
        // in its scaled quantities, the triangle's centre.
        const auto d = chart::makeDiagram("ti-zr-y");
        const Amount centre[] = {{3000, false}, {30, false}, {10, false}};
        const chart::Place p = d->placeAmounts(centre);
        QVERIFY(d->ternary() && !d->logX());
        QVERIFY(std::abs(p.x - 50) < 1e-9 && std::abs(p.y - 50 / std::sqrt(3.0)) < 1e-9);
        QCOMPARE(d->classes()[std::size_t(p.cls)], std::string("B (MORB, island-arc tholeiites "
                                                               "and calc-alkali basalts)"));
        // A missing element or one not above 0 gives no point, and says which.
        const Amount noTi[] = {{std::nan(""), false}, {30, false}, {10, false}};
        QCOMPARE(d->noPointReasons()[std::size_t(d->placeAmounts(noTi).why)],
                 std::string("no Ti (nor TiO2)"));
        const auto wood = chart::makeDiagram("hf-th-ta");
        const Amount noTa[] = {{3, false}, {1, false}, {0, false}};
        QCOMPARE(wood->noPointReasons()[std::size_t(wood->placeAmounts(noTa).why)],
                 std::string("Ta not above 0"));
        // Meschede's split of AI from AII is dashed, the same two edges on
        // both sides of it; no other field edge of any of these is.
        using Segment = std::pair<std::pair<double, double>, std::pair<double, double>>;
        std::map<std::string, std::set<Segment>> dashed;
        for (const std::string& k : chart::discriminationKeywords())
            for (const chart::Region& r : chart::makeDiagram(k)->regions())
                for (std::size_t e : r.dashedEdges) {
                    auto a = std::make_pair(r.outline[e].x, r.outline[e].y);
                    auto b = std::make_pair(r.outline[(e + 1) % r.outline.size()].x,
                                            r.outline[(e + 1) % r.outline.size()].y);
                    dashed[k + " " + r.name].insert(std::minmax(a, b));
                }
        QCOMPARE(dashed.size(), std::size_t(2));
        QCOMPARE(dashed["nb-zr-y AI"].size(), std::size_t(2));
        QVERIFY(dashed["nb-zr-y AI"] == dashed["nb-zr-y AII"]);
    }

    void noPointSaysWhy() {
        const auto d = chart::makeDiagram("pearce-rb-ynb");
        const Amount none[] = {{100, false}, {std::nan(""), false}, {10, false}};
        const Amount limit[] = {{100, false}, {20, false}, {2, true}};
        const Amount zero[] = {{0, false}, {20, false}, {10, false}};
        auto why = [&](const Amount* a) {
            const chart::Place p = d->placeAmounts(a);
            return p.valid ? std::string("placed") : d->noPointReasons()[std::size_t(p.why)];
        };
        QCOMPARE(why(none), std::string("no Y"));
        QCOMPARE(why(limit), std::string("Nb below detection"));
        QCOMPARE(why(zero), std::string("Rb not above 0"));
        // The plane is in decades: Y + Nb = 100, Rb = 1000 at (2, 3).
        const Amount at[] = {{1000, false}, {60, false}, {40, false}};
        const chart::Place p = d->placeAmounts(at);
        QVERIFY(std::abs(p.x - 2) < 1e-12 && std::abs(p.y - 3) < 1e-12);
        QVERIFY(d->logX() && d->logY() && !chart::makeDiagram("ti-v")->logX());
        // The diagrams of the table's columns are untouched by the values.
        QVERIFY(chart::makeDiagram("tas")->elements().empty());
    }

    void logAxisTicksDecades() {
        std::vector<QString> labels;
        for (const AxisTick& t : logTicks(-1, 3)) // 0.1 to 1000
            if (!t.label.isEmpty())
                labels.push_back(t.label);
        QCOMPARE(labels, (std::vector<QString>{"0.1", "1", "10", "100", "1000"}));
        QCOMPARE(logTicks(-1, 3).size(), std::size_t(4 * 9 + 1));
        // Less than a decade in sight: 2 to 5 labelled.
        labels.clear();
        for (const AxisTick& t : logTicks(std::log10(2), std::log10(5)))
            labels.push_back(t.label);
        QCOMPARE(labels, (std::vector<QString>{"2", "3", "4", "5"}));
    }

    void aViewReadFromTheKeptValues() {
        TestData data(0);
        data.rawExec("INSERT INTO DOZIRO1 ([Doziro Sample#], Rockname, TiO2) VALUES "
                     "('A', 'basalt', 1.27), ('B', 'basalt', NULL), ('C', 'granite', 2.0), "
                     "('D', NULL, NULL)");
        auto db = data.open();
        std::map<std::string, std::int64_t> id;
        {
            engine::Query q(*db, "SELECT [ID], [Doziro Sample#] FROM [DOZIRO1]");
            while (q.next())
                id[q.value(1).toText()] = q.integer(0);
        }
        db->Begin();
        // A: V alone, Ti from its TiO2 (1.27 wt% = 7611.6 ppm): Ti/V 25.4.
        db->addValues("DOZIRO1", id["A"], {value("V", 300)});
        // B: no TiO2; Ti in ppb, a limit of V before the amount.
        db->addValues("DOZIRO1", id["B"],
                      {value("Ti", 1.2e7, 0, "ppb"), value("V", 50, '<'), value("V", 200)});
        // C: a kept limit of Ti says more than the oxide beside it.
        db->addValues("DOZIRO1", id["C"], {value("Ti", 500, '<'), value("V", 100)});
        db->Commit();

        const auto d = chart::makeDiagram("ti-v");
        tas::ViewPoints v;
        chart::NoPointReasons why;
        // In the view's own order: D, C, B, A.
        QVERIFY(chart::readTraceView(*db, "DOZIRO1",
                                     std::vector<std::int64_t>{id["D"], id["C"], id["B"], id["A"]},
                                     *d, 0, v, why));
        QCOMPARE(v.points.size(), std::size_t(4));
        QVERIFY(!v.points[0].valid() && !v.points[1].valid());
        QCOMPARE(chart::NoPointReasons::ofRowText(*d, v, 0), std::string("no Ti (nor TiO2)"));
        QCOMPARE(chart::NoPointReasons::ofRowText(*d, v, 1), std::string("Ti below detection"));
        QVERIFY(v.points[2].valid() && v.points[3].valid());
        QVERIFY(std::abs(v.points[2].silica - 12.0f) < 1e-5); // Ti/1000 from ppb
        QCOMPARE(v.points[2].alkali, 200.0f);                 // the amount, not the limit
        QCOMPARE(d->classes()[std::size_t(v.field[2])], std::string("OIB and alkali basalt"));
        QVERIFY(std::abs(v.points[3].silica - 7.6116f) < 1e-4);
        QCOMPARE(d->classes()[std::size_t(v.field[3])], std::string("MORB and back-arc basalt"));
        QCOMPARE(v.noPoint, 2L);
        QCOMPARE(why.summary(*d), std::string("no Ti (nor TiO2): 1; Ti below detection: 1"));
        chart::NoPointReasons many = why;
        many.perReason.assign(many.perReason.size(), 0);
        many.perReason[0] = 1234567;
        many.perReason[1] = 999;
        QCOMPARE(many.summary(*d),
                 d->noPointReasons()[0] + ": 1,234,567; " + d->noPointReasons()[1] + ": 999");
        // Coloured by rock name, per row of the view.
        QCOMPARE(v.colourNames, (std::vector<std::string>{"basalt", "(empty)", "granite"}));
        QCOMPARE(v.colour, (std::vector<std::uint8_t>{1, 2, 0, 0}));
        // Read a key at a time: the same points, reasons and colours.
        chart::KeySlices::setWidth(1);
        tas::ViewPoints each;
        chart::NoPointReasons eachWhy;
        QVERIFY(chart::readTraceView(*db, "DOZIRO1",
                                     std::vector<std::int64_t>{id["D"], id["C"], id["B"], id["A"]},
                                     *d, 0, each, eachWhy));
        chart::KeySlices::setWidth(chart::KeySlices::kWidth);
        QCOMPARE(eachWhy.perReason, why.perReason);
        QCOMPARE(each.field, v.field);
        QCOMPARE(each.colour, v.colour);
        for (std::size_t r = 0; r < 4; ++r)
            QVERIFY(each.points[r].valid() == v.points[r].valid() &&
                    (!v.points[r].valid() || (each.points[r].silica == v.points[r].silica &&
                                              each.points[r].alkali == v.points[r].alkali)));

        std::atomic<bool> cancel = true;
        QVERIFY(!chart::readTraceView(*db, "DOZIRO1", std::vector<std::int64_t>{id["A"]}, *d, -1, v,
                                      why, &cancel));
    }
};

QTEST_GUILESS_MAIN(TestDiscrimination)
#include "tst_discrimination.moc"
