// The norm as a table: the whole-table reading on its two threads, with
// its cancel and failures, and the cells the command line, the window and
// the export all write.
#include "norm/NormTable.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "support/TestData.h"

#include <QtTest>

#include <algorithm>
#include <atomic>
#include <cstdio>

using namespace norm;

class TestNormTable : public QObject {
    Q_OBJECT
private slots:
    // The whole-table reading: every row in the order of ID, a condition in
    // the program's own terms, and its failures brought back to the caller.
    void tablesAreReadWholeOrFailClearly() {
        TestData d(5000);
        auto db = d.open(true);
        std::vector<std::int64_t> ids;
        QVERIFY(forEachNorm(*db, "DOZIRO1", {}, IronChoice::Volcanic,
                            [&](std::int64_t id, const Norm&) { ids.push_back(id); }));
        QCOMPARE(ids.size(), std::size_t(5000));
        QVERIFY(std::is_sorted(ids.begin(), ids.end()));
        long some = 0;
        QVERIFY(forEachNorm(*db, "DOZIRO1", "[Rockname] Like '*a*' And [SiO2] > 50",
                            IronChoice::Volcanic, [&](std::int64_t, const Norm&) { ++some; }));
        QCOMPARE(some, long(d.rawCount("SELECT count(*) FROM DOZIRO1 WHERE Rockname LIKE '%a%' "
                                       "AND SiO2 > 50")));
        // Cancelled: it stops, and says so.
        std::atomic<bool> cancel{false};
        long seen = 0;
        QVERIFY(!forEachNorm(
            *db, "DOZIRO1", {}, IronChoice::Volcanic,
            [&](std::int64_t, const Norm&) {
                if (++seen == 100)
                    cancel = true;
            },
            &cancel));
        QVERIFY(seen < 5000);
        // A condition the engine cannot read, and a damaged page met on the
        // reading thread: thrown here, in the engine's words.
        QVERIFY_THROWS_EXCEPTION(engine::EngineError,
                                 forEachNorm(*db, "DOZIRO1", "[Nowhere] >", IronChoice::Volcanic,
                                             [](std::int64_t, const Norm&) {}));
        db.reset();
        d.damageRowPage(4000);
        auto damaged = d.open(true);
        long before = 0;
        try {
            forEachNorm(*damaged, "DOZIRO1", {}, IronChoice::Volcanic,
                        [&](std::int64_t, const Norm&) { ++before; });
            QFAIL("a damaged table was read through");
        } catch (const engine::EngineError& e) {
            QVERIFY2(QString(e.what()).contains("damaged"), e.what());
        }
        QVERIFY(before < 4000);
        // A callback's own failure ends the reading, which is not left
        // running.
        auto again = d.open(true);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 forEachNorm(*again, "DOZIRO1", "[ID] < 3000", IronChoice::Volcanic,
                                             [](std::int64_t id, const Norm&) {
                                                 if (id == 7)
                                                     throw std::runtime_error("stop");
                                             }));
    }

    void tableCellsAreWrittenToTwoDecimals() {
        QCOMPARE(QString::fromStdString(table::fixed2(0)), QString("0.00"));
        QCOMPARE(QString::fromStdString(table::fixed2(-0.004)), QString("0.00"));
        QCOMPARE(QString::fromStdString(table::fixed2(12.345678)), QString("12.35"));
        for (double x :
             {99.995, 0.125, 1.005, 63.4949999, 7.0 / 3, -2.675, 0.015, 1234.5678, 0.0051, 100.0}) {
            char printed[32];
            std::snprintf(printed, sizeof printed, "%.2f", x);
            QCOMPARE(QString::fromStdString(table::fixed2(x)), QString(printed));
        }
        const std::vector<std::string> head = table::header();
        QCOMPARE(head.size(), std::size_t(kMineralCount + 6));
        QCOMPARE(QString::fromStdString(head[1]), QString("Q"));
        QCOMPARE(QString::fromStdString(head.back()), QString("Name"));
        // A row without a norm: every cell empty but the reason.
        Norm none;
        none.reason = "TiO2 is empty";
        const auto c = table::cells(none);
        QCOMPARE(c.size(), head.size() - 1);
        for (std::size_t i = 0; i + 1 < c.size(); ++i)
            QVERIFY(c[i].empty());
        QCOMPARE(QString::fromStdString(c.back()), QString("TiO2 is empty"));
    }
};

QTEST_APPLESS_MAIN(TestNormTable)
#include "tst_normtable.moc"
