#include "form/Globals.h"
#include "app/MainMenu.h"
#include "app/QuarzelDatabase.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "query/SearchStatement.h"
#include "support/GuiFixture.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <cstdio>

namespace {

void find(QuarzelDatabase& w, const QString& first, const QString& second, const QString& column) {
    w.Text1[0]->setText(first);
    w.Text1[1]->setText(second);
    w.Combo1->setEditText(column);
    w.Command1[0]->click();
}

// The search bar as a user works it: the column typed into the chooser,
// the terms typed into the boxes, then a click on "Find".
void typeAndFind(QuarzelDatabase& w, const QString& first, const QString& second,
                 const QString& column) {
    QLineEdit* chooser = w.Combo1->lineEdit();
    for (QLineEdit* box : {chooser, w.Text1[0], w.Text1[1]}) {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
    }
    QTest::keyClicks(chooser, column);
    QTest::keyClicks(w.Text1[0], first);
    QTest::keyClicks(w.Text1[1], second);
    QTest::mouseClick(w.Command1[0], Qt::LeftButton);
}

QStringList checks(QuarzelDatabase& w) {
    QStringList c;
    for (int i = 0; i < 4; ++i)
        c << (w.menu()->item("mnuActive1", i)->isChecked() ? "x" : "-");
    return c;
}

} // namespace

class TestSelection : public QObject {
    Q_OBJECT
private slots:
    void statementsAreBuiltVerbatim() {
        QCOMPARE(
            SearchStatement::build("Doziro", "Rockname", "basalt", ""),
            QString("SELECT * FROM [DOZIRO1]Where [Rockname] Like '*basalt*'And [Rockname] Like "
                    "'**'Order By [Rockname] ASC"));
        QCOMPARE(
            SearchStatement::build("Pro3", "Location", "ridge", "north"),
            QString("SELECT * FROM [Project3]Where [Location] Like '*ridge*'And [Location] Like "
                    "'*north*'Order By [Location] ASC"));
        QCOMPARE(SearchStatement::build("Pro1", "Doziro Sample#", "", ""),
                 QString("SELECT * FROM [Project1]Where [Doziro Sample#] Like '**'And [Doziro "
                         "Sample#] Like '**'Order By [Doziro Sample#] ASC"));
        QCOMPARE(
            SearchStatement::build("Doziro", "Geologist", "O'Brien", " x"),
            QString("SELECT * FROM [DOZIRO1]Where [Geologist] Like '*O''Brien*'And [Geologist] "
                    "Like '* x*'Order By [Geologist] ASC"));
        QVERIFY(SearchStatement::build("Doziro", "rockname", "a", "").isEmpty());
        QVERIFY(SearchStatement::build("doziro", "Rockname", "a", "").isEmpty());
    }

    void switchingTables() {
        GuiFixture f(80);
        auto& w = f.start();
        trigger(w, "mnuActive1", 2);
        QCOMPARE(w.Data1->RecordSource(),
                 QString("SELECT * From [Project2]Order By [Rockname] ASC"));
        QCOMPARE(w.Label3->text(), QString("30 Records"));
        QCOMPARE(ActiveDatabase, QString("Pro2"));
        QCOMPARE(checks(w), QStringList({"-", "-", "x", "-"}));
        QCOMPARE(w.vaSpread1->Row(), 0L);
        QCOMPARE(w.vaSpread1->Columns(0).NumberFormat(), QString("#0.00"));
        // A click on the menu item reaches the handler, and the mark follows it alone.
        w.menu()->item("mnuActive1", 0)->trigger();
        QCOMPARE(checks(w), QStringList({"x", "-", "-", "-"}));
        QCOMPARE(w.Label3->text(), QString("80 Records"));
        QVERIFY(f.messages.shown.empty());
        QVERIFY(f.pointer.history.empty()); // the switch leaves the pointer alone
    }

