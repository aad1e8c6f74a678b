#include "SampleData.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Recordset.h"
#include "platform/db/Workgroup.h"
#include "support/TestData.h"

#include <QtTest>

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <functional>

using engine::EngineError;

namespace {

QByteArray fileBytes(const std::string& path) {
    QFile f(QString::fromStdString(path));
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

const char* kWhole = "SELECT * From [DOZIRO1]Order By [Rockname] ASC";

} // namespace

class TestEngine : public QObject {
    Q_OBJECT
private slots:
    void logOnRefusals() {
        TestData d(20);
        d.logOnAsProgram();
        auto& e = engine::DBEngine::instance();
        QString msg;
        auto open = [&] { e.Workspaces(0).OpenDatabase(d.databasePath()); };

        e.DefaultPassword = "wrong";
        QCOMPARE(engineErrorOf(open, &msg), engine::err::BadAccount);
        QCOMPARE(msg, QString("Not a valid account name or password."));
        e.DefaultPassword = SampleData::kPassword;
        e.DefaultUser = "nobody";
        QCOMPARE(engineErrorOf(open, &msg), engine::err::BadAccount);
        QCOMPARE(msg, QString("Not a valid account name or password."));

        d.logOnAsProgram();
        e.SystemDB = d.workgroupPath() + ".missing";
        QCOMPARE(engineErrorOf(open, &msg), engine::err::WorkgroupMissing);
        QVERIFY(msg.contains(".missing"));
        e.SystemDB.clear();
        QCOMPARE(engineErrorOf(open), engine::err::WorkgroupMissing);

        QVERIFY_THROWS_EXCEPTION(EngineError, e.Workspaces(1));
    }

    void damagedWorkgroupNeverGrants() {
        TestData d(20);
        const QByteArray good = fileBytes(d.workgroupPath());
        for (int variant = 0; variant < 3; ++variant) {
            QFile f(QString::fromStdString(d.workgroupPath()));
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            if (variant == 0)
                f.write(good.left(good.size() / 3)); // truncated
            else if (variant == 1)
                f.write(QByteArray(4096, 'G')); // garbage
            f.close();                          // variant 2: empty
            d.logOnAsProgram();
            QString msg;
            QCOMPARE(engineErrorOf([&] { d.open(); }, &msg), engine::err::WorkgroupMissing);
            QVERIFY2(msg.contains("damaged") || msg.contains("missing"), qPrintable(msg));
        }
    }

    void workgroupOfAnotherDatabaseIsRefused() {
        TestData d(10), other(10);
        d.logOnAsProgram();
        engine::DBEngine::instance().SystemDB = other.workgroupPath();
        QCOMPARE(engineErrorOf([&] {
                     engine::DBEngine::instance().Workspaces(0).OpenDatabase(d.databasePath());
                 }),
                 engine::err::NoPermission);
    }

    void badDatabaseFiles() {
        TestData d(200);
        d.logOnAsProgram();
        auto& ws = engine::DBEngine::instance().Workspaces(0);
        QString msg;
        const std::string missing = d.databasePath() + "x";
        QCOMPARE(engineErrorOf([&] { ws.OpenDatabase(missing); }, &msg), engine::err::FileNotFound);
        QCOMPARE(msg, QString::fromStdString("Could not find file '" + missing + "'."));

        // Garbage: refused at open, and the file is left as it was.
        const std::string garbage = d.dir().toStdString() + "/garbage.mdb";
        {
            std::ofstream out(garbage, std::ios::binary);
            out << std::string(8192, '\x5a');
        }
        QCOMPARE(engineErrorOf([&] { ws.OpenDatabase(garbage); }), engine::err::UnrecognizedFormat);
        QCOMPARE(fileBytes(garbage), QByteArray(8192, '\x5a'));

        // Truncated: whatever step notices first reports it; no crash, no change.
        const std::string cut = d.dir().toStdString() + "/cut.mdb";
        const QByteArray whole = fileBytes(d.databasePath());
        {
            std::ofstream out(cut, std::ios::binary);
            out.write(whole.constData(), whole.size() / 2);
        }
        int n = engineErrorOf([&] {
            auto db = ws.OpenDatabase(cut);
            db->OpenRecordset("SELECT * FROM [DOZIRO1] Order By [Location] DESC");
        });
        QVERIFY2(n == engine::err::CannotOpen || n == engine::err::UnrecognizedFormat,
                 qPrintable(QString::number(n)));
        QCOMPARE(fileBytes(cut), whole.left(whole.size() / 2));
    }

