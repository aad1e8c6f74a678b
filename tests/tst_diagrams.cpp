// The diagrams beside TAS, each checked against boundaries written out here
// and points placed on both sides of each line by a computation of the
// test's own.
#include "classify/Diagram.h"
#include "classify/TasPoint.h"

#include <QtTest>

#include <cmath>
#include <limits>

using chart::Diagram;

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// Values in the order of the volatile-free sum's columns: SiO2 TiO2 Al2O3
// Fe2O3 FeO MnO MgO CaO Na2O K2O P2O5 Cr2O3 ZrO2.
struct Oxides {
    double v[13] = {kNone, kNone, kNone, kNone, kNone, kNone, kNone,
                    kNone, kNone, kNone, kNone, kNone, kNone};
};
enum { SiO2, TiO2, Al2O3, Fe2O3, FeO, MnO, MgO, CaO, Na2O, K2O, P2O5 };

QString className(const Diagram& d, const chart::Place& p) {
    if (!p.valid)
        return "no point";
    return p.cls < 0 ? QString::fromStdString(d.unclassed())
                     : QString::fromStdString(d.classes()[static_cast<std::size_t>(p.cls)]);
}

// Straight-line interpolation in a list of (x, y) sorted by x; beyond the
// ends, the end segment continued.
double interpolate(const std::vector<std::pair<double, double>>& l, double x) {
    std::size_t i = 1;
    while (i + 1 < l.size() && x > l[i].first)
        ++i;
    const auto [x0, y0] = l[i - 1];
    const auto [x1, y1] = l[i];
    return y0 + (y1 - y0) * (x - x0) / (x1 - x0);
}

} // namespace

class TestDiagrams : public QObject {
    Q_OBJECT
private slots:
    void k2oSeriesAtEachBoundary() {
        const auto d = chart::makeDiagram("k2o");
        QVERIFY(d);
        // Peccerillo & Taylor (1976), as (SiO2, K2O).
        const std::vector<std::pair<double, double>> lines[] = {
            {{48, 0.3}, {52, 0.5}, {56, 0.7}, {63, 1.0}, {70, 1.3}, {78, 1.6}},
            {{48, 1.2}, {52, 1.5}, {56, 1.8}, {63, 2.4}, {70, 3.0}},
            {{48, 1.6}, {52, 2.4}, {56, 3.2}, {63, 4.0}}};
        const QString series[] = {"Tholeiite series", "Calc-alkaline series",
                                  "High-K calc-alkaline series", "Shoshonite series"};
        // Volatile-free off: the values are the coordinates.
        for (int line = 0; line < 3; ++line)
            for (double silica : {49.0, 54.5, 59.0, 66.0, 69.9, 74.0}) {
                const double k = interpolate(lines[line], silica);
                // On a line: the series above it.
                for (const auto& [dy, above] :
                     {std::pair{0.01, true}, std::pair{0.0, true}, std::pair{-0.01, false}}) {
                    Oxides o;
                    o.v[SiO2] = silica;
                    o.v[K2O] = k + dy;
                    const chart::Place p = d->place(o.v, false);
                    QVERIFY(p.valid);
                    QCOMPARE(p.x, silica);
                    // Above a line: that line's upper series at least; below:
                    // its lower series at most.
                    QVERIFY2(above ? p.cls >= line + 1 : p.cls <= line,
                             qPrintable(QString("SiO2 %1 K2O %2: %3")
                                            .arg(silica)
                                            .arg(k + dy)
                                            .arg(className(*d, p))));
                }
            }
        // Named as a whole, between the lines.
        Oxides o;
        o.v[SiO2] = 56;
        for (const auto& [k, name] :
             {std::pair{0.5, 0}, std::pair{1.0, 1}, std::pair{2.5, 2}, std::pair{3.5, 3}}) {
            o.v[K2O] = k;
            QCOMPARE(className(*d, d->place(o.v, false)), series[name]);
        }
        // Volatile-free: both axes divided by the sum.
        o.v[SiO2] = 50;
        o.v[K2O] = 2;
        o.v[Al2O3] = 48;
        const chart::Place p = d->place(o.v, true);
        QVERIFY(std::abs(p.x - 50) < 1e-12 && std::abs(p.y - 2) < 1e-12);
        o.v[Al2O3] = 23;
        const chart::Place q = d->place(o.v, true);
        QVERIFY(std::abs(q.x - 50 * 100 / 75.0) < 1e-12);
        // No point without SiO2 or K2O, or with a negative oxide.
        Oxides none;
        none.v[SiO2] = 50;
        QVERIFY(!d->place(none.v, true).valid);
        none.v[K2O] = 1;
        none.v[CaO] = -1;
        QVERIFY(!d->place(none.v, true).valid);
    }

