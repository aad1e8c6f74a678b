// Commands that finish when the engine answers: while one waits, its
// window takes no other command, a close waits for it, and whatever else
// arrives meanwhile (posted events, timers, queued calls) neither crashes
// nor changes the result the command shows.
#include "app/MainMenu.h"
#include "app/QuarzelDatabase.h"
#include "app/ToolsController.h"
#include "diagram/DiagramPlot.h"
#include "diagram/DiagramWindow.h"
#include "form/Globals.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/db/KeyLoader.h"
#include "platform/db/Recordset.h"
#include "support/GuiFixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

// A window whose commands finish in slots: no answer is waited for.
struct LateAnswers {
    explicit LateAnswers(GuiFixture& f) : window((DataControl::setAnswerBudget(0), f.start())) {
        QTRY_VERIFY(!window.busy()); // the start, too, finishes in a slot
    }
    QuarzelDatabase& window;
};

// Starts a Find for "a" (most rows: its count takes a while) and says
// whether it is waiting for the engine. On a machine busy elsewhere the
// engine may answer before the click returns; the Find is then made again,
// after a Refresh, a few times.
bool findWaits(QuarzelDatabase& w) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        w.Text1[0]->setText("a");
        w.Command1[0]->click();
        if (w.busy())
            return true;
        w.Command1[1]->click();
        if (!QTest::qWaitFor([&] { return !w.busy(); }, 30000))
            return false;
    }
    return false;
}

