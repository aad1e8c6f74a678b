// The values beyond the 32 columns, on both back ends with the same
// expectations (the file, and a copy of it on the private server when the
// test runs beside one): every field back as added, in the order added;
// a condition over the table's columns; a row's values gone with it;
// nothing left by a rollback or refused input; rights as the table's; a
// file made before the store; a new row's ID from INSERT ... RETURNING; an
// import's values written, and its duplicates looked for, many rows at once.
#include "classify/NormalisingSets.h"
#include "classify/PatternView.h"
#include "exchange/CsvImport.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Query.h"
#include "platform/db/Recordset.h"
#include "query/ValueStatement.h"
#include "support/BackendData.h"
#include "support/ServerData.h"
#include "support/TestData.h"

#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <map>

namespace {

using engine::SampleValue;
using engine::StoredValue;

const std::string kRefA = "Hartmann, K. & Lindqvist, O. (1998). Trace elements of the Skarvik "
                          "lavas. J. Volc. Stud. 41, 113-140.";
const std::string kRefB = "Moreau, C. (2004). Isotopes of an island arc, «Îles» 2. 1-22.";

SampleValue value(const char* analyte, const char* unit, const char* method, char qualifier,
                  std::optional<double> v, const char* text, std::optional<double> uncertainty,
                  const std::string& reference) {
    return SampleValue{analyte, unit, method, qualifier, v, text, uncertainty, reference};
}

// The first sample's values: a number with its uncertainty, a '<' with its
// limit, a fact in words, unicode analytes and units, the same analyte
// twice, and a number that only an exact round trip keeps.
std::vector<SampleValue> firstValues() {
    return {value("La", "ppm", "ICP-MS", 0, 31.64, "", 0.5, kRefA),
            value("Cs", "ppm", "ICP-MS", '<', 0.05, "", std::nullopt, kRefA),
            value("Material", "", "", 0, std::nullopt, "whole rock", std::nullopt, ""),
            value("εNd", "", "TIMS", 0, -5.6, "", 0.3, kRefB),
            value("δ18O", "‰", "", 0, 5.1, "", std::nullopt, kRefB),
            value("87Sr/86Sr", "", "TIMS", 0, 0.703512, "", 1.2e-5, kRefB),
            value("La", "ppm", "ICP-MS", 0, 0.1 + 0.2, "", std::nullopt, kRefB)};
}
std::vector<SampleValue> secondValues() {
    return {value("La", "ppm", "XRF", '>', 12, "", std::nullopt, kRefA),
            value("Latitude", "", "", 0, -33.8568, "", std::nullopt, "")};
}

struct Collection : BackendData {
    Collection(const QString& kind, long rows)
        : BackendData(kind, rows,
                      "INSERT INTO DOZIRO1 (Rockname, [Doziro Sample#]) VALUES ('basalt', "
                      "'ST-1'), ('andesite', 'ST-2'), ('dacite', 'ST-3')") {}
};

std::vector<StoredValue> readAll(engine::Database& db, const std::string& where = {},
                                 const std::string& table = "DOZIRO1") {
    std::vector<StoredValue> out;
    db.readValues(table, where, [&](const StoredValue& v) {
        out.push_back(v);
        return true;
    });
    return out;
}

std::vector<StoredValue> stored(std::int64_t sample, const std::vector<SampleValue>& values) {
    std::vector<StoredValue> out;
    for (const SampleValue& v : values)
        out.push_back({sample, v});
    return out;
}

std::vector<StoredValue> operator+(std::vector<StoredValue> a, const std::vector<StoredValue>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::int64_t idOf(engine::Database& db, const char* sample) {
    engine::Query q(db, std::string("SELECT [ID] FROM [DOZIRO1] Where [Doziro Sample#] = '") +
                            sample + "'");
    return q.next() ? q.integer(0) : -1;
}

bool same(const std::vector<StoredValue>& a, const std::vector<StoredValue>& b) {
    if (a.size() != b.size()) {
        qWarning("%zu values, expected %zu", a.size(), b.size());
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].sample != b[i].sample || !(a[i].value == b[i].value)) {
            qWarning("value %zu differs: %s", i, a[i].value.analyte.c_str());
            return false;
        }
    return true;
}

} // namespace