    void programStatementsVerbatim_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("rawCount");
        const char* tables[] = {"DOZIRO1", "Project1", "Project2", "Project3"};
        for (const char* t : tables)
            QTest::newRow(t) << QString("SELECT * From [%1]Order By [Rockname] ASC").arg(t)
                             << QString("SELECT count(*) FROM [%1]").arg(t);
        QTest::newRow("search basalt")
            << "SELECT * FROM [DOZIRO1]Where [Rockname] Like '*basalt*'And [Rockname] Like "
               "'**'Order By [Rockname] ASC"
            << "SELECT count(*) FROM DOZIRO1 WHERE Rockname LIKE '%basalt%'";
        QTest::newRow("search two terms")
            << "SELECT * FROM [Project3]Where [Location] Like '*ridge*'And [Location] Like "
               "'*north*'Order By [Location] ASC"
            << "SELECT count(*) FROM Project3 WHERE Location LIKE '%ridge%' AND Location LIKE "
               "'%north%'";
        QTest::newRow("search sample#")
            << "SELECT * FROM [DOZIRO1]Where [Doziro Sample#] Like '*00001*'And [Doziro "
               "Sample#] Like '**'Order By [Doziro Sample#] ASC"
            << "SELECT count(*) FROM DOZIRO1 WHERE [Doziro Sample#] LIKE '%00001%'";
        QTest::newRow("search ID")
            << "SELECT * FROM [DOZIRO1]Where [ID] Like '*7*'And [ID] Like '**'Order By [ID] ASC"
            << "SELECT count(*) FROM DOZIRO1 WHERE ID LIKE '%7%'";
        QTest::newRow("search date")
            << "SELECT * FROM [Project1]Where [Date] Like '*19*'And [Date] Like '*-0*'Order By "
               "[Date] ASC"
            << "SELECT count(*) FROM Project1 WHERE Date LIKE '%19%' AND Date LIKE '%-0%'";
        QTest::newRow("search geologist")
            << "SELECT * FROM [DOZIRO1]Where [Geologist] Like '*o'*'And [Geologist] Like "
               "'**'Order By [Geologist] ASC"
            << "SELECT -1";
        const char* columns[] = {"Rockname", "Geologist", "Date", "Location", "Doziro Sample#"};
        for (const char* c : columns) {
            for (const char* dir : {"ASC", "DESC"}) {
                QString sql = QString("SELECT * From [DOZIRO1]Order By [%1] %2").arg(c, dir);
                QTest::newRow(qPrintable(sql)) << sql << "SELECT count(*) FROM DOZIRO1";
            }
        }
    }
    void programStatementsVerbatim() {
        QFETCH(QString, sql);
        QFETCH(QString, rawCount);
        static TestData d(400);
        auto db = d.open();
        long long expected = d.rawCount(rawCount.toStdString());
        if (expected < 0) {
            // "*o'*" closes the quote early: a clear syntax error.
            QString msg;
            QCOMPARE(engineErrorOf([&] { db->OpenRecordset(sql.toStdString()); }, &msg),
                     engine::err::SyntaxError);
            QVERIFY(msg.contains(sql));
            return;
        }
        auto rs = db->OpenRecordset(sql.toStdString());
        QCOMPARE(static_cast<long long>(rs->RecordCount()), expected);
        QCOMPARE(rs->FieldCount(), 32);
        QCOMPARE(QString::fromStdString(rs->FieldNames()[4]), QString("Doziro Sample#"));
        // The rows come in the order the statement asks for, ignoring case.
        int orderColumn = -1;
        for (int c = 0; c < 5; ++c)
            if (sql.contains(
                    QString("Order By [%1]").arg(QString::fromStdString(rs->FieldNames()[c]))))
                orderColumn = c;
        if (orderColumn >= 0) {
            const bool desc = sql.endsWith("DESC");
            for (long i = 1; i < rs->RecordCount(); ++i) {
                QString a = QString::fromStdString(rs->valueAt(i - 1, orderColumn).storedText());
                QString b = QString::fromStdString(rs->valueAt(i, orderColumn).storedText());
                int cmp = QString::compare(a, b, Qt::CaseInsensitive);
                QVERIFY2(desc ? cmp >= 0 : cmp <= 0, qPrintable(a + " / " + b));
            }
        }
    }

