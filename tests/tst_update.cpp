#include "app/QuarzelDatabase.h"
#include "platform/ftp/FtpClient.h"
#include "support/GuiFixture.h"
#include "update/UpdateController.h"
#include "update/frmFTP.h"

#include <QCryptographicHash>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// A real FTP server on 127.0.0.1 and a free port, for one test.
class FtpServer {
public:
    explicit FtpServer(const QStringList& options = {}) {
        QDir(root.path()).mkpath(".");
        process.setProgram("/usr/bin/python3");
        process.setArguments(QStringList{QUARZEL_FTP_SERVER, root.path(), "tester", "secret"} +
                             options);
        process.start();
        if (process.waitForReadyRead(10000))
            port = process.readLine().trimmed().toInt();
    }
    ~FtpServer() { kill(); }
    void kill() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    QByteArray put(const QString& name, qint64 size) {
        QByteArray data(size, '\0');
        for (qint64 i = 0; i < size; ++i)
            data[i] = static_cast<char>((i * 131 + 7) % 251);
        QFile f(root.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(data);
        return data;
    }
    QString address() const { return QString("127.0.0.1:%1").arg(port); }

    QTemporaryDir root;
    QProcess process;
    int port = 0;
};

int freePort() {
    int port = 0;
    close(loopbackSocket(port)); // closed again: nobody answers there
    return port;
}

struct UpdateFixture : GuiFixture {
    UpdateFixture() : GuiFixture(10) {
        auto& w = start();
        w.updates().ShowUpdateWindow();
        ftp = w.updates().updateWindow();
    }
    void connectTo(const QString& address, const QString& password = "secret") {
        ftp->txtFTPURL->setText(address);
        ftp->txtUserName->setText("tester");
        ftp->txtPassword->setText(password);
        ftp->cmdConnect->click();
    }
    QStringList remoteFiles() const {
        QStringList names;
        for (int i = 0; i < ftp->ListView1->count(); ++i)
            names << ftp->ListView1->item(i)->text();
        return names;
    }
    QString log() const { return ftp->messageText(); }
    // An archive from an earlier download, which a failed one must keep.
    void keepAnEarlierArchive() {
        QFile old(target());
        old.open(QIODevice::WriteOnly);
        old.write("the earlier archive");
    }
    // Nothing but the finished archive may lie in the program's folder.
    QStringList leftovers() const {
        QStringList l = QDir(data().dir()).entryList({"stupdate*", "*.zip*"}, QDir::Files);
        l.removeAll("stupdate.zip");
        return l;
    }
    TestData& data() const { return const_cast<UpdateFixture*>(this)->GuiFixture::data(); }
    QString target() const {
        return const_cast<UpdateFixture*>(this)->GuiFixture::data().dir() + "/stupdate.zip";
    }
    frmFTP* ftp = nullptr;
};

QByteArray sha(const QByteArray& b) {
    return QCryptographicHash::hash(b, QCryptographicHash::Sha256);
}

QByteArray fileContents(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

class TestUpdate : public QObject {
    Q_OBJECT
private slots:
    void windowAtLoad() {
        UpdateFixture f;
        QCOMPARE(f.ftp->windowTitle(), QString("Quarzel Ftp"));
        QCOMPARE(f.ftp->txtPassword->echoMode(), QLineEdit::Password);
        QCOMPARE(f.ftp->txtUserName->echoMode(), QLineEdit::Password);
        QCOMPARE(f.ftp->txtPassword->text(), QString("shale71"));
        QCOMPARE(f.ftp->Text1->toPlainText(), f.ftp->LocalUpdateFile.toLower());
        QVERIFY(f.ftp->LocalUpdateFile.endsWith("/stupdate.zip"));
        QVERIFY(!f.ftp->parentWidget());
        f.ftp->AddLogLine("one");
        f.ftp->AddLogLine("two");
        QCOMPARE(f.log(), QString("two\r\none\r\n"));
        // An unusable server name: the connect button's own message.
        f.ftp->txtFTPURL->setText("");
        f.ftp->cmdConnect->click();
        QCOMPARE(f.messages.shown.size(), size_t(1));
        QVERIFY(f.messages.shown[0].text.startsWith(" 380: "));
        QCOMPARE(f.messages.shown[0].title, QString("Error with connect button"));
        QCOMPARE(f.messages.shown[0].style, 0);
    }

    void listingAndDownload() {
        FtpServer server;
        QVERIFY(server.port > 0);
        const QByteArray archive = server.put("stupdate.zip", 1000);
        server.put("readme.txt", 10);
        UpdateFixture f;
        f.connectTo(server.address());
        QTRY_VERIFY_WITH_TIMEOUT(f.ftp->ListView1->count() == 3, 10000);
        QStringList files = f.remoteFiles();
        QCOMPARE(files.takeFirst(), QString(".."));
        files.sort();
        QCOMPARE(files, QStringList({"readme.txt", "stupdate.zip"}));
        QVERIFY(!f.ftp->ListView1->item(0)->icon().isNull());

        f.ftp->cmdGet[0]->click();
        QTRY_VERIFY_WITH_TIMEOUT(f.log().contains("Download complete"), 10000);
        QCOMPARE(fileContents(f.target()).size(), 1000);
        QCOMPARE(sha(fileContents(f.target())), sha(archive));
        QCOMPARE(f.ftp->windowTitle(), QString("Transferring 1000 of 1000"));
        QVERIFY(f.leftovers().isEmpty());

        // Twice: the same file asked for again, and replaced whole.
        const QByteArray newer = server.put("stupdate.zip", 2000);
        f.ftp->cmdGet[0]->click();
        QTRY_VERIFY_WITH_TIMEOUT(f.log().count("Download complete") == 2, 10000);
        QCOMPARE(f.log().count("Starting Download..."), 2);
        QCOMPARE(sha(fileContents(f.target())), sha(newer));
        QVERIFY(f.messages.shown.empty());

        // A second listing (the logon's was used): started, and told when in.
        QSignalSpy ready(f.ftp->oftp, &FtpClient::ListReady);
        server.put("notes.txt", 5);
        QVERIFY(!f.ftp->oftp->List("*.txt"));
        QVERIFY(ready.wait(10000));
        QCOMPARE(ready.first().first().toBool(), true);
        QStringList txt = f.ftp->oftp->Files;
        txt.sort();
        QCOMPARE(txt, QStringList({"notes.txt", "readme.txt"}));
    }

    void refusedListingStillConnects() {
        FtpServer server({"--refuse-listing"});
        const QByteArray archive = server.put("stupdate.zip", 3000);
        UpdateFixture f;
        f.connectTo(server.address());
        QTRY_VERIFY_WITH_TIMEOUT(f.log().contains("Logged on"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(f.remoteFiles(), QStringList({".."}), 5000);
        QVERIFY2(!f.log().contains("Error"), qPrintable(f.log()));
        QVERIFY(f.ftp->oftp->isConnected());
        f.ftp->cmdGet[0]->click();
        QTRY_VERIFY_WITH_TIMEOUT(f.log().contains("Download complete"), 10000);
        QCOMPARE(sha(fileContents(f.target())), sha(archive));
    }

    void accountIsMaskedAndNotLogged() {
        FtpServer server;
        UpdateFixture f;
        f.connectTo(server.address());
        QTRY_VERIFY_WITH_TIMEOUT(f.log().contains("Logged on"), 10000);
        QCOMPARE(f.ftp->txtUserName->displayText(), QString("******"));
        QCOMPARE(f.ftp->txtPassword->displayText(), QString("******"));
        QVERIFY2(f.log().contains("Logged on to 127.0.0.1\r\n"), qPrintable(f.log()));
        QVERIFY(!f.log().contains("tester"));
    }

    void fullDiskKeepsTheEarlierArchive() {
        FtpServer server;
        server.put("stupdate.zip", 400000);
        UpdateFixture f;
        f.keepAnEarlierArchive();
        f.connectTo(server.address());
        QTRY_VERIFY_WITH_TIMEOUT(f.log().contains("Logged on"), 10000);
        // No file of this process may grow past 64 KiB: the disk is full
        // for the download's temporary file.
        signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 64 * 1024;
        setrlimit(RLIMIT_FSIZE, &small);
        f.ftp->cmdGet[0]->click();
        QTRY_VERIFY_WITH_TIMEOUT(f.log().contains("Error"), 10000);
        setrlimit(RLIMIT_FSIZE, &saved);
        QVERIFY2(f.log().contains("Error : 1004 -- Cannot write the downloaded file: the disk is "
                                  "full. The earlier update archive is kept."),
                 qPrintable(f.log()));
        QCOMPARE(fileContents(f.target()), QByteArray("the earlier archive"));
        QVERIFY(f.leftovers().isEmpty());
    }

    void emptyDirectoryShowsOnlyTheParent() {
        FtpServer server;
        UpdateFixture f;
        f.connectTo(server.address());
        QTRY_VERIFY_WITH_TIMEOUT(f.log().contains("Logged on"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(f.remoteFiles(), QStringList({".."}), 5000);
    }

    void cancelInTheMiddleKeepsTheEarlierArchive() {
        FtpServer server({"--throttle", "40000"});
        server.put("stupdate.zip", 400000);
        UpdateFixture f;
        f.keepAnEarlierArchive();
        f.connectTo(server.address());
        QTRY_VERIFY_WITH_TIMEOUT(f.log().contains("Logged on"), 10000);
        f.ftp->cmdGet[0]->click();
        QTRY_VERIFY_WITH_TIMEOUT(f.ftp->windowTitle().startsWith("Transferring"), 10000);
        QVERIFY(f.ftp->oftp->isTransferring());
        f.ftp->CmdCancel->click();
        QVERIFY(!f.ftp->oftp->isTransferring()); // stopped at once
        QVERIFY(f.log().startsWith("Download Stopped\r\n"));
        QCOMPARE(fileContents(f.target()), QByteArray("the earlier archive"));
        QVERIFY(f.leftovers().isEmpty());
        // Still usable: a new download runs.
        server.kill();
        FtpServer fast;
        const QByteArray data = fast.put("stupdate.zip", 5000);
        f.connectTo(fast.address());
        QTRY_VERIFY_WITH_TIMEOUT(f.log().count("Logged on") == 2, 10000);
        f.ftp->cmdGet[0]->click();
        QTRY_VERIFY_WITH_TIMEOUT(f.log().contains("Download complete"), 10000);
        QCOMPARE(sha(fileContents(f.target())), sha(data));
    }

    void failures_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected");
        QTest::newRow("refused") << "refused"
                                 << "Error : 10061 -- Connection refused";
        QTest::newRow("wrong password") << "password"
                                        << "Error : 530 -- Login incorrect.";
        QTest::newRow("missing remote file")
            << "missing"
            << "Error : 550 -- File not found on the server: stupdate.zip.";
        QTest::newRow("killed mid-transfer") << "killed"
                                             << "Error : 10054 -- Connection lost";
        QTest::newRow("stalled") << "stall"
                                 << "Error : 10060 -- Timed out";
    }
    void failures() {
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        QStringList options;
        if (kind == "killed")
            options = {"--throttle", "20000"};
        if (kind == "stall")
            options = {"--stall"};
        FtpServer server(options);
        if (kind != "missing")
            server.put("stupdate.zip", 300000);
        UpdateFixture f;
        f.connectTo(kind == "refused" ? QString("127.0.0.1:%1").arg(freePort()) : server.address(),
                    kind == "password" ? "wrong" : "secret");
        f.ftp->oftp->Timeout = 2;
        if (kind != "refused" && kind != "password") {
            QTRY_VERIFY_WITH_TIMEOUT(f.log().contains("Logged on"), 10000);
            f.ftp->cmdGet[0]->click();
            if (kind == "killed") {
                QTRY_VERIFY_WITH_TIMEOUT(f.ftp->windowTitle().startsWith("Transferring"), 10000);
                server.kill();
            }
        }
        QTRY_VERIFY2_WITH_TIMEOUT(f.log().contains(expected), qPrintable(f.log()), 20000);
        QVERIFY(!QFile::exists(f.target()));
        QVERIFY(f.leftovers().isEmpty());
        QVERIFY(f.messages.shown.empty());
        // The window stays usable.
        f.ftp->AddLogLine("still here");
        QVERIFY(f.log().startsWith("still here"));
    }

    void closingDisconnectsAndLeavesNoPartialFile() {
        FtpServer server({"--throttle", "20000"});
        server.put("stupdate.zip", 300000);
        UpdateFixture f;
        // Not connected: the component is still asked to disconnect.
        QSignalSpy idle(f.ftp->oftp, &FtpClient::Disconnected);
        f.ftp->close();
        QCOMPARE(idle.count(), 1);
        QVERIFY(!f.ftp->oftp);
        // Shown again: loaded afresh.
        f.window().updates().ShowUpdateWindow();
        QCOMPARE(f.window().updates().updateWindow(), f.ftp);
        QCOMPARE(f.ftp->windowTitle(), QString("Quarzel Ftp"));
        QVERIFY(f.log().isEmpty());
        QCOMPARE(f.ftp->ListView1->count(), 0);
        // Closed during a transfer.
        f.connectTo(server.address());
        QTRY_VERIFY_WITH_TIMEOUT(f.log().contains("Logged on"), 10000);
        f.ftp->cmdGet[0]->click();
        QTRY_VERIFY_WITH_TIMEOUT(f.ftp->windowTitle().startsWith("Transferring"), 10000);
        f.ftp->close();
        QVERIFY(!QFile::exists(f.target()));
        QVERIFY(f.leftovers().isEmpty());
        // And when the program ends during a transfer.
        f.window().updates().ShowUpdateWindow();
        f.connectTo(server.address());
        QTRY_VERIFY_WITH_TIMEOUT(f.log().contains("Logged on"), 10000);
        f.ftp->cmdGet[0]->click();
        QTRY_VERIFY_WITH_TIMEOUT(f.ftp->windowTitle().startsWith("Transferring"), 10000);
        const QString dir = f.data().dir();
        f.stop(); // the main window goes, as at the end of main()
        QVERIFY(!QFile::exists(dir + "/stupdate.zip"));
        QVERIFY(QDir(dir).entryList({"stupdate*"}, QDir::Files).isEmpty());
    }
};

QTEST_MAIN(TestUpdate)
#include "tst_update.moc"