class TestValues : public QObject {
    Q_OBJECT

private slots:
    void valuesComeBackAsAdded_data() { addBackends(); }
    void valuesComeBackAsAdded() {
        QFETCH(QString, backend);
        Collection c(backend, 20);
        auto db = c.open();
        QVERIFY(readAll(*db).empty());
        const std::int64_t a = idOf(*db, "ST-1"), b = idOf(*db, "ST-3");
        db->Begin();
        db->addValues("DOZIRO1", b, secondValues()); // added first, read after a's
        db->addValues("DOZIRO1", a, firstValues());
        db->Commit();
        const auto all = stored(a, firstValues()) + stored(b, secondValues());
        QVERIFY(same(readAll(*db), all));
        QVERIFY(same(readAll(*db, "[Rockname] = 'dacite'"), stored(b, secondValues())));
        QVERIFY(same(readAll(*db, "[Doziro Sample#] Like 'ST-*' And [ID] < " + std::to_string(b)),
                     stored(a, firstValues())));
        QVERIFY(readAll(*db, "[Rockname] = 'andesite'").empty());
        // Some analytes only, with or without a condition; a name with a
        // quote in it is a name, not a statement.
        auto some = [&](const std::vector<std::string>& analytes, const std::string& where) {
            std::vector<StoredValue> out;
            db->readSomeValues("DOZIRO1", where, analytes, [&](const StoredValue& v) {
                out.push_back(v);
                return true;
            });
            return out;
        };
        const auto la = firstValues();
        QVERIFY(same(some({"Latitude", "\xCE\xB5Nd"}, {}),
                     stored(a, {la[3]}) + stored(b, {secondValues()[1]})));
        QVERIFY(same(some({"La"}, "[Rockname] = 'basalt'"), stored(a, {la[0], la[6]})));
        // A view's REE pattern, read in slices of its span of keys, in the view's order.
        trace::PatternView v;
        const std::int64_t none = idOf(*db, "ST-2");
        QVERIFY(trace::readPatterns(*db, "DOZIRO1", std::vector<std::int64_t>{b, none, a},
                                    trace::PatternKind::Ree, *trace::findSet("ci-sm89"), v));
        QCOMPARE(v.rows(), std::size_t(3));
        QCOMPARE(v.empty, 2L); // "> 12" is no amount
        QVERIFY(std::isnan(v.value(0, 0)) && std::isnan(v.value(1, 0)));
        QVERIFY(std::abs(v.value(2, 0) - 31.64 / 0.237) < 1e-3);
        QVERIFY(some({"La') OR ('1' = '1"}, {}).empty());
        // A range of keys keeps both its ends, in the order of the key.
        auto between = [&](std::int64_t first, std::int64_t last) {
            std::vector<StoredValue> out;
            db->readSomeValuesBetween("DOZIRO1", {first, last}, {"La", "\xCE\xB5Nd"},
                                      [&](const StoredValue& v) {
                                          out.push_back(v);
                                          return true;
                                      });
            return out;
        };
        const auto ofA = stored(a, {la[0], la[3], la[6]}), ofB = stored(b, {secondValues()[0]});
        QVERIFY(same(between(a, b), ofA + ofB));
        QVERIFY(same(between(a + 1, b), ofB));
        QVERIFY(same(between(a, b - 1), ofA));
        QVERIFY(between(b, a).empty());
        // Read by channel and merged, the same order: a's second La comes
        // after its εNd, b's La (another method) after both.
        QVERIFY(same(some({"La", "\xCE\xB5Nd"}, {}), ofA + ofB));
        // The values' number column is compared as a number, though a
        // bookkeeping table has a text column of its name.
        engine::Query above(*db, "SELECT [sample] FROM [DOZIRO1_values] WHERE [value] > 5");
        int n = 0;
        while (above.next())
            ++n;
        QCOMPARE(n, 3); // 31.64, 5.1 and >12
        int seen = 0;
        db->readValues("DOZIRO1", {}, [&](const StoredValue&) { return ++seen < 2; });
        QCOMPARE(seen, 2);
        const std::vector<engine::Database::AnalyteCount> analytes{
            {"87Sr/86Sr", "", 1, {}}, {"Cs", "ppm", 1, {}},    {"La", "ppm", 3, {}},
            {"Latitude", "", 1, {}},  {"Material", "", 1, {}}, {"δ18O", "‰", 1, {}},
            {"εNd", "", 1, {}}};
        std::vector<engine::Database::AnalyteCount> held = db->analytes("DOZIRO1");
        for (auto& a : held) { // one channel each but La's two methods
            QCOMPARE(a.channels.size(), a.analyte == "La" ? 2u : 1u);
            a.channels.clear();
        }
        QVERIFY(held == analytes);
        // Found by seeks, the same analytes and channels, uncounted.
        auto found = db->analytesHeld("DOZIRO1"), counted = db->analytes("DOZIRO1");
        for (auto& a : counted)
            a.count = 0;
        QVERIFY(found == counted);
        QVERIFY(db->analytes("Project1").empty());
        QVERIFY(db->analytesHeld("Project1").empty());

        // A rollback takes back the values and the analytes it added; the
        // same analyte added again afterwards is found.
        const auto ba = value("Ba", "ppm", "XRF", 0, 410, "", std::nullopt, "Rolled back (2020).");
        db->Begin();
        db->addValues("DOZIRO1", a, {ba});
        QCOMPARE(readAll(*db).size(), all.size() + 1);
        db->Rollback();
        QVERIFY(same(readAll(*db), all));
        db->Begin();
        db->addValues("DOZIRO1", a, {ba});
        db->Commit();
        const auto withBa = stored(a, firstValues()) + stored(a, {ba}) + stored(b, secondValues());
        QVERIFY(same(readAll(*db), withBa));
        // Another connection sees them as committed.
        QVERIFY(same(readAll(*c.open(true)), withBa));

        // A deleted row's values go in the same transaction.
        db->Begin();
        engine::Query(*db, "DELETE FROM [DOZIRO1] WHERE [ID] = " + std::to_string(a)).execute();
        QVERIFY(same(readAll(*db), stored(b, secondValues())));
        db->Rollback();
        QVERIFY(same(readAll(*db), withBa));
        auto rs = db->OpenRecordset("SELECT * FROM [DOZIRO1]Where [Doziro Sample#] = 'ST-3'");
        rs->Delete();
        QVERIFY(same(readAll(*db), stored(a, firstValues()) + stored(a, {ba})));
    }

