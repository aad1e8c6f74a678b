// Trace-element patterns: the published worked examples of the ratios, each
// set normalising its own table to 1, units and oxides to ppm (the oxide
// factors from the atomic weights here), limits flagged and refused by the
// ratios, the band against quantiles counted out by hand, and the patterns
// of a view read from a database in the view's order.
#include "classify/KeySlices.h"
#include "classify/NormalisingSets.h"
#include "classify/PatternView.h"
#include "classify/TracePattern.h"
#include "platform/db/Database.h"
#include "platform/db/Query.h"
#include "support/TestData.h"

#include <QtTest>

#include <cmath>
#include <iterator>
#include <random>

using engine::SampleValue;
using trace::Composition;

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

SampleValue ppm(const char* element, double v, char qualifier = 0, const char* unit = "ppm") {
    return SampleValue{element, unit, "ICP-MS", qualifier, v, "", std::nullopt, ""};
}

Composition compositionOf(const std::vector<SampleValue>& values, double tio2 = kNone,
                          double k2o = kNone, double p2o5 = kNone) {
    trace::CompositionBuilder b;
    for (const auto& v : values)
        b.add(v);
    return b.finish(tio2, k2o, p2o5);
}

const trace::Reading& at(const Composition& c, const char* element) {
    return c[static_cast<std::size_t>(trace::elementIndex(element))];
}

// Sun & McDonough (1989), Table 1: N-MORB and OIB, the elements the
// worked ratios need.
std::vector<SampleValue> nMorb() {
    return {ppm("La", 2.5),  ppm("Ce", 7.5),  ppm("Pr", 1.32), ppm("Sm", 2.63), ppm("Eu", 1.02),
            ppm("Gd", 3.68), ppm("Yb", 3.05), ppm("Nb", 2.33), ppm("Th", 0.12)};
}
std::vector<SampleValue> oib() {
    return {ppm("La", 37), ppm("Sm", 10), ppm("Eu", 3), ppm("Gd", 7.62), ppm("Yb", 2.16)};
}

enum { EuEu, CeCe, LaYb, LaSm, GdYb, NbNb };

} // namespace

class TestPatterns : public QObject {
    Q_OBJECT
private slots:
    void publishedWorkedExamples() {
        const trace::NormalisingSet& ci = *trace::findSet("ci-sm89");
        auto r = trace::ratiosOf(trace::normalise(compositionOf(nMorb()), ci), ci);
        QVERIFY(std::abs(r[LaYb].value - 0.588) < 5e-4);
        QVERIFY(std::abs(r[EuEu].value - 1.0024) < 5e-5);
        // By hand from the two tables: (La/Sm)N = (2.5/0.237)/(2.63/0.153).
        QVERIFY(std::abs(r[LaSm].value - (2.5 / 0.237) / (2.63 / 0.153)) < 1e-9);
        QVERIFY(std::abs(r[CeCe].value - (7.5 / 0.612) / std::sqrt(2.5 / 0.237 * 1.32 / 0.095)) <
                1e-9);
        r = trace::ratiosOf(trace::normalise(compositionOf(oib()), ci), ci);
        QVERIFY(std::abs(r[LaYb].value - 12.287) < 5e-4);
        QVERIFY(std::abs(r[EuEu].value - 1.0507) < 5e-5);
        // Nb/Nb* of N-MORB over the primitive mantle as printed.
        const trace::NormalisingSet& pm = *trace::findSet("pm-sm89");
        r = trace::ratiosOf(trace::normalise(compositionOf(nMorb()), pm), pm);
        QVERIFY(std::abs(r[NbNb].value - (2.33 / 0.713) / std::sqrt(0.12 / 0.085 * 2.5 / 0.687)) <
                1e-9);
        QCOMPARE(r[NbNb].why, std::string());
    }

