// The view and the grid's model over it, on both back ends (the file, and a
// copy on a private server when the test runs beside one): an edit is saved
// into the row it was made in, named by key and version, whatever moves
// the rows meanwhile (another user's change, a sort, the conflict question).
#include "platform/data/RecordsetModel.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/KeyLoader.h"
#include "platform/db/Recordset.h"
#include "platform/view/BackgroundReader.h"
#include "platform/view/DataRecordset.h"
#include "platform/view/SnapshotRows.h"
#include "platform/view/View.h"
#include "support/ServerData.h"
#include "support/TestData.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <set>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace {

const char* const kByName = "SELECT * From [DOZIRO1]Order By [Rockname] ASC";
const int kRockname = 0, kGeologist = 1, kLocation = 3;

// A view on the back end a test row names, editable, every key read.
struct Fixture {
    explicit Fixture(const QString& kind) : file(30) {
        if (kind == "server") {
            server = std::make_unique<ServerData>(file);
            auto& e = engine::DBEngine::instance();
            e.DefaultUser = ServerData::kTester;
            e.DefaultPassword.clear();
            view.setDatabaseName(QString::fromStdString("server:" + server->conninfo()));
        } else {
            file.logOnAsProgram();
            view.setDatabaseName(QString::fromStdString(file.databasePath()));
        }
        view.setRecordSource(kByName);
        view.setReadOnly(false);
        view.refresh();
        view.recordset()->keys();
        view.followLoading();
    }
    std::shared_ptr<engine::Database> other() const {
        return server ? server->open() : file.open();
    }
    long long count(const std::string& where) const {
        return server ? server->count("SELECT count(*) FROM \"DOZIRO1\" WHERE " + where)
                      : file.rawCount("SELECT count(*) FROM DOZIRO1 WHERE " + where);
    }
    QString storedAt(std::int64_t key, int column) const {
        auto rs =
            other()->OpenRecordset("SELECT * From [DOZIRO1]Where [ID] = " + std::to_string(key));
        return QString::fromStdString(rs->Field(column).storedText());
    }
    // The cell's text as the grid's Text reads it (a paint may show it as
    // still coming).
    QString cell(int row, int column) { return model.cellText(row, column); }
    QString painted(int row, int column) { return model.data(model.index(row, column)).toString(); }
    // Another user's rename that sorts a row far down the view first, heard.
    void moveARowFirst(long from) {
        QSignalSpy moved(&view, &View::rowsMovedElsewhere);
        auto theirs = other()->OpenRecordset(kByName);
        theirs->updateRow(from, {{kRockname, "AAA first now"}});
        QVERIFY(moved.wait(5000));
    }

    TestData file;
    std::unique_ptr<ServerData> server;
    View view;
    RecordsetModel model{&view};
};

void addBackends() {
    QTest::addColumn<QString>("backend");
    QTest::newRow("file") << "file";
    if (ServerData::available())
        QTest::newRow("server") << "server";
}

} // namespace

class TestView : public QObject {
    Q_OBJECT

private slots:
    void anEditIsSavedIntoItsRowWhereverItMoved_data() { addBackends(); }
    void anEditIsSavedIntoItsRowWhereverItMoved() {
        QFETCH(QString, backend);
        Fixture f(backend);
        const std::int64_t key = f.view.recordset()->keyAt(3);
        QVERIFY(f.model.setData(f.model.index(3, kGeologist), "My geologist"));
        if (f.server) {
            // Another user's rename moves the rows between: the edit stays
            // with its sample, shown where that sample is now.
            f.moveARowFirst(10);
            QCOMPARE(f.view.recordset()->keyAt(4), key);
            QCOMPARE(f.cell(4, kGeologist), QString("My geologist"));
            QVERIFY(f.cell(3, kGeologist) != "My geologist");
        }
        QVERIFY(f.model.submit());
        QCOMPARE(f.storedAt(key, kGeologist), QString("My geologist"));
        QCOMPARE(f.count("\"Geologist\" = 'My geologist'"), 1LL);

        // A buffer saved after a sort still goes to its key; one saved after
        // a switch to another table goes nowhere.
        EditBuffer buffer = f.view.beginEdit(7);
        buffer.changes[kLocation] = "Kept by key";
        f.view.setRecordSource("SELECT * From [DOZIRO1]Order By [Rockname] DESC");
        f.view.refresh();
        QCOMPARE(f.view.save(buffer).kind, SaveResult::Kind::Saved);
        QCOMPARE(f.storedAt(buffer.key, kLocation), QString("Kept by key"));
        f.view.setRecordSource("SELECT * From [Project1]Order By [Rockname] ASC");
        f.view.refresh();
        buffer.changes[kLocation] = "Wrong table";
        const SaveResult r = f.view.save(buffer);
        QCOMPARE(r.kind, SaveResult::Kind::Failed);
        QCOMPARE(f.count("\"Location\" = 'Wrong table'"), 0LL);
    }