    void badInputAddsNothing_data() { addBackends(); }
    void badInputAddsNothing() {
        QFETCH(QString, backend);
        Collection c(backend, 5);
        auto db = c.open();
        const std::int64_t a = idOf(*db, "ST-1");
        QCOMPARE(engineErrorOf([&] { db->addValues("DOZIRO1", a, firstValues()); }),
                 engine::err::InvalidStatement); // outside a transaction
        const std::vector<std::vector<SampleValue>> bad{
            {value("", "ppm", "", 0, 1, "", std::nullopt, "")},
            {value("La", "ppm", "", 0, std::nullopt, "", std::nullopt, "")},
            {value("La", "ppm", "", '~', 1, "", std::nullopt, "")},
            {value("La", "ppm", "", '<', std::nullopt, "n.d.", std::nullopt, "")},
            {value("La", "ppm", "", 0, std::numeric_limits<double>::infinity(), "", std::nullopt,
                   "")}};
        for (const auto& values : bad) {
            db->Begin();
            QString msg;
            auto both = firstValues(); // good values before the bad one
            both.insert(both.end(), values.begin(), values.end());
            QCOMPARE(engineErrorOf([&] { db->addValues("DOZIRO1", a, both); }, &msg),
                     engine::err::ConversionError);
            QVERIFY2(msg.contains("Value 8 ") && msg.contains("Nothing was added"),
                     qPrintable(msg));
            db->Commit();
        }
        db->Begin();
        QCOMPARE(engineErrorOf([&] { db->addValues("DOZIRO1", 999999, firstValues()); }),
                 engine::err::NoCurrentRecord);
        db->Rollback();
        // Many samples at once: a bad value, or a row not there, in the
        // middle refuses them all, naming that sample.
        const std::int64_t b = idOf(*db, "ST-2"), c3 = idOf(*db, "ST-3");
        const auto good = firstValues(), other = secondValues();
        const std::vector<SampleValue> bad2 = {other[0], bad[0][0]};
        const auto rowsOf = [&](std::int64_t middle, const std::vector<SampleValue>& values) {
            return std::vector<engine::Database::SampleValues>{
                {a, &good}, {middle, &values}, {c3, &other}};
        };
        QCOMPARE(engineErrorOf([&] { db->addValuesOfRows("DOZIRO1", rowsOf(b, good)); }),
                 engine::err::InvalidStatement); // outside a transaction
        db->Begin();
        QString msg;
        QCOMPARE(engineErrorOf([&] { db->addValuesOfRows("DOZIRO1", rowsOf(b, bad2)); }, &msg),
                 engine::err::ConversionError);
        QVERIFY2(msg.contains("Value 2 (no analyte) of the row with ID " + QString::number(b)),
                 qPrintable(msg));
        db->Commit();
        db->Begin();
        QCOMPARE(engineErrorOf([&] { db->addValuesOfRows("DOZIRO1", rowsOf(999999, good)); }, &msg),
                 engine::err::NoCurrentRecord);
        QVERIFY2(msg.contains("has the ID 999999"), qPrintable(msg));
        db->Rollback();
        QVERIFY(readAll(*db).empty());
        QCOMPARE(engineErrorOf([&] { readAll(*db, {}, "Nowhere"); }), engine::err::TableNotFound);
        QCOMPARE(engineErrorOf([&] { readAll(*db, "[Nope] = 1"); }), engine::err::SyntaxError);
    }

