#include "SampleData.h"
#include "about/frmAbout.h"
#include "form/Globals.h"
#include "app/MainMenu.h"
#include "app/QuarzelDatabase.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/data/NumberFormat.h"
#include "platform/data/RecordsetModel.h"
#include "platform/data/Twips.h"
#include "platform/db/Workgroup.h"
#include "platform/help/HtmlHelp.h"
#include "support/GuiFixture.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

namespace {

QStringList comboItems(const QComboBox* c) {
    QStringList items;
    for (int i = 0; i < c->count(); ++i)
        items << c->itemText(i);
    return items;
}

void expectLayout(QuarzelDatabase& w, bool startUp) {
    DBGrid* g = w.vaSpread1;
    QCOMPARE(g->ColumnCount(), 32);
    const int defaultWidth = Twips::fromPixels(g->horizontalHeader()->defaultSectionSize());
    for (int i = 0; i < 32; ++i) {
        const int width = (i == 1 || i == 3) ? defaultWidth : (i == 0 ? 2500 : 1000);
        QVERIFY2(qAbs(g->Columns(i).Width() - width) <= 15, qPrintable(QString::number(i)));
        const bool formatted = !startUp || i >= 5;
        QCOMPARE(g->Columns(i).NumberFormat(), formatted ? QString("#0.00") : QString());
    }
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void startUpShowsTheSampleTable() {
        GuiFixture f(2417);
        f.settings.present = true;
        f.settings.user = "Ada";
        f.settings.company = "Ridge Survey";
        auto& w = f.start();
        QVERIFY(f.messages.shown.empty());
        QCOMPARE(w.Label3->text(), QString("2417 Records"));
        QCOMPARE(comboItems(w.Combo1), QStringList({"Geologist", "Date", "Location", "Rockname",
                                                    "Doziro Sample#", "ID"}));
        QCOMPARE(w.Combo1->currentText(), QString("Rockname"));
        QCOMPARE(w.Data1->RecordSource(),
                 QString("SELECT * From [DOZIRO1]Order By [Rockname] ASC"));
        QCOMPARE(w.vaSpread1->Row(), 0L);
        QCOMPARE(w.vaSpread1->currentIndex().row(), 0);
        QVERIFY(w.Data1->ReadOnly());
        QCOMPARE(w.vaSpread1->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(
            !(w.vaSpread1->model()->flags(w.vaSpread1->model()->index(0, 0)) & Qt::ItemIsEditable));
        QCOMPARE(ActiveDatabase, QString("Doziro"));
        QCOMPARE(UserName, QString("Ada"));
        QCOMPARE(CompanyName, QString("Ridge Survey"));
        QCOMPARE(w.DatabasePath, f.data().dir() + "/quarzdb32.mdb");
        expectLayout(w, true);
        // Rows in rock-name order, headed by the column names.
        QCOMPARE(w.vaSpread1->model()->headerData(4, Qt::Horizontal).toString(),
                 QString("Doziro Sample#"));
        QString prev;
        for (int r = 0; r < 50; ++r) {
            QString name = w.vaSpread1->recordsetModel()->cellText(r, 0);
            QVERIFY(QString::compare(prev, name, Qt::CaseInsensitive) <= 0);
            prev = name;
        }
    }

    void laterRefreshAppliesTheLaterLayout() {
        GuiFixture f(50);
        auto& w = f.start();
        w.RefreshRecordView("SELECT * From [Project1]Order By [Rockname] ASC");
        expectLayout(w, false);
        QCOMPARE(w.Label3->text(), QString("36 Records"));
        // Text is shown as stored even under "#0.00".
        QVERIFY(!w.vaSpread1->recordsetModel()->cellText(0, 0).isEmpty());
        QVERIFY(!w.vaSpread1->recordsetModel()->cellText(0, 0).contains(".00"));
        // Refreshing twice gives the same view.
        const QString first = w.vaSpread1->recordsetModel()->cellText(0, 31);
        w.RefreshRecordView("SELECT * From [Project1]Order By [Rockname] ASC");
        QCOMPARE(w.vaSpread1->recordsetModel()->cellText(0, 31), first);
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, w.vaSpread1->Columns(32));
    }

    void startUpFailures_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing database") << 0 << "Could not find file '";
        QTest::newRow("missing workgroup") << 1 << "is missing";
        QTest::newRow("wrong password") << 2 << "Not a valid account name or password.";
        QTest::newRow("garbage database") << 3 << "Unrecognized database format";
        QTest::newRow("fewer than 32 columns") << 4 << "Invalid column index";
        QTest::newRow("damaged workgroup") << 5 << "is damaged";
        QTest::newRow("workgroup of another database") << 6 << "necessary permissions";
        QTest::newRow("unknown account") << 7 << "Not a valid account name or password.";
        QTest::newRow("missing DOZIRO1") << 8 << "cannot find the input table or query 'DOZIRO1'";
    }
    void startUpFailures() {
        QFETCH(int, kind);
        QFETCH(QString, expected);
        GuiFixture f(30);
        const QString dir = f.data().dir();
        if (kind == 0)
            QFile::remove(dir + "/quarzdb32.mdb");
        if (kind == 1)
            QFile::remove(dir + "/tarnvel.mdw");
        if (kind == 2) {
            // A workgroup for this database that knows another password.
            const std::string id = f.data().identity();
            engine::Workgroup::create((dir + "/tarnvel.mdw").toStdString(), id,
                                      {{"quarzel", "other-password", {}}});
        }
        if (kind == 3) {
            QFile g(dir + "/quarzdb32.mdb");
            QVERIFY(g.open(QIODevice::WriteOnly | QIODevice::Truncate));
            g.write(QByteArray(20000, 'x'));
        }
        if (kind == 5) {
            QFile g(dir + "/tarnvel.mdw");
            QVERIFY(g.open(QIODevice::ReadWrite));
            QVERIFY(g.resize(g.size() - 1));
        }
        if (kind == 6) {
            TestData other(5);
            QFile::remove(dir + "/tarnvel.mdw");
            QVERIFY(QFile::copy(other.dir() + "/tarnvel.mdw", dir + "/tarnvel.mdw"));
        }
        if (kind == 7)
            engine::Workgroup::create((dir + "/tarnvel.mdw").toStdString(), f.data().identity(),
                                      {{"someone-else", "ridge38uk", {}}});
        if (kind == 8)
            f.data().rawExec("DROP TABLE DOZIRO1");
        if (kind == 4)
            f.data().rawExec(
                "DROP TABLE DOZIRO1; CREATE TABLE DOZIRO1([Rockname] TEXT, [Geologist] "
                "TEXT, [ID] INTEGER PRIMARY KEY); INSERT INTO DOZIRO1 VALUES('a','b',1);");
        auto& w = f.start();
        QCOMPARE(f.messages.shown.size(), size_t(1));
        const ShownMessage& m = f.messages.shown[0];
        QVERIFY2(m.text.contains(expected), qPrintable(m.text));
        QCOMPARE(m.title, QString("DataBase Error"));
        QCOMPARE(m.style, 48);
        QCOMPARE(f.pointer.history.back(), 0);
        // The steps before the failure stay done; the window stays usable.
        QCOMPARE(w.Combo1->currentText(), QString("Rockname"));
        QCOMPARE(w.Combo1->count(), 6);
        if (kind == 4) {
            QCOMPARE(w.Label3->text(), QString("1 Records"));
            QVERIFY(qAbs(w.vaSpread1->Columns(0).Width() - 2500) <= 15);
        } else {
            QCOMPARE(w.Label3->text(), QString("Label3"));
            QCOMPARE(w.vaSpread1->RowCount(), 0L);
            // The database name is set only once the logon and open worked.
            QCOMPARE(w.Data1->DatabaseName().isEmpty(), kind != 8);
        }
        trigger(w, "mnuRockname"); // a later command reports its own error
        QVERIFY(f.messages.shown.size() == 2 || kind == 4);
    }

