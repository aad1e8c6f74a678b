// The history of changes, on both back ends with the same expectations:
// an edit kept with its exact values before and after, in the change's own
// transaction; a change undone only while nobody changed it since; a
// deleted sample brought back whole, values included; an import as one
// entry; no account writing the history itself.
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/History.h"
#include "platform/db/Query.h"
#include "support/BackendData.h"
#include "support/ServerData.h"
#include "support/TestData.h"

#include <QtTest>

namespace {

using engine::History;
using engine::HistoryEntry;
using engine::Value;

struct Collection : BackendData {
    explicit Collection(const QString& kind)
        : BackendData(kind, 5,
                      "INSERT INTO DOZIRO1 (Rockname, [Doziro Sample#], SiO2) VALUES ('basalt', "
                      "'ST-1', 49.5), ('andesite', 'ST-2', 58.25)") {}
};

std::int64_t idOf(engine::Database& db, const char* sample) {
    engine::Query q(db, std::string("SELECT [ID] FROM [DOZIRO1] WHERE [Doziro Sample#] = '") +
                            sample + "'");
    return q.next() ? q.integer(0) : -1;
}

void run(engine::Database& db, const std::string& sql) {
    engine::Query(db, sql).execute();
}

// Every column of a row as stored, by name.
std::map<std::string, Value> rowOf(engine::Database& db, std::int64_t id) {
    engine::Query q(db, "SELECT * FROM [DOZIRO1] WHERE [ID] = " + std::to_string(id));
    std::map<std::string, Value> out;
    if (q.next())
        for (int c = 0; c < q.columnCount(); ++c)
            out[db.columns("DOZIRO1")[static_cast<std::size_t>(c)].name] = q.value(c);
    return out;
}

const HistoryEntry::Column* columnOf(const HistoryEntry& e, const char* name) {
    for (const auto& c : e.columns)
        if (c.name == name)
            return &c;
    return nullptr;
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT

private slots:
    void anEditIsKeptAndUndoneOnlyIfUntouched_data() { addBackends(); }
    void anEditIsKeptAndUndoneOnlyIfUntouched() {
        QFETCH(QString, backend);
        Collection c(backend);
        auto db = c.open();
        const std::int64_t id = idOf(*db, "ST-1");
        run(*db, "UPDATE [DOZIRO1] SET [SiO2] = 0.30000000000000004, [Rockname] = 'x''y' WHERE "
                 "[ID] = " +
                     std::to_string(id));
        run(*db, "UPDATE [DOZIRO1] SET [SiO2] = 0.30000000000000004 WHERE [ID] = " +
                     std::to_string(id)); // changes nothing: no entry
        db->Begin();
        run(*db, "UPDATE [DOZIRO1] SET [SiO2] = 1 WHERE [ID] = " + std::to_string(id));
        db->Rollback(); // gone with its entry
        run(*db, "UPDATE [DOZIRO1] SET [SiO2] = 52.125 WHERE [ID] = " + std::to_string(id));

        History h(*db, "DOZIRO1");
        QVERIFY(h.kept());
        std::vector<HistoryEntry> all = h.ofSample(id);
        QCOMPARE(all.size(), std::size_t(2));
        const HistoryEntry& first = all[1];
        QCOMPARE(first.kind, std::string("changed"));
        QVERIFY(!first.account.empty() && first.made.size() == 24); // 2026-12-09T06:46:01.357Z
        QCOMPARE(first.columns.size(), std::size_t(2));
        QCOMPARE(first.columns[0].name, std::string("Rockname")); // in the table's order
        QCOMPARE(first.columns[0].before.toText(), std::string("basalt"));
        QCOMPARE(first.columns[0].after.toText(), std::string("x'y"));
        QCOMPARE(columnOf(first, "SiO2")->before.toReal(), 49.5);
        QCOMPARE(columnOf(first, "SiO2")->after.toReal(), 0.1 + 0.2); // exact, not 0.3

        // The older change's SiO2 was changed again since: nothing is written.
        History::Restored r = h.undo(first);
        QCOMPARE(int(r.outcome), int(History::Restored::Outcome::Conflict));
        QCOMPARE(r.theirs.size(), std::size_t(1));
        QCOMPARE(r.theirs[0].name, std::string("SiO2"));
        QCOMPARE(r.theirs[0].before.toReal(), 52.125); // what it holds now
        QCOMPARE(rowOf(*db, id)["Rockname"].toText(), std::string("x'y"));
        // The newer one is untouched: undone, as a change of its own.
        r = h.undo(all[0]);
        QCOMPARE(int(r.outcome), int(History::Restored::Outcome::Saved));
        QCOMPARE(rowOf(*db, id)["SiO2"].toReal(), 0.1 + 0.2);
        all = h.ofSample(id);
        QCOMPARE(all.size(), std::size_t(3));
        QCOMPARE(columnOf(all[0], "SiO2")->after.toReal(), 0.1 + 0.2);
    }

    void aDeletedSampleComesBackWhole_data() { addBackends(); }
    void aDeletedSampleComesBackWhole() {
        QFETCH(QString, backend);
        Collection c(backend);
        auto db = c.open();
        const std::int64_t id = idOf(*db, "ST-2");
        const std::vector<engine::SampleValue> values = {
            {"La", "ppm", "ICP-MS", 0, 31.64, "", 0.5, "Moreau, C. (2004). «Îles» 2, 1-22."},
            {"Cs", "ppm", "ICP-MS", '<', 0.05, "", std::nullopt, ""},
            {"Material", "", "", 0, std::nullopt, "whole rock", std::nullopt, ""}};
        db->Begin();
        db->addValues("DOZIRO1", id, values);
        db->Commit();
        const auto before = rowOf(*db, id);
        run(*db, "DELETE FROM [DOZIRO1] WHERE [ID] = " + std::to_string(id));

        History h(*db, "DOZIRO1");
        std::vector<HistoryEntry> gone = h.recent(10, true);
        QCOMPARE(gone.size(), std::size_t(1));
        QCOMPARE(gone[0].sample, id);
        QCOMPARE(gone[0].values, values);
        h.bringBack(gone[0]);
        const auto after = rowOf(*db, id); // under its own key
        QCOMPARE(after.size(), before.size());
        for (const auto& [name, v] : before) {
            // Nulls stay Null (no default stands in), numbers exact.
            QVERIFY2(v.isNull() == after.at(name).isNull() &&
                         v.storedText() == after.at(name).storedText() &&
                         (!v.isNumber() || v.toReal() == after.at(name).toReal()),
                     name.c_str());
        }
        std::vector<engine::SampleValue> back;
        db->readValues("DOZIRO1", "[ID] = " + std::to_string(id), [&](const auto& v) {
            back.push_back(v.value);
            return true;
        });
        QCOMPARE(back, values);
        QVERIFY(h.recent(10, true).empty());
        QCOMPARE(h.ofSample(id)[0].kind, std::string("added"));
    }

    void anImportIsOneEntryAndNobodyWritesTheHistory_data() { addBackends(); }
    void anImportIsOneEntryAndNobodyWritesTheHistory() {
        QFETCH(QString, backend);
        Collection c(backend);
        auto db = c.open();
        db->Begin();
        db->beginBulkInsert("DOZIRO1");
        for (const char* s : {"IM-1", "IM-2", "IM-3"})
            run(*db, std::string("INSERT INTO [DOZIRO1] ([Doziro Sample#]) VALUES ('") + s + "')");
        db->endBulkInsert("DOZIRO1");
        db->Commit();
        History h(*db, "DOZIRO1");
        const std::vector<HistoryEntry> recent = h.recent(10);
        QCOMPARE(recent.size(), std::size_t(1));
        QCOMPARE(recent[0].kind, std::string("imported"));
        QCOMPARE(recent[0].rows, std::int64_t(3));
        QCOMPARE(recent[0].sample, idOf(*db, "IM-1"));
        // After the import, rows are kept one by one again.
        run(*db, "INSERT INTO [DOZIRO1] ([Doziro Sample#]) VALUES ('ONE')");
        QCOMPARE(h.recent(10)[0].kind, std::string("added"));

        for (const char* sql : {"INSERT INTO [DOZIRO1_history] (made, account, kind, sample) "
                                "VALUES ('x', 'someone else', 'deleted', 1)",
                                "UPDATE [DOZIRO1_history] SET account = 'someone else'",
                                "DELETE FROM [DOZIRO1_history_columns]"})
            QVERIFY2(engineErrorOf([&] { run(*db, sql); }) != 0, sql);
        QCOMPARE(h.recent(10).size(), std::size_t(2));
    }

    // Where the history cannot be made (here a view stands in its name's
    // place, as a damaged or foreign file might have), the file keeps none,
    // and every change is still committed as it is made.
    void aFileThatCannotKeepAHistoryStillCommits() {
        TestData file(5);
        file.rawExec("CREATE VIEW DOZIRO1_history AS SELECT 1 AS entry");
        auto db = file.open();
        run(*db, "UPDATE [DOZIRO1] SET [Rockname] = 'kept' WHERE [ID] = 1");
        QCOMPARE(file.rawCount("SELECT count(*) FROM DOZIRO1 WHERE Rockname = 'kept'"), 1LL);
        QVERIFY(History(*db, "Project1").kept()); // the other tables keep theirs
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
