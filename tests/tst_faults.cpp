// Damaged, locked and odd input: each failure is reported with its true
// cause, rows that cannot be read are never shown as empty data, and the
// window stays usable.
#include "app/FileCheckController.h"
#include "app/QuarzelDatabase.h"
#include "app/ToolsController.h"
#include "exchange/CsvImport.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/data/RecordsetModel.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Recordset.h"
#include "support/FullDisk.h"
#include "support/GuiFixture.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

#include <sqlite3.h>

#include <functional>

using engine::EngineError;

namespace {

const char* kByRockname = "SELECT * From [DOZIRO1]Order By [Rockname] ASC";

long long rawValue(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr);
    const long long v = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    sqlite3_finalize(s);
    sqlite3_close(db);
    return v;
}

// Overwrites the b-tree header of one page of the file with garbage, as a
// bad sector or a stray write would.
void damagePage(const std::string& path, long long page) {
    const long long pageSize = rawValue(path, "PRAGMA page_size");
    QFile f(QString::fromStdString(path));
    QVERIFY(f.open(QIODevice::ReadWrite));
    f.seek((page - 1) * pageSize + (page == 1 ? 100 : 0));
    f.write(QByteArray(12, '\xA7'));
}

// The page of the main table that holds a row's text, found by its bytes.
long long pageHolding(const std::string& path, const QByteArray& text) {
    QFile f(QString::fromStdString(path));
    f.open(QIODevice::ReadOnly);
    const QByteArray all = f.readAll();
    return all.indexOf(text) / rawValue(path, "PRAGMA page_size") + 1;
}