    void eachSetNormalisesItsOwnTableToOne() {
        for (const trace::NormalisingSet& s : trace::normalisingSets()) {
            std::vector<SampleValue> own;
            for (int e = 0; e < trace::kElementCount; ++e)
                if (s.has(e))
                    own.push_back(ppm(trace::kElements[static_cast<std::size_t>(e)],
                                      s.ppm[static_cast<std::size_t>(e)]));
            const Composition n = trace::normalise(compositionOf(own), s);
            for (int e : trace::elementsOf(trace::PatternKind::MultiElement))
                QVERIFY2(!s.has(e) || std::abs(n[static_cast<std::size_t>(e)].value - 1) < 1e-12,
                         s.keyword.c_str());
            QVERIFY(!s.has(trace::elementIndex("Pm")));
            QVERIFY(!s.name.empty());
        }
        // The ppb tables, as printed, reach 1 from ppb values.
        const trace::NormalisingSet& ms95 = *trace::findSet("ci-ms95");
        const Composition n = trace::normalise(
            compositionOf({ppm("La", 237, 0, "ppb"), ppm("Yb", 161, 0, "ppb")}), ms95);
        QCOMPARE(at(n, "La").value, 1.0);
        QVERIFY(std::abs(at(n, "Yb").value - 1) < 1e-12);
        const trace::NormalisingSet& pm95 = *trace::findSet("pm-ms95");
        QVERIFY(std::abs(pm95.ppm[static_cast<std::size_t>(trace::elementIndex("Pb"))] - 0.15) <
                1e-12);
        QCOMPARE(pm95.ppm[static_cast<std::size_t>(trace::elementIndex("Ti"))], 1205.0);
        // The footnote variant differs from the printed table in Cs and Pb only.
        const trace::NormalisingSet& a = *trace::findSet("pm-sm89");
        const trace::NormalisingSet& b = *trace::findSet("pm-sm89-footnote");
        for (int e = 0; e < trace::kElementCount; ++e) {
            const std::string sym = trace::kElements[static_cast<std::size_t>(e)];
            const double x = a.ppm[static_cast<std::size_t>(e)],
                         y = b.ppm[static_cast<std::size_t>(e)];
            if (sym == "Cs")
                QCOMPARE(std::make_pair(x, y), std::make_pair(0.032, 0.0079));
            else if (sym == "Pb")
                QCOMPARE(std::make_pair(x, y), std::make_pair(0.185, 0.071));
            else
                QVERIFY(x == y || (std::isnan(x) && std::isnan(y)));
        }
        QVERIFY(a.name != b.name);
    }

    void unitsAndOxidesToPpm() {
        // Oxide factors from the atomic weights (IUPAC 2001).
        const double K = 39.0983, Ti = 47.867, P = 30.973761, O = 15.9994;
        const Composition c = compositionOf(
            {
                ppm("La", 2.5),
                ppm("Ce", 7500, 0, "ppb"),
                ppm("Pr", 1.32e6, 0, "ppt"),
                ppm("Ti", 0.76, 0, "wt%"),
                ppm("Sr", 90, 0, "µg/g"),
                ppm("Cs", 7, 0, "furlongs"),
            },
            /*TiO2*/ 2.0, /*K2O*/ 0.0722, /*P2O5*/ 0.1169);
        QCOMPARE(at(c, "La").value, 2.5);
        QVERIFY(std::abs(at(c, "Ce").value - 7.5) < 1e-12);
        QVERIFY(std::abs(at(c, "Pr").value - 1.32) < 1e-12);
        QVERIFY(std::abs(at(c, "Ti").value - 7600) < 1e-9); // the kept value, not TiO2
        QCOMPARE(at(c, "Sr").value, 90.0);
        QVERIFY(!at(c, "Cs").known()); // a unit that is no mass fraction
        QVERIFY(!at(c, "Ce").limit);
        const double k = 0.0722 * 2 * K / (2 * K + O) * 1e4;
        const double p = 0.1169 * 2 * P / (2 * P + 5 * O) * 1e4;
        QVERIFY(std::abs(at(c, "K").value / k - 1) < 2e-5);
        QVERIFY(std::abs(at(c, "P").value / p - 1) < 2e-5);
        // TiO2 where no Ti value is kept; nothing from an empty column.
        const Composition d = compositionOf({}, 2.0, kNone, kNone);
        QVERIFY(std::abs(at(d, "Ti").value / (2.0 * Ti / (Ti + 2 * O) * 1e4) - 1) < 2e-5);
        QVERIFY(!at(d, "K").known());
        QVERIFY(!at(d, "P").known());
    }

