// The engine on both back ends, with the same expectations: the database
// file, and a copy of it on a private server (when the test runs beside
// one, as the test command runs it). Then what only a shared server has:
// two clients at once, rights from GRANTs, a server that goes away.
#include "ServerInit.h"
#include "platform/db/ChangeFeed.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Query.h"
#include "platform/db/Recordset.h"
#include "support/BackendData.h"
#include "support/ServerData.h"
#include "support/TestData.h"

#include <QtTest>

#include <algorithm>
#include <csignal>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const char* const kWhole = "SELECT * FROM [DOZIRO1]Order By [Rockname] ASC";

// Rows that test what the sample rows do not: Nulls, case, letters beyond
// ASCII, the characters Like and the server's patterns treat specially.
const char* const kAwkwardRows =
    "INSERT INTO DOZIRO1 (Rockname, Location, [Doziro Sample#], SiO2) VALUES "
    "(NULL, 'Nowhere', 'AW-1', 50), ('basalt', 'ÉTNA south', 'AW-2', 49.5), "
    "('BASALT', 'étna north', 'AW-3', NULL), ('Ölivine basalt', 'Øresund', 'AW-4', 47), "
    "('100% olivine', 'a_b site', 'AW-5', 41.25), ('back\\slash [x] *star*', 'Côte', 'AW-6', 52), "
    "('', 'Æbeltoft', 'AW-7', 60), ('Trachyandésite', 'ΣΤΡΟΜΒΟΛΙ', 'AW-8', 58)";

// One collection on the back end a test row names, with the awkward rows.
struct Backend : BackendData {
    Backend(const QString& kind, long rows) : BackendData(kind, rows, kAwkwardRows) {}
};

std::vector<std::int64_t> keysOf(engine::Database& db, const std::string& sql) {
    auto rs = db.OpenRecordset(sql, true);
    return rs->keys();
}

} // namespace