    void choosingTheCheckedTableAgainListsItAfresh() {
        GuiFixture f(30);
        auto& w = f.start();
        trigger(w, "mnuRockname");
        find(w, "a", "", "Rockname");
        f.data().rawExec("DELETE FROM DOZIRO1 WHERE ID IN (SELECT ID FROM DOZIRO1 LIMIT 4)");
        trigger(w, "mnuActive1", 0);
        QCOMPARE(w.Data1->RecordSource(),
                 QString("SELECT * From [DOZIRO1]Order By [Rockname] ASC"));
        QCOMPARE(w.Label3->text(), QString("26 Records"));
        QCOMPARE(checks(w), QStringList({"x", "-", "-", "-"}));
        QVERIFY(gridLaidOut(w));
    }

    void switchingToEmptyAndMissingTables() {
        GuiFixture f(40);
        f.data().rawExec("DELETE FROM Project1; DROP TABLE Project3;");
        auto& w = f.start();
        trigger(w, "mnuActive1", 1);
        QCOMPARE(w.Label3->text(), QString("0 Records"));
        QCOMPARE(ActiveDatabase, QString("Pro1"));
        QCOMPARE(checks(w), QStringList({"-", "x", "-", "-"}));
        QVERIFY(f.messages.shown.empty());
        // A search on the empty table falls back to listing it.
        find(w, "basalt", "", "Rockname");
        QCOMPARE(f.messages.shown.size(), size_t(1));
        QCOMPARE(f.messages.shown[0].title, QString("No Matches"));
        QCOMPARE(w.Label3->text(), QString("0 Records"));

        trigger(w, "mnuActive1", 3);
        QCOMPARE(f.messages.shown.size(), size_t(2));
        QCOMPARE(f.messages.shown[1].title, QString("DataBase Error"));
        QCOMPARE(f.messages.shown[1].style, 48);
        QVERIFY(f.messages.shown[1].text.contains("Project3"));
        QCOMPARE(ActiveDatabase, QString("Pro1"));
        QCOMPARE(checks(w), QStringList({"-", "x", "-", "-"}));
        QCOMPARE(w.Data1->RecordSource(),
                 QString("SELECT * From [Project3]Order By [Rockname] ASC"));
        QCOMPARE(f.pointer.history.back(), 0);
    }

    void findWithMatches() {
        GuiFixture f(300);
        auto& w = f.start();
        find(w, "basalt", "", "Rockname");
        QCOMPARE(
            w.Data1->RecordSource(),
            QString("SELECT * FROM [DOZIRO1]Where [Rockname] Like '*basalt*'And [Rockname] Like "
                    "'**'Order By [Rockname] ASC"));
        const long long n =
            f.data().rawCount("SELECT count(*) FROM DOZIRO1 WHERE Rockname LIKE '%basalt%'");
        QVERIFY(n > 1);
        QCOMPARE(w.Label3->text(), QString("%1 Matches").arg(n));
        QCOMPARE(f.pointer.history, std::vector<int>({11, 0}));
        QVERIFY(f.messages.shown.empty());
        QCOMPARE(w.vaSpread1->Row(), 0L);
        QCOMPARE(w.vaSpread1->Columns(1).NumberFormat(), QString("#0.00"));
        for (long r = 0; r < w.vaSpread1->RowCount(); ++r) {
            w.vaSpread1->setRow(r);
            w.vaSpread1->setCol(0);
            QVERIFY(w.vaSpread1->Text().contains("basalt", Qt::CaseInsensitive));
        }
        // The bar keeps what the user typed.
        QCOMPARE(w.Text1[0]->text(), QString("basalt"));
        QCOMPARE(w.Combo1->currentText(), QString("Rockname"));

        find(w, "", "", "Location");
        QCOMPARE(
            w.Label3->text(),
            QString("%1 Matches")
                .arg(f.data().rawCount("SELECT count(*) FROM DOZIRO1 WHERE Location IS NOT NULL")));
        find(w, "", "DZ-000017", "Doziro Sample#");
        QCOMPARE(w.Label3->text(), QString("1 Matches"));
    }