    void limitsAreFlaggedAndRefusedByRatios() {
        const trace::NormalisingSet& ci = *trace::findSet("ci-sm89");
        const Composition c =
            compositionOf({ppm("La", 2.5), ppm("La", 9.9),        // the first of two
                           ppm("Eu", 0.05, '<'), ppm("Eu", 1.02), // the one without a qualifier
                           ppm("Sm", 2.63), ppm("Gd", 3.68), ppm("Yb", 0.1, '<'), // only a limit
                           ppm("Ce", 800, '>'), ppm("Pr", 1.32), // above the range: no amount
                           ppm("K", 0.02, '<', "wt%")},          // a limit of K beats the oxide
                          kNone, 1.5, kNone);
        QCOMPARE(at(c, "La").value, 2.5);
        QCOMPARE(at(c, "Eu"), (trace::Reading{1.02, false}));
        QCOMPARE(at(c, "Yb"), (trace::Reading{0.1, true}));
        QVERIFY(!at(c, "Ce").known());
        QCOMPARE(at(c, "K"), (trace::Reading{200, true}));
        const Composition n = trace::normalise(c, ci);
        QVERIFY(at(n, "Yb").limit);
        QVERIFY(std::abs(at(n, "Yb").value - 0.1 / 0.170) < 1e-12);
        const auto r = trace::ratiosOf(n, ci);
        QVERIFY(std::abs(r[EuEu].value - (1.02 / 0.058) / std::sqrt(2.63 / 0.153 * 3.68 / 0.2055)) <
                1e-9);
        QVERIFY(std::isnan(r[LaYb].value));
        QCOMPARE(r[LaYb].why, std::string("Yb below detection"));
        QVERIFY(std::isnan(r[GdYb].value));
        QCOMPARE(r[CeCe].why, std::string("no Ce"));
        QCOMPARE(r[NbNb].why, std::string("no Nb"));
        const trace::NormalisingSet& boynton = *trace::findSet("boynton84");
        const auto rb = trace::ratiosOf(trace::normalise(compositionOf(nMorb()), boynton), boynton);
        QCOMPARE(rb[NbNb].why, std::string("Nb not in the set"));
        QVERIFY(std::isnan(rb[NbNb].value));
        QVERIFY(rb[LaYb].value > 0);
    }

    void bandAgainstQuantilesCountedOut() {
        // Three elements; the first 1..11, the second 1..10 with a limit and
        // an unknown among them, the third random against a sorted copy.
        std::vector<float> values;
        std::vector<std::uint8_t> limits;
        std::mt19937 rng(5);
        std::lognormal_distribution<float> spread(1, 1.5);
        std::vector<double> third;
        for (int r = 0; r < 13; ++r) {
            const float a = r < 11 ? static_cast<float>(r + 1) : static_cast<float>(kNone);
            const float b = r < 10    ? static_cast<float>(10 - r)
                            : r == 10 ? 1000
                                      : static_cast<float>(kNone);
            const float c = spread(rng);
            third.push_back(c);
            values.insert(values.end(), {a, b, c});
            limits.insert(limits.end(), {0, static_cast<std::uint8_t>(r == 10), 0});
        }
        const trace::Band band = trace::bandOf(values, limits, 3);
        QCOMPARE(band.rows, (std::vector<long>{11, 10, 13}));
        QCOMPARE(band.p10[0], 2.0);
        QCOMPARE(band.median[0], 6.0);
        QCOMPARE(band.p90[0], 10.0);
        // Ten values: positions 0.9, 4.5 and 8.1 between the order statistics.
        QVERIFY(std::abs(band.p10[1] - 1.9) < 1e-12);
        QVERIFY(std::abs(band.median[1] - 5.5) < 1e-12);
        QVERIFY(std::abs(band.p90[1] - 9.1) < 1e-12);
        std::sort(third.begin(), third.end());
        // 13 values: 10 % at position 1.2, the median the 7th, 90 % at 10.8.
        QVERIFY(std::abs(band.p10[2] - (third[1] + 0.2 * (third[2] - third[1]))) < 1e-5);
        QCOMPARE(band.median[2], third[6]);
        QVERIFY(std::abs(band.p90[2] - (third[10] + 0.8 * (third[11] - third[10]))) < 1e-5);
        const trace::Band none = trace::bandOf({}, {}, 3);
        QVERIFY(std::isnan(none.median[0]));
    }

