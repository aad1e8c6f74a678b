#include "app/HistoryDialog.h"
#include "app/MainMenu.h"
#include "app/QuarzelDatabase.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/data/RecordsetModel.h"
#include "platform/db/Recordset.h"
#include "platform/db/Workgroup.h"
#include "platform/program/ProgramInfo.h"
#include "platform/view/View.h"
#include "support/GuiFixture.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

namespace {

QString cell(QuarzelDatabase& w, long row, int col) {
    return w.vaSpread1->recordsetModel()->cellText(row, col);
}

// Types into a cell the way a user does: through the grid's own editor.
void typeInto(QuarzelDatabase& w, long row, int col, const QString& text) {
    QModelIndex idx = w.vaSpread1->model()->index(static_cast<int>(row), col);
    if (!w.isVisible()) {
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
    }
    w.vaSpread1->setCurrentIndex(idx);
    w.vaSpread1->edit(idx);
    QLineEdit* editor = nullptr;
    for (auto* e : w.vaSpread1->viewport()->findChildren<QLineEdit*>())
        if (e->isVisible())
            editor = e;
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the grid takes the text after the key is handled
}

// Answers the history dialog: undoes the newest change of the current
// sample, or brings back the newest deletion; keeps what it was shown.
struct HistoryAnswer : HistoryDialog::Implementation {
    HistoryDialog::Choice::Action action = HistoryDialog::Choice::Action::Undo;
    HistoryDialog::Entries changes, deleted;
    int asked = 0;
    std::optional<HistoryDialog::Choice> choose(const QString&, const HistoryDialog::Entries& c,
                                                const HistoryDialog::Entries& d) override {
        ++asked;
        changes = c;
        deleted = d;
        const HistoryDialog::Entries& from = action == HistoryDialog::Choice::Action::Undo ? c : d;
        if (from.empty())
            return std::nullopt;
        return HistoryDialog::Choice{action, from.front()};
    }
};

} // namespace

class TestEditing : public QObject {
    Q_OBJECT
private slots:
    void editModeSwitch() {
        GuiFixture f(40);
        auto& w = f.start();
        trigger(w, "mnuRockname");
        w.Label3->setText("kept");
        w.menu()->item("mnuEdit2", 0)->trigger();
        QVERIFY(!w.Data1->ReadOnly());
        QVERIFY(w.menu()->item("mnuEdit2", 0)->isChecked());
        QVERIFY(!w.menu()->item("mnuEdit2", 1)->isChecked());
        QVERIFY(w.menu()->item("mnuRecord", 0)->isEnabled());
        QVERIFY(w.menu()->item("mnuRecord", 1)->isEnabled());
        QVERIFY(w.vaSpread1->model()->flags(w.vaSpread1->model()->index(0, 0)) &
                Qt::ItemIsEditable);
        QVERIFY(w.vaSpread1->editTriggers() != QAbstractItemView::NoEditTriggers);
        QCOMPARE(w.Label3->text(), QString("kept"));
        QCOMPARE(w.Data1->RecordSource(),
                 QString("SELECT * From [DOZIRO1]Order By [Rockname] ASC"));
        QCOMPARE(w.vaSpread1->Columns(0).NumberFormat(), QString("#0.00"));
        // Choosing it again keeps the mode.
        trigger(w, "mnuEdit2", 0);
        QVERIFY(w.menu()->item("mnuEdit2", 0)->isChecked());
        // Later queries keep the view writable.
        trigger(w, "mnuActive1", 1);
        QVERIFY(!w.Data1->recordsetReadOnly());
        trigger(w, "mnuDate");
        QVERIFY(!w.Data1->recordsetReadOnly());
        f.pointer.history.clear();
        w.menu()->item("mnuEdit2", 1)->trigger();
        QVERIFY(w.Data1->recordsetReadOnly());
        QVERIFY(!w.menu()->item("mnuRecord", 0)->isEnabled());
        QVERIFY(w.menu()->item("mnuEdit2", 1)->isChecked());
        QVERIFY(!w.vaSpread1->model()->setData(w.vaSpread1->model()->index(0, 0), "x"));
        QVERIFY(f.messages.shown.empty());
        QVERIFY(f.pointer.history.empty());
    }