    // Tools' Find by Value and Sort by Value read a row's value as its grid
    // column shows it: the first that is no limit, in the column's unit.
    void rowsAreFoundAndSortedByAValue_data() { addBackends(); }
    void rowsAreFoundAndSortedByAValue() {
        QFETCH(QString, backend);
        Collection c(backend, 5);
        auto db = c.open();
        const std::int64_t a = idOf(*db, "ST-1"), b = idOf(*db, "ST-3"), m = idOf(*db, "ST-2");
        db->Begin();
        db->addValues("DOZIRO1", a, firstValues());  // La 31.64 then 0.3; whole rock
        db->addValues("DOZIRO1", b, secondValues()); // La >12 only; a latitude
        db->addValues(
            "DOZIRO1", m,
            {value("La", "ppm", "XRF", '<', 5, "", std::nullopt, ""),
             value("La", "ppb", "ICP-MS", 0, 25000, "", std::nullopt, ""),
             value("Material", "", "", 0, std::nullopt, "volcanic glass", std::nullopt, "")});
        db->Commit();
        const auto held = db->analytes("DOZIRO1");
        const ValueColumns::Choice la{"La", "ppm"}, material{"Material", ""}, lat{"Latitude", ""};
        auto keys = [&](const QString& statement, std::size_t first = 0) {
            auto rs = db->OpenRecordset(statement.toStdString(), true);
            rs->waitForKeys(std::chrono::milliseconds::max());
            std::vector<std::int64_t> out = rs->keys();
            if (first)
                out.resize(std::min(first, out.size()));
            return out;
        };
        using Keys = std::vector<std::int64_t>;
        const auto ch = [&](const ValueColumns::Choice& col) {
            return ValueStatement::channels(held, col);
        };
        auto numbers = [&](std::optional<double> from, std::optional<double> to) {
            return keys(ValueStatement::findNumbers("DOZIRO1", la, ch(la), from, to));
        };
        QCOMPARE(numbers(20, 30), Keys{m}); // 25000 ppb is 25 ppm, its limit passed over
        QCOMPARE(numbers(25, 25), Keys{m});
        QCOMPARE(numbers(30, std::nullopt), Keys{a}); // b's ">12" is no value
        QVERIFY(numbers(std::nullopt, 1).empty());    // a's second La is not its value
        QVERIFY(ValueStatement::findNumbers("DOZIRO1", {"La", "ppm"}, {}, 1, 2).isEmpty());
        const auto words = [&](const char* w) {
            return keys(ValueStatement::findWords("DOZIRO1", ch(material), w));
        };
        QCOMPARE(words("GLASS"), Keys{m});
        QCOMPARE(words("rock' OR 'x' = 'x"), Keys{});
        QCOMPARE(words("wh?le*"), Keys{a});
        // Sorted, a row without a value comes after every row with one.
        const std::size_t all = keys("SELECT * FROM [DOZIRO1]").size();
        auto sorted = [&](const ValueColumns::Choice& col, bool descending) {
            const Keys k = keys(ValueStatement::sort("DOZIRO1", col, ch(col), descending));
            return k.size() == all ? Keys(k.begin(), k.begin() + 2) : Keys{};
        };
        QCOMPARE(sorted(la, false), (Keys{m, a}));
        QCOMPARE(sorted(la, true), (Keys{a, m}));
        QCOMPARE(sorted(material, false), (Keys{m, a}));
        QCOMPARE(sorted(material, true), (Keys{a, m}));
        const Keys byLatitude = sorted(lat, true);
        QVERIFY(!byLatitude.empty() && byLatitude[0] == b);
    }