    void emptyTableIsAValidView() {
        GuiFixture f(30);
        f.data().rawExec("DELETE FROM DOZIRO1");
        auto& w = f.start();
        QVERIFY(f.messages.shown.empty());
        QCOMPARE(w.Label3->text(), QString("0 Records"));
        QCOMPARE(w.vaSpread1->RowCount(), 0L);
        expectLayout(w, true);
        QVERIFY_THROWS_EXCEPTION(std::exception, w.vaSpread1->Text());
    }

    void closingByExitAndByCloseBox() {
        for (int way = 0; way < 2; ++way) {
            GuiFixture f(20);
            auto& w = f.start();
            w.show();
            const int before = GuiFixture::endCount;
            if (way == 0)
                w.menu()->item("mnuExit")->trigger();
            else
                w.close();
            QCOMPARE(GuiFixture::endCount, before + 1);
            QVERIFY(!w.isVisible());
            QCOMPARE(HtmlHelp::openWindowCount(), 0);
        }
    }

    void cellTexts() {
        GuiFixture f(20);
        f.data().rawExec("UPDATE DOZIRO1 SET Rockname='Aaa first', SiO2='Empty', TiO2=NULL, "
                         "Al2O3=2.675, Fe2O3=0.005, FeO=12, MnO=-1.005 WHERE ID=5");
        auto& w = f.start();
        auto text = [&](int col) {
            w.vaSpread1->setCol(col);
            return w.vaSpread1->Text();
        };
        QCOMPARE(text(0), QString("Aaa first"));
        QCOMPARE(text(5), QString("Empty"));
        QCOMPARE(text(6), QString(""));
        QCOMPARE(text(7), QString("2.68")); // half away from zero on the written digits
        QCOMPARE(text(8), QString("0.01"));
        QCOMPARE(text(9), QString("12.00"));
        QCOMPARE(text(10), QString("-1.01"));
        QCOMPARE(text(31), QString("5.00"));
        QCOMPARE(w.vaSpread1->Col(), 31);
    }

    void numberFormats() {
        QCOMPARE(formatCell(engine::Value::real(0.5), "#0.00"), QString("0.50"));
        QCOMPARE(formatCell(engine::Value::real(99.995), "#0.00"), QString("100.00"));
        QCOMPARE(formatCell(engine::Value::real(-0.001), "#0.00"), QString("0.00"));
        QCOMPARE(formatCell(engine::Value::real(1e-7), "#0.00"), QString("0.00"));
        QCOMPARE(formatCell(engine::Value::real(123456789.125), "#0.00"), QString("123456789.13"));
        QCOMPARE(formatCell(engine::Value::real(49.2), ""), QString("49.2"));
        QCOMPARE(formatCell(engine::Value::integer(7), ""), QString("7"));
        QCOMPARE(formatCell(engine::Value::text("12.5"), "#0.00"), QString("12.5"));
        QCOMPARE(formatCell(engine::Value(), "#0.00"), QString());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