    // An edit undone and a deleted row brought back through Tools >
    // History, each named by the row's key; the grid shows the result.
    void historyUndoesAnEditAndBringsBackADeletion() {
        GuiFixture f(20);
        auto& w = f.start();
        trigger(w, "mnuEdit2", 0);
        const std::int64_t key = w.Data1->view()->recordset()->keyAt(2);
        const std::string where = " FROM DOZIRO1 WHERE ID = " + std::to_string(key);
        const long long before = f.data().rawCount("SELECT CAST(SiO2 * 1000 AS INTEGER)" + where);
        typeInto(w, 2, 5, "61.25");
        QCOMPARE(f.data().rawCount("SELECT SiO2 = 61.25" + where), 1LL);
        HistoryAnswer answer;
        HistoryDialog::setImplementation(&answer);
        trigger(w, "mnuHistory");
        QTRY_COMPARE(answer.asked, 1);
        QCOMPARE(answer.changes.size(), std::size_t(1));
        QCOMPARE(answer.changes[0].sample, key);
        QCOMPARE(answer.changes[0].columns.at(0).name, std::string("SiO2"));
        QTRY_COMPARE(f.data().rawCount("SELECT CAST(SiO2 * 1000 AS INTEGER)" + where), before);
        QTRY_VERIFY(w.menuBar()->isEnabled());                          // the refresh is over
        QCOMPARE(w.Data1->view()->recordset()->AbsolutePosition(), 2L); // on the same sample

        w.vaSpread1->setCurrentIndex(w.vaSpread1->model()->index(2, 0));
        QCOMPARE(w.Data1->view()->recordset()->keyAt(2), key);
        trigger(w, "mnuRecord", 1); // deleted at once, as always
        QTRY_COMPARE(f.data().rawCount("SELECT count(*)" + where), 0LL);
        QTRY_VERIFY(w.menuBar()->isEnabled());
        answer.action = HistoryDialog::Choice::Action::BringBack;
        trigger(w, "mnuHistory");
        QTRY_VERIFY2(
            answer.asked == 2,
            qPrintable(f.messages.shown.empty() ? QString() : f.messages.shown.back().text));
        QCOMPARE(answer.deleted.size(), std::size_t(1));
        QTRY_COMPARE(f.data().rawCount("SELECT CAST(SiO2 * 1000 AS INTEGER)" + where), before);
        QTRY_VERIFY(w.menuBar()->isEnabled());
        QCOMPARE(w.Data1->view()->recordset()->AbsolutePosition(), 2L); // on the sample again
        QCOMPARE(w.vaSpread1->currentIndex().row(), 2);
        QVERIFY(f.messages.shown.empty());
        HistoryDialog::setImplementation(nullptr);
    }