    void everyColumnThroughTheSearchBar() {
        GuiFixture f(300);
        // Rows with Null in every descriptive column, and the default text
        // 'Empty' in SiO2.
        f.data().rawExec("UPDATE DOZIRO1 SET Rockname = NULL, Geologist = NULL, Date = NULL, "
                         "Location = NULL, [Doziro Sample#] = NULL, SiO2 = 'Empty' "
                         "WHERE ID IN (SELECT ID FROM DOZIRO1 ORDER BY ID LIMIT 7)");
        auto& w = f.start();
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        // Counts by SQLite's own LIKE, which ignores ASCII case as the
        // engine does and, like it, never matches Null.
        const struct {
            const char* column;
            const char* term;
            const char* sqlColumn;
        } cases[] = {
            {"Geologist", "an", "Geologist"},
            {"Date", "19", "Date"},
            {"Location", "hill", "Location"},
            {"Rockname", "BASALT", "Rockname"},
            {"Doziro Sample#", "dz-0001", "[Doziro Sample#]"},
            {"ID", "7", "ID"},
        };
        for (const auto& c : cases) {
            for (const QString& term : {QString(c.term), QString()}) {
                typeAndFind(w, term, "", c.column);
                const long long n =
                    f.data().rawCount(QString("SELECT count(*) FROM DOZIRO1 WHERE %1 LIKE '%%2%'")
                                          .arg(c.sqlColumn, term)
                                          .toStdString());
                QVERIFY2(n > 0 && (n < 300 || QString(c.column) == "ID"), c.column);
                QCOMPARE(w.Label3->text(), QString("%1 Matches").arg(n));
                QVERIFY(w.Data1->RecordSource().contains(QString("[%1] Like").arg(c.column)));
            }
        }
        QVERIFY(f.messages.shown.empty());
    }

    void twoTermsOnAProjectTable() {
        GuiFixture f(30);
        auto& w = f.start();
        trigger(w, "mnuActive1", 3);
        f.data().rawExec(
            "UPDATE Project3 SET Location='Glen Carrick, north ridge' WHERE ID IN (2, 5)");
        find(w, "ridge", "north", "Location");
        QCOMPARE(
            w.Data1->RecordSource(),
            QString("SELECT * FROM [Project3]Where [Location] Like '*ridge*'And [Location] Like "
                    "'*north*'Order By [Location] ASC"));
        QCOMPARE(w.Label3->text(),
                 QString("%1 Matches")
                     .arg(f.data().rawCount("SELECT count(*) FROM Project3 WHERE Location "
                                            "LIKE '%ridge%' AND Location LIKE '%north%'")));
    }

    void noMatchesListsTheWholeTableFirst() {
        GuiFixture f(30);
        auto& w = f.start();
        trigger(w, "mnuActive1", 1);
        w.Label3->setText("before");
        f.pointer.history.clear();
        find(w, "no such rock", "", "Rockname");
        QCOMPARE(f.messages.shown.size(), size_t(1));
        const ShownMessage& m = f.messages.shown[0];
        QCOMPARE(m.text, QString("No Matches, Try Entering Different Search Terms"));
        QCOMPARE(m.title, QString("No Matches"));
        QCOMPARE(m.style, 64);
        QCOMPARE(m.pointer, 11);
        QCOMPARE(m.recordSource, QString("SELECT * From [Project1]Order By [Rockname] ASC"));
        QCOMPARE(m.label, QString("before")); // the label is set after the message
        QCOMPARE(w.Label3->text(), QString("36 Records"));
        QCOMPARE(f.pointer.history, std::vector<int>({11, 0}));
        QVERIFY(gridLaidOut(w));
        QCOMPARE(w.vaSpread1->Row(), 0L);
        QCOMPARE(w.Text1[0]->text(), QString("no such rock"));
    }

