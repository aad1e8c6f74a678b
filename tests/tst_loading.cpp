// Record sets whose keys are read, and rows counted, while their first rows
// are already in use: the results must be those of reading everything first.
#include "app/QuarzelDatabase.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/data/RecordsetModel.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/KeyList.h"
#include "platform/db/KeyLoader.h"
#include "platform/db/Recordset.h"
#include "platform/db/SelectText.h"
#include "platform/view/View.h"
#include "support/GuiFixture.h"
#include "support/TestData.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <sqlite3.h>

#include <algorithm>
#include <iterator>
#include <limits>
#include <memory>
#include <vector>

using engine::SelectText::countStatement;

namespace {

// The keys SQLite itself gives for a statement, in its order.
std::vector<std::int64_t> rawKeys(const TestData& d, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(d.databasePath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
    std::vector<std::int64_t> keys;
    while (sqlite3_step(s) == SQLITE_ROW)
        keys.push_back(sqlite3_column_int64(s, 0));
    sqlite3_finalize(s);
    sqlite3_close(db);
    return keys;
}

// How many of this process's file descriptors are open on the file.
int openHandlesTo(const std::string& path) {
    const QString target = QFileInfo(QString::fromStdString(path)).canonicalFilePath();
    int n = 0;
    for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::System | QDir::Files))
        n += fd.symLinkTarget() == target;
    return n;
}

} // namespace