    // The import's new row: its ID from the insert itself.
    void anInsertGivesItsNewId_data() { addBackends(); }
    void anInsertGivesItsNewId() {
        QFETCH(QString, backend);
        Collection c(backend, 5);
        auto db = c.open();
        db->Begin();
        engine::Query q(*db, "INSERT INTO [DOZIRO1] ([Rockname], [Doziro Sample#]) VALUES "
                             "(?1, 'RT-1') RETURNING [ID]");
        q.bindText(1, "picrite");
        QVERIFY(q.next());
        const std::int64_t id = q.integer(0);
        QVERIFY(!q.next());
        QCOMPARE(id, 9); // 5 rows and the 3 above
        db->addValues("DOZIRO1", id, secondValues());
        db->Commit();
        QCOMPARE(idOf(*db, "RT-1"), id);
        QVERIFY(same(readAll(*db, "[Rockname] = 'picrite'"), stored(id, secondValues())));
        // A text bound to a condition compares as one written in it: case aside.
        engine::Query byName(*db, "SELECT [ID] FROM [DOZIRO1] WHERE [Doziro Sample#] = ? AND "
                                  "[ID] = ? AND [Rockname] = ?");
        byName.bindText(1, "Rt-1");
        byName.bindNumber(2, static_cast<double>(id));
        byName.bindText(3, "PICRITE");
        QVERIFY(byName.next());
        QCOMPARE(byName.integer(0), id);
    }