    void refreshButtonListsTheActiveTable() {
        GuiFixture f(30);
        auto& w = f.start();
        trigger(w, "mnuActive1", 2);
        find(w, "a", "", "Rockname");
        w.Text1[0]->setText("whatever");
        f.pointer.history.clear();
        w.Command1[1]->click();
        QCOMPARE(f.pointer.history, std::vector<int>({11, 0}));
        QVERIFY(gridLaidOut(w));
        QCOMPARE(w.vaSpread1->Row(), 0L);
        QCOMPARE(w.Data1->RecordSource(),
                 QString("SELECT * From [Project2]Order By [Rockname] ASC"));
        QCOMPARE(w.Label3->text(), QString("30 Records"));
        QCOMPARE(w.Text1[0]->text(), QString("whatever"));
    }

    void unknownColumnRerunsTheCurrentSource() {
        GuiFixture f(60);
        auto& w = f.start();
        find(w, "basalt", "", "rockname");
        QCOMPARE(w.Data1->RecordSource(),
                 QString("SELECT * From [DOZIRO1]Order By [Rockname] ASC"));
        QCOMPARE(w.Label3->text(), QString("60 Matches"));
    }

    void unsafeAndUnusualTerms() {
        GuiFixture f(200);
        f.data().rawExec("UPDATE DOZIRO1 SET Rockname='x'' Or R Like ''' WHERE ID = 9");
        auto& w = f.start();
        find(w, "O'Brien", "", "Geologist");
        QVERIFY(f.messages.shown.empty());
        QCOMPARE(w.Label3->text(),
                 QString("%1 Matches")
                     .arg(f.data().rawCount(
                         "SELECT count(*) FROM DOZIRO1 WHERE Geologist LIKE '%O''Brien%'")));

        find(w, "x' Or [Rockname] Like '", "", "Rockname");
        QCOMPARE(w.Label3->text(), QString("1 Matches"));

        find(w, "Aïn Témouchent", "", "Location");
        QCOMPARE(w.Label3->text(),
                 QString("%1 Matches")
                     .arg(f.data().rawCount("SELECT count(*) FROM DOZIRO1 WHERE "
                                            "instr(Location, 'Aïn Témouchent') > 0")));
        find(w, "AÏN TÉMOUCHENT", "", "Location");
        QVERIFY(w.Label3->text().endsWith(" Matches"));

        // Pattern characters stay pattern characters.
        find(w, "DZ-00001#", "", "Doziro Sample#");
        QCOMPARE(w.Label3->text(), QString("10 Matches"));
        find(w, "[!D]", "", "Doziro Sample#");
        QVERIFY(w.Label3->text().endsWith(" Matches"));

        // An unclosed list: the engine's words, and the view stays.
        const QString source = w.Data1->RecordSource();
        const QString label = w.Label3->text();
        f.pointer.history.clear();
        find(w, "[abc", "", "Rockname");
        QCOMPARE(f.messages.shown.back().title, QString("Search Error"));
        QCOMPARE(f.messages.shown.back().style, 48);
        QCOMPARE(f.messages.shown.back().text, QString("Invalid pattern string."));
        QCOMPARE(w.Data1->RecordSource(), source);
        QCOMPARE(w.Label3->text(), label);
        QCOMPARE(f.pointer.history, std::vector<int>({11, 0}));

        const size_t before = f.messages.shown.size();
        find(w, QString(10000, 'q'), "", "Location");
        QCOMPARE(f.messages.shown.size(), before + 1);
        QCOMPARE(f.messages.shown.back().title, QString("No Matches"));
        QCOMPARE(w.Label3->text(), QString("200 Records"));
        QCOMPARE(f.data().rawCount("SELECT count(*) FROM DOZIRO1"), 200LL);
    }

