// Where an installed and a portable program keep their files, and how the
// user's data folder is made: seeded once, never overwritten, never left
// half-copied, and refused with its path and reason when it cannot be made.
#include "platform/program/DataFolder.h"

#include <QtTest>

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// An installed tree: prefix/bin and prefix/share/quarzel with the shipped files.
struct Installed {
    Installed() {
        QDir(dir.path()).mkpath("usr/bin");
        QDir(dir.path()).mkpath("usr/share/quarzel");
        writeFile(share() + "/quarzdb32.mdb", QByteArray(300000, 'd'));
        writeFile(share() + "/tarnvel.mdw", "workgroup");
    }
    QString bin() const { return dir.path() + "/usr/bin"; }
    QString share() const { return dir.path() + "/usr/share/quarzel"; }
    QTemporaryDir dir;
};

QString errorOf(const DataFolder::Places& p) {
    try {
        DataFolder::prepare(p);
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

} // namespace

class TestDataFolder : public QObject {
    Q_OBJECT
private slots:
    void whereTheFilesAre() {
        Installed inst;
        QTemporaryDir home;
        // Installed: the user's data folder, the help from share/quarzel.
        auto p = DataFolder::locate(inst.bin(), QString(), home.path());
        QVERIFY(p.installed);
        QCOMPARE(p.data, home.path() + "/.local/share/quarzel");
        QCOMPARE(p.resources, inst.share());
        p = DataFolder::locate(inst.bin(), home.path() + "/xdg", home.path());
        QCOMPARE(p.data, home.path() + "/xdg/quarzel");
        p = DataFolder::locate(inst.bin(), "relative/xdg", home.path()); // not a valid value
        QCOMPARE(p.data, home.path() + "/.local/share/quarzel");
        // A program folder holding a database it may write to keeps everything.
        writeFile(inst.bin() + "/quarzdb32.mdb", "db");
        p = DataFolder::locate(inst.bin(), QString(), home.path());
        QVERIFY(!p.installed);
        QCOMPARE(p.data, inst.bin());
        QCOMPARE(p.resources, inst.bin());
    }

    void seededOnceAndNeverOverwritten() {
        Installed inst;
        QTemporaryDir home, other;
        const auto p = DataFolder::locate(inst.bin(), QString(), home.path());
        QCOMPARE(errorOf(p), QString());
        QCOMPARE(readFile(p.data + "/quarzdb32.mdb"), QByteArray(300000, 'd'));
        QCOMPARE(readFile(p.data + "/tarnvel.mdw"), QByteArray("workgroup"));
        QCOMPARE(QDir(p.data).entryList(QDir::Files).size(), 2); // no temporary left
        // The user's edits stay, whatever a newer package ships.
        writeFile(p.data + "/quarzdb32.mdb", "the user's own rows");
        writeFile(inst.share() + "/quarzdb32.mdb", "a newer sample");
        QCOMPARE(errorOf(p), QString());
        QCOMPARE(readFile(p.data + "/quarzdb32.mdb"), QByteArray("the user's own rows"));
        // Another user gets a copy of their own.
        const auto q = DataFolder::locate(inst.bin(), QString(), other.path());
        QCOMPARE(errorOf(q), QString());
        QCOMPARE(readFile(q.data + "/quarzdb32.mdb"), QByteArray("a newer sample"));
        QCOMPARE(readFile(p.data + "/quarzdb32.mdb"), QByteArray("the user's own rows"));
        // The installed tree was only read.
        QCOMPARE(QDir(inst.share()).entryList(QDir::Files).size(), 2);
    }

    void interruptedCopyIsNeverTakenForADatabase() {
        Installed inst;
        QTemporaryDir home;
        const auto p = DataFolder::locate(inst.bin(), QString(), home.path());
        // What a kill in the middle of the first copy leaves behind.
        QDir().mkpath(p.data);
        writeFile(p.data + "/quarzdb32.mdb.part", QByteArray(1000, 'd'));
        QVERIFY(!QFile::exists(p.data + "/quarzdb32.mdb"));
        QCOMPARE(errorOf(p), QString());
        QCOMPARE(readFile(p.data + "/quarzdb32.mdb"), QByteArray(300000, 'd'));
        QVERIFY(!QFile::exists(p.data + "/quarzdb32.mdb.part"));
    }

    void folderThatCannotBeMadeIsReported() {
        Installed inst;
        QTemporaryDir home;
        // A file where the folder should be.
        QDir().mkpath(home.path() + "/.local/share");
        writeFile(home.path() + "/.local/share/quarzel", "in the way");
        auto p = DataFolder::locate(inst.bin(), QString(), home.path());
        QString msg = errorOf(p);
        QVERIFY2(msg.contains("'" + p.data + "'") && msg.contains("stands in its place"),
                 qPrintable(msg));
        QCOMPARE(readFile(p.data), QByteArray("in the way"));
        // A parent that is not a folder.
        p = DataFolder::locate(inst.bin(), home.path() + "/.local/share/quarzel/xdg", home.path());
        msg = errorOf(p);
        QVERIFY2(msg.startsWith("Cannot create the data folder '" + p.data + "': "),
                 qPrintable(msg));
        QVERIFY2(msg.contains("Not a directory", Qt::CaseInsensitive), qPrintable(msg));
        // A shipped file gone from the installation.
        QFile::remove(inst.share() + "/tarnvel.mdw");
        QTemporaryDir fresh;
        msg = errorOf(DataFolder::locate(inst.bin(), QString(), fresh.path()));
        QVERIFY2(msg.contains(inst.share() + "/tarnvel.mdw") && msg.contains("missing"),
                 qPrintable(msg));
    }
};

QTEST_MAIN(TestDataFolder)
#include "tst_datafolder.moc"