    void aViewReadInItsOrder() {
        TestData data(0);
        data.rawExec("INSERT INTO DOZIRO1 ([Doziro Sample#], TiO2, K2O, P2O5) VALUES "
                     "('A', 1.0, 0.5, 0.2), ('B', 1.5, NULL, NULL), ('C', NULL, NULL, NULL)");
        auto db = data.open();
        std::map<std::string, std::int64_t> id;
        {
            engine::Query q(*db, "SELECT [ID], [Doziro Sample#] FROM [DOZIRO1]");
            while (q.next())
                id[q.value(1).toText()] = q.integer(0);
        }
        db->Begin();
        db->addValues("DOZIRO1", id["A"], nMorb());
        db->addValues("DOZIRO1", id["C"], {ppm("La", 0.237), ppm("Yb", 0.034, '<')});
        db->Commit();
        // Every row by ID, the sample number beside it; a condition narrows.
        std::vector<std::string> met;
        QVERIFY(trace::forEachSample(*db, "DOZIRO1", {}, [&](const trace::SampleRow& s) {
            met.push_back(s.sample);
            if (s.sample == "B") // TiO2 alone
                return at(s.ppm, "Ti").known() && !at(s.ppm, "La").known();
            return true;
        }));
        QCOMPARE(met, (std::vector<std::string>{"A", "B", "C"}));
        met.clear();
        QVERIFY(trace::forEachSample(*db, "DOZIRO1", "[Doziro Sample#] <> 'A'",
                                     [&](const trace::SampleRow& s) {
                                         met.push_back(s.sample);
                                         return true;
                                     }));
        QCOMPARE(met, (std::vector<std::string>{"B", "C"}));

        // The view's order (C, A, B); B has no REE at all.
        trace::PatternView v;
        const trace::NormalisingSet& ci = *trace::findSet("ci-sm89");
        const std::vector<std::int64_t> order{id["C"], id["A"], id["B"]};
        QVERIFY(trace::readPatterns(*db, "DOZIRO1", order, trace::PatternKind::Ree, ci, v));
        QCOMPARE(v.rows(), std::size_t(3));
        QCOMPARE(v.empty, 1L);
        QCOMPARE(v.setName, ci.name);
        const std::size_t n = v.elements.size(), la = 0, yb = 13;
        QCOMPARE(n, std::size_t(15));
        QCOMPARE(v.value(0, la), 1.0f);
        QVERIFY(v.limit(0, yb));
        QVERIFY(std::abs(v.value(0, yb) - 0.2f) < 1e-6);
        QVERIFY(std::abs(v.value(1, la) - 2.5f / 0.237f) < 1e-5);
        QVERIFY(std::isnan(v.value(1, 4))); // Pm
        for (std::size_t e = 0; e < n; ++e)
            QVERIFY(std::isnan(v.value(2, e)));
        std::atomic<bool> cancel = true;
        const std::vector<std::int64_t> one{id["A"]};
        QVERIFY(!trace::readPatterns(*db, "DOZIRO1", one, trace::PatternKind::Ree, ci, v, &cancel));
    }

    void aLargeViewIsReadInSlices() {
        // Values either side of where one slice of rows ends and the next
        // begins, read for a view in reverse order.
        TestData data(140000);
        auto db = data.open();
        std::vector<std::int64_t> ids;
        {
            engine::Query q(*db, "SELECT [ID] FROM [DOZIRO1] ORDER BY [ID]");
            while (q.next())
                ids.push_back(q.integer(0));
        }
        // ... and where one range of keys ends and the next begins.
        const std::size_t at[] = {0, 39999, 40000, 65535, 65536, 131071, 131072, ids.size() - 1};
        chart::KeySlices::setWidth(40000);
        db->Begin();
        for (std::size_t i = 0; i < std::size(at); ++i)
            db->addValues("DOZIRO1", ids[at[i]], {ppm("La", 0.237 * double(i + 1))});
        db->Commit();
        const std::vector<std::int64_t> view(ids.rbegin(), ids.rend());
        trace::PatternView v;
        QVERIFY(trace::readPatterns(*db, "DOZIRO1", view, trace::PatternKind::Ree,
                                    *trace::findSet("ci-sm89"), v));
        chart::KeySlices::setWidth(chart::KeySlices::kWidth);
        QCOMPARE(v.empty, long(ids.size() - std::size(at)));
        QCOMPARE(v.values.size(), std::size(at) * v.elements.size()); // the others keep none
        for (std::size_t i = 0; i < std::size(at); ++i) {
            const std::size_t row = ids.size() - 1 - at[i];
            QVERIFY(std::abs(v.value(row, 0) - float(i + 1)) < 1e-5);
        }
    }
};

QTEST_GUILESS_MAIN(TestPatterns)
#include "tst_patterns.moc"