    void sorts() {
        GuiFixture f(120);
        auto& w = f.start();
        struct Sort {
            const char* action;
            const char* order;
        };
        const Sort sorts[] = {
            {"mnuRockname", "Order By [Rockname] ASC"},
            {"mnuGeologist", "Order By [Geologist] ASC"},
            {"mnuDate", "Order By [Date] ASC"},
            {"mnuLocation", "Order By [Location] ASC"},
            {"mnuSample", "Order By [Doziro Sample#] ASC"},
            {"mnuRocknameD", "Order By [Rockname] DESC"},
            {"mnuGeologistD", "Order By [Geologist] DESC"},
            {"mnuDateD", "Order By [Date] DESC"},
            {"mnuLocationD", "Order By [Location] DESC"},
            {"mnuSampleD", "Order By [Doziro Sample#] DESC"},
        };
        for (const Sort& s : sorts) {
            find(w, "basalt", "", "Rockname");
            f.pointer.history.clear();
            w.menu()->item(s.action)->trigger();
            QCOMPARE(w.Data1->RecordSource(), QString("SELECT * From [DOZIRO1]") + s.order);
            QCOMPARE(w.Label3->text(), QString("120 Records"));
            QCOMPARE(f.pointer.history, std::vector<int>({11, 0}));
            QCOMPARE(w.Text1[0]->text(), QString("basalt"));
            QCOMPARE(w.vaSpread1->Row(), 0L);
        }
        // Descending by date.
        trigger(w, "mnuDateD");
        QString prev = "9999";
        for (long r = 0; r < 120; ++r) {
            w.vaSpread1->setRow(r);
            w.vaSpread1->setCol(2);
            QVERIFY(w.vaSpread1->Text() <= prev);
            prev = w.vaSpread1->Text();
        }
        QVERIFY(f.messages.shown.size() == 0);
    }

    void sortOpensTheDatabaseFileAgain() {
        GuiFixture f(120);
        auto& w = f.start();
        QCOMPARE(w.Label3->text(), QString("120 Records"));
        // Another file takes the database's place (a restored copy): a sort
        // lists what the file now holds.
        TestData other(45);
        for (const char* name : {"/quarzdb32.mdb", "/tarnvel.mdw"}) {
            QFile::remove(f.data().dir() + name + ".new");
            QVERIFY(QFile::copy(other.dir() + name, f.data().dir() + name + ".new"));
            QVERIFY(std::rename((f.data().dir() + name + ".new").toLocal8Bit().constData(),
                                (f.data().dir() + name).toLocal8Bit().constData()) == 0);
        }
        trigger(w, "mnuRocknameD");
        QCOMPARE(w.Label3->text(), QString("45 Records"));
    }

    void sortWhileAProjectTableIsActive() {
        GuiFixture f(50);
        auto& w = f.start();
        trigger(w, "mnuActive1", 2);
        trigger(w, "mnuGeologist");
        QCOMPARE(w.Label3->text(), QString("50 Records"));
        QCOMPARE(ActiveDatabase, QString("Pro2"));
        QCOMPARE(checks(w), QStringList({"-", "-", "x", "-"}));
        w.Command1[1]->click();
        QCOMPARE(w.Data1->RecordSource(),
                 QString("SELECT * From [Project2]Order By [Rockname] ASC"));
    }

    void sortsOfAnEmptyOrMissingTable() {
        GuiFixture f(20);
        auto& w = f.start();
        f.data().rawExec("DELETE FROM DOZIRO1");
        trigger(w, "mnuSampleD");
        QCOMPARE(w.Label3->text(), QString("0 Records"));
        QVERIFY(f.messages.shown.empty());
        f.data().rawExec("DROP TABLE DOZIRO1");
        trigger(w, "mnuDate");
        QCOMPARE(f.messages.shown.size(), size_t(1));
        QCOMPARE(f.messages.shown[0].title, QString("Search Error"));
        QCOMPARE(f.messages.shown[0].style, 48);
        QCOMPARE(w.Label3->text(), QString("0 Records"));
        QCOMPARE(f.pointer.history.back(), 0);
    }
};

QTEST_MAIN(TestSelection)
#include "tst_selection.moc"