    // An import writes a statement's rows' values at once, and looks for
    // the samples the table holds already a batch of rows at a time: every
    // value kept exactly; a value refused in the middle of a statement's
    // rows named by its line, nothing written; each row found as when the
    // rows before it were written one by one.
    void anImportWritesManyRowsValuesAtOnce_data() { addBackends(); }
    void anImportWritesManyRowsValuesAtOnce() {
        QFETCH(QString, backend);
        Collection c(backend, 5);
        auto db = c.open();
        QTemporaryDir dir;
        constexpr int kRows = 3000; // several statements' rows, and lookups'
        const QByteArray header = "SAMPLE NAME,SIO2(WT%),LA(PPM),MATERIAL,UNIQUE_ID\n";
        auto siO2 = [](int i) { return QByteArray::number(40 + i % 50 / 10.0); };
        auto la = [](int i) { return QByteArray::number(i / 7.0 + 1, 'g', 17); };
        QByteArray csv = header;
        for (int i = 1; i <= kRows; ++i) // row i on line i + 1; odd ones known by name alone
            csv += "V-" + QByteArray::number(i) + "," + siO2(i) + "," + la(i) + "," +
                   (i % 3 ? "WHOLE ROCK" : "GLASS") + "," +
                   (i % 2 ? QByteArray() : "U-" + QByteArray::number(i)) + "\n";
        ImportPlan plan = CsvImport::plan(write(dir, "many.csv", csv).toStdString());
        QCOMPARE(CsvImport::run(*db, "DOZIRO1", plan), long(kRows));
        std::map<std::int64_t, std::vector<SampleValue>> bySample;
        for (const StoredValue& v : readAll(*db))
            bySample[v.sample].push_back(v.value);
        QCOMPARE(bySample.size(), std::size_t(kRows));
        for (int i = 1; i <= kRows; ++i) {
            const std::string name = "V-" + std::to_string(i);
            std::vector<SampleValue> want = {
                value("SiO2", "wt%", "", 0, std::strtod(siO2(i).constData(), nullptr), "",
                      std::nullopt, ""),
                value("La", "ppm", "", 0, std::strtod(la(i).constData(), nullptr), "", std::nullopt,
                      ""),
                value("Material", "", "", 0, std::nullopt, i % 3 ? "WHOLE ROCK" : "GLASS",
                      std::nullopt, "")};
            if (i % 2 == 0)
                want.push_back(value("Unique ID", "", "", 0, std::nullopt,
                                     ("U-" + std::to_string(i)).c_str(), std::nullopt, ""));
            if (bySample[idOf(*db, name.c_str())] != want)
                QFAIL(("the values of " + name + " are not as imported").c_str());
        }
        const std::size_t values = readAll(*db).size();
        const long long rows = c.count("1 = 1");

        // The same file again under a rule that row 1500's identifier
        // breaks, in the middle of a statement's rows.
        if (c.isServer())
            c.server().admin("ALTER TABLE \"DOZIRO1_values\" ADD CONSTRAINT \"no U-1500\" CHECK "
                             "(text IS DISTINCT FROM 'U-1500') NOT VALID");
        else
            c.file().rawExec("CREATE TRIGGER no_u1500 BEFORE INSERT ON DOZIRO1_values WHEN "
                             "NEW.text = 'U-1500' BEGIN SELECT RAISE(ABORT, 'no U-1500'); END");
        QString message;
        QVERIFY(engineErrorOf([&] { CsvImport::run(*db, "DOZIRO1", plan); }, &message) != 0);
        QVERIFY2(message.startsWith("Line 1501 of the file cannot be imported") &&
                     message.contains("U-1500") && message.endsWith("Nothing was imported."),
                 qPrintable(message));
        QCOMPARE(readAll(*db).size(), values);
        QCOMPARE(c.count("1 = 1"), rows);
        if (c.isServer())
            c.server().admin("ALTER TABLE \"DOZIRO1_values\" DROP CONSTRAINT \"no U-1500\"");
        else
            c.file().rawExec("DROP TRIGGER no_u1500");

        // Every row is there already: half by identifier, half by name.
        CsvImport::findDuplicates(*db, "DOZIRO1", plan);
        QCOMPARE(plan.duplicates, long(kRows));
        QCOMPARE(plan.firstDuplicates.front(), std::string("V-1"));
        long met = 0;
        QCOMPARE(CsvImport::run(*db, "DOZIRO1", plan, {}, nullptr, nullptr,
                                CsvImport::Duplicates::Skip, &met),
                 0L);
        QCOMPARE(met, long(kRows));
        QCOMPARE(c.count("1 = 1"), rows);

        // A row that is one before it in the file (its name's plain letters
        // folded), and a row whose sample an identifier before it replaced.
        const QByteArray v2 = "," + siO2(2) + "," + la(2) + ",WHOLE ROCK,";
        const QByteArray repeats = header + "R-1,50,2,GLASS,\nr-1,50,2,GLASS,\nR-1,51,2,GLASS,\n" +
                                   "Q-2" + v2 + "U-2\nV-2" + v2 + "\n";
        const ImportPlan again = CsvImport::plan(write(dir, "again.csv", repeats).toStdString());
        met = 0;
        QCOMPARE(CsvImport::run(*db, "DOZIRO1", again, {}, nullptr, nullptr,
                                CsvImport::Duplicates::Replace, &met),
                 5L);
        QCOMPARE(met, 2L); // r-1 for for V-2; V-2 then is no sample there
        QCOMPARE(c.count("1 = 1"), rows + 3);
        QCOMPARE(c.count("\"Doziro Sample#\" = 'V-2'"), 1LL);
    }

    void rightsAreTheTables_data() { addBackends(); }
    void rightsAreTheTables() {
        QFETCH(QString, backend);
        Collection c(backend, 5);
        {
            auto db = c.open();
            db->Begin();
            db->addValues("DOZIRO1", idOf(*db, "ST-2"), secondValues());
            db->Commit();
        }
        std::shared_ptr<engine::Database> reader;
        if (c.isServer()) {
            c.server().admin("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = "
                             "'reader') THEN CREATE ROLE reader LOGIN IN ROLE quarzel_reader; END "
                             "IF; END $$; GRANT SELECT ON \"DOZIRO1\", \"DOZIRO1_values\" TO "
                             "reader");
            reader = c.server().open(false, "reader");
        } else {
            engine::TablePermissions readOnly{true, false, false, false};
            engine::Workgroup::Account acc{"reader", "pw", {{"DOZIRO1", readOnly}}};
            const std::string wg = c.file().dir().toStdString() + "/reader.mdw";
            engine::Workgroup::create(wg, c.file().identity(), {acc});
            auto& e = engine::DBEngine::instance();
            e.SystemDB = wg;
            e.DefaultUser = "reader";
            e.DefaultPassword = "pw";
            reader = e.Workspaces(0).OpenDatabase(c.file().databasePath());
        }
        const std::int64_t b = idOf(*reader, "ST-2");
        QVERIFY(same(readAll(*reader), stored(b, secondValues())));
        QString msg;
        reader->Begin();
        QCOMPARE(engineErrorOf([&] { reader->addValues("DOZIRO1", b, firstValues()); }, &msg),
                 engine::err::NoPermission);
        QVERIFY2(msg.contains("insert the 'DOZIRO1'"), qPrintable(msg));
        const auto values = firstValues();
        QCOMPARE(engineErrorOf([&] {
                     reader->addValuesOfRows("DOZIRO1", {{b, &values}});
                 }),
                 engine::err::NoPermission);
        reader->Rollback();
        QCOMPARE(engineErrorOf([&] { readAll(*reader, {}, "Project1"); }, &msg),
                 engine::err::NoPermission);
        QVERIFY2(msg.contains("read the 'Project1'"), qPrintable(msg));
        // Nor through a statement of its own.
        QVERIFY(engineErrorOf([&] {
                    engine::Query(*reader, "DELETE FROM [DOZIRO1_values]").execute();
                }) != 0);
        QVERIFY(same(readAll(*c.open(true)), stored(b, secondValues())));
        // Read-only, the program's own account reads and adds nothing.
        auto ro = c.open(true);
        ro->Begin();
        QCOMPARE(engineErrorOf([&] { ro->addValues("DOZIRO1", b, firstValues()); }),
                 engine::err::ReadOnly);
        QCOMPARE(engineErrorOf([&] {
                     ro->addValuesOfRows("DOZIRO1", {{b, &values}});
                 }),
                 engine::err::ReadOnly);
        ro->Rollback();
    }