// Writes "MARK-ROW-<key>" into a row's Location, then alters one byte of
// it in the table's page only ("MARK-ROW-7O0"), as a stray write would:
// its index still holds the text as written.
void alterLocation(const TestData& d, int key) {
    const std::string path = d.databasePath();
    const QByteArray mark = "MARK-ROW-" + QByteArray::number(key);
    d.rawExec("UPDATE DOZIRO1 SET Location = '" + mark.toStdString() +
              "' WHERE ID = " + std::to_string(key));
    const long long pageSize = rawValue(path, "PRAGMA page_size");
    QFile f(QString::fromStdString(path));
    QVERIFY(f.open(QIODevice::ReadWrite));
    const QByteArray all = f.readAll();
    for (qsizetype i = all.indexOf(mark); i >= 0; i = all.indexOf(mark, i + 1))
        if (d.rawCount("SELECT count(*) FROM dbstat WHERE name = 'DOZIRO1' AND pageno = " +
                       std::to_string(i / pageSize + 1)) == 1) {
            f.seek(i + 10);
            f.write("O");
            return;
        }
    QFAIL("the row's text is in no page of the table");
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void damagedRowsAreReportedNotBlank() {
        TestData d(2417);
        const std::string path = d.databasePath();
        // Damage the table page holding the row of key 1200, found by a
        // text written into that row.
        sqlite3* raw = nullptr;
        sqlite3_open(path.c_str(), &raw);
        sqlite3_exec(raw, "UPDATE DOZIRO1 SET [Doziro Sample#] = 'MARK-ROW-1200' WHERE ID = 1200",
                     nullptr, nullptr, nullptr);
        sqlite3_close(raw);
        damagePage(path, pageHolding(path, "MARK-ROW-1200"));

        auto db = d.open();
        auto rs = db->OpenRecordset("SELECT * From [DOZIRO1]");
        QCOMPARE(rs->RecordCount(), 2417L); // the keys come from the intact index
        long bad = 0;
        QString msg;
        for (long r = 0; r < rs->RecordCount(); ++r) {
            if (rs->rowReadable(r))
                continue;
            ++bad;
            QCOMPARE(engineErrorOf([&] { rs->valueAt(r, 0); }, &msg), engine::err::Damaged);
        }
        QVERIFY2(bad > 0 && bad < 200, qPrintable(QString::number(bad)));
        QVERIFY2(msg.contains("is damaged") && !msg.contains("Cannot open"), qPrintable(msg));

        // In the window: one message for the whole paint, the rows marked.
        GuiFixture f(10);
        QFile::remove(f.data().dir() + "/quarzdb32.mdb");
        QFile::copy(QString::fromStdString(path), f.data().dir() + "/quarzdb32.mdb");
        QFile::remove(f.data().dir() + "/tarnvel.mdw");
        QFile::copy(QString::fromStdString(d.workgroupPath()), f.data().dir() + "/tarnvel.mdw");
        auto& w = f.start();
        QVERIFY(f.messages.shown.empty());
        auto* model = w.vaSpread1->model();
        QStringList marked;
        for (int r = 0; r < model->rowCount(); ++r)
            for (int c = 0; c < 32; ++c)
                if (model->data(model->index(r, c)).toString() == RecordsetModel::kUnreadable)
                    marked << QString::number(r);
        QCoreApplication::processEvents();
        QCOMPARE(f.messages.shown.size(), size_t(1));
        QCOMPARE(f.messages.shown[0].title, QString("DataBase Error"));
        QCOMPARE(f.messages.shown[0].style, 48);
        QVERIFY(f.messages.shown[0].text.contains("is damaged"));
        marked.removeDuplicates();
        QCOMPARE(long(marked.size()), bad);
        // Copying a marked row copies nothing made up: the copy fails.
        w.vaSpread1->setRow(marked.first().toLong());
        QVERIFY_THROWS_EXCEPTION(EngineError, w.vaSpread1->Text());
        QCOMPARE(w.Label3->text(), QString("2417 Records"));
    }

    // A row whose bytes were altered reads without error, but no longer
    // matches its index: only the full check finds it, and the repair
    // rebuilds the indexes after keeping the file as it was.
    void alteredRowIsFoundAndTheRepairKeepsTheOriginal() {
        TestData d(900);
        const std::string path = d.databasePath();
        alterLocation(d, 700);
        QCOMPARE(d.rawCount("SELECT count(*) FROM DOZIRO1 WHERE Location = 'MARK-ROW-7O0'"), 0LL);
        auto db = d.open();
        engine::IntegrityReport r = db->checkIntegrity({});
        QCOMPARE(r.state, engine::IntegrityReport::State::Damaged);
        QVERIFY(r.rowsRead >= 900);
        QCOMPARE(r.problemCount, 1LL);
        QVERIFY2(r.problems[0].find("row ID 700") != std::string::npos &&
                     r.problems[0].find("DOZIRO1_Location") != std::string::npos,
                 r.problems[0].c_str());

        const std::string copy = db->repairIndexes(); // the file as it was
        QCOMPARE(rawValue(copy, "SELECT count(*) FROM DOZIRO1 NOT INDEXED WHERE Location = "
                                "'MARK-ROW-7O0'"),
                 1LL);
        QCOMPARE(rawValue(copy, "SELECT count(*) FROM DOZIRO1 WHERE Location = 'MARK-ROW-700'"),
                 1LL);
        QCOMPARE(db->checkIntegrity({}).state, engine::IntegrityReport::State::Sound);
        QCOMPARE(d.rawCount("SELECT count(*) FROM DOZIRO1 WHERE Location = 'MARK-ROW-7O0'"), 1LL);

        // Rows that cannot be read at all: no repair of the indexes mends
        // them, and the file is left as it is, without a copy.
        d.damageRowPage(300);
        r = db->checkIntegrity({});
        QCOMPARE(r.state, engine::IntegrityReport::State::Unreadable);
        QFile damaged(QString::fromStdString(path));
        QVERIFY(damaged.open(QIODevice::ReadOnly));
        const QByteArray bytes = damaged.readAll();
        QCOMPARE(engineErrorOf([&] { db->repairIndexes(); }), engine::err::Damaged);
        damaged.seek(0);
        QCOMPARE(damaged.readAll(), bytes);
        QVERIFY(!QFile::exists(QString::fromStdString(path) + ".before-repair-2"));
    }

    // In the window the check runs by itself after the start, says nothing
    // of a sound file, and offers the repair of a damaged one; the search
    // then finds the altered row.
    void windowChecksTheFileAndRepairsIt() {
        {
            GuiFixture sound(30);
            auto& w = sound.start();
            QSignalSpy finished(w.tools().fileCheck(), &FileCheckController::quietCheckFinished);
            QVERIFY(finished.wait());
            QVERIFY(sound.messages.shown.empty() && sound.messages.asked.empty());
            // While a command runs the check waits; a close wakes it.
            FileCheckController held(w);
            QSignalSpy heldFinished(&held, &FileCheckController::quietCheckFinished);
            held.pause();
            held.checkQuietly();
            QVERIFY(!heldFinished.wait(300));
            held.resume();
            QVERIFY(heldFinished.wait());
            auto closed = std::make_unique<FileCheckController>(w);
            closed->pause();
            closed->checkQuietly();
            closed.reset();
        }
        GuiFixture f(400);
        alterLocation(f.data(), 321);
        auto& w = f.start();
        QSignalSpy finished(w.tools().fileCheck(), &FileCheckController::quietCheckFinished);
        QVERIFY(finished.wait());
        QCOMPARE(f.messages.asked.size(), std::size_t(1));
        QVERIFY2(f.messages.asked[0].contains("row ID 321"), qPrintable(f.messages.asked[0]));
        QTRY_COMPARE(f.messages.shown.size(), std::size_t(1));
        QVERIFY2(f.messages.shown[0].text.startsWith("The file is repaired"),
                 qPrintable(f.messages.shown[0].text));
        QTRY_VERIFY(w.menuBar()->isEnabled());
        w.Text1[0]->setText("ROW-3O1"); // missed by the search before the repair
        w.Combo1->setEditText("Location");
        w.Command1[0]->click();
        QTRY_COMPARE(w.Label3->text(), QString("1 Matches"));
    }

    // The disk fills up in the middle of an import: it is refused as such,
    // and the file is left as it was, without a journal that the next
    // reader (who may not be allowed to write it) would have to mend.
    void fullDiskLeavesTheFileAsItWas() {
        TestData d(100);
        QTemporaryDir dir;
        QByteArray csv = "SAMPLE NAME,ROCK NAME,LOCATION,SIO2(WT%)\n";
        for (int i = 0; i < 20000; ++i)
            csv += "S-" + QByteArray::number(i) + ",BASALT,Along the old road mile " +
                   QByteArray::number(i) + ",49.5\n";
        const ImportPlan plan = CsvImport::plan(write(dir, "many.csv", csv).toStdString());
        const QString path = QString::fromStdString(d.databasePath());
        FullDisk disk(256 * 1024);
        auto db = d.open();
        QString msg;
        QCOMPARE(engineErrorOf([&] { CsvImport::run(*db, "Project1", plan); }, &msg),
                 engine::err::DiskError);
        QVERIFY2(msg.contains("the disk is full"), qPrintable(msg));
        QVERIFY(!QFile::exists(path + "-journal"));
        QCOMPARE(db->checkIntegrity({}).state, engine::IntegrityReport::State::Sound);
        QCOMPARE(rawValue(d.databasePath(), "SELECT count(*) FROM Project1 WHERE Location LIKE "
                                            "'Along the old road%'"),
                 0LL);
    }

    void changeOnDamagedIndexNamesTheDamage() {
        TestData d(600);
        const std::string path = d.databasePath();
        damagePage(path, rawValue(path, "SELECT rootpage FROM sqlite_master WHERE type = 'index' "
                                        "AND tbl_name = 'DOZIRO1' AND sql LIKE '%[Location]%'"));
        auto db = d.open();
        auto rs = db->OpenRecordset("SELECT * From [DOZIRO1]");
        QString msg;
        QCOMPARE(engineErrorOf(
                     [&] {
                         rs->updateRow(2, {{3, "Elsewhere"}});
                     },
                     &msg),
                 engine::err::Damaged);
        QVERIFY2(msg.contains("is damaged") && msg.contains("Nothing was changed"),
                 qPrintable(msg));
        QVERIFY(!msg.contains("Cannot open"));
    }

    void lockedDatabaseIsWaitedOutOnce() {
        TestData d(1200);
        auto db = d.open();
        auto rs = db->OpenRecordset(kByRockname);
        auto writable = db->OpenRecordset("SELECT * From [Project1]");
        // The other program takes its lock once the views are read.
        rs->waitForIdle();
        writable->waitForIdle();
        sqlite3* other = nullptr;
        sqlite3_open(d.databasePath().c_str(), &other);
        QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

        QString msg;
        QCOMPARE(engineErrorOf([&] { rs->valueAt(0, 0); }, &msg), engine::err::Locked);
        QVERIFY2(msg.contains("is locked by another program"), qPrintable(msg));
        QVERIFY(!msg.contains("Could not update"));
        // Other pages fail at once now, rather than waiting out the lock
        // again row by row.
        QElapsedTimer t;
        t.start();
        for (long r = 256; r < 1200; r += 256)
            QCOMPARE(engineErrorOf([&] { rs->valueAt(r, 0); }), engine::err::Locked);
        QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
        // A write says it could not update.
        QCOMPARE(engineErrorOf(
                     [&] {
                         writable->updateRow(0, {{0, "x"}});
                     },
                     &msg),
                 engine::err::Locked);

        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        // Once the other program is done, a new view reads every row.
        auto again = db->OpenRecordset(kByRockname);
        for (long r = 0; r < again->RecordCount(); r += 97)
            QVERIFY(again->rowReadable(r));
    }

    void inputThatCannotBeTakenIsRefusedWithItsCause() {
        TestData d(30);
        auto db = d.open();
        auto rs = db->OpenRecordset(kByRockname);
        QString msg;
        for (const char* big : {"1e309", "1e-400", "-1e309"}) {
            QCOMPARE(engineErrorOf(
                         [&] {
                             rs->updateRow(0, {{6, big}});
                         },
                         &msg),
                     engine::err::NumericOverflow);
            QVERIFY2(msg.contains("out of the range") && msg.contains("TiO2"), qPrintable(msg));
        }
        const std::string digits(400, '7');
        QCOMPARE(engineErrorOf([&] {
                     rs->updateRow(0, {{6, digits}});
                 }),
                 engine::err::NumericOverflow);
        QCOMPARE(engineErrorOf([&] {
                     rs->updateRow(0, {{6, "seven"}});
                 }),
                 engine::err::ConversionError);
        QCOMPARE(engineErrorOf([&] { rs->updateRow(0, {{6, "1e308"}}); }), 0);
        // One sign at most, and a number after it.
        for (const char* odd :
             {"+-1", "-+1", "++1", "--1", "+", "-", "inf", "-nan", "1e", ".", "0x10", "1,5", "1 5"})
            QVERIFY2(engineErrorOf([&] {
                         rs->updateRow(0, {{6, odd}});
                     }) == engine::err::ConversionError,
                     odd);
        const std::pair<const char*, double> good[] = {{"+1", 1},     {"-1", -1},      {"+.5", 0.5},
                                                       {"-.5", -0.5}, {" 2.5e1 ", 25}, {"7.", 7}};
        for (const auto& [text, value] : good) {
            QCOMPARE(engineErrorOf([&] { rs->updateRow(0, {{6, text}}); }), 0);
            QCOMPARE(rs->valueAt(0, 6).toReal(), value);
        }

        // A NUL in a statement: refused whole, not run up to the NUL.
        const std::string withNul = std::string("SELECT * From [DOZIRO1]Where [Rockname] Like "
                                                "'*ba") +
                                    '\0' + "salt*'Order By [Rockname] ASC";
        QCOMPARE(engineErrorOf([&] { db->OpenRecordset(withNul); }, &msg),
                 engine::err::SyntaxError);
        QVERIFY2(msg.contains("NUL"), qPrintable(msg));

        // A text of 100,000 characters is stored whole.
        const std::string longText(100000, 'q');
        rs->updateRow(0, {{3, longText}});
        QCOMPARE(rawValue(d.databasePath(), "SELECT max(length(Location)) FROM DOZIRO1"), 100000LL);
    }

    void workgroupCutShortIsDamagedNotAPermission() {
        TestData d(10);
        QFile f(QString::fromStdString(d.workgroupPath()));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.resize(f.size() - 1));
        f.close();
        d.logOnAsProgram();
        QString msg;
        QCOMPARE(engineErrorOf([&] { d.open(); }, &msg), engine::err::WorkgroupMissing);
        QVERIFY2(msg.contains("is damaged"), qPrintable(msg));
    }

    void printingAfterAFailedStartUpHasNoCurrentRecord() {
        GuiFixture f(10);
        QFile::remove(f.data().dir() + "/quarzdb32.mdb");
        auto& w = f.start();
        QCOMPARE(f.messages.shown.size(), size_t(1));
        QCOMPARE(w.vaSpread1->ColumnCount(), 0);
        QString msg;
        try {
            w.vaSpread1->setCol(0);
        } catch (const std::exception& e) {
            msg = e.what();
        }
        QCOMPARE(msg, QString("No current record."));
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
