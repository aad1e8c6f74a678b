#include "Version.h"
#include "about/Module1.h"
#include "about/frmAbout.h"
#include "form/Globals.h"
#include "app/MainMenu.h"
#include "app/QuarzelDatabase.h"
#include "about/AboutController.h"
#include "platform/help/ChmFile.h"
#include "platform/help/HelpWindow.h"
#include "platform/help/HtmlHelp.h"
#include "platform/program/ProgramInfo.h"
#include "platform/registry/Registry.h"
#include "platform/shell/Shell.h"
#include "support/GuiFixture.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

namespace {

class FixedShell : public Shell::Implementation {
public:
    int execute(const QString& file, const QString&, const QString& directory) override {
        files << file;
        dirs << directory;
        return result;
    }
    int result = 42;
    QStringList files, dirs;
};

// A stand-in opener that exits with the given code and notes where it ran.
QString fakeOpener(const QString& dir, const QString& body) {
    const QString path = dir + "/opener.sh";
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(("#!/bin/sh\npwd > " + dir + "/opener-cwd\n" + body + "\n").toUtf8());
    f.close();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

void writeRegistry(const QString& path, const QString& text) {
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(text.toUtf8());
}

} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        Shell::setImplementation(nullptr);
        Shell::setOpener(QString());
        Registry::setStorePath(QString());
        HtmlHelp::HtmlHelpA(nullptr, QString(), HtmlHelp::HH_CLOSE_ALL, 0);
    }

    void helpFileOpensAtItsDefaultTopic() {
        GuiFixture f(10);
        QVERIFY(QFile::copy(QUARZEL_BIN_DIR "/STONARC.CHM", f.data().dir() + "/STONARC.CHM"));
        auto& w = f.start();
        w.menu()->item("mnuHelpContents")->trigger();
        QCOMPARE(HtmlHelp::openWindowCount(), 1);
        auto* help = w.findChild<HelpWindow*>();
        QVERIFY(help);
        QVERIFY(help->isWindow());
        QVERIFY(help->browser()->toPlainText().contains("keeps whole-rock analyses"));
        QCOMPARE(help->contentsTree()->topLevelItemCount(), 1);
        QCOMPARE(help->contentsTree()->topLevelItem(0)->childCount(), 5);
        // Pictures and links come out of the file.
        const QUrl picture("chm:/images/main-window.png");
        QVERIFY(!help->browser()
                     ->loadResource(QTextDocument::ImageResource, picture)
                     .toByteArray()
                     .isEmpty());
        help->browser()->setSource(QUrl("chm:/menus.html"));
        QVERIFY(help->browser()->toPlainText().contains("Print Current Row"));
        // A second window, then command 18 closes both.
        trigger(w, "mnuHelpContents");
        QCOMPARE(HtmlHelp::openWindowCount(), 2);
        HtmlHelp::HtmlHelpA(&w, QString(), HtmlHelp::HH_CLOSE_ALL, 0);
        QCOMPARE(HtmlHelp::openWindowCount(), 0);
        // Closing the main window closes them too.
        trigger(w, "mnuHelpContents");
        QCOMPARE(HtmlHelp::openWindowCount(), 1);
        w.close();
        QCOMPARE(HtmlHelp::openWindowCount(), 0);
        QVERIFY(f.messages.shown.empty());
    }

    void missingOrBrokenHelpFileShowsNothing() {
        GuiFixture f(10);
        auto& w = f.start();
        trigger(w, "mnuHelpContents");
        QFile junk(f.data().dir() + "/STONARC.CHM");
        junk.open(QIODevice::WriteOnly);
        junk.write(QByteArray(5000, 'j'));
        junk.close();
        trigger(w, "mnuHelpContents");
        QCOMPARE(HtmlHelp::openWindowCount(), 0);
        QVERIFY(f.messages.shown.empty());
    }

    void contentsParsing() {
        const auto entries =
            ChmFile::parseContents("<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" "
                                   "value=\"A\"><param name=\"Local\" "
                                   "value=\"a.html\"></OBJECT><UL><LI><OBJECT><param name=\"Name\" "
                                   "value=\"A1\"></OBJECT></UL>"
                                   "<LI><OBJECT><param name=\"Name\" value=\"B\"></OBJECT></UL>");
        QCOMPARE(entries.size(), size_t(2));
        QCOMPARE(entries[0].local, QString("a.html"));
        QCOMPARE(entries[0].children.size(), size_t(1));
        QCOMPARE(entries[0].children[0].name, QString("A1"));
        QCOMPARE(entries[1].name, QString("B"));
    }

    void shellCodesFromTheOpener_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("expected");
        QTest::newRow("success") << "exit 0" << 42;
        QTest::newRow("missing file") << "exit 2" << 2;
        QTest::newRow("no handler") << "exit 3" << 31;
        QTest::newRow("syntax") << "exit 1" << 0;
        QTest::newRow("action failed") << "exit 4" << 0;
        QTest::newRow("killed") << "kill -9 $$" << 0;
    }
    void shellCodesFromTheOpener() {
        QFETCH(QString, body);
        QFETCH(int, expected);
        QTemporaryDir dir;
        Shell::setOpener(fakeOpener(dir.path(), body));
        int late = -1;
        Shell::onLateFailure([&](int result) { late = result; });
        QString target = Module1::kHomePage;
        // Started at once; a failure is told when the opener's answer comes.
        QCOMPARE(Module1::OpenWithShell(target), 42);
        QFile cwd(dir.path() + "/opener-cwd");
        QTRY_VERIFY(cwd.exists());
        if (expected <= 32)
            QTRY_COMPARE(late, expected);
        else
            QTest::qWait(300);
        QCOMPARE(late, expected <= 32 ? expected : -1);
        QVERIFY(cwd.open(QIODevice::ReadOnly));
        QCOMPARE(cwd.readAll().trimmed(), QByteArray("/"));
        Shell::setOpener(dir.path() + "/no-such-opener");
        QCOMPARE(Module1::OpenWithShell(target), 2);
        Shell::onLateFailure(nullptr);
    }

    void slowOpenerNeverFreezesTheWindow() {
        GuiFixture f(10);
        auto& w = f.start();
        QTemporaryDir dir;
        // An opener that keeps going (a browser in the foreground), then
        // finds no handler after all.
        Shell::setOpener(fakeOpener(dir.path(), "sleep 3\nexit 3"));
        QElapsedTimer held;
        held.start();
        trigger(w, "mnuInternet");
        // The command returns as soon as the opener has started.
        QVERIFY2(held.elapsed() < 2000, qPrintable(QString::number(held.elapsed())));
        QVERIFY(f.messages.shown.empty()); // still running: counted as started
        // Its failure, when it comes, is reported in the table's words.
        QTRY_COMPARE_WITH_TIMEOUT(f.messages.shown.size(), size_t(1), 10000);
        QCOMPARE(f.messages.shown[0].text, QString("No association for file extension"));
        QCOMPARE(f.messages.shown[0].style, 0);
    }

    void internetHomeMessages() {
        GuiFixture f(10);
        auto& w = f.start();
        FixedShell shell;
        Shell::setImplementation(&shell);
        const std::pair<int, const char*> table[] = {{2, "File not found"},
                                                     {3, "Path not found"},
                                                     {5, "Access denied"},
                                                     {8, "Out of memory"},
                                                     {11, "Invalid EXE file or error in EXE image"},
                                                     {26, "A sharing violation occurred"},
                                                     {27, "Incomplete or invalid file association"},
                                                     {28, "DDE Time out"},
                                                     {29, "DDE transaction failed"},
                                                     {30, "DDE busy"},
                                                     {31, "No association for file extension"},
                                                     {32, "DLL not found"},
                                                     {0, "Unknown error"},
                                                     {1, "Unknown error"},
                                                     {4, "Unknown error"},
                                                     {12, "Unknown error"},
                                                     {25, "Unknown error"},
                                                     {-7, "Unknown error"}};
        for (const auto& [code, text] : table) {
            shell.result = code;
            w.menu()->item("mnuInternet")->trigger();
            QCOMPARE(f.messages.shown.back().text, QString(text));
            QCOMPARE(f.messages.shown.back().style, 0);
            QCOMPARE(f.messages.shown.back().title, QString("Quarzel Geochemical Database"));
        }
        const size_t before = f.messages.shown.size();
        shell.result = 33;
        trigger(w, "mnuInternet");
        QCOMPARE(f.messages.shown.size(), before);
        QCOMPARE(shell.files.back(), QString("http://www.quarzel-geochem.example/indexa.htm"));
        QCOMPARE(shell.dirs.back(), QString("/"));
    }

    void aboutWindow() {
        GuiFixture f(10);
        f.settings.present = false;
        auto& w = f.start();
        w.menu()->item("mnuAbout")->trigger();
        frmAbout* about = w.about().aboutWindow();
        QVERIFY(about && about->isVisible());
        QVERIFY(!about->parentWidget());
        QCOMPARE(about->windowTitle(), QString("About Geochemical Database"));
        const QString expected =
            QString("Geochemical Database V%1.%2\rRevision: %3\r%4\remail: %5\rwww: %6")
                .arg(QUARZEL_VERSION_MAJOR)
                .arg(QUARZEL_VERSION_MINOR)
                .arg(QUARZEL_VERSION_REVISION)
                .arg(QUARZEL_COPYRIGHT, frmAbout::kSupportMail, frmAbout::kWebAddress);
        QCOMPARE(frmAbout::caption(about->lblTitle), expected);
        QVERIFY(expected.startsWith("Geochemical Database V1.1\rRevision: 54\r"));
        QCOMPARE(frmAbout::caption(about->lblDescription), QString("User:  "));
        QVERIFY(about->cmdOK->isDefault());
        // Geometry in twips (15 per pixel at 96 dpi), no minimise or maximise
        // button, the tab order OK, System Info.
        QCOMPARE(about->size(), QSize(5865 / 15, 3630 / 15));
        QCOMPARE(about->minimumSize(), about->maximumSize());
        QVERIFY(!(about->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(about->windowFlags() & Qt::WindowMaximizeButtonHint));
        const std::pair<QWidget*, QRect> placed[] = {
            {about->picIcon, {16, 9, 83, 89}},
            {about->lblTitle, {111, 7, 273, 107}},
            {about->lblDescription, {111, 121, 273, 34}},
            {about->lblDisclaimer, {17, 175, 258, 55}},
            {about->cmdOK, {283, 175, 98, 23}},
            {about->cmdSysInfo, {284, 205, 97, 23}},
        };
        for (const auto& [widget, rect] : placed)
            QCOMPARE(widget->geometry(), rect);
        QCOMPARE(about->cmdOK->nextInFocusChain(), static_cast<QWidget*>(about->cmdSysInfo));
        QCOMPARE(about->cmdSysInfo->text(), QString("&System Info..."));
        QVERIFY(!about->picIcon->pixmap().isNull());
        QCOMPARE(about->picIcon->pixmap().size(), QSize(96, 87));

        // Esc behaves like OK; the next open shows the same window, loaded again.
        QTest::keyClick(about, Qt::Key_Escape);
        QVERIFY(!about->isVisible());
        UserName = "Ada";
        CompanyName = "Ridge Survey";
        trigger(w, "mnuAbout");
        QCOMPARE(w.about().aboutWindow(), about);
        QVERIFY(about->isVisible());
        QCOMPARE(frmAbout::caption(about->lblDescription), QString("User: Ada Ridge Survey"));
        about->cmdOK->click();
        QVERIFY(!about->isVisible());
        QCOMPARE(qApp->topLevelWidgets().count(about), 1);
    }

    void systemInformation() {
        GuiFixture f(10);
        auto& w = f.start();
        trigger(w, "mnuAbout");
        frmAbout* about = w.about().aboutWindow();
        const QString reg = f.data().dir() + "/machine.reg";
        Registry::setStorePath(reg);
        const QString unavailable = "System Information Is Unavailable At This Time";
        auto clickAndExpectMessage = [&](bool message) {
            const size_t before = f.messages.shown.size();
            about->cmdSysInfo->click();
            QCOMPARE(f.messages.shown.size(), before + (message ? 1 : 0));
            if (message) {
                QCOMPARE(f.messages.shown.back().text, unavailable);
                QCOMPARE(f.messages.shown.back().style, 0);
                QCOMPARE(f.messages.shown.back().title, QString("Quarzel Geochemical Database"));
            }
            QVERIFY(about->isVisible());
        };
        const QString msinfo = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n";
        const QString location =
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location]\n";
        QDir(f.data().dir()).mkpath("tools");
        QFile exe(f.data().dir() + "/tools/MSINFO32.EXE");
        exe.open(QIODevice::WriteOnly);
        exe.write("#!/bin/sh\nexit 0\n");
        exe.close();
        exe.setPermissions(QFile::ReadOwner | QFile::ExeOwner);

        // Nothing registered and no tool on this run's search path.
        const QByteArray searchPath = qgetenv("PATH");
        QDir(f.data().dir()).mkpath("bin");
        qputenv("PATH", (f.data().dir() + "/bin").toLocal8Bit());
        writeRegistry(reg, "");
        clickAndExpectMessage(true);
        // A tool installed after the program was built is found when asked.
        QFile tool(f.data().dir() + "/bin/hardinfo");
        tool.open(QIODevice::WriteOnly);
        tool.write(("#!/bin/sh\n: > " + f.data().dir() + "/started\n").toUtf8());
        tool.close();
        tool.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        clickAndExpectMessage(false);
        QTRY_VERIFY(QFile::exists(f.data().dir() + "/started"));
        tool.remove();
        clickAndExpectMessage(true);
        writeRegistry(reg, msinfo + "PATH=sz:/bin/true\n");
        clickAndExpectMessage(false);
        // A PATH naming no file: the message, and no fall-back to the folder.
        writeRegistry(reg, msinfo + "PATH=sz:/no/such/tool\n" + location +
                               "MSINFO=sz:" + f.data().dir() + "/tools\n");
        clickAndExpectMessage(true);
        writeRegistry(reg, location + "MSINFO=sz:" + f.data().dir() + "/tools\n");
        clickAndExpectMessage(false);
        writeRegistry(reg, location + "MSINFO=sz:" + f.data().dir() + "\n");
        clickAndExpectMessage(true); // a folder without MSINFO32.EXE
        writeRegistry(reg, msinfo + "PATH=expand_sz:/bin/true\n");
        clickAndExpectMessage(true); // found, but it yields the empty text

        QString value = "untouched";
        writeRegistry(reg, msinfo + "PATH=dword:0000002a\nBIG=sz:" + QString(2000, 'x') + "\n");
        QVERIFY(frmAbout::GetKeyValue(Registry::HKEY_LOCAL_MACHINE,
                                      "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", value));
        QCOMPARE(value, QString("42"));
        QVERIFY(!frmAbout::GetKeyValue(Registry::HKEY_LOCAL_MACHINE,
                                       "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "BIG", value));
        QCOMPARE(value, QString());
        value = "x";
        QVERIFY(!frmAbout::GetKeyValue(Registry::HKEY_LOCAL_MACHINE, "SOFTWARE\\Nothing", "PATH",
                                       value));
        QCOMPARE(value, QString());
        QVERIFY(!frmAbout::GetKeyValue(0x80000001, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO",
                                       "PATH", value));
        qputenv("PATH", searchPath);
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