class TestLoading : public QObject {
    Q_OBJECT
private slots:
    void rowsAreCountedOnlyWhereTheCountIsTheKeys() {
        // A view's rows are counted apart from its keys only where the
        // count must come out the same: run both, on tables whose names
        // look like clauses.
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(":memory:", &db), SQLITE_OK);
        auto exec = [&](const std::string& sql) {
            QCOMPARE(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        };
        auto rows = [&](const std::string& sql) {
            sqlite3_stmt* st = nullptr;
            long n = -1;
            if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
                n = 0;
                while (sqlite3_step(st) == SQLITE_ROW)
                    n = sqlite3_column_count(st) == 1 && sql.rfind("SELECT COUNT", 0) == 0
                            ? sqlite3_column_int(st, 0)
                            : n + 1;
            }
            sqlite3_finalize(st);
            return n;
        };
        for (const char* t : {"DOZIRO1", "T", "[Order By 'x']", "\"T where\""})
            exec(std::string("CREATE TABLE ") + t +
                 "(ID INTEGER PRIMARY KEY, Rockname TEXT, Date TEXT, x INT)");
        exec("INSERT INTO DOZIRO1(Rockname) VALUES ('a'), ('b'), ('order by c')");
        for (const char* t : {"T", "[Order By 'x']", "\"T where\""})
            exec(std::string("INSERT INTO ") + t + "(x) VALUES (1), (2), (3), (4), (5), (6), (7)");
        const char* counted[] = {
            "From [DOZIRO1]Order By [Rockname] ASC",
            "FROM [Order By 'x']\n ORDER\n BY [Date] DESC",
            "FROM \"T where\" ORDER BY x",
            "FROM T",
        };
        for (const char* from : counted) {
            const std::string count = countStatement(from);
            QVERIFY2(!count.empty(), from);
            QCOMPARE(rows(count), rows(std::string("SELECT [ID] ") + from));
        }
        // A condition (its scan counts as soon), and anything that could
        // count other rows than the keys: not counted apart.
        const char* notCounted[] = {
            "FROM [DOZIRO1]Where [Rockname] Like '*order by*'Order By [Rockname] ASC",
            "FROM T ORDER BY x LIMIT 3",
            "FROM T LIMIT 5 OFFSET 2",
            "FROM T GROUP BY Rockname",
            "FROM T UNION SELECT * FROM T",
            "FROM T JOIN T AS U ON T.ID = U.ID",
            "FROM T -- ORDER BY x",
            "FROM T /* a */",
            "FROM [T",
            "FROM T ORDER BY (x",
        };
        for (const char* from : notCounted)
            QVERIFY2(countStatement(from).empty(), from);
        sqlite3_close(db);
    }

    void keyListKeepsOrderAsItGrows() {
        // Enough keys for the list to grow many times over while it is read.
        engine::KeyList keys;
        const long n = 300001;
        for (long i = 0; i < n; ++i)
            keys.append(i * 3);
        QCOMPARE(keys.size(), n);
        for (long i : {0L, 1L, 4095L, 65535L, 65536L, 131072L, n - 1})
            QCOMPARE(keys.at(i), std::int64_t(i * 3));
        for (long at : {200000L, 65536L, 65535L, 0L})
            keys.erase(at); // later keys move up
        QCOMPARE(keys.size(), n - 4);
        QCOMPARE(keys.at(0), std::int64_t(3));
        QCOMPARE(keys.at(65533), std::int64_t(65534 * 3));
        QCOMPARE(keys.at(65534), std::int64_t(65537 * 3));
        QCOMPARE(keys.at(n - 5), std::int64_t((n - 1) * 3));
        QCOMPARE(keys.indexOf(65537 * 3), 65534L);
        QCOMPARE(keys.indexOf(65535 * 3), -1L);
        // Keys either side of what fits in four bytes, kept beside the rest.
        const std::int64_t edges[] = {-1, 2147483647, 2147483648, std::int64_t(1) << 40,
                                      std::numeric_limits<std::int64_t>::min()};
        for (std::int64_t k : edges)
            keys.append(k);
        QVERIFY(std::equal(std::begin(edges), std::end(edges), keys.toVector().end() - 5));
        QCOMPARE(keys.indexOf(std::int64_t(1) << 40), n - 4 + 3);
        for (int i = 0; i < 4; ++i)
            keys.erase(keys.size() - 1);
        QCOMPARE(long(keys.toVector().size()), n - 3);

        // Rows taken out and put back elsewhere at the blocks' edges and
        // across several of them, against the same done to a plain vector.
        std::vector<std::int64_t> model = keys.toVector();
        const long m = static_cast<long>(model.size());
        const std::pair<long, long> moves[] = {
            {0, m - 1},   {m - 1, 0},       {65535, 65536},  {65536, 65535},        {10, 200000},
            {200000, 10}, {131071, 131072}, {131072, 65536}, {65536 * 3, 65536 * 3}};
        for (const auto& [from, to] : moves) {
            const std::int64_t k = model[static_cast<std::size_t>(from)];
            keys.erase(from);
            keys.insert(to, k);
            model.erase(model.begin() + from);
            model.insert(model.begin() + to, k);
        }
        for (long at : {0L, 65535L, 65536L, 131072L, m}) {
            keys.insert(at, -2 - at);
            model.insert(model.begin() + at, -2 - at);
        }
        keys.erase(65536);
        model.erase(model.begin() + 65536);
        // A block filled by keys put in splits, and one emptied stays
        // until packed.
        for (long i = 0; i < 70000; ++i) {
            keys.insert(131072 + 7, i);
            model.insert(model.begin() + 131072 + 7, i);
        }
        for (long i = 0; i < 65536 + 10; ++i) {
            keys.erase(3);
            model.erase(model.begin() + 3);
        }
        QCOMPARE(keys.at(long(model.size()) - 1), model.back());
        QCOMPARE(keys.at(140000), model[140000]);
        QVERIFY(keys.toVector() == model);
        QVERIFY(keys.copy()->toVector() == model);
        const auto found = keys.indexesOf({model[0], model[65535], model.back(), -12345});
        QCOMPARE(found.at(model[0]), 0L);
        QCOMPARE(found.at(model[65535]), 65535L);
        QCOMPARE(found.at(model.back()), long(model.size()) - 1);
        QCOMPARE(found.at(-12345), -1L);
        QVERIFY(keys.loose());
        keys.pack();
        QVERIFY(keys.toVector() == model);
        keys.append(-7);
        keys.insert(0, -8);
        QCOMPARE(keys.at(0), std::int64_t(-8));
        QCOMPARE(keys.at(keys.size() - 1), std::int64_t(-7));
        QCOMPARE(keys.copy()->at(0), std::int64_t(-8));
    }

    void setsReadWhileInUseMatchSqlite() {
        TestData d(30000);
        auto db = d.open();
        struct Case {
            const char* ours;
            const char* raw;
        };
        const Case cases[] = {
            {"SELECT * From [DOZIRO1]Order By [Rockname] ASC",
             "SELECT ID FROM DOZIRO1 ORDER BY Rockname ASC"},
            {"SELECT * From [DOZIRO1]Order By [Date] DESC",
             "SELECT ID FROM DOZIRO1 ORDER BY Date DESC"},
            {"SELECT * FROM [DOZIRO1]Where [Rockname] Like '*basalt*'And [Rockname] Like "
             "'**'Order By [Rockname] ASC",
             "SELECT ID FROM DOZIRO1 WHERE Rockname LIKE '%basalt%' ORDER BY Rockname ASC"},
            // A limit: counted from the keys, not from the table.
            {"SELECT * FROM [DOZIRO1] Where [ID] > 5 Order By [ID] ASC LIMIT 10",
             "SELECT ID FROM DOZIRO1 WHERE ID > 5 ORDER BY ID LIMIT 10"},
            {"SELECT * FROM [DOZIRO1] Where [Rockname] Like '*no such rock*'",
             "SELECT ID FROM DOZIRO1 WHERE 0"},
        };
        for (const Case& c : cases) {
            const auto expected = rawKeys(d, c.raw);
            auto rs = db->OpenRecordset(c.ours);
            QVERIFY(rs->knownRowCount() <= static_cast<long>(expected.size()));
            // A far row is read at once, without waiting for the whole set.
            if (!expected.empty()) {
                const long last = static_cast<long>(expected.size()) - 1;
                QCOMPARE(rs->valueAt(last, rs->FieldCount() - 1).toInteger(), expected.back());
            }
            QCOMPARE(rs->RecordCount(), static_cast<long>(expected.size()));
            QCOMPARE(rs->keys(), expected);
            rs->waitForIdle();
            QCOMPARE(rs->knownRowCount(), static_cast<long>(expected.size()));
            QCOMPARE(rs->AbsolutePosition(), expected.empty() ? -1L : 0L);
        }
    }

    void failuresOnTheReadingThreadsAreReportedAsOurs() {
        TestData d(5000);
        auto db = d.open();
        QString msg;
        QCOMPARE(engineErrorOf(
                     [&] {
                         db->OpenRecordset("SELECT * FROM [DOZIRO1] Where "
                                           "[Rockname] Like '[b'");
                     },
                     &msg),
                 engine::err::InvalidPattern);
        QCOMPARE(msg, QString("Invalid pattern string."));

        sqlite3* other = nullptr;
        sqlite3_open(d.databasePath().c_str(), &other);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        QCOMPARE(engineErrorOf([&] { db->OpenRecordset("SELECT * From [DOZIRO1]"); }, &msg),
                 engine::err::Locked);
        QVERIFY2(msg.contains("is locked by another program"), qPrintable(msg));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }

    void writesWaitForTheReadingAndKeepTheKeysInStep() {
        TestData d(30000);
        auto db = d.open();
        auto rs = db->OpenRecordset("SELECT * From [DOZIRO1]Order By [Rockname] ASC");
        const auto before = rawKeys(d, "SELECT ID FROM DOZIRO1 ORDER BY Rockname ASC");
        rs->setAbsolutePosition(3);
        rs->Delete(); // while the keys may still be coming
        rs->updateRow(0, {{3, "Changed while loading"}});
        rs->AddNew();
        const auto added = rs->Update();
        auto expected = before;
        expected.erase(expected.begin() + 3);
        expected.push_back(added);
        QCOMPARE(rs->keys(), expected);
        QCOMPARE(rs->RecordCount(), static_cast<long>(expected.size()));
        QCOMPARE(d.rawCount("SELECT count(*) FROM DOZIRO1"), static_cast<long long>(before.size()));
        QCOMPARE(d.rawCount("SELECT count(*) FROM DOZIRO1 WHERE Location = "
                            "'Changed while loading'"),
                 1LL);
    }

    void setsGoneWhileReadingLeaveTheFileFree() {
        TestData d(30000);
        auto db = d.open();
        for (int i = 0; i < 20; ++i)
            db->OpenRecordset(i % 2 ? "SELECT * From [DOZIRO1]Order By [Date] ASC"
                                    : "SELECT * FROM [DOZIRO1] Where [Location] Like '*a*'");
        // Their connections are kept for reuse, not opened anew for every set.
        QVERIFY(openHandlesTo(d.databasePath()) >= 1); // this connection's own
        QVERIFY2(openHandlesTo(d.databasePath()) <= 3,
                 qPrintable(QString::number(openHandlesTo(d.databasePath()))));
        // No reader of ours is left behind: another program may lock at once.
        sqlite3* other = nullptr;
        sqlite3_open(d.databasePath().c_str(), &other);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    }

    void aSetOpenedInsideATransactionSeesItsChanges() {
        TestData d(200);
        auto db = d.open();
        db->Begin();
        auto writer = db->OpenRecordset("SELECT * From [DOZIRO1]");
        writer->AddNew();
        const auto key = writer->Update();
        auto rs = db->OpenRecordset("SELECT * From [DOZIRO1]Order By [ID] ASC");
        QCOMPARE(rs->RecordCount(), 201L);
        QCOMPARE(rs->keyAt(200), key);
        rs.reset();
        writer.reset();
        db->Rollback();
        QCOMPARE(d.rawCount("SELECT count(*) FROM DOZIRO1"), 200LL);
    }

    void theGridGrowsToALargeSetAndFollowsItsMoves() {
        GuiFixture f(150000);
        auto& w = f.start();
        QCOMPARE(w.Label3->text(), QString("150000 Records"));
        QCOMPARE(w.vaSpread1->Row(), 0L);
        QTRY_COMPARE(w.vaSpread1->RowCount(), 150000L);
        w.Command1[1]->click();
        QCOMPARE(w.Label3->text(), QString("150000 Records"));
        w.Data1->Recordset().MoveLast(); // may come before the grid has grown
        QTRY_COMPARE(w.vaSpread1->Row(), 149999L);
        QTRY_COMPARE(w.vaSpread1->RowCount(), 150000L); // it grows between events
        QVERIFY(f.messages.shown.empty());
    }

    // A view counted before its keys are in: the rows still coming are shown
    // as such and cannot be edited, never waited for; they are painted as
    // their keys come.
    void rowsStillComingAreShownNotWaitedFor() {
        TestData d(300);
        d.logOnAsProgram();
        struct Hold {
            Hold() { engine::KeyLoader::holdAfterFirstScreen(true); }
            ~Hold() { engine::KeyLoader::holdAfterFirstScreen(false); }
        };
        auto hold = std::make_unique<Hold>();
        View view;
        view.setDatabaseName(QString::fromStdString(d.databasePath()));
        view.setRecordSource("SELECT * From [DOZIRO1]Order By [Rockname] ASC");
        view.setReadOnly(false);
        view.refresh();
        RecordsetModel model(&view);
        bool counted = false;
        view.whenCounted(&view, [&] { counted = true; });
        QTRY_VERIFY(counted);
        QTRY_COMPARE(model.rowCount(), 300);
        QCOMPARE(view.keysRead(), engine::KeyLoader::kFirstScreen);
        const QModelIndex far = model.index(200, 0);
        QCOMPARE(model.data(far).toString(), QString(RecordsetModel::kComing));
        QVERIFY(!(model.flags(far) & Qt::ItemIsEditable));
        QVERIFY(!model.setData(far, "Not saved"));
        QVERIFY(model.flags(model.index(10, 0)) & Qt::ItemIsEditable);

        QSignalSpy painted(&model, &QAbstractItemModel::dataChanged);
        hold.reset();
        QTRY_VERIFY(view.keysComplete());
        QTRY_VERIFY(!painted.isEmpty());
        const auto keys = rawKeys(d, "SELECT ID FROM DOZIRO1 ORDER BY lower(Rockname), ID");
        QCOMPARE(view.keyAt(200), keys[200]);
        QVERIFY(model.data(far).toString() != RecordsetModel::kComing);
        QCOMPARE(d.rawCount("SELECT count(*) FROM DOZIRO1 WHERE Rockname = 'Not saved'"), 0LL);
    }
};

QTEST_MAIN(TestLoading)
#include "tst_loading.moc"
