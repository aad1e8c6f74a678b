// Logging on to a collection on a server: always as a person, asked for a
// password only when the server wants one, remembered only when asked, and
// never sent to a server that cannot prove it is the one named.
#include "ServerInit.h"
#include "app/QuarzelDatabase.h"
#include "platform/data/DBGrid.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/pg/PgConnection.h"
#include "platform/dialogs/LogOnDialog.h"
#include "platform/settings/DatabaseSetting.h"
#include "schema/Schema.h"
#include "support/GuiFixture.h"
#include "support/ServerData.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <sstream>
#include <thread>

namespace {

// Answers the log-on dialog from a list, keeping each question.
struct LogOnAnswers : LogOnDialog::Implementation {
    std::vector<std::optional<LogOnDialog::Answer>> answers;
    std::vector<LogOnDialog::Question> asked;
    std::optional<LogOnDialog::Answer> ask(const LogOnDialog::Question& q) override {
        asked.push_back(q);
        if (asked.size() > answers.size())
            return std::nullopt;
        return answers[asked.size() - 1];
    }
};

// Whatever answers at an address: refuses TLS, then asks for the password
// in clear and keeps what it is sent. One connection, on a thread.
class FakeServer {
public:
    FakeServer() {
        listener_ = loopbackSocket(port_);
        listen(listener_, 1);
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeServer() {
        thread_.join();
        close(listener_);
    }
    int port() const { return port_; }
    // What the client sent as its password, after the client has gone.
    std::string password() {
        thread_.join();
        thread_ = std::thread([] {});
        return password_;
    }

private:
    static bool readAll(int fd, char* to, std::size_t n) {
        while (n) {
            const ssize_t got = read(fd, to, n);
            if (got <= 0)
                return false;
            to += got;
            n -= static_cast<std::size_t>(got);
        }
        return true;
    }
    static std::uint32_t number(const char* p) {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return ntohl(v);
    }
    void serve() {
        pollfd waiting{listener_, POLLIN, 0};
        if (poll(&waiting, 1, 60000) != 1)
            return;
        const int fd = accept(listener_, nullptr, nullptr);
        char head[8];
        while (readAll(fd, head, 8)) {
            const std::uint32_t length = number(head), code = number(head + 4);
            if (length == 8 && (code == 80877103 || code == 80877104)) { // TLS, GSS
                write(fd, "N", 1);
                continue;
            }
            std::string rest(length - 8, '\0');
            if (!readAll(fd, rest.data(), rest.size()))
                break;
            const char cleartext[] = {'R', 0, 0, 0, 8, 0, 0, 0, 3};
            write(fd, cleartext, sizeof cleartext);
            char type, size[4];
            if (readAll(fd, &type, 1) && type == 'p' && readAll(fd, size, 4)) {
                std::string pw(number(size) - 4, '\0');
                if (readAll(fd, pw.data(), pw.size()))
                    password_ = pw.c_str();
            }
            break;
        }
        close(fd);
    }

    int listener_ = -1;
    int port_ = 0;
    std::string password_;
    std::thread thread_;
};

// Makes the server want a password of this account, and waits until it does.
void requirePassword(const ServerData& server, const std::string& role) {
    engine::PgConnection pg(engine::PgLogOn{server.conninfo(), {}, {}, false});
    const QString hba = QString::fromStdString(pg.exec("SHOW hba_file").text(0, 0));
    QFile file(hba);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray rules = file.readAll();
    file.close();
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("local all " + QByteArray::fromStdString(role) + " scram-sha-256\n" + rules);
    file.close();
    pg.exec("SELECT pg_reload_conf()");
    QTRY_VERIFY_WITH_TIMEOUT(engineErrorOf([&] {
                                 engine::Database::openServer(server.conninfo(), role, {}, true);
                             }) == engine::err::BadAccount,
                             60000);
}

} // namespace

class TestLogOn : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        LogOnDialog::setImplementation(nullptr);
        qunsetenv("PGPASSFILE");
    }

    // The settings' server as libpq is given it: TLS with the name checked
    // for a server elsewhere, no value adding settings of its own.
    void settingsNameTheServer() {
        auto s = DatabaseSetting::fromValues("", "x", "");
        QVERIFY(!s.onServer && s.error.isEmpty());
        s = DatabaseSetting::fromValues("db.example.org", "", "");
        QCOMPARE(s.openName,
                 QString("server:host='db.example.org' dbname='quarzel' sslmode=verify-full"));
        s = DatabaseSetting::fromValues(" db:5433 ", "survey", "ann");
        QCOMPARE(s.openName,
                 QString("server:host='db' port=5433 dbname='survey' sslmode=verify-full"));
        QCOMPARE(s.user, QString("ann"));
        s = DatabaseSetting::fromValues("[::1]:6000", "survey", "");
        QCOMPARE(s.openName, QString("server:host='::1' port=6000 dbname='survey'"));
        // A name cannot add settings of its own to the connection.
        s = DatabaseSetting::fromValues("db", "x' host='evil", "");
        QCOMPARE(s.openName,
                 QString("server:host='db' dbname='x\\' host=\\'evil' sslmode=verify-full"));
        // A server elsewhere is reached over TLS with its name checked unless
        // the settings say otherwise; one on this machine as libpq chooses.
        QCOMPARE(s.port, QString("5432"));
        for (const char* local : {"localhost", "127.0.0.1", "[::1]", "/run/postgresql"})
            QVERIFY2(!DatabaseSetting::fromValues(local, "", "").openName.contains("sslmode"),
                     local);
        s = DatabaseSetting::fromValues("db:5433", "survey", "ann", " Require ", "/etc/ca's.crt");
        QCOMPARE(s.openName, QString("server:host='db' port=5433 dbname='survey' sslmode=require "
                                     "sslrootcert='/etc/ca\\'s.crt'"));
        s = DatabaseSetting::fromValues("db", "", "", "require host=evil");
        QVERIFY2(s.error.contains("SslMode"), qPrintable(s.error));
        for (const char* bad : {"db:abc", "db:0", "db:70000", ":5432", "[::1", "[::1]x"}) {
            s = DatabaseSetting::fromValues(bad, "survey", "");
            QVERIFY2(s.error.contains("host[:port]"), bad);
        }
    }

    // A fake server at the address gets the password in clear from a
    // connection that does not insist on TLS, and nothing from one that does.
    void noPasswordToAServerWithoutTls() {
        {
            FakeServer fake;
            const std::string at = "host=127.0.0.1 port=" + std::to_string(fake.port()) +
                                   " dbname=quarzel sslmode=prefer";
            engineErrorOf([&] { engine::Database::openServer(at, "ann", "basin47fox", true); });
            QCOMPARE(fake.password(), std::string("basin47fox"));
        }
        FakeServer fake;
        const DatabaseSetting s = DatabaseSetting::fromValues(
            "127.0.0.1:" + QString::number(fake.port()), "quarzel", "ann", "verify-full");
        QString message;
        QCOMPARE(engineErrorOf(
                     [&] {
                         engine::Database::openServer(s.openName.mid(7).toStdString(), "ann",
                                                      "basin47fox", true);
                     },
                     &message),
                 engine::err::CannotOpen);
        QVERIFY2(message.contains("no encrypted connection"), qPrintable(message));
        QCOMPARE(fake.password(), std::string());
    }

    // The window asks for the password the server wants, again after a
    // wrong one, remembers it in libpq's file only when asked, and opens
    // the collection as that person; cancelled, it opens nothing, and the
    // server has no account of the program's to fall back on.
    void theWindowLogsOnAsAPerson() {
        if (!ServerData::available())
            QSKIP("no test server");
        GuiFixture f(10);
        ServerData server(f.data());
        std::ostringstream report;
        engine::Workgroup::Account ann{"ann", {}, {}};
        for (const char* t : schema::kTables)
            ann.tables[t] = engine::TablePermissions{true, true, true, true};
        serverGrant(server.conninfo(), {ann}, report);
        server.admin("ALTER ROLE ann PASSWORD 'basin47fox'");
        requirePassword(server, "ann");
        QCOMPARE(server.count("SELECT count(*) FROM pg_roles WHERE rolname = 'quarzel'"), 0LL);

        QTemporaryDir home;
        qputenv("PGPASSFILE", (home.path() + "/pgpass").toUtf8());
        f.settings.database = {
            {"Server", qEnvironmentVariable("PGHOST") + ":" + qEnvironmentVariable("PGPORT")},
            {"Name", QString::fromStdString(server.name())},
            {"User", "ann"}};
        LogOnAnswers answers;
        answers.answers = {LogOnDialog::Answer{"ann", "wrong", false},
                           LogOnDialog::Answer{"ann", "basin47fox", true}};
        LogOnDialog::setImplementation(&answers);
        auto& w = f.start();
        QCOMPARE(answers.asked.size(), std::size_t(2));
        QCOMPARE(answers.asked[0].user, QString("ann"));
        QCOMPARE(answers.asked[0].problem, QString()); // not yet a fault of the user's
        QVERIFY2(answers.asked[1].problem.contains("password authentication failed"),
                 qPrintable(answers.asked[1].problem));
        QTRY_COMPARE(w.Label3->text(), QString("10 Records"));
        QVERIFY(f.messages.shown.empty());
        QCOMPARE(engine::DBEngine::instance().DefaultUser, std::string("ann"));
        QFile pgpass(home.path() + "/pgpass");
        struct stat mode {};
        QCOMPARE(stat(qPrintable(pgpass.fileName()), &mode), 0);
        QCOMPARE(mode.st_mode & 0777, 0600u); // its owner's alone, as libpq wants it
        QVERIFY(pgpass.open(QIODevice::ReadOnly));
        QCOMPARE(pgpass.readAll(),
                 (qEnvironmentVariable("PGHOST") + ":" + qEnvironmentVariable("PGPORT") + ":" +
                  QString::fromStdString(server.name()) + ":ann:basin47fox\n")
                     .toUtf8());

        // Remembered: the next start asks nothing.
        answers.asked.clear();
        engine::DBEngine::instance().DefaultPassword.clear();
        auto& again = f.start();
        QVERIFY(answers.asked.empty());
        QTRY_COMPARE(again.Label3->text(), QString("10 Records"));

        // No account in the settings: asked, and cancelled, nothing opens.
        f.settings.database.remove("User");
        qputenv("PGPASSFILE", (home.path() + "/none").toUtf8());
        answers.asked.clear();
        answers.answers = {std::nullopt};
        f.start();
        QCOMPARE(answers.asked.size(), std::size_t(1));
        QCOMPARE(f.messages.shown.size(), std::size_t(1));
        QVERIFY2(f.messages.shown[0].text.startsWith("Not logged on"),
                 qPrintable(f.messages.shown[0].text));
    }

    // An edit the server cannot take while it is down stays in the grid,
    // is offered on the clipboard when the window closes (which the user
    // may refuse), and is saved once the server is back.
    void anEditWaitsForTheServer() {
        if (!ServerData::available())
            QSKIP("no test server");
        GuiFixture f(10);
        ServerData server(f.data());
        f.settings.database = {
            {"Server", qEnvironmentVariable("PGHOST") + ":" + qEnvironmentVariable("PGPORT")},
            {"Name", QString::fromStdString(server.name())},
            {"User", ServerData::kTester}};
        auto& w = f.start();
        QTRY_COMPARE(w.Label3->text(), QString("10 Records"));
        trigger(w, "mnuEdit2", 0);
        QAbstractItemModel* grid = w.vaSpread1->model();
        const QModelIndex cell = grid->index(2, 3); // Location
        QVERIFY(grid->setData(cell, "Kept while down"));
        ServerData::stopServer();
        QTest::mouseClick(w.Command1[1], Qt::LeftButton); // Refresh
        QVERIFY(!f.messages.shown.empty());
        QVERIFY2(f.messages.shown.front().text.contains("stays in the grid"),
                 qPrintable(f.messages.shown.front().text));
        QCOMPARE(grid->data(cell).toString(), QString("Kept while down"));
        f.messages.answer = false; // Keep Open
        w.show();
        QVERIFY(!w.close());
        QCOMPARE(f.messages.asked.size(), std::size_t(1));
        QVERIFY(f.messages.asked[0].contains("Location: Kept while down"));
        QVERIFY(QGuiApplication::clipboard()->text().contains("Location: Kept while down"));
        ServerData::startServer();
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QTest::mouseClick(w.Command1[1], Qt::LeftButton);
                return server.count("SELECT count(*) FROM \"DOZIRO1\" WHERE \"Location\" = "
                                    "'Kept while down'") == 1;
            }(),
            30000);
    }
};

QTEST_MAIN(TestLogOn)
#include "tst_logon.moc"