// The commands' surface; the search bar's boxes stay open throughout, so
// that what is typed meanwhile reaches them.
bool surfaceEnabled(QuarzelDatabase& w) {
    if (!w.Text1[0]->isEnabled() || !w.Text1[1]->isEnabled() || !w.Combo1->isEnabled())
        qFatal("a box of the search bar was closed");
    return w.menuBar()->isEnabled() && w.Command1[0]->isEnabled() && w.Command1[1]->isEnabled();
}

} // namespace

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    void aCloseWaitsForTheCommand() {
        GuiFixture f(60000);
        LateAnswers late(f);
        auto& w = late.window;
        const int ends = GuiFixture::endCount;
        // A close by the window system, and one from a timer, while Find
        // waits for its count.
        QVERIFY(findWaits(w));
        QTimer::singleShot(0, &w, [&] { w.close(); });
        QCoreApplication::postEvent(&w, new QCloseEvent);
        QVERIFY(w.busy());
        QVERIFY(!surfaceEnabled(w));
        QTRY_VERIFY(!w.busy());
        QTRY_COMPARE(GuiFixture::endCount, ends + 1); // once, after the command
        QVERIFY2(w.Label3->text().endsWith(" Matches"), qPrintable(w.Label3->text()));
        QVERIFY(surfaceEnabled(w));
    }

    // By the keyboard alone: a sort by its shortcut from the search box, and
    // Find pressed by its button; the focus stays where it was, and keys
    // typed while the command waits reach the box.
    void theFocusStaysWhereTheUserLeftIt() {
        GuiFixture f(60000);
        LateAnswers late(f);
        auto& w = late.window;
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.Text1[0]->setFocus();
        w.Text1[0]->clear();
        bool waited = false;
        for (int attempt = 0; attempt < 8 && !waited; ++attempt) {
            QTest::keyClick(w.Text1[0], Qt::Key_F3, Qt::ControlModifier);
            waited = w.busy();
            if (waited)
                QTest::keyClicks(QApplication::focusWidget(), "bas");
            QTRY_VERIFY(!w.busy());
        }
        QVERIFY(waited);
        QCOMPARE(w.Data1->RecordSource(), QString("SELECT * From [DOZIRO1]Order By [Date] DESC"));
        QCOMPARE(QApplication::focusWidget(), w.Text1[0]);
        QCOMPARE(w.Text1[0]->text(), QString("bas"));
        w.Command1[0]->setFocus();
        QTest::keyClick(w.Command1[0], Qt::Key_Space);
        QTRY_VERIFY(!w.busy());
        QCOMPARE(QApplication::focusWidget(), w.Command1[0]);
    }

    void otherCommandsWhileOneWaitsChangeNothing() {
        GuiFixture f(60000);
        LateAnswers late(f);
        auto& w = late.window;
        QVERIFY(findWaits(w));
        const QString search = w.Data1->RecordSource();
        // Refresh, a table switch, a sort and another Find, from a timer,
        // a queued call and the menus.
        QTimer::singleShot(0, &w, [&] { w.Command1[1]->click(); });
        QMetaObject::invokeMethod(
            &w, [&] { trigger(w, "mnuActive1", 2); }, Qt::QueuedConnection);
        QTimer::singleShot(0, &w, [&] { w.menu()->item("mnuGeologist")->trigger(); });
        QTimer::singleShot(0, &w, [&] { w.Command1[0]->click(); });
        QTRY_VERIFY(!w.busy());
        QTest::qWait(50);
        QVERIFY(!w.busy());
        QCOMPARE(w.Data1->RecordSource(), search);
        QCOMPARE(ActiveDatabase, QString("Doziro"));
        const long matches = w.Data1->Recordset().RecordCount();
        QCOMPARE(w.Label3->text(), QString("%1 Matches").arg(matches));
        QCOMPARE(w.vaSpread1->Row(), 0L);
        QVERIFY(surfaceEnabled(w));
        QVERIFY(f.messages.shown.empty());
        // And the next command runs as ever.
        w.Command1[1]->click();
        QTRY_COMPARE(w.Label3->text(), QString("60000 Records"));
    }

    // A search whose rows cannot be read once it has started: the rows and
    // the label shown stay, the search says why, and the window is free.
    void aSearchThatFailsBeforeItsRowsLeavesTheRowsShown() {
        GuiFixture f(200);
        LateAnswers late(f);
        auto& w = late.window;
        const QString source = w.Data1->RecordSource();
        const QString label = w.Label3->text();
        const quint64 generation = w.Data1->generation();
        engine::KeyLoader::holdBeforeKeys(true);
        w.Text1[0]->setText("a");
        w.Command1[0]->click();
        QVERIFY(w.busy());
        QVERIFY(w.Data1->view()->opening());
        f.data().rawExec("ALTER TABLE DOZIRO1 RENAME TO DOZIRO1_away");
        engine::KeyLoader::holdBeforeKeys(false);
        QTRY_VERIFY(!w.busy());
        f.data().rawExec("ALTER TABLE DOZIRO1_away RENAME TO DOZIRO1");
        QCOMPARE(f.messages.shown.size(), std::size_t(1));
        QCOMPARE(f.messages.shown[0].title, QString("Search Error"));
        QVERIFY(f.messages.shown[0].text.contains("DOZIRO1"));
        QCOMPARE(w.Data1->RecordSource(), source);
        QCOMPARE(w.Label3->text(), label);
        QCOMPARE(w.Data1->generation(), generation);
        QVERIFY(surfaceEnabled(w));
    }

    void everyCommandFinishesLate() {
        GuiFixture f(60000);
        LateAnswers late(f);
        auto& w = late.window;
        QCOMPARE(w.Label3->text(), QString("60000 Records"));
        // A sort, a table switch, a search without matches.
        w.menu()->item("mnuDateD")->trigger();
        QTRY_VERIFY(!w.busy());
        QCOMPARE(w.Label3->text(), QString("60000 Records"));
        QCOMPARE(w.Data1->RecordSource(), QString("SELECT * From [DOZIRO1]Order By [Date] DESC"));
        w.menu()->item("mnuActive1", 1)->trigger();
        QTRY_VERIFY(!w.busy());
        QCOMPARE(ActiveDatabase, QString("Pro1"));
        QVERIFY(w.menu()->item("mnuActive1", 1)->isChecked());
        w.menu()->item("mnuActive1", 0)->trigger();
        QTRY_VERIFY(!w.busy());
        w.Text1[0]->setText("no such rock anywhere");
        w.Command1[0]->click();
        QTRY_VERIFY(!w.busy());
        QCOMPARE(f.messages.shown.size(), size_t(1));
        QCOMPARE(f.messages.shown[0].text,
                 QString("No Matches, Try Entering Different Search Terms"));
        QCOMPARE(w.Label3->text(), QString("60000 Records"));
        QVERIFY(gridLaidOut(w));
        QCOMPARE(f.pointer.history.back(), 0);
        // The last-record button, pressed as soon as the count is shown:
        // the move is made when every key is in.
        w.Command1[1]->click();
        QTRY_VERIFY(!w.busy());
        w.Data1->findChild<QAbstractButton*>("nav3")->click();
        QTRY_COMPARE(w.Data1->view()->recordset()->AbsolutePosition(), 59999L);
    }

    void newAndDeletedRecordsWaitForTheViewInASlot() {
        GuiFixture f(60000);
        LateAnswers late(f);
        auto& w = late.window;
        // While a search waits for its count, New Record cannot be chosen.
        QVERIFY(findWaits(w));
        trigger(w, "mnuRecord", 0);
        QTRY_VERIFY(!w.busy());
        QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1"), 60000LL);
        w.Command1[1]->click();
        QTRY_VERIFY(!w.busy());
        // Edit mode opens a new record set; New Record, chosen before its
        // count is known, is written once the view is read, in a slot.
        f.messages.shown.clear();
        trigger(w, "mnuEdit2", 0);
        trigger(w, "mnuRecord", 0);
        QTRY_VERIFY(!w.busy());
        QCOMPARE(w.Label3->text(), QString("60001 Records"));
        QCOMPARE(f.messages.shown.size(), size_t(1));
        QCOMPARE(f.messages.shown[0].text, QString("Name of New Record is 'Empty'"));
        w.vaSpread1->setCol(5);
        QCOMPARE(w.vaSpread1->Text(), QString("Empty")); // the new row is current
        QVERIFY(surfaceEnabled(w));
        // Deleted again, asked for from a queued call.
        const long row = w.Data1->view()->recordset()->AbsolutePosition();
        QMetaObject::invokeMethod(
            &w, [&] { trigger(w, "mnuRecord", 1); }, Qt::QueuedConnection);
        QTRY_COMPARE(w.Label3->text(), QString("60000 Records"));
        QTRY_VERIFY(!w.busy());
        QCOMPARE(w.Data1->view()->recordset()->AbsolutePosition(), row);
        QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1"), 60000LL);
        QVERIFY(surfaceEnabled(w));
    }

    void theDiagramReadsItsViewWhenTheKeysAreIn() {
        GuiFixture f(60000);
        LateAnswers late(f);
        auto& w = late.window;
        trigger(w, "mnuTas");
        DiagramWindow* tas = w.tools().diagramWindow();
        QTRY_VERIFY(!tas->loading() && tas->plot()->view() &&
                    tas->plot()->legendText() != "Reading...");
        w.Text1[0]->setText("a");
        w.Command1[0]->click();
        QTRY_VERIFY(!w.busy());
        QTRY_COMPARE(long(tas->plot()->view()->points.size()), w.Data1->Recordset().RecordCount());
        // Closed while a view is being read: nothing outlives it.
        w.Command1[1]->click();
        tas->close();
        QTRY_VERIFY(!w.busy());
    }
};

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