    void afmAtItsLine() {
        const auto d = chart::makeDiagram("afm");
        QVERIFY(d && d->ternary());
        // Irvine & Baragar (1971), as (A, F) per cent, A ascending.
        const std::vector<std::pair<double, double>> line = {
            {15, 35},     {16.6, 43.4}, {18.9, 51.1}, {19.4, 52.8}, {21.4, 54.6},
            {25.4, 54.6}, {29.6, 53.6}, {47.6, 42.4}, {58.8, 36.2}};
        // Beyond its ends the end values hold.
        for (double a : {10.0, 16.0, 18.0, 20.0, 23.0, 27.0, 35.0, 50.0, 58.0, 62.0}) {
            const double f = a < 15 ? 35 : a > 58.8 ? 36.2 : interpolate(line, a);
            for (const auto& [df, name] :
                 {std::pair{0.05, "Tholeiitic"}, std::pair{-0.05, "Calc-alkaline"}}) {
                // A from the alkalis, F from FeO alone, M the rest.
                Oxides o;
                o.v[Na2O] = a * 0.6;
                o.v[K2O] = a * 0.4;
                o.v[FeO] = f + df;
                o.v[MgO] = 100 - a - (f + df);
                const chart::Place p = d->place(o.v, true);
                QCOMPARE(className(*d, p), QString(name));
                // In the triangle: F up, M to the right.
                QVERIFY(std::abs(p.y - (f + df) * std::sqrt(3.0) / 2) < 1e-9);
                QVERIFY(std::abs(p.x - ((100 - a - f - df) + (f + df) / 2)) < 1e-9);
            }
        }
        // F counts Fe2O3 as FeO (x 0.8998); the sum is taken to 100.
        Oxides o;
        o.v[Na2O] = 2;
        o.v[K2O] = 2;
        o.v[Fe2O3] = 10 / 0.8998;
        o.v[MgO] = 6;
        const chart::Place p = d->place(o.v, true);
        QVERIFY(std::abs(p.y - 50 * std::sqrt(3.0) / 2) < 1e-9);
        // A + F + M = 0, or no MgO: no point.
        Oxides zero;
        zero.v[Na2O] = zero.v[K2O] = zero.v[FeO] = zero.v[MgO] = 0;
        zero.v[SiO2] = 50;
        QVERIFY(!d->place(zero.v, true).valid);
        o.v[MgO] = kNone;
        QVERIFY(!d->place(o.v, true).valid);
    }

    void shandAtItsLimits() {
        const auto d = chart::makeDiagram("shand");
        QVERIFY(d);
        // Molar masses written out: Al2O3 101.96, CaO 56.08, Na2O 61.98,
        // K2O 94.20, P2O5 141.94.
        const auto analysis = [](double al, double ca, double na, double k, double p = 0) {
            Oxides o;
            o.v[Al2O3] = al * 101.961276;
            o.v[CaO] = ca * 56.0774;
            o.v[Na2O] = na * 61.97894;
            o.v[K2O] = k * 94.1960;
            o.v[P2O5] = p * 141.944522;
            return o;
        };
        const struct {
            double al, ca, na, k, p;
            const char* name;
        } cases[] = {
            {0.101, 0.05, 0.03, 0.02, 0, "Peraluminous"}, // A/CNK 1.01
            {0.099, 0.05, 0.03, 0.02, 0, "Metaluminous"}, // A/CNK 0.99, A/NK 1.98
            {0.051, 0.05, 0.03, 0.02, 0, "Metaluminous"}, // A/NK 1.02
            {0.049, 0.05, 0.03, 0.02, 0, "Peralkaline"},  // A/NK 0.98
            // Apatite's calcium left out: 3.33 P2O5 from CaO.
            {0.082, 0.05, 0.03, 0.02, 0.0059, "Peraluminous"}, // A/CNK 1.0104
            {0.080, 0.05, 0.03, 0.02, 0.0059, "Metaluminous"}, // A/CNK 0.9858
        };
        for (const auto& c : cases) {
            const Oxides o = analysis(c.al, c.ca, c.na, c.k, c.p);
            const chart::Place p = d->place(o.v, true);
            QCOMPARE(className(*d, p), QString(c.name));
            QVERIFY(std::abs(p.x - c.al / (c.ca - 3.33 * c.p + c.na + c.k)) < 1e-9);
            QVERIFY(std::abs(p.y - c.al / (c.na + c.k)) < 1e-9);
        }
        // Al2O3 and the alkalis are needed; CaO may be empty.
        Oxides o = analysis(0.1, 0.05, 0.03, 0.02);
        o.v[CaO] = kNone;
        QCOMPARE(className(*d, d->place(o.v, true)), QString("Peraluminous"));
        o.v[Al2O3] = kNone;
        QVERIFY(!d->place(o.v, true).valid);
        Oxides noAlkali = analysis(0.1, 0.05, 0, 0);
        QVERIFY(!d->place(noAlkali.v, true).valid);
    }

