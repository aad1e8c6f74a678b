// Record sets whose keys are read, and rows counted, while their first rows
// are already in use: the results must be those of reading everything first.
#include "app/QuarzelDatabase.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/KeyList.h"
#include "platform/db/Recordset.h"
#include "platform/db/SelectText.h"
#include "support/GuiFixture.h"
#include "support/TestData.h"

#include <QPushButton>
#include <QLabel>
#include <QtTest>

#include <sqlite3.h>

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
    void countStatementsDropOnlyTheOrder() {
        struct Case {
            const char* from;
            const char* count;
        };
        const Case cases[] = {
            {"From [DOZIRO1]Order By [Rockname] ASC", "SELECT COUNT(*) From [DOZIRO1]"},
            {"FROM [Order By 'x']\n ORDER\n BY [Date] DESC",
             "SELECT COUNT(*) FROM [Order By 'x']\n "},
            {"FROM \"T where\" ORDER BY x", "SELECT COUNT(*) FROM \"T where\" "},
            {"FROM T", "SELECT COUNT(*) FROM T"},
            // A condition: the scan for the keys counts as soon.
            {"FROM [DOZIRO1]Where [Rockname] Like '*order by*'Order By [Rockname] ASC", ""},
            // Anything that could count other rows than the keys: no count.
            {"FROM T ORDER BY x LIMIT 10", ""},
            {"FROM T LIMIT 5 OFFSET 2", ""},
            {"FROM T GROUP BY Rockname", ""},
            {"FROM T UNION SELECT * FROM U", ""},
            {"FROM T JOIN U ON T.ID = U.ID", ""},
            {"FROM T -- ORDER BY x", ""},
            {"FROM T /* a */", ""},
            {"FROM [T", ""},
            {"FROM T ORDER BY (x", ""},
        };
        for (const Case& c : cases)
            QCOMPARE(QString::fromStdString(countStatement(c.from)), QString(c.count));
    }

    void keyListKeepsOrderAcrossBlocks() {
        engine::KeyList keys;
        const long n = 3 * 65536 + 17;
        for (long i = 0; i < n; ++i)
            keys.append(i * 3);
        QCOMPARE(keys.size(), n);
        QCOMPARE(keys.at(65535), std::int64_t(65535 * 3));
        QCOMPARE(keys.at(65536), std::int64_t(65536 * 3));
        keys.erase(65535); // the block boundary moves up by one
        QCOMPARE(keys.size(), n - 1);
        QCOMPARE(keys.at(65535), std::int64_t(65536 * 3));
        QCOMPARE(keys.at(n - 2), std::int64_t((n - 1) * 3));
        QCOMPARE(keys.indexOf(65536 * 3), 65535L);
        QCOMPARE(keys.indexOf(65535 * 3), -1L);
        keys.append(-1);
        QCOMPARE(keys.toVector().back(), std::int64_t(-1));
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
};

QTEST_MAIN(TestLoading)
#include "tst_loading.moc"