    void editsAreWrittenAndSurviveARestart() {
        GuiFixture f(40);
        {
            auto& w = f.start();
            trigger(w, "mnuEdit2", 0);
            const QString id = cell(w, 2, 31);
            typeInto(w, 2, 6, "1.5"); // Enter writes it
            QCOMPARE(f.data().rawCount("SELECT TiO2 = 1.5 FROM DOZIRO1 WHERE ID = " +
                                       id.left(id.indexOf('.')).toStdString()),
                     1LL);
            // Leaving the row writes the edit.
            QVERIFY(w.vaSpread1->model()->setData(w.vaSpread1->model()->index(3, 7), "12.25"));
            w.vaSpread1->setCurrentIndex(w.vaSpread1->model()->index(4, 7));
            QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1 WHERE Al2O3 = 12.25"), 1LL);
            // An empty numeric cell stores Null; switching the mode writes a pending edit.
            QVERIFY(w.vaSpread1->model()->setData(w.vaSpread1->model()->index(5, 8), ""));
            QVERIFY(w.vaSpread1->model()->setData(w.vaSpread1->model()->index(5, 3),
                                                  "Skerry Point, new cut"));
            trigger(w, "mnuEdit2", 1);
            QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1 WHERE Location = 'Skerry "
                                       "Point, new cut' AND Fe2O3 IS NULL"),
                     1LL);
            trigger(w, "mnuEdit2", 0);
            QVERIFY(w.vaSpread1->model()->setData(w.vaSpread1->model()->index(6, 0),
                                                  "Pending at close"));
            w.close(); // closing writes it too
            QVERIFY(f.messages.shown.empty());
        }
        auto& again = f.start();
        again.Text1[0]->setText("new cut");
        again.Combo1->setEditText("Location");
        again.Command1[0]->click();
        QCOMPARE(again.Label3->text(), QString("1 Matches"));
        QCOMPARE(
            f.data().rawCount("SELECT count(*) FROM DOZIRO1 WHERE Rockname = 'Pending at close'"),
            1LL);
    }

    void refusedEditsKeepTheStoredValue() {
        GuiFixture f(30);
        auto& w = f.start();
        trigger(w, "mnuEdit2", 0);
        const QString before = cell(w, 1, 9);
        typeInto(w, 1, 9, "abc");
        QCOMPARE(f.messages.shown.size(), size_t(1));
        QCOMPARE(f.messages.shown[0].title, QString("DataBase Error"));
        QCOMPARE(f.messages.shown[0].style, 48);
        QVERIFY(f.messages.shown[0].text.contains("FeO"));
        QCOMPARE(cell(w, 1, 9), before);
        // Several cells of one row: a refusal writes none of them.
        QVERIFY(w.vaSpread1->model()->setData(w.vaSpread1->model()->index(2, 0), "Half"));
        QVERIFY(w.vaSpread1->model()->setData(w.vaSpread1->model()->index(2, 10), "1,5"));
        w.vaSpread1->setCurrentIndex(w.vaSpread1->model()->index(3, 0));
        QCOMPARE(f.messages.shown.size(), size_t(2));
        QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1 WHERE Rockname = 'Half'"), 0LL);
        typeInto(w, 2, 31, "999");
        QCOMPARE(f.messages.shown.size(), size_t(3));
        QVERIFY(f.messages.shown[2].text.contains("ID"));
    }

    void newRecord() {
        GuiFixture f(30);
        auto& w = f.start();
        QVERIFY(!w.menu()->item("mnuRecord", 0)->isEnabled());
        trigger(w, "mnuEdit2", 0);
        w.menu()->item("mnuRecord", 0)->trigger();
        QCOMPARE(f.messages.shown.size(), size_t(1));
        QCOMPARE(f.messages.shown[0].text, QString("Name of New Record is 'Empty'"));
        QCOMPARE(f.messages.shown[0].title, QString("Add Record"));
        QCOMPARE(f.messages.shown[0].style, 64);
        QCOMPARE(w.Label3->text(), QString("31 Records"));
        QVERIFY(gridLaidOut(w)); // the refreshed grid keeps its widths and number formats
        const long row = w.vaSpread1->Row();
        QCOMPARE(cell(w, row, 5), QString("Empty"));
        QCOMPARE(cell(w, row, 0), QString());
        const QString firstKey = cell(w, row, 31);
        // A second new row is the current one, not the first 'Empty' row.
        trigger(w, "mnuRecord", 0);
        QCOMPARE(w.Label3->text(), QString("32 Records"));
        QVERIFY(cell(w, w.vaSpread1->Row(), 31).toDouble() > firstKey.toDouble());
        QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1 WHERE SiO2 = 'Empty'"), 2LL);

        // A search the new row does not meet gives way to the whole table,
        // with the new row current and the grid laid out.
        w.Text1[0]->setText("a");
        w.Command1[0]->click();
        QVERIFY(w.Label3->text().endsWith(" Matches"));
        trigger(w, "mnuRecord", 0);
        QCOMPARE(w.Label3->text(), QString("33 Records"));
        QCOMPARE(w.Data1->RecordSource(),
                 QString("SELECT * From [DOZIRO1]Order By [Rockname] ASC"));
        QVERIFY(cell(w, w.vaSpread1->Row(), 31).toDouble() > firstKey.toDouble() + 1);
        QCOMPARE(cell(w, w.vaSpread1->Row(), 5), QString("Empty"));
        QVERIFY(gridLaidOut(w));
    }

    void deleteRecord() {
        GuiFixture f(30);
        auto& w = f.start();
        trigger(w, "mnuEdit2", 0);
        w.vaSpread1->setRow(4);
        const QString gone = cell(w, 4, 31), next = cell(w, 5, 31);
        w.vaSpread1->Columns(0).setWidth(500); // undone by the layout after the delete
        trigger(w, "mnuRecord", 1);
        QVERIFY(f.messages.shown.empty());
        QCOMPARE(cell(w, w.vaSpread1->Row(), 31), next);
        QCOMPARE(w.Label3->text(), QString("29 Records"));
        QVERIFY(gridLaidOut(w));
        QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1 WHERE ID = " +
                                   gone.left(gone.indexOf('.')).toStdString()),
                 0LL);
        // The last row: the new last row is current.
        w.vaSpread1->setRow(28);
        trigger(w, "mnuRecord", 1);
        QCOMPARE(w.vaSpread1->Row(), 27L);
        // A one-row view can be emptied; an empty one refuses.
        w.Text1[0]->setText("DZ-000003");
        w.Combo1->setEditText("Doziro Sample#");
        w.Command1[0]->click();
        QCOMPARE(w.Label3->text(), QString("1 Matches"));
        trigger(w, "mnuRecord", 1);
        QCOMPARE(w.Label3->text(), QString("0 Matches"));
        trigger(w, "mnuRecord", 1);
        QCOMPARE(f.messages.shown.size(), size_t(1));
        QCOMPARE(f.messages.shown[0].text, QString("Empty Database"));
        QCOMPARE(f.messages.shown[0].title, QString("Empty Database"));
        QCOMPARE(f.messages.shown[0].style, 16);
        QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1"), 27LL);
    }

    void copyTheCurrentRow() {
        GuiFixture f(30);
        f.data().rawExec("UPDATE DOZIRO1 SET TiO2 = NULL WHERE ID = (SELECT ID FROM DOZIRO1 ORDER "
                         "BY Rockname LIMIT 1 OFFSET 2)");
        auto& w = f.start();
        w.vaSpread1->setRow(2);
        w.vaSpread1->setCol(7);
        w.menu()->item("mnuEdit1", 2)->trigger();
        const QString text = QGuiApplication::clipboard()->text();
        const QStringList fields = text.split('\t');
        QCOMPARE(fields.size(), 33);
        QCOMPARE(fields[0], QString());
        QCOMPARE(text.count('\t'), 32);
        QVERIFY(!text.endsWith('\t') && !text.endsWith('\n'));
        QCOMPARE(fields[1], cell(w, 2, 0));
        QCOMPARE(fields[7], QString()); // the empty cell still has its tab
        QCOMPARE(fields[32], cell(w, 2, 31));
        QVERIFY(fields[8].contains('.'));
        QCOMPARE(w.vaSpread1->Col(), 0);
        QCOMPARE(w.vaSpread1->Row(), 2L);
        QVERIFY(f.messages.shown.empty());

        // No current row: the clipboard keeps what it had, silently.
        f.data().rawExec("DELETE FROM Project1");
        trigger(w, "mnuActive1", 1);
        QGuiApplication::clipboard()->setText("untouched");
        trigger(w, "mnuEdit1", 2);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("untouched"));
        QVERIFY(f.messages.shown.empty());
    }

    void workgroupRefusals() {
        GuiFixture f(30);
        const std::string wg = f.data().workgroupPath();
        engine::TablePermissions readOnly{true, false, false, false};
        engine::Workgroup::create(wg, f.data().identity(),
                                  {{"quarzel", "ridge38uk", {{"DOZIRO1", readOnly}}}});
        auto& w = f.start();
        trigger(w, "mnuEdit2", 0);
        typeInto(w, 0, 0, "Denied");
        trigger(w, "mnuRecord", 0);
        trigger(w, "mnuRecord", 1);
        QCOMPARE(f.messages.shown.size(), size_t(3));
        for (const auto& m : f.messages.shown) {
            QCOMPARE(m.title, QString("DataBase Error"));
            QVERIFY2(m.text.contains("permissions") && m.text.contains("DOZIRO1"),
                     qPrintable(m.text));
        }
        QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1 WHERE Rockname = 'Denied'"), 0LL);
        QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1"), 30LL);
        trigger(w, "mnuDateD"); // still usable
        QCOMPARE(w.Label3->text(), QString("30 Records"));
    }

    void fullDisk() {
        GuiFixture f(30);
        auto& w = f.start();
        trigger(w, "mnuEdit2", 0);
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit old;
        getrlimit(RLIMIT_FSIZE, &old);
        const QFileInfo info(QString::fromStdString(f.data().databasePath()));
        struct rlimit tight = old;
        tight.rlim_cur = static_cast<rlim_t>(info.size());
        setrlimit(RLIMIT_FSIZE, &tight);
        const QString big(60000, 'L');
        QVERIFY(w.vaSpread1->model()->setData(w.vaSpread1->model()->index(0, 3), big));
        w.vaSpread1->setCurrentIndex(w.vaSpread1->model()->index(1, 3));
        for (int i = 0; i < 5; ++i)
            trigger(w, "mnuRecord", 0);
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!f.messages.shown.empty());
        QVERIFY2(f.messages.shown[0].text.contains("Disk or network error"),
                 qPrintable(f.messages.shown[0].text));
        QCOMPARE(f.data().rawCount(
                     "SELECT count(*) FROM pragma_integrity_check WHERE integrity_check = 'ok'"),
                 1LL);
        QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1 WHERE length(Location) > 1000"),
                 0LL);
        trigger(w, "mnuRockname");
        QVERIFY(w.Label3->text().endsWith(" Records"));
    }

    void readOnlyDatabaseFile() {
        GuiFixture f(30);
        const QString dir = f.data().dir();
        const QString ro = dir + "-ro";
        QDir().mkpath(ro);
        bool mounted = false;
        if (geteuid() == 0) {
            mounted = mount(dir.toUtf8().constData(), ro.toUtf8().constData(), nullptr, MS_BIND,
                            nullptr) == 0 &&
                      mount(nullptr, ro.toUtf8().constData(), nullptr,
                            MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
            if (!mounted) {
                umount(ro.toUtf8().constData());
                QSKIP("no read-only bind mount here, and the tests run as root");
            }
            ProgramInfo::setPath(ro);
        } else {
            QFile::setPermissions(dir + "/quarzdb32.mdb", QFile::ReadOwner);
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
        }
        {
            auto& w = f.start();
            QVERIFY(f.messages.shown.empty());
            trigger(w, "mnuEdit2", 0);
            typeInto(w, 0, 0, "Cannot");
            trigger(w, "mnuRecord", 0);
            QCOMPARE(f.messages.shown.size(), size_t(2));
            QVERIFY(f.messages.shown[0].text.contains("read-only"));
            QCOMPARE(f.messages.shown[0].title, QString("DataBase Error"));
            trigger(w, "mnuSample");
            QCOMPARE(w.Label3->text(), QString("30 Records"));
        }
        if (mounted)
            umount(ro.toUtf8().constData());
        else
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1 WHERE Rockname = 'Cannot'"), 0LL);
    }
};

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"