    // What an export reads of a view: its snapshot's rows in the order
    // shown, a few keys at a time, whatever another user moves or deletes
    // since; a row deleted is gone, the others hold what is stored now.
    void aSnapshotIsReadInTheOrderShown_data() { addBackends(); }
    void aSnapshotIsReadInTheOrderShown() {
        QFETCH(QString, backend);
        Fixture f(backend);
        const std::optional<ViewSnapshot> snapshot = f.view.snapshot();
        QVERIFY(snapshot);
        std::vector<std::int64_t> shown;
        for (long r = 0; r < f.view.knownRowCount(); ++r)
            shown.push_back(f.view.keyAt(r));
        QCOMPARE(shown.size(), std::size_t(30));
        // Lent, not copied, until the view changes its keys; then the
        // snapshot keeps them as taken, also past a Refresh.
        QCOMPARE(f.view.snapshot()->keyList.get(), snapshot->keyList.get());
        f.view.recordsetProxy().setAbsolutePosition(25);
        f.view.recordsetProxy().Delete();
        QVERIFY(f.view.snapshot()->keyList.get() != snapshot->keyList.get());
        QCOMPARE(f.view.keyAt(25), shown[26]);
        if (f.server) {
            f.moveARowFirst(20); // the view's keys change, the snapshot's stay
            QCOMPARE(f.view.keyAt(0), shown[20]);
        } else {
            f.other()->OpenRecordset(kByName)->updateRow(20, {{kRockname, "AAA first now"}});
        }
        const std::int64_t deleted = shown[15];
        f.other()
            ->OpenRecordset("SELECT * From [DOZIRO1]Where [ID] = " + std::to_string(deleted))
            ->Delete();
        f.view.refresh();
        SnapshotRows rows(*snapshot, 7);
        QCOMPARE(rows.count(), 30L);
        QCOMPARE(rows.fieldNames(), f.view.fieldNames());
        const int id = static_cast<int>(rows.fieldNames().size()) - 1;
        for (long r = 29; r >= 0; --r) {
            QCOMPARE(rows.gone(r), r == 15 || r == 25);
            if (!rows.gone(r))
                QCOMPARE(rows.cell(r, id).toInteger(), shown[r]);
        }
        QCOMPARE(QString::fromStdString(rows.cell(20, kRockname).storedText()),
                 QString("AAA first now"));
        QVERIFY_THROWS_EXCEPTION(engine::EngineError, rows.cell(15, kRockname));
    }

    void whatASaveMeetsIsTold_data() { addBackends(); }
    void whatASaveMeetsIsTold() {
        QFETCH(QString, backend);
        Fixture f(backend);
        // A value the column cannot hold: failed, with the engine's code.
        EditBuffer bad = f.view.beginEdit(2);
        bad.changes[6] = "abc";
        const SaveResult failed = f.view.save(bad);
        QCOMPARE(failed.kind, SaveResult::Kind::Failed);
        QVERIFY(failed.code != 0);
        QVERIFY(!failed.text.isEmpty());
        // A row another user deleted.
        EditBuffer gone = f.view.beginEdit(5);
        gone.changes[kLocation] = "Too late";
        auto theirs = f.other()->OpenRecordset(kByName);
        theirs->setAbsolutePosition(5);
        theirs->Delete();
        QCOMPARE(f.view.save(gone).kind, SaveResult::Kind::Deleted);
        QCOMPARE(f.count("\"Location\" = 'Too late'"), 0LL);
    }