    // A file made before the store has no value tables: read-only it reads
    // none; writable, they are made with the first values, and deleting a
    // row by any means takes its values.
    void aFileMadeBeforeTheStore() {
        TestData file(5);
        const std::string tables =
            "SELECT count(*) FROM sqlite_master WHERE (name LIKE '%_values' AND name NOT LIKE "
            "'%_history_values') "
            "OR name LIKE 'quarzel_channel' OR name LIKE 'quarzel_reference'";
        QCOMPARE(file.rawCount(tables), 0LL);
        auto early = file.open(true); // open before the tables are made, and kept
        QVERIFY(readAll(*early).empty());
        QVERIFY(early->analytes("DOZIRO1").empty());
        auto db = file.open();
        QVERIFY(readAll(*db).empty());
        QCOMPARE(file.rawCount(tables), 0LL);
        db->Begin();
        db->addValues("DOZIRO1", 2, firstValues());
        db->addValues("DOZIRO1", 3, secondValues());
        db->Commit();
        QCOMPARE(file.rawCount(tables), 3LL);
        QCOMPARE(file.rawCount("SELECT count(*) FROM quarzel_reference"), 2LL);
        QVERIFY(same(readAll(*early), stored(2, firstValues()) + stored(3, secondValues())));
        db.reset();
        file.rawExec("DELETE FROM DOZIRO1 WHERE ID = 2");
        QCOMPARE(file.rawCount("SELECT count(*) FROM DOZIRO1_values"), 2LL);
        // A rollback of the first values takes the tables back too.
        TestData other(5);
        auto odb = other.open();
        odb->Begin();
        odb->addValues("DOZIRO1", 2, firstValues());
        odb->Rollback();
        QCOMPARE(other.rawCount(tables), 0LL);
        odb->Begin();
        odb->addValues("DOZIRO1", 2, secondValues());
        odb->Commit();
        QVERIFY(same(readAll(*odb), stored(2, secondValues())));
    }

    // The server's copy of a file carries its values, and adds after them.
    void serverInitCopiesTheValues() {
        if (!ServerData::available())
            QSKIP("no test server");
        TestData file(5);
        {
            auto db = file.open();
            db->Begin();
            db->addValues("DOZIRO1", 4, firstValues());
            db->addValues("DOZIRO1", 1, secondValues());
            db->Commit();
        }
        ServerData server(file);
        auto db = server.open();
        QVERIFY(same(readAll(*db), readAll(*file.open(true))));
        const auto more = value("Nb", "ppm", "XRF", 0, 7.5, "", std::nullopt, "New (2025).");
        db->Begin();
        db->addValues("DOZIRO1", 1, {more});
        db->Commit();
        QVERIFY(same(readAll(*db),
                     stored(1, secondValues()) + stored(1, {more}) + stored(4, firstValues())));
    }
};

QTEST_GUILESS_MAIN(TestValues)
#include "tst_values.moc"