    void onlyOneStatementIsEverRun() {
        TestData d(50);
        auto db = d.open();
        // Beside what every back end refuses: the file's own commands.
        const char* attempts[] = {
            "DELETE FROM [DOZIRO1]",
            "PRAGMA writable_schema=1",
            "ATTACH DATABASE '/tmp/x.db' AS x",
            "SELECT * FROM [DOZIRO1] WHERE 1=1 Order By [Rockname] ASC; SELECT 1",
        };
        for (const char* sql : attempts) {
            QString msg;
            QVERIFY2(engineErrorOf([&] { db->OpenRecordset(sql); }, &msg) != 0, sql);
            QVERIFY(!msg.isEmpty());
        }
        auto rs = db->OpenRecordset(kWhole);
        rs->MoveFirst();
        QVERIFY(engineErrorOf([&] { rs->FindFirst("1=1; DELETE FROM [DOZIRO1]"); }) != 0);
        QCOMPARE(d.rawCount("SELECT count(*) FROM DOZIRO1"), 50LL);
        QVERIFY(!QFile::exists("/tmp/x.db"));
    }

    void injectionThroughDoubledApostrophesFindsLiteralText() {
        TestData d(30);
        // The brackets stay a character list: "[Rockname]" stands for one letter.
        d.rawExec("UPDATE DOZIRO1 SET Rockname = 'x'' Or R Like ''' WHERE ID = 3");
        auto db = d.open();
        auto rs = db->OpenRecordset("SELECT * FROM [DOZIRO1]Where [Rockname] Like "
                                    "'*x'' Or [Rockname] Like ''*'And [Rockname] Like "
                                    "'**'Order By [Rockname] ASC");
        QCOMPARE(rs->RecordCount(), 1L);
        QCOMPARE(rs->Field(31).toInteger(), 3LL);
    }

    void permissionsOfTheWorkgroupAreEnforced() {
        TestData d(30);
        engine::TablePermissions readOnly{true, false, false, false};
        engine::Workgroup::Account acc{"reader", "pw", {{"DOZIRO1", readOnly}}};
        const std::string wg = d.dir().toStdString() + "/reader.mdw";
        engine::Workgroup::create(wg, d.identity(), {acc});
        auto& e = engine::DBEngine::instance();
        e.SystemDB = wg;
        e.DefaultUser = "READER"; // account names ignore case
        e.DefaultPassword = "pw";
        auto db = e.Workspaces(0).OpenDatabase(d.databasePath());
        auto rs = db->OpenRecordset(kWhole);
        QString msg;
        QCOMPARE(engineErrorOf(
                     [&] {
                         rs->updateRow(0, {{0, "x"}});
                     },
                     &msg),
                 engine::err::NoPermission);
        QVERIFY(msg.contains("DOZIRO1"));
        QCOMPARE(engineErrorOf([&] {
                     rs->AddNew();
                     rs->Update();
                 }),
                 engine::err::NoPermission);
        rs->MoveFirst();
        QCOMPARE(engineErrorOf([&] { rs->Delete(); }), engine::err::NoPermission);
        QCOMPARE(rs->RecordCount(), 30L);
        QCOMPARE(engineErrorOf([&] { db->OpenRecordset("SELECT * FROM [Project1]"); }),
                 engine::err::NoPermission);
        QCOMPARE(d.rawCount("SELECT count(*) FROM DOZIRO1 WHERE Rockname = 'x'"), 0LL);
    }