    // Two users change different columns of one row: the question names
    // both, each with both values, and keeping mine writes only mine.
    void theConflictNamesEveryColumnBothChanged() {
        if (!ServerData::available())
            QSKIP("no test server");
        Fixture f("server");
        QStringList asked;
        f.model.setConflictQuestion([&](const QString& text) {
            asked << text;
            return true;
        });
        const std::int64_t key = f.view.recordset()->keyAt(3);
        const QString location = f.cell(3, kLocation);
        f.other()->OpenRecordset(kByName)->updateRow(3, {{kLocation, "Their place"}});
        QVERIFY(f.model.setData(f.model.index(3, kGeologist), "My geologist"));
        QVERIFY(f.model.submit());
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked[0].contains("Geologist: yours \"My geologist\", theirs \""),
                 qPrintable(asked[0]));
        QVERIFY2(asked[0].contains("Location (changed by the other user only): theirs \"Their "
                                   "place\", as you read it \"" +
                                   location + "\""),
                 qPrintable(asked[0]));
        QCOMPARE(f.storedAt(key, kGeologist), QString("My geologist"));
        QCOMPARE(f.storedAt(key, kLocation), QString("Their place"));
    }

    // "Take Theirs" while another user's change reaches the window with the
    // question open: nothing of mine is written, anywhere.
    void takeTheirsHoldsWhileChangesArrive() {
        if (!ServerData::available())
            QSKIP("no test server");
        Fixture f("server");
        const std::int64_t key = f.view.recordset()->keyAt(3);
        f.model.setConflictQuestion([&](const QString&) {
            f.moveARowFirst(12); // heard while the question is open
            return false;
        });
        QVERIFY(f.model.setData(f.model.index(3, kGeologist), "My geologist"));
        f.other()->OpenRecordset(kByName)->updateRow(3, {{kGeologist, "Their geologist"}});
        QVERIFY(f.model.submit());
        QCOMPARE(f.count("\"Geologist\" = 'My geologist'"), 0LL);
        QCOMPARE(f.storedAt(key, kGeologist), QString("Their geologist"));
        QVERIFY(!f.model.hasPending());
        const long row = f.view.indexOf(key);
        QCOMPARE(f.cell(static_cast<int>(row), kGeologist), QString("Their geologist"));
    }

    // A statement of many rows comes in batches: the feed takes the next
    // on its own, with no notice after the first, until the whole
    // statement is shown, each batch applied over many turns, every row
    // in its place; a view closed while its batches still come lets its
    // feed go without touching what it showed, and one refreshed meanwhile
    // shows the new set and hears what follows.
    void aStatementOfManyRowsComesWholeAndAClosedViewLetsGo() {
        if (!ServerData::available())
            QSKIP("no test server");
        Fixture f("server");
        const long rows = f.view.recordset()->RecordCount();
        QSignalSpy inserted(&f.view, &View::rowInsertedElsewhere);
        auto closing = std::make_unique<View>();
        closing->setDatabaseName(f.view.databaseName());
        closing->setRecordSource(kByName);
        closing->refresh();
        closing->recordset()->keys();
        closing->followLoading();
        QSignalSpy closingHeard(closing.get(), &View::rowInsertedElsewhere);
        const int many = 520;   // past one batch of the log (512)
        View::setApplySlice(0); // one change a turn
        QSignalSpy moved(&f.view, &View::rowsMovedElsewhere);
        // The turns of the event loop in which rows came.
        int turn = 0;
        QTimer turns;
        connect(&turns, &QTimer::timeout, [&] { ++turn; });
        turns.start(0);
        std::set<int> cameIn;
        connect(&f.view, &View::rowInsertedElsewhere, [&] { cameIn.insert(turn); });
        // Named to sort all over the set's order.
        f.server->admin("INSERT INTO \"DOZIRO1\" (\"Rockname\") SELECT chr(65 + g % 26) || 'z "
                        "batch ' || g FROM pg_catalog.generate_series(1, " +
                        std::to_string(many) + ") g");
        QVERIFY(closingHeard.wait(20000));
        closing.reset(); // its feed is still reading the rest
        QTRY_COMPARE_WITH_TIMEOUT(inserted.size(), many, 60000);
        QVERIFY2(cameIn.size() > many / 2, qPrintable(QString::number(cameIn.size())));
        QCOMPARE(f.view.recordset()->RecordCount(), rows + many);
        {
            auto fresh = f.view.database()->openAnother(true)->OpenRecordset(kByName);
            QCOMPARE(f.view.recordset()->keys(), fresh->keys());
        }
        // Half of them renamed into one gap of the order, many to the same
        // name (then ordered by key): rows renamed beside each other all
        // move (none is taken to stay by neighbours that are moving too),
        // and each settles among those placed before it.
        auto inOrder = [&] {
            auto fresh = f.view.database()->openAnother(true)->OpenRecordset(kByName);
            return f.view.recordset()->keys() == fresh->keys();
        };
        f.server->admin("UPDATE \"DOZIRO1\" SET \"Rockname\" = 'M gap ' || (\"ID\" % 3) WHERE "
                        "\"Rockname\" LIKE '_z batch %' AND \"ID\" % 2 = 0");
        QVERIFY(moved.wait(20000));
        QTRY_VERIFY_WITH_TIMEOUT(inOrder(), 60000);
        // Renamed, and the view refreshed while they are being applied.
        f.server->admin("UPDATE \"DOZIRO1\" SET \"Rockname\" = 'y' || \"Rockname\" WHERE "
                        "\"Rockname\" LIKE '_z batch %' OR \"Rockname\" LIKE 'M gap %'");
        QVERIFY(moved.wait(20000));
        f.view.refresh();
        f.view.recordset()->keys();
        {
            auto fresh = f.view.database()->openAnother(true)->OpenRecordset(kByName);
            QCOMPARE(f.view.recordset()->keys(), fresh->keys());
        }
        View::setApplySlice(30);
        f.server->admin("DELETE FROM \"DOZIRO1\" WHERE \"Rockname\" LIKE 'y_z batch %' OR "
                        "\"Rockname\" LIKE 'yM gap %'");
        // Heard after the refresh: its feed reads on. (A rename still to be
        // applied when its row is deleted takes the row out as well.)
        QTRY_COMPARE_WITH_TIMEOUT(f.view.recordset()->RecordCount(), rows, 60000);
        QCOMPARE(f.model.rowCount(), static_cast<int>(rows));
        for (const auto& heard : inserted)
            QCOMPARE(f.view.indexOf(heard.at(0).value<RowRef>().key), -1L);
    }

    // The server went away and came back: the feed listens again, the rows
    // shown are read again for the set shown, and other users' changes are
    // heard as before.
    void theViewListensAgainWhenTheServerIsBack() {
        if (!ServerData::available())
            QSKIP("no test server");
        Fixture f("server");
        QSignalSpy readAgain(&f.view, &View::rowsReadAgain);
        ServerData::stopServer();
        ServerData::startServer();
        QVERIFY(readAgain.wait(30000));
        QCOMPARE(readAgain.at(0).at(0).value<quint64>(), f.view.generation());
        f.moveARowFirst(10);
        QCOMPARE(f.cell(0, kRockname), QString("AAA first now"));
    }

    // A continuation runs for the record set it was asked for, or is told
    // it was superseded.
    void aContinuationNeverRunsForAnotherRecordset_data() { addBackends(); }
    void aContinuationNeverRunsForAnotherRecordset() {
        QFETCH(QString, backend);
        Fixture f(backend);
        View::setAnswerBudget(0);
        QObject context;
        std::vector<quint64> ranFor;
        int superseded = 0;
        f.view.setRecordSource("SELECT * From [DOZIRO1]Where [Rockname] Like '*a*'Order By "
                               "[Rockname] ASC");
        f.view.refresh();
        const quint64 first = f.view.generation();
        f.view.whenKeysComplete(
            &context, [&] { ranFor.push_back(f.view.generation()); }, [&] { ++superseded; });
        f.view.refresh();
        f.view.whenCounted(&context, [&] { ranFor.push_back(f.view.generation()); });
        QTRY_COMPARE_WITH_TIMEOUT(ranFor.size() + superseded, std::size_t(2), 5000);
        QCOMPARE(ranFor.back(), first + 1);
        if (ranFor.size() == 2)
            QCOMPARE(ranFor.front(), first); // answered at once, before the refresh
    }

    // On the server a row not read yet is painted as coming and read on a
    // thread; its cells then are the row's own, by key.
    void aServersRowsArePaintedWithoutWaiting() {
        if (!ServerData::available())
            QSKIP("no server beside this test");
        Fixture f("server");
        View::setAnswerBudget(0);
        f.view.recordset()->clearCache();
        QSignalSpy read(&f.view, &View::rowsRead);
        QCOMPARE(f.painted(7, kRockname), QString(RecordsetModel::kComing));
        QCOMPARE(f.painted(8, kGeologist), QString(RecordsetModel::kComing));
        QVERIFY(read.wait(5000));
        QCOMPARE(read.size(), 1); // one page asked for once
        QCOMPARE(read[0][0].toLongLong(), 0LL);
        for (int row : {7, 8, 29})
            QCOMPARE(f.painted(row, kRockname), f.storedAt(f.view.keyAt(row), kRockname));
    }

    // A set whose first rows are slow to come is opened without holding the
    // window: the rows shown stay until they come, a wait asked meanwhile
    // is for the new set, and a failure before them leaves the old set.
    void aSlowSetIsShownWhenItsFirstRowsCome() {
        Fixture f("file");
        View::setAnswerBudget(0);
        struct Hold {
            Hold() { engine::KeyLoader::holdBeforeKeys(true); }
            ~Hold() { engine::KeyLoader::holdBeforeKeys(false); }
        };
        QObject context;
        const quint64 before = f.view.generation();
        const QString firstBefore = f.cell(0, kRockname);
        auto hold = std::make_unique<Hold>();
        f.view.setRecordSource("SELECT * From [DOZIRO1]Order By [Rockname] DESC");
        f.view.beginRefresh();
        QVERIFY(f.view.opening());
        QCOMPARE(f.view.generation(), before);
        QCOMPARE(f.cell(0, kRockname), firstBefore);
        long counted = -1;
        f.view.whenCounted(&context, [&] { counted = f.view.count(); });
        QCoreApplication::processEvents();
        QCOMPARE(counted, -1L);
        hold.reset();
        QTRY_COMPARE_WITH_TIMEOUT(counted, 30L, 5000);
        QCOMPARE(f.view.generation(), before + 1);
        QCOMPARE(f.view.position(), 0L);
        QVERIFY(f.cell(0, kRockname) >= f.cell(29, kRockname));

        const QString firstNow = f.cell(0, kRockname);
        hold = std::make_unique<Hold>();
        f.view.setRecordSource(kByName);
        f.view.beginRefresh();
        QVERIFY(f.view.opening());
        QString failure;
        bool ran = false;
        f.view.whenKeysComplete(
            &context, [&] { ran = true; }, {}, [&](const QString& text) { failure = text; });
        f.file.rawExec("ALTER TABLE DOZIRO1 RENAME TO DOZIRO1_away");
        hold.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!failure.isEmpty(), 5000);
        f.file.rawExec("ALTER TABLE DOZIRO1_away RENAME TO DOZIRO1");
        QVERIFY(!ran);
        QVERIFY(!f.view.opening());
        QCOMPARE(f.view.generation(), before + 1);
        QCOMPARE(f.cell(0, kRockname), firstNow);
    }

    // A reading in place of one still stopping starts only when that one has
    // ended (two would hold a view's memory each); of several asked for
    // meanwhile, only the last runs, and only its result is handed over.
    void aReadingWaitsForTheOneItReplaces() {
        BackgroundReader reader;
        QSemaphore first, released;
        std::atomic<int> started{0};
        std::vector<int> delivered;
        const auto work = [&](int n) {
            return [&, n](const std::atomic<bool>&) -> BackgroundReader::Finish {
                started |= 1 << n;
                if (n == 0) {
                    first.release();
                    released.acquire(); // a reading slow to notice it was stopped
                }
                return [&delivered, n] { delivered.push_back(n); };
            };
        };
        reader.start(work(0));
        first.acquire();
        reader.start(work(1));
        reader.start(work(2));
        QVERIFY(reader.reading());
        QCoreApplication::processEvents();
        QCOMPARE(started.load(), 1);
        released.release();
        QTRY_VERIFY_WITH_TIMEOUT(!reader.reading(), 5000);
        QCOMPARE(delivered, std::vector<int>{2});
        QCOMPARE(started.load(), 1 | 4);
    }
};

QTEST_GUILESS_MAIN(TestView)
#include "tst_view.moc"