    void harkerDiagrams() {
        for (const std::string& name : chart::harkerPage())
            QVERIFY2(chart::makeDiagram("harker:" + name), name.c_str());
        QVERIFY(!chart::makeDiagram("harker:Nowhere"));
        QVERIFY(!chart::makeDiagram("harker:SiO2"));
        QVERIFY(!chart::makeDiagram("harker:Rockname"));
        QVERIFY(!chart::makeDiagram("nope"));
        Oxides o;
        o.v[SiO2] = 50;
        o.v[Al2O3] = 15;
        o.v[FeO] = 8;
        o.v[Fe2O3] = 2;
        o.v[MgO] = 7;
        o.v[CaO] = 10;
        o.v[Na2O] = 3;
        o.v[K2O] = 1;
        double sum = 0;
        for (double x : o.v)
            sum += std::isnan(x) ? 0 : x;
        const auto mgo = chart::makeDiagram("harker:MgO");
        const chart::Place p = mgo->place(o.v, true);
        QVERIFY(std::abs(p.x - 50 * 100 / sum) < 1e-12 && std::abs(p.y - 7 * 100 / sum) < 1e-12);
        const chart::Place raw = mgo->place(o.v, false);
        QCOMPARE(raw.y, 7.0);
        const auto feot = chart::makeDiagram("harker:FeOT");
        QVERIFY(std::abs(feot->place(o.v, false).y - (8 + 0.8998 * 2)) < 1e-12);
        // Mg#: 100 Mg / (Mg + Fe), molar, iron as FeOT.
        const double mg = 7 / 40.3044, fe = (8 + 0.8998 * 2) / 71.8444;
        QVERIFY(std::abs(chart::makeDiagram("harker:Mg#")->place(o.v, true).y -
                         100 * mg / (mg + fe)) < 1e-9);
        // A column the row does not have: no point.
        QVERIFY(!chart::makeDiagram("harker:TiO2")->place(o.v, true).valid);
    }

    // TAS through the general reading agrees with the TAS point itself.
    void tasIsOneOfThem() {
        const auto d = chart::makeDiagram("tas");
        Oxides o;
        o.v[SiO2] = 49;
        o.v[Al2O3] = 16;
        o.v[FeO] = 10;
        o.v[MgO] = 8;
        o.v[CaO] = 11;
        o.v[Na2O] = 3;
        o.v[K2O] = 1;
        const chart::Place p = d->place(o.v, true);
        const tas::Point t = tas::classifyOxides(o.v, true);
        QCOMPARE(p.x, t.silica);
        QCOMPARE(p.y, t.alkali);
        QCOMPARE(className(*d, p), QString("Basalt"));
        // The plutonic names on the same fields, and in the drawing.
        const auto plutonic = chart::makeDiagram("tas-plutonic");
        const chart::Place q = plutonic->place(o.v, true);
        QVERIFY(q.x == p.x && q.y == p.y && q.cls == p.cls);
        QCOMPARE(className(*plutonic, q), QString("Gabbro"));
        QCOMPARE(plutonic->regions()[static_cast<std::size_t>(q.cls)].name, std::string("Gabbro"));
        QCOMPARE(plutonic->classes().size(), d->classes().size());
    }
};

QTEST_APPLESS_MAIN(TestDiagrams)
#include "tst_diagrams.moc"
