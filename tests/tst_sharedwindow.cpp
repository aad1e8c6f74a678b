// The window's data control and grid on a shared server: a save that meets
// another user's change, and other users' changes reaching the grid.
#include "app/QuarzelDatabase.h"
#include "diagram/NormWindow.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/data/RecordsetModel.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Recordset.h"
#include "support/GuiFixture.h"
#include "support/ServerData.h"
#include "support/TestData.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

namespace {

const char* const kWhole = "SELECT * From [DOZIRO1]Order By [Rockname] ASC";

// A grid on the collection, as the window shows it, editable.
struct SharedView {
    explicit SharedView(const ServerData& server) {
        auto& e = engine::DBEngine::instance();
        e.DefaultUser = ServerData::kTester;
        e.DefaultPassword.clear();
        data.setDatabaseName(QString::fromStdString("server:" + server.conninfo()));
        data.setRecordSource(kWhole);
        data.setReadOnly(false);
        data.Refresh();
        grid.setDataSource(&data);
        data.view()->recordset()->keys();
        data.followLoading();
    }
    RecordsetModel& model() { return *grid.recordsetModel(); }
    // As the grid's Text reads it: a paint may show the row as coming.
    QString cell(int row, int column) { return model().cellText(row, column); }
    DataControl data;
    DBGrid grid;
};

} // namespace

class TestSharedWindow : public QObject {
    Q_OBJECT

private slots:
    void init() {
        if (!ServerData::available())
            QSKIP("no test server");
    }

    void aSaveThatMeetsAnotherUsersChangeAsks() {
        TestData file(30);
        ServerData server(file);
        SharedView view(server);
        QStringList asked;
        bool keepMine = false;
        view.model().setConflictQuestion([&](const QString& text) {
            asked << text;
            return keepMine;
        });
        QSignalSpy failed(&view.model(), &RecordsetModel::writeFailed);
        const QString before = view.cell(3, 1);
        auto other = server.open()->OpenRecordset(kWhole);
        other->updateRow(3, {{1, "Their geologist"}});
        // Theirs kept: nothing written over them, and they are shown.
        QVERIFY(view.model().setData(view.model().index(3, 1), "My geologist"));
        QVERIFY(view.model().submit());
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked[0].contains("yours \"My geologist\", theirs \"Their geologist\""),
                 qPrintable(asked[0]));
        QCOMPARE(view.cell(3, 1), QString("Their geologist"));
        QCOMPARE(server.count("SELECT count(*) FROM \"DOZIRO1\" WHERE \"Geologist\" = 'Their "
                              "geologist'"),
                 1LL);
        // Mine kept, knowingly: saved over theirs.
        other->updateRow(3, {{1, "Theirs again"}});
        keepMine = true;
        QVERIFY(view.model().setData(view.model().index(3, 1), "My geologist"));
        QVERIFY(view.model().submit());
        QCOMPARE(asked.size(), 2);
        QCOMPARE(server.count("SELECT count(*) FROM \"DOZIRO1\" WHERE \"Geologist\" = 'My "
                              "geologist'"),
                 1LL);
        QCOMPARE(failed.count(), 0);
        QVERIFY(before != "Their geologist");
        // The window's own question: its "Take Theirs" keeps theirs.
        GuiFixture f(10);
        ServerData shared(f.data());
        f.settings.database = {
            {"Server", qEnvironmentVariable("PGHOST") + ":" + qEnvironmentVariable("PGPORT")},
            {"Name", QString::fromStdString(shared.name())},
            {"User", ServerData::kTester}};
        QuarzelDatabase& w = f.start();
        QTRY_COMPARE(w.Label3->text(), QString("10 Records"));
        trigger(w, "mnuEdit2", 0);
        RecordsetModel& grid = *w.vaSpread1->recordsetModel();
        const QString was = grid.cellText(3, 1); // read before theirs is written
        shared.open()->OpenRecordset(kWhole)->updateRow(3, {{1, "Theirs in the window"}});
        f.messages.press = "Take Theirs";
        QVERIFY(grid.setData(grid.index(3, 1), "Mine in the window"));
        QVERIFY(grid.submit());
        QCOMPARE(f.messages.asked.size(), std::size_t(1));
        QCOMPARE(shared.count("SELECT count(*) FROM \"DOZIRO1\" WHERE \"Geologist\" = 'Theirs "
                              "in the window'"),
                 1LL);
        QVERIFY(was != "Theirs in the window");
    }

    void otherUsersChangesReachTheGrid() {
        TestData file(30);
        ServerData server(file);
        SharedView view(server);
        QSignalSpy inserted(view.data.view(), &View::rowInsertedElsewhere);
        const int rows = view.model().rowCount();
        QCOMPARE(rows, 30);
        auto other = server.open()->OpenRecordset(kWhole);
        // A changed row: its cells show the new values.
        other->updateRow(0, {{3, "Changed elsewhere"}});
        QTRY_COMPARE_WITH_TIMEOUT(view.cell(0, 3), QString("Changed elsewhere"), 5000);
        // An added row: placed in the view's order (a new row has no name:
        // first, as Nulls sort).
        other->AddNew();
        other->Update();
        QTRY_COMPARE_WITH_TIMEOUT(view.model().rowCount(), rows + 1, 5000);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.at(0).at(0).value<RowRef>().index, 0L);
        QCOMPARE(view.cell(0, 0), QString());
        // A deleted row, while this window edits another: the edit stays.
        QVERIFY(view.model().setData(view.model().index(5, 2), "2001-01-01"));
        other->setAbsolutePosition(10);
        other->Delete();
        QTRY_COMPARE_WITH_TIMEOUT(view.model().rowCount(), rows, 5000);
        QCOMPARE(view.cell(5, 2), QString("2001-01-01"));
        QVERIFY(view.model().submit());
        QCOMPARE(server.count("SELECT count(*) FROM \"DOZIRO1\" WHERE \"Date\" = '2001-01-01'"),
                 1LL);
        QCOMPARE(view.data.view()->recordset()->RecordCount(), 30L);
    }

    // Another user renames the current row (it moves to the end) and changes
    // its SiO2: it stays current, and the Norm window shows its new norm.
    void theCurrentRowAndItsNormFollowAnotherUsersEdit() {
        TestData file(30);
        ServerData server(file);
        SharedView view(server);
        NormWindow norm(&view.data, &view.model());
        norm.show();
        view.data.Recordset().setAbsolutePosition(2);
        const std::int64_t key = view.data.view()->recordset()->keyAt(2);
        QTRY_VERIFY(norm.analysis()->rowCount() > 0);
        const QString before = norm.analysis()->item(0, 1)->text();
        auto other = server.open()->OpenRecordset(kWhole);
        other->updateRow(2, {{0, "Zzz renamed"}, {5, "38.5"}});
        QTRY_COMPARE_WITH_TIMEOUT(view.data.view()->recordset()->keyAt(29), key, 5000);
        QCOMPARE(view.data.view()->recordset()->AbsolutePosition(), 29L);
        QCOMPARE(view.grid.currentIndex().row(), 29);
        // The grid shows every row where it now stands, none twice.
        QCOMPARE(view.model().rowCount(), 30);
        QTRY_COMPARE(view.cell(29, 0), QString("Zzz renamed"));
        QCOMPARE(view.cell(2, 0),
                 QString::fromStdString(view.data.view()->valueAt(2, 0).storedText()));
        QVERIFY(view.cell(2, 0) != "Zzz renamed");
        QTRY_VERIFY(norm.analysis()->item(0, 1)->text() != before);
    }
};

QTEST_MAIN(TestSharedWindow)
#include "tst_sharedwindow.moc"