    void substringIndexGivesExactlyTheLikeRows() {
        TestData d(800);
        TestData plain(800); // the same rows (same seed), without the index
        plain.rawExec("DROP TRIGGER [DOZIRO1_trigram_insert]; DROP TRIGGER "
                      "[DOZIRO1_trigram_delete]; DROP TRIGGER [DOZIRO1_trigram_update]; DROP "
                      "TABLE [DOZIRO1_trigram]");
        auto db = d.open();
        auto keysOf = [](engine::Database& on, const std::string& column, const std::string& term) {
            auto rs =
                on.OpenRecordset("SELECT * FROM [DOZIRO1]Where [" + column + "] Like '*" + term +
                                 "*'And [" + column + "] Like '**'Order By [" + column + "] ASC");
            std::vector<std::int64_t> keys;
            for (long i = 0; i < rs->RecordCount(); ++i)
                keys.push_back(rs->keyAt(i));
            return keys;
        };
        auto rawCount = [&](const std::string& column, const std::string& term) {
            return d.rawCount("SELECT count(*) FROM DOZIRO1 WHERE [" + column + "] LIKE '%" + term +
                              "%'");
        };
        const std::pair<const char*, const char*> searches[] = {
            {"Rockname", "basalt"},        {"Rockname", "BASALT"}, {"Location", "site"},
            {"Location", "Mount Oss"},     {"Geologist", "an"},    {"Date", "-0"},
            {"Doziro Sample#", "dz-0001"}, {"Rockname", "ite"},    {"Rockname", "b?salt"},
            {"Rockname", "[bt]asalt"},     {"Location", "Söder"},  {"Location", "Geyser"},
            {"Date", "#"},                 {"Rockname", "[a-c]asalt"}};
        {
            plain.logOnAsProgram();
            auto other = plain.open();
            d.logOnAsProgram();
            for (const auto& [column, term] : searches)
                QCOMPARE(keysOf(*db, column, term), keysOf(*other, column, term));
            // A pattern without a leading star is never looked up in the index.
            const std::string sql = "SELECT * FROM [DOZIRO1]Where [Rockname] Like 'Basalt*'";
            QCOMPARE(db->OpenRecordset(sql)->keys(), other->OpenRecordset(sql)->keys());
            QVERIFY(!db->OpenRecordset(sql)->keys().empty());
        }
        for (const auto& [column, term] : searches)
            if (std::string(term).find_first_of("?[#") == std::string::npos)
                QCOMPARE(static_cast<long long>(keysOf(*db, column, term).size()),
                         rawCount(column, term));
        // Kept in step with the engine's own writes.
        auto rs = db->OpenRecordset("SELECT * FROM [DOZIRO1]", false);
        rs->updateRow(3, {{0, "Zzqbasaltqzz"}});
        rs->AddNew();
        const auto key = rs->Update();
        rs->updateRow(rs->indexOfKey(key), {{3, "Far qbasaltq Ridge"}});
        QCOMPARE(keysOf(*db, "Rockname", "qbasaltq").size(), size_t(1));
        QCOMPARE(keysOf(*db, "Location", "qbasaltq").size(), size_t(1));
        rs->setAbsolutePosition(3);
        rs->Delete();
        QCOMPARE(keysOf(*db, "Rockname", "qbasaltq").size(), size_t(0));
        QCOMPARE(static_cast<long long>(keysOf(*db, "Rockname", "basalt").size()),
                 rawCount("Rockname", "basalt"));
        // A damaged index: the same rows, the ordinary way.
        const auto before = keysOf(*db, "Location", "site");
        d.rawExec("DELETE FROM [DOZIRO1_trigram_data]");
        auto damaged = d.open();
        QCOMPARE(keysOf(*damaged, "Location", "site"), before);
    }

    void fullDiskChangesNothing() {
        TestData d(30);
        const QByteArray before = fileBytes(d.databasePath());
        int fds[2];
        QVERIFY(pipe(fds) == 0);
        pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            signal(SIGXFSZ, SIG_IGN);
            auto db = d.open();
            auto rs = db->OpenRecordset(kWhole);
            struct rlimit lim {
                static_cast<rlim_t>(before.size()), static_cast<rlim_t>(before.size())
            };
            setrlimit(RLIMIT_FSIZE, &lim);
            int number = 0;
            try {
                for (int i = 0; i < 5000; ++i)
                    rs->updateRow(i % 30, {{3, std::string(3000, 'L')}});
            } catch (const EngineError& e) {
                number = e.number();
            }
            (void)!write(fds[1], &number, sizeof number);
            _exit(0);
        }
        close(fds[1]);
        int number = -1;
        QCOMPARE(read(fds[0], &number, sizeof number), static_cast<ssize_t>(sizeof number));
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        QCOMPARE(number, engine::err::DiskError);
        QCOMPARE(
            d.rawCount("SELECT count(*) FROM pragma_integrity_check WHERE integrity_check='ok'"),
            1LL);
        QCOMPARE(d.rawCount("SELECT count(*) FROM DOZIRO1"), 30LL);
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
