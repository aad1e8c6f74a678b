// The engine and the import held to sources of their own: the Windows-1252
// table as published, Unicode's case pairs as Qt knows them, an account's
// rights table by table, and a diagram's points worked out in SQL.
#include "classify/Diagram.h"
#include "classify/KeySlices.h"
#include "classify/TasView.h"
#include "exchange/CsvImport.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Recordset.h"
#include "platform/db/TextFold.h"
#include "platform/db/Workgroup.h"
#include "schema/Schema.h"
#include "support/TestData.h"

#include <QtTest>

#include <algorithm>
#include <numeric>
#include <random>

#include <sqlite3.h>

namespace {

std::string rawText(const TestData& d, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(d.databasePath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
    std::string out;
    if (sqlite3_step(s) == SQLITE_ROW && sqlite3_column_text(s, 0))
        out = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    sqlite3_finalize(s);
    sqlite3_close(db);
    return out;
}

double rawReal(const TestData& d, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(d.databasePath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
    const double v = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_double(s, 0) : -1;
    sqlite3_finalize(s);
    sqlite3_close(db);
    return v;
}

} // namespace

class TestCrossCheck : public QObject {
    Q_OBJECT
private slots:
    void windows1252TextComesInAsWritten() {
        // Bytes 0x80-0x9F are where Windows-1252 and Latin-1 differ: curly
        // quotes, the euro sign, dashes, the trade mark, S and Y with marks.
        TestData d(5);
        QTemporaryDir dir;
        QFile f(dir.filePath("cp1252.csv"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("SAMPLE ID,LOCATION,SIO2(WT%)\n");
        f.write("W-1,\x93Mount\x94 \x80 \x96 \x97 \x91x\x92 \x99 \x8A\x9F \x85,50\n");
        f.write("W-2,M\xFCnster \xE9t\xE9,51\n");
        f.close();
        const ImportPlan plan = CsvImport::plan(f.fileName().toStdString());
        auto db = d.open();
        QCOMPARE(CsvImport::run(*db, "Project2", plan), 2L);
        QCOMPARE(rawText(d, "SELECT Location FROM Project2 WHERE [Doziro Sample#] = 'W-1'"),
                 std::string("\u201CMount\u201D \u20AC \u2013 \u2014 \u2018x\u2019 \u2122 "
                             "\u0160\u0178 \u2026"));
        QCOMPARE(rawText(d, "SELECT Location FROM Project2 WHERE [Doziro Sample#] = 'W-2'"),
                 std::string("M\u00FCnster \u00E9t\u00E9"));
    }

    void caseIsFoldedForEveryLetterPair() {
        // Every capital of Latin-1, Latin Extended-A and -B, Greek and
        // Cyrillic folds as its small letter does, as Unicode pairs them.
        QStringList wrong;
        for (char32_t c = 0x41; c < 0x530; ++c) {
            const QChar upper(static_cast<char16_t>(c));
            if (!upper.isUpper())
                continue;
            const char32_t lower = QChar::toLower(c);
            if (lower == c || QChar::toUpper(lower) != c)
                continue; // no simple pair
            if (engine::foldCase(c) != engine::foldCase(lower))
                wrong << QString("U+%1").arg(uint(c), 4, 16, QChar('0'));
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(' ')));
        // ... and through a search.
        TestData d(5);
        d.rawExec("UPDATE DOZIRO1 SET Location = CASE ID WHEN 1 THEN 'Ÿpres ÅSA' WHEN 2 THEN "
                  "'łódź' WHEN 3 THEN 'ΣΤΡΟΜΒΟΛΙ' WHEN 4 THEN 'ЖИГУЛИ' ELSE 'Ἄθως' END");
        auto db = d.open(true);
        for (const char* term : {"ÿpres åsa", "ŁÓDŹ", "στρομβολι", "жигули"}) {
            auto rs = db->OpenRecordset(std::string("SELECT * From [DOZIRO1]Where [Location] "
                                                    "Like '*") +
                                            term + "*'",
                                        true);
            QVERIFY2(rs->RecordCount() == 1, term);
        }
    }

    void rightsFollowEachTable() {
        TestData d(30);
        engine::TablePermissions readOnly{true, false, false, false};
        engine::TablePermissions all{true, true, true, true};
        engine::TablePermissions readInsert{true, false, true, false};
        engine::Workgroup::Account mixed{
            "mixed", "pw", {{"Project1", readOnly}, {"project2", all}, {"PROJECT3", readInsert}}};
        const std::string wg = d.dir().toStdString() + "/mixed.mdw";
        engine::Workgroup::create(wg, d.identity(), {mixed});
        auto& e = engine::DBEngine::instance();
        e.SystemDB = wg;
        e.DefaultUser = "mixed";
        e.DefaultPassword = "pw";
        auto db = e.Workspaces(0).OpenDatabase(d.databasePath());
        const int denied = engine::err::NoPermission;
        auto open = [&](const char* table) {
            return db->OpenRecordset(std::string("SELECT * From [") + table + "]");
        };
        // No right at all: not even to read, nor through another table.
        QCOMPARE(engineErrorOf([&] { open("DOZIRO1"); }), denied);
        QCOMPARE(engineErrorOf([&] {
                     db->OpenRecordset("SELECT * From [Project1]Where [ID] In (SELECT [ID] "
                                       "From [DOZIRO1])");
                 }),
                 denied);
        // Read only.
        auto p1 = open("Project1");
        QVERIFY(p1->RecordCount() > 0);
        QCOMPARE(engineErrorOf([&] { p1->updateRow(0, {{3, "x"}}); }), denied);
        QCOMPARE(engineErrorOf([&] { p1->AddNew(); p1->Update(); }), denied);
        QCOMPARE(engineErrorOf([&] { p1->Delete(); }), denied);
        // Everything.
        auto p2 = open("Project2");
        const long rows = p2->RecordCount();
        QCOMPARE(engineErrorOf([&] { p2->updateRow(0, {{3, "changed"}}); }), 0);
        QCOMPARE(engineErrorOf([&] { p2->AddNew(); p2->Update(); }), 0);
        QCOMPARE(engineErrorOf([&] { p2->MoveFirst(); p2->Delete(); }), 0);
        QCOMPARE(d.rawCount("SELECT count(*) FROM Project2"), rows);
        // Read and add, but neither change nor delete.
        auto p3 = open("Project3");
        QCOMPARE(engineErrorOf([&] { p3->AddNew(); p3->Update(); }), 0);
        QCOMPARE(engineErrorOf([&] { p3->updateRow(0, {{3, "x"}}); }), denied);
        QCOMPARE(engineErrorOf([&] { p3->MoveFirst(); p3->Delete(); }), denied);
        e.DefaultUser = "";
    }

    void diagramPointsFollowTheirKeys() {
        // A search over a large table whose few keys are spread and not in
        // ID order: each point is its own row's, worked out here in SQL.
        TestData d(60000);
        const std::vector<std::int64_t> keys = {59999, 17, 31337, 2, 45000, 60000, 1, 29999};
        auto db = d.open(true);
        tas::ViewPoints view;
        QVERIFY(tas::readView(*db, "DOZIRO1", keys, true, view));
        QCOMPARE(view.points.size(), keys.size());
        const std::string sum = "(coalesce(SiO2,0) + coalesce(TiO2,0) + coalesce(Al2O3,0) + "
                                "coalesce(Fe2O3,0) + coalesce(FeO,0) + coalesce(MnO,0) + "
                                "coalesce(MgO,0) + coalesce(CaO,0) + coalesce(Na2O,0) + "
                                "coalesce(K2O,0) + coalesce(P2O5,0) + coalesce(Cr2O3,0) + "
                                "coalesce(ZrO2,0))";
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const std::string id = std::to_string(keys[i]);
            if (!view.points[i].valid())
                continue;
            const double silica =
                rawReal(d, "SELECT SiO2 * 100.0 / " + sum + " FROM DOZIRO1 WHERE ID = " + id);
            const double alkali = rawReal(d, "SELECT (Na2O + K2O) * 100.0 / " + sum +
                                                 " FROM DOZIRO1 WHERE ID = " + id);
            QVERIFY2(std::abs(view.points[i].silica - silica) < 1e-3, id.c_str());
            QVERIFY2(std::abs(view.points[i].alkali - alkali) < 1e-3, id.c_str());
        }
        QVERIFY(view.plotted() >= 6);

        // Views of nearly the whole table in other orders (shuffled; with
        // every twentieth key left out; with a key no row has): each row's
        // point, class and colour are its key's, as in ID order.
        std::vector<std::int64_t> all(60000);
        std::iota(all.begin(), all.end(), 1);
        const auto tas = chart::makeDiagram("tas");
        const int rockname = schema::index(schema::Column::Rockname);
        std::vector<tas::ViewPoints> byId;
        QVERIFY(tas::readViews(*db, "DOZIRO1", all, {tas.get()}, true, rockname, byId));
        const tas::ViewPoints& ref = byId.front();
        QCOMPARE(ref.colourNames[ref.colour[16]], rawText(d, "SELECT Rockname FROM DOZIRO1 WHERE ID = 17"));
        std::vector<std::int64_t> shuffled = all;
        std::mt19937 random(7);
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        std::vector<std::int64_t> gaps;
        for (std::int64_t k : shuffled)
            if (k % 20)
                gaps.push_back(k);
        gaps.insert(gaps.begin() + 100, 60123);
        // Read a range of keys at a time, the ranges' ends falling anywhere.
        chart::KeySlices::setWidth(7001);
        for (const auto* order : {&shuffled, &gaps}) {
            std::vector<tas::ViewPoints> out;
            QVERIFY(tas::readViews(*db, "DOZIRO1", *order, {tas.get()}, true, rockname, out));
            const tas::ViewPoints& v = out.front();
            QCOMPARE(v.points.size(), order->size());
            QCOMPARE(v.field.size(), order->size());
            QCOMPARE(v.colour.size(), order->size());
            long none = 0;
            for (std::size_t r = 0; r < order->size(); ++r) {
                const std::int64_t key = (*order)[r];
                if (key > 60000) {
                    QVERIFY(!v.points[r].valid());
                    ++none;
                    continue;
                }
                const auto i = static_cast<std::size_t>(key - 1);
                none += !ref.points[i].valid();
                const auto& a = v.points[r];
                const auto& b = ref.points[i];
                QVERIFY2(a.valid() == b.valid(), std::to_string(key).c_str());
                QVERIFY2(v.field[r] == ref.field[i], std::to_string(key).c_str());
                // Leaving keys out may change which names are frequent enough
                // to be a colour of their own.
                const std::string& mine = v.colourNames[v.colour[r]];
                const std::string& theirs = ref.colourNames[ref.colour[i]];
                QVERIFY2(mine == theirs || (order == &gaps && (mine == "other" || theirs == "other")),
                         std::to_string(key).c_str());
                if (a.valid())
                    QVERIFY2(a.silica == b.silica && a.alkali == b.alkali,
                             std::to_string(key).c_str());
            }
            QCOMPARE(v.noPoint, none);
        }
        chart::KeySlices::setWidth(chart::KeySlices::kWidth);
    }
};

QTEST_GUILESS_MAIN(TestCrossCheck)
#include "tst_crosscheck.moc"