class TestBackends : public QObject {
    Q_OBJECT

private slots:
    void serverGivesTheFilesRowsInTheFilesOrder_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("ordered");
        for (const char* c : {"Rockname", "Geologist", "Date", "Location", "Doziro Sample#"})
            for (const char* dir : {"ASC", "DESC"})
                QTest::newRow(qPrintable(QString("%1 %2").arg(c, dir)))
                    << QString("SELECT * From [DOZIRO1]Order By [%1] %2").arg(c, dir) << true;
        const char* searches[][2] = {{"Rockname", "*basalt*"},
                                     {"Rockname", "*BASALT*"},
                                     {"Location", "*étna*"},
                                     {"Location", "*ö*"},
                                     {"Location", "*στρομ*"},
                                     {"Rockname", "*b?salt*"},
                                     {"Rockname", "*[bt]asalt*"},
                                     {"Rockname", "*[!t]asalt*"},
                                     {"Date", "*19#[0-5]*"},
                                     {"Rockname", "Basalt*"},
                                     {"Geologist", "*o''b*"},
                                     {"Rockname", "*%*"},
                                     {"Location", "*_*"},
                                     {"Rockname", "*\\*"},
                                     {"Rockname", "*[*]*"},
                                     {"Doziro Sample#", "DZ-00001?"},
                                     {"ID", "*7*"},
                                     {"SiO2", "5*"},
                                     {"Rockname", "*[a-c]asalt*"},
                                     {"Location", "[Ææ]*"},
                                     {"Rockname", ""}};
        for (const auto& s : searches)
            QTest::newRow(qPrintable(QString("%1 Like %2").arg(s[0], s[1])))
                << QString("SELECT * FROM [DOZIRO1]Where [%1] Like '%2'Order By [%1] ASC")
                       .arg(s[0], s[1])
                << true;
        const char* conditions[] = {"[Rockname] Not Like '*basalt*'",
                                    "[SiO2] > 50",
                                    "[SiO2] Is Null",
                                    "[Total] Between 99 And 100 And [Rockname] Like '*ite'",
                                    "[Rockname] = 'basalt'",
                                    "Rockname Like '*ITE'",
                                    "([Location] Like '*site*') Or [ID] < 10"};
        for (const char* c : conditions)
            QTest::newRow(c) << QString("SELECT * FROM [DOZIRO1] Where %1").arg(c) << false;
    }
    void serverGivesTheFilesRowsInTheFilesOrder() {
        QFETCH(QString, sql);
        QFETCH(bool, ordered);
        if (!ServerData::available())
            QSKIP("no test server");
        static Backend file("file", 400);
        static ServerData server(file.file());
        auto onFile = file.open(true);
        auto onServer = server.open(true);
        auto a = keysOf(*onFile, sql.toStdString());
        auto b = keysOf(*onServer, sql.toStdString());
        if (!ordered) { // the file's order without Order By is its planner's choice
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
        }
        QVERIFY(!a.empty() || sql.contains("Like ''"));
        QCOMPARE(b, a);
        // And the same values, cell by cell.
        auto ra = onFile->OpenRecordset(sql.toStdString(), true);
        auto rb = onServer->OpenRecordset(sql.toStdString(), true);
        QCOMPARE(rb->RecordCount(), ra->RecordCount());
        for (long i = 0; i < std::min(ra->RecordCount(), 40L); ++i)
            for (int c = 0; c < 32; ++c)
                if (ordered)
                    QCOMPARE(rb->valueAt(i, c).storedText(), ra->valueAt(i, c).storedText());
    }

    void navigationAndWrites_data() { addBackends(); }
    void navigationAndWrites() {
        QFETCH(QString, backend);
        Backend b(backend, 300);
        auto db = b.open();
        auto rs = db->OpenRecordset(kWhole);
        QCOMPARE(rs->RecordCount(), 308L);
        QVERIFY(rs->Field(0).isNull()); // Nulls first
        rs->MoveLast();
        QCOMPARE(rs->AbsolutePosition(), 307L);
        QCOMPARE(engineErrorOf([&] {
                     rs->MoveNext();
                     rs->MoveNext();
                 }),
                 engine::err::NoCurrentRecord);
        for (long i = 0; i < 308; i += 11)
            QCOMPARE(rs->valueAt(i, 31).toInteger(), rs->keyAt(i));
        QCOMPARE(engineErrorOf([&] { rs->valueAt(0, 32); }), engine::err::SubscriptOutOfRange);
        QString msg;
        auto empty = db->OpenRecordset("SELECT * FROM [DOZIRO1] WHERE [ID] < 0");
        QCOMPARE(empty->RecordCount(), 0L);
        QCOMPARE(engineErrorOf([&] { empty->MoveLast(); }, &msg), engine::err::NoCurrentRecord);
        QCOMPARE(msg, QString("No current record."));
        QCOMPARE(engineErrorOf([&] { empty->Field(0); }), engine::err::NoCurrentRecord);

        rs->AddNew();
        const auto key = rs->Update();
        QCOMPARE(b.count("\"ID\" = " + std::to_string(key) + " AND \"Rockname\" IS NULL"), 1LL);
        QVERIFY(key > 308);
        // A new row is the table's defaults: Null, but for the file's SiO2,
        // whose default is the text "Empty" (a server's number column
        // cannot hold it, and keeps Null).
        auto added =
            db->OpenRecordset("SELECT * FROM [DOZIRO1] WHERE [ID] = " + std::to_string(key));
        if (!b.isServer())
            QCOMPARE(QString::fromStdString(added->Field(5).toText()), QString("Empty"));
        for (int c = 0; c < 31; ++c)
            QVERIFY((c == 5 && !b.isServer()) || added->Field(c).isNull());

        const long at = 5;
        const auto edited = rs->keyAt(at);
        rs->updateRow(at, {{0, "Test rock"}, {6, "1.25"}, {7, ""}});
        QCOMPARE(QString::fromStdString(rs->valueAt(at, 0).toText()), QString("Test rock"));
        QCOMPARE(rs->valueAt(at, 6).toReal(), 1.25);
        QVERIFY(rs->valueAt(at, 7).isNull());
        QCOMPARE(b.count("\"ID\" = " + std::to_string(edited) + " AND \"TiO2\" = 1.25"), 1LL);
        // A value a column cannot hold names the column, and the row's
        // other changes are not written either.
        QCOMPARE(engineErrorOf(
                     [&] {
                         rs->updateRow(at, {{0, "Other"}, {8, "12,5"}});
                     },
                     &msg),
                 engine::err::ConversionError);
        QVERIFY(msg.contains("Fe2O3"));
        QCOMPARE(b.count("\"ID\" = " + std::to_string(edited) + " AND \"Rockname\" = 'Test rock'"),
                 1LL);
        QCOMPARE(engineErrorOf([&] {
                     rs->updateRow(at, {{6, "1e999"}});
                 }),
                 engine::err::NumericOverflow);
        QCOMPARE(engineErrorOf([&] {
                     rs->updateRow(at, {{31, "5"}});
                 }),
                 engine::err::FieldNotUpdatable);
        // Text with the characters a statement treats specially is stored as typed.
        const std::string odd = "O'Brien; DROP TABLE x -- \\ \"q\" ?1 $1";
        rs->updateRow(at, {{1, odd}});
        QCOMPARE(rs->valueAt(at, 1).toText(), odd);

        rs->FindFirst("[Doziro Sample#] = 'AW-4'");
        QVERIFY(!rs->NoMatch());
        QCOMPARE(QString::fromStdString(rs->Field(0).toText()), QString("Ölivine basalt"));
        rs->FindFirst("[Rockname] = 'no such rock'");
        QVERIFY(rs->NoMatch());

        rs->setAbsolutePosition(10);
        const auto gone = rs->keyAt(10), next = rs->keyAt(11);
        rs->Delete();
        QCOMPARE(engineErrorOf([&] { rs->Field(0); }), engine::err::RowDeleted);
        rs->MoveNext();
        QCOMPARE(rs->Field(31).toInteger(), next);
        QCOMPARE(b.count("\"ID\" = " + std::to_string(gone)), 0LL);
        QCOMPARE(rs->RecordCount(), 308L);

        // Read-only, by the set or by the database: nothing is written.
        auto roSet = db->OpenRecordset(kWhole, true);
        QCOMPARE(engineErrorOf(
                     [&] {
                         roSet->updateRow(0, {{0, "x"}});
                     },
                     &msg),
                 engine::err::ReadOnly);
        QCOMPARE(msg, QString("Cannot update. Database or object is read-only."));
        QCOMPARE(engineErrorOf([&] { roSet->AddNew(); }), engine::err::ReadOnly);
        roSet->MoveFirst();
        QCOMPARE(engineErrorOf([&] { roSet->Delete(); }), engine::err::ReadOnly);
        auto ro = b.open(true)->OpenRecordset(kWhole);
        QCOMPARE(engineErrorOf([&] { ro->updateRow(0, {{0, "x"}}); }), engine::err::ReadOnly);
    }

    void onlyOneRowStatementEverRuns_data() { addBackends(); }
    void onlyOneRowStatementEverRuns() {
        QFETCH(QString, backend);
        Backend b(backend, 50);
        auto db = b.open();
        const char* attempts[] = {
            "SELECT * FROM [DOZIRO1]; DELETE FROM [DOZIRO1]",
            "SELECT * FROM [DOZIRO1]Where [Rockname] Like '*x*'; DROP TABLE [DOZIRO1]",
            "DROP TABLE [DOZIRO1]",
            "SELECT * FROM [DOZIRO1]Where [Rockname] Like '*o'*'Order By [Rockname] ASC",
            "SELECT * FROM [DOZIRO1]Where [Rockname] Like '[abc'",
            "SELECT * FROM [Nothing]",
        };
        for (const char* sql : attempts) {
            QString msg;
            QVERIFY2(engineErrorOf([&] { db->OpenRecordset(sql); }, &msg) != 0, sql);
            QVERIFY(!msg.isEmpty());
        }
        QCOMPARE(engineErrorOf([&] { db->OpenRecordset("SELECT * FROM [Nothing]"); }),
                 engine::err::TableNotFound);
        QCOMPARE(
            engineErrorOf([&] { db->OpenRecordset("SELECT * FROM [DOZIRO1] WHERE [Nope] = 1"); }),
            engine::err::SyntaxError);
        QCOMPARE(engineErrorOf([&] {
                     db->OpenRecordset("SELECT * FROM [DOZIRO1]Where [Rockname] Like '[abc'");
                 }),
                 engine::err::InvalidPattern);
        auto rs = db->OpenRecordset(kWhole);
        QVERIFY(engineErrorOf([&] { rs->FindFirst("1=1; DELETE FROM [DOZIRO1]"); }) != 0);
        QCOMPARE(b.count("TRUE"), 58LL);
        // A doubled apostrophe is text, never the end of the pattern.
        auto lit = db->OpenRecordset("SELECT * FROM [DOZIRO1]Where [Geologist] Like "
                                     "'*o''brien* Or [Rockname] Like ''*'Order By [Geologist] ASC");
        QCOMPARE(lit->RecordCount(), 0L);
    }

    void rightsComeFromTheBackEnd_data() { addBackends(); }
    void rightsComeFromTheBackEnd() {
        QFETCH(QString, backend);
        Backend b(backend, 30);
        std::shared_ptr<engine::Database> db;
        if (b.isServer()) {
            b.server().admin(
                "DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = "
                "'reader') THEN CREATE ROLE reader LOGIN IN ROLE quarzel_reader; END IF; "
                "END $$; GRANT SELECT ON \"DOZIRO1\" TO reader");
            db = b.server().open(false, "reader");
        } else {
            engine::TablePermissions readOnly{true, false, false, false};
            engine::Workgroup::Account acc{"reader", "pw", {{"DOZIRO1", readOnly}}};
            const std::string wg = b.file().dir().toStdString() + "/reader.mdw";
            engine::Workgroup::create(wg, b.file().identity(), {acc});
            auto& e = engine::DBEngine::instance();
            e.SystemDB = wg;
            e.DefaultUser = "reader";
            e.DefaultPassword = "pw";
            db = e.Workspaces(0).OpenDatabase(b.file().databasePath());
        }
        auto rs = db->OpenRecordset(kWhole);
        QCOMPARE(rs->RecordCount(), 38L);
        QString msg;
        QCOMPARE(engineErrorOf(
                     [&] {
                         rs->updateRow(1, {{0, "x"}});
                     },
                     &msg),
                 engine::err::NoPermission);
        QVERIFY2(msg.contains("update the 'DOZIRO1' object"), qPrintable(msg));
        QCOMPARE(engineErrorOf(
                     [&] {
                         rs->AddNew();
                         rs->Update();
                     },
                     &msg),
                 engine::err::NoPermission);
        QVERIFY2(msg.contains("insert the 'DOZIRO1'"), qPrintable(msg));
        rs->MoveFirst();
        QCOMPARE(engineErrorOf([&] { rs->Delete(); }), engine::err::NoPermission);
        QCOMPARE(engineErrorOf([&] { db->OpenRecordset("SELECT * FROM [Project1]"); }, &msg),
                 engine::err::NoPermission);
        QVERIFY2(msg.contains("read the 'Project1'"), qPrintable(msg));
        QCOMPARE(b.count("\"Rockname\" = 'x'"), 0LL);
        QCOMPARE(rs->RecordCount(), 38L);
    }

    // Two windows on one row: the second save always gets the message,
    // and keeping one's own values is the same save made again.
    void twoClientsEditingOneRowLoseNothing() {
        if (!ServerData::available())
            QSKIP("no test server");
        Backend b("server", 40);
        auto dbA = b.open(), dbB = b.open();
        auto a = dbA->OpenRecordset(kWhole), other = dbB->OpenRecordset(kWhole);
        const long at = 7;
        const std::string where = "\"ID\" = " + std::to_string(a->keyAt(at));
        for (int round = 0; round < 25; ++round) {
            a->valueAt(at, 0);
            other->valueAt(at, 0);
            const std::string theirs = "Theirs " + std::to_string(round);
            a->updateRow(at, {{0, theirs}});
            QString msg;
            QCOMPARE(engineErrorOf(
                         [&] {
                             other->updateRow(at, {{0, "Mine"}});
                         },
                         &msg),
                     engine::err::WriteConflict);
            QVERIFY2(msg.contains("yours \"Mine\", theirs \"" + QString::fromStdString(theirs)),
                     qPrintable(msg));
            QCOMPARE(other->valueAt(at, 0).toText(), theirs); // read again
            QCOMPARE(b.count(where + " AND \"Rockname\" = '" + theirs + "'"), 1LL);
        }
        other->updateRow(at, {{0, "Mine"}}); // kept: saved over theirs, knowingly
        QCOMPARE(b.count(where + " AND \"Rockname\" = 'Mine'"), 1LL);
        QCOMPARE(engineErrorOf([&] {
                     a->updateRow(at, {{1, "Late"}});
                 }),
                 engine::err::WriteConflict);
        // A window's own saves in a row never conflict with themselves.
        for (int i = 0; i < 5; ++i)
            other->updateRow(at, {{1, "Own " + std::to_string(i)}});
    }

    void editsAndDeletesOfRowsTheOtherChanged() {
        if (!ServerData::available())
            QSKIP("no test server");
        Backend b("server", 40);
        auto dbA = b.open(), dbB = b.open();
        auto a = dbA->OpenRecordset(kWhole), other = dbB->OpenRecordset(kWhole);
        for (long i = 0; i < 48; ++i)
            other->valueAt(i, 0);
        // Deleted by A: B's edit says so, and saves nothing.
        a->setAbsolutePosition(3);
        const auto gone = a->keyAt(3);
        a->Delete();
        QString msg;
        QCOMPARE(engineErrorOf(
                     [&] {
                         other->updateRow(3, {{0, "x"}});
                     },
                     &msg),
                 engine::err::RowDeleted);
        QVERIFY(msg.contains("deleted"));
        QCOMPARE(b.count("\"ID\" = " + std::to_string(gone)), 0LL);
        // Deleted by A, then by B: B is told, and the row leaves B's view.
        const long before = other->RecordCount();
        other->setAbsolutePosition(3);
        QCOMPARE(engineErrorOf([&] { other->Delete(); }), engine::err::RowDeleted);
        QCOMPARE(other->RecordCount(), before - 1);
        // Changed by A: B's delete is refused, and B sees A's values.
        a->updateRow(5, {{0, "Changed by A"}});
        const auto changed = a->keyAt(5);
        const long atB = other->indexOfKey(changed);
        other->setAbsolutePosition(atB);
        QCOMPARE(engineErrorOf([&] { other->Delete(); }), engine::err::WriteConflict);
        QCOMPARE(b.count("\"ID\" = " + std::to_string(changed)), 1LL);
        QCOMPARE(other->valueAt(atB, 0).toText(), std::string("Changed by A"));
        other->Delete(); // deleted knowingly
        QCOMPARE(b.count("\"ID\" = " + std::to_string(changed)), 0LL);
        // Both add rows: each gets a key of its own.
        a->AddNew();
        other->AddNew();
        QVERIFY(a->Update() != other->Update());
    }

    void aKilledClientLeavesNothingHalfWritten() {
        if (!ServerData::available())
            QSKIP("no test server");
        Backend b("server", 20);
        QProcess psql;
        psql.start("psql", {"-X", "-q", "-d", QString::fromStdString(b.server().conninfo()), "-c",
                            "BEGIN; INSERT INTO \"DOZIRO1\" (\"Rockname\") SELECT 'half' FROM "
                            "generate_series(1, 5000); SELECT pg_sleep(60); COMMIT;"});
        QVERIFY(psql.waitForStarted());
        // Killed once its rows are written and it waits to commit.
        QTRY_VERIFY_WITH_TIMEOUT(
            b.server().count("SELECT count(*) FROM pg_stat_activity WHERE query LIKE "
                             "'%pg_sleep(60)%' AND state = 'active' AND pid <> pg_backend_pid()") ==
                1,
            20000);
        ::kill(static_cast<pid_t>(psql.processId()), SIGKILL);
        QVERIFY(psql.waitForFinished());
        QCOMPARE(b.count("\"Rockname\" = 'half'"), 0LL);
        QCOMPARE(b.count("TRUE"), 28LL);
    }

    void aServerThatGoesAwayNeverGetsAFalseSave() {
        if (!ServerData::available())
            QSKIP("no test server");
        Backend b("server", 40);
        auto db = b.open();
        auto rs = db->OpenRecordset(kWhole);
        const std::string before = rs->valueAt(3, 2).storedText();
        const auto key = rs->keyAt(3);
        ServerData::stopServer();
        QString msg;
        QCOMPARE(engineErrorOf(
                     [&] {
                         rs->updateRow(3, {{2, "During"}});
                     },
                     &msg),
                 engine::err::ConnectionLost);
        QVERIFY2(msg.contains("not saved"), qPrintable(msg));
        // What was read stays to be seen; nothing new can be read.
        QCOMPARE(rs->valueAt(3, 2).storedText(), before);
        QCOMPARE(engineErrorOf([&] { db->OpenRecordset(kWhole); }), engine::err::ConnectionLost);
        ServerData::startServer();
        std::this_thread::sleep_for(std::chrono::milliseconds(3200));
        rs->updateRow(3, {{2, "After"}});
        QCOMPARE(b.count("\"ID\" = " + std::to_string(key) + " AND \"Date\" = 'After'"), 1LL);
        QCOMPARE(b.count("\"Date\" = 'During'"), 0LL);
    }

    // A connection lost inside a transaction takes the transaction with it:
    // what comes after is refused until the transaction is ended, never
    // committed on its own on a new connection.
    void aTransactionLostWithItsConnectionWritesNothingAfterIt() {
        if (!ServerData::available())
            QSKIP("no test server");
        Backend b("server", 20);
        auto db = b.open();
        const auto insert = [&](const char* name) {
            engine::Query(*db,
                          std::string("INSERT INTO [DOZIRO1] ([Rockname]) VALUES ('") + name + "')")
                .execute();
        };
        db->Begin();
        QCOMPARE(engineErrorOf([&] { insert("before"); }), 0);
        b.server().admin("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                         "datname = current_database() AND state = 'idle in transaction'");
        QCOMPARE(engineErrorOf([&] { insert("after"); }), engine::err::ConnectionLost);
        QCOMPARE(engineErrorOf([&] { db->Commit(); }), engine::err::ConnectionLost);
        db->Rollback();
        QCOMPARE(b.count("\"Rockname\" IN ('before', 'after')"), 0LL);
        insert("again"); // on a new connection, at once
        QCOMPARE(b.count("\"Rockname\" = 'again'"), 1LL);
    }

    // A server restarted between two reads: the next read finds the
    // connection dead and reads on a new one, with no failure shown.
    void aReadAfterTheServerRestartedSucceeds() {
        if (!ServerData::available())
            QSKIP("no test server");
        Backend b("server", 30);
        auto db = b.open();
        auto rs = db->OpenRecordset(kWhole);
        const std::string before = rs->valueAt(7, 3).storedText();
        ServerData::stopServer();
        ServerData::startServer();
        rs->clearCache();
        QCOMPARE(engineErrorOf([&] { QCOMPARE(rs->valueAt(7, 3).storedText(), before); }), 0);
        QString why;
        const int e = engineErrorOf([&] { db->OpenRecordset(kWhole)->RecordCount(); }, &why);
        QVERIFY2(e == 0, qPrintable(why));
    }

    // What another user commits reaches an open set through the change
    // feed; applied, the set holds what a set opened afresh would.
    void otherUsersChangesReachAnOpenSet_data() {
        QTest::addColumn<QString>("sql");
        QTest::newRow("by name") << QString(kWhole);
        QTest::newRow("by place, descending") << "SELECT * From [DOZIRO1]Order By [Location] DESC";
        QTest::newRow("a search") << "SELECT * FROM [DOZIRO1]Where [Rockname] Like '*a*'And "
                                     "[Rockname] Like '**'Order By [Rockname] ASC";
        QTest::newRow("by key") << "SELECT * FROM [DOZIRO1]";
    }
    void otherUsersChangesReachAnOpenSet() {
        QFETCH(QString, sql);
        if (!ServerData::available())
            QSKIP("no test server");
        // More rows than a round of the search for a row's place reads.
        Backend b("server", 1200);
        auto mine = b.open(), theirs = b.open();
        auto feed = mine->listen();
        QVERIFY(feed && feed->socket() >= 0);
        auto rs = mine->OpenRecordset(sql.toStdString());
        rs->keys();
        for (long i = 0; i < rs->RecordCount(); ++i)
            rs->valueAt(i, 0);
        const auto changed = rs->keyAt(4);
        const std::string changedBefore = rs->valueAt(4, 3).storedText();
        auto other = theirs->OpenRecordset(kWhole);
        const long at = other->indexOfKey(changed);
        other->updateRow(at, {{3, "Moved by them"}});
        for (const char* name : {"Aaa new", "zzz last", "Mid basalt", "", "ÉTNA rock"}) {
            other->AddNew();
            const auto key = other->Update();
            other->updateRow(other->indexOfKey(key), {{0, name}, {3, name}});
        }
        other->setAbsolutePosition(other->indexOfKey(rs->keyAt(9)));
        other->Delete();
        // Every change is heard, in the order committed.
        std::vector<engine::ChangeFeed::Change> heard;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (auto& c : feed->take())
                    heard.push_back(c);
                return heard.size() >= 12;
            }(),
            5000);
        // The first half one by one, the rest as a batch read at once (as a
        // window applies them).
        const std::vector<engine::ChangeFeed::Change> batch(heard.begin() + 6, heard.end());
        for (std::size_t i = 0; i < heard.size(); ++i) {
            const auto& c = heard[i];
            QCOMPARE(QString::fromStdString(c.table), QString("DOZIRO1"));
            if (i == 6)
                rs->prepareChanges(batch);
            const long row = rs->applyChange(c.kind, c.key);
            QVERIFY(row != engine::Recordset::kReload);
        }
        rs->prepareChanges({});
        auto fresh = theirs->OpenRecordset(sql.toStdString());
        QCOMPARE(rs->keys(), fresh->keys());
        QCOMPARE(rs->RecordCount(), fresh->RecordCount());
        const long now = rs->indexOfKey(changed);
        QCOMPARE(rs->valueAt(now, 3).storedText(), std::string("Moved by them"));
        QVERIFY(changedBefore != "Moved by them");
        // Seen, but not acted on: an edit of it is still checked against
        // the other user's change.
        QCOMPARE(engineErrorOf([&] {
                     rs->updateRow(now, {{3, "Mine"}});
                 }),
                 engine::err::WriteConflict);
        // A file has no feed: one user keeps it.
        QVERIFY(!b.file().open()->listen());
    }

    void serverInitRefusesWhatItCannotServe() {
        if (!ServerData::available())
            QSKIP("no test server");
        Backend b("server", 10);
        QString msg;
        // Twice: refused, nothing changed.
        QCOMPARE(engineErrorOf(
                     [&] {
                         std::ostringstream report;
                         serverInit(b.file().dir().toStdString(), b.server().conninfo(), report);
                     },
                     &msg),
                 engine::err::CannotOpen);
        QVERIFY(msg.contains("already holds"));
        QCOMPARE(b.count("TRUE"), 18LL);
        QCOMPARE(b.server().count("SELECT count(*) FROM pg_class WHERE relname = 'DOZIRO1' AND "
                                  "has_table_privilege('geologist', oid, 'DELETE')"),
                 1LL);
        // A database that folds plain letters only would miss rows.
        const std::string name = "quarzel_c_" + std::to_string(::getpid());
        b.server().admin("CREATE DATABASE " + name +
                         " LC_CTYPE 'C' LC_COLLATE 'C' TEMPLATE template0");
        const std::string c = std::string(std::getenv("QUARZEL_TEST_PG")) + " dbname=" + name;
        QCOMPARE(engineErrorOf(
                     [&] {
                         std::ostringstream report;
                         serverInit(b.file().dir().toStdString(), c, report);
                     },
                     &msg),
                 engine::err::CannotOpen);
        QVERIFY2(msg.contains("C.UTF-8"), qPrintable(msg));
        QCOMPARE(engineErrorOf([&] { engine::Database::openServer(c, {}, {}, true); }),
                 engine::err::UnrecognizedFormat);
        b.server().admin("DROP DATABASE " + name);
    }
};

QTEST_GUILESS_MAIN(TestBackends)
#include "tst_backends.moc"
