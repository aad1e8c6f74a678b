// The shared server's rights against an account that would take more than
// it was given: a temporary table of its own named like the counts table
// must never catch the count-keeping triggers' write, none of its code runs
// as the functions' owner, and the owner itself can neither log on nor do
// more than keep the counts.
#include "exchange/CsvImport.h"
#include "platform/db/ChangeFeed.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Recordset.h"
#include "platform/db/Workgroup.h"
#include "platform/db/pg/PgChangeLog.h"
#include "platform/db/pg/PgConnection.h"
#include "schema/ServerSchema.h"
#include "support/ServerData.h"
#include "support/TestData.h"

#include <QtTest>

namespace {

using engine::PgConnection;
using engine::PgLogOn;

// What the attacker runs in its own session: the shadow table, and a
// trigger on it that makes the attacker superuser when it runs with the
// rights to.
const char* const kShadow =
    "CREATE TEMP TABLE quarzel_counts (table_name text, n bigint);"
    "CREATE FUNCTION pg_temp.seize() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
    "EXECUTE 'ALTER ROLE ' || quote_ident(session_user) || ' SUPERUSER'; RETURN NEW; END $$;"
    "CREATE TRIGGER seize BEFORE INSERT ON pg_temp.quarzel_counts FOR EACH ROW EXECUTE "
    "FUNCTION pg_temp.seize();";

} // namespace

class TestServerRights : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!ServerData::available())
            QSKIP("no private server beside the test");
    }

    void anAccountsOwnTemporaryTableNeverRunsAsTheOwner_data() {
        QTest::addColumn<QString>("role");
        // May only insert into Project2 (and connect).
        QTest::newRow("insert-only role") << "intruder";
        QTest::newRow("a person with every right") << "geologist";
    }
    void anAccountsOwnTemporaryTableNeverRunsAsTheOwner() {
        QFETCH(QString, role);
        const std::string r = role.toStdString();
        TestData file(20);
        ServerData server(file);
        const std::string db =
            PQdb(PgConnection(PgLogOn{server.conninfo(), {}, {}, false}).handle());
        if (r == "intruder")
            server.admin("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = "
                         "'intruder') THEN CREATE ROLE intruder LOGIN; END IF; END $$;"
                         "GRANT CONNECT ON DATABASE " +
                         db + " TO intruder; GRANT INSERT ON \"Project2\" TO intruder");
        const PgLogOn as{server.conninfo(), r, {}, false};
        {
            // Nothing of its own may it make: no temporary table, nothing
            // in the collection's schema, no schema.
            PgConnection pg(as);
            for (const char* sql :
                 {"CREATE TEMP TABLE quarzel_counts (table_name text, n bigint)",
                  "CREATE TABLE public.quarzel_shadow (a int)", "CREATE SCHEMA shadow"}) {
                engine::PgResult res = pg.tryExec(sql);
                QVERIFY2(!res.ok(), sql);
                QCOMPARE(res.state(), std::string("42501"));
            }
        }
        // Even with TEMP handed back by an administrator, the counts' own
        // functions never touch the account's table.
        server.admin("GRANT TEMP ON DATABASE " + db + " TO " + r);
        const std::string count =
            "SELECT coalesce(sum(n), 0) FROM public.quarzel_counts WHERE table_name = 'Project2'";
        const long long before = server.count(count);
        long long caught = -1;
        {
            PgConnection pg(as);
            pg.execScript(kShadow);
            engine::PgResult in =
                pg.tryExec("INSERT INTO public.\"Project2\" (\"Rockname\") VALUES ('x')");
            QVERIFY2(in.ok(), in.ok() ? "" : PQresultErrorMessage(in.get()));
            caught = pg.exec("SELECT count(*) FROM pg_temp.quarzel_counts").integer(0, 0);
        }
        const long long super =
            server.count("SELECT count(*) FROM pg_roles WHERE rolsuper AND rolname = '" + r + "'");
        server.admin("ALTER ROLE " + r + " NOSUPERUSER; REVOKE TEMP ON DATABASE " + db + " FROM " +
                     r);
        QCOMPARE(super, 0LL);
        QCOMPARE(caught, 0LL);
        QCOMPARE(server.count(count), before + 1);
    }

    void theFunctionsOwnerCanDoNoMoreThanKeepCountsAndHistory() {
        TestData file(5);
        ServerData server(file);
        QCOMPARE(server.count("SELECT count(*) FROM pg_roles WHERE rolname = 'quarzel_owner' AND "
                              "NOT (rolcanlogin OR rolsuper OR rolcreaterole OR rolcreatedb OR "
                              "rolreplication OR rolbypassrls)"),
                 1LL);
        QCOMPARE(server.count("SELECT count(*) FROM pg_proc WHERE prosecdef AND "
                              "pg_get_userbyid(proowner) <> 'quarzel_owner'"),
                 0LL);
        QCOMPARE(server.count(
                     "SELECT count(*) FROM information_schema.table_privileges WHERE "
                     "grantee = 'quarzel_owner' AND NOT (table_name = 'quarzel_counts' "
                     "AND privilege_type IN ('INSERT', 'SELECT', 'DELETE')) AND NOT (table_name = "
                     "'quarzel_meta' AND privilege_type = 'SELECT') AND NOT (table_name LIKE "
                     "'%\\_history%' AND privilege_type IN ('INSERT', 'SELECT')) AND "
                     "NOT (table_name LIKE '%\\_values' AND privilege_type = 'SELECT') AND NOT "
                     "(table_name LIKE '%\\_changes' AND privilege_type IN ('INSERT', 'SELECT', "
                     "'DELETE'))"),
                 0LL);
        QVERIFY(engineErrorOf([&] {
                    PgConnection pg(PgLogOn{server.conninfo(), "quarzel_owner", {}, false});
                }) != 0);
    }

    // A table's values are granted as the table; the dictionaries are
    // read through the reader's role and added to only by accounts that
    // add rows, and their order's sequence is used by those alone.
    void theValuesRightsAreTheTables() {
        TestData file(5);
        const engine::TablePermissions all{true, true, true, true}, read{true, false, false, false};
        engine::Workgroup::Account program{"quarzel", "ridge38uk", {}};
        for (const char* t : {"DOZIRO1", "Project1", "Project2", "Project3"})
            program.tables[t] = all;
        engine::Workgroup::create(file.workgroupPath(), file.identity(),
                                  {program, {"viewer", "pw", {{"Project2", read}}}});
        ServerData server(file);
        auto rights = [&](const std::string& role) {
            return server.count("SELECT count(*) FROM information_schema.table_privileges WHERE "
                                "grantee = '" +
                                role + "'");
        };
        QCOMPARE(rights("viewer"), 6LL); // SELECT on Project2, its values, history and changes
        QCOMPARE(server.count("SELECT count(*) FROM information_schema.table_privileges WHERE "
                              "grantee = 'viewer' AND table_name = 'Project2_values' AND "
                              "privilege_type = 'SELECT'"),
                 1LL);
        QCOMPARE(server.count("SELECT count(*) FROM information_schema.table_privileges WHERE "
                              "grantee = 'geologist' AND table_name IN ('quarzel_channel', "
                              "'quarzel_reference')"),
                 2LL); // INSERT on each, nothing else
        QCOMPARE(server.count("SELECT count(*) FROM information_schema.table_privileges WHERE "
                              "grantee = 'quarzel_reader' AND table_name LIKE '%\\_values'"),
                 0LL);
        // (each sequence asked about alone: the server may ask before it filters)
        QCOMPARE(server.count("SELECT count(*) FROM pg_class WHERE CASE WHEN relkind = 'S' THEN "
                              "has_sequence_privilege('viewer', oid, 'USAGE') END"),
                 0LL);
        QCOMPARE(server.count("SELECT count(*) FROM pg_class WHERE CASE WHEN relkind = 'S' AND "
                              "relname LIKE '%values%' THEN has_sequence_privilege('geologist', "
                              "oid, 'USAGE') END"),
                 4LL);
    }

    // The change log gives every committed change once: one committed
    // after a later one still comes, one rolled back leaves no gap open,
    // a statement of many rows comes in batches; a notice's text is never
    // taken for a change.
    void theChangeLogIsReadInFullAndAloneTrusted() {
        TestData file(1200);
        ServerData server(file);
        PgConnection reader({server.conninfo(), {}, {}, false}),
            a({server.conninfo(), {}, {}, false}), other({server.conninfo(), {}, {}, false});
        engine::PgChangeLog log(reader, "DOZIRO1");
        auto keysOf = [](const std::vector<engine::ChangeFeed::Change>& changes) {
            std::vector<std::int64_t> keys;
            for (const auto& c : changes)
                keys.push_back(c.key);
            return keys;
        };
        auto change = [](PgConnection& c, int key) {
            c.exec("UPDATE \"DOZIRO1\" SET \"Location\" = 'x' WHERE \"ID\" = " +
                   std::to_string(key));
        };
        for (const char* end : {"COMMIT", "ROLLBACK"}) {
            a.exec("BEGIN");
            change(a, 1);
            change(other, 2);
            QCOMPARE(keysOf(log.read(reader)), std::vector<std::int64_t>{2});
            QCOMPARE(log.gaps(), std::size_t(1));
            a.exec(end);
            const auto late = log.read(reader);
            QCOMPARE(keysOf(late), std::string(end) == "COMMIT" ? std::vector<std::int64_t>{1}
                                                                : std::vector<std::int64_t>{});
            QCOMPARE(log.gaps(), std::size_t(0));
        }
        const long long many = server.count("SELECT count(*) FROM \"DOZIRO1\" WHERE \"ID\" > 100");
        QVERIFY(many > 2 * engine::PgChangeLog::kBatch && many < 3 * engine::PgChangeLog::kBatch);
        other.exec("DELETE FROM \"DOZIRO1\" WHERE \"ID\" > 100");
        std::size_t removed = 0, batches = 0;
        do {
            for (const auto& c : log.read(reader))
                removed += c.kind == engine::ChangeFeed::Kind::Deleted;
            ++batches;
        } while (log.more());
        QCOMPARE(static_cast<long long>(removed), many);
        QCOMPARE(batches, std::size_t(3));
        // Trimmed to its newest entries: a reader left behind is told so.
        server.admin("INSERT INTO quarzel_meta VALUES ('changes_kept', '40')");
        other.exec("UPDATE \"DOZIRO1\" SET \"Location\" = 'y' WHERE \"ID\" <= 100");
        QCOMPARE(log.read(reader).size(), std::size_t(40));
        bool told = log.missed(); // at once, or when the gap is known settled
        change(other, 3);
        QCOMPARE(keysOf(log.read(reader)), std::vector<std::int64_t>{3});
        QVERIFY(told || log.missed());
        change(other, 4);
        QCOMPARE(keysOf(log.read(reader)), std::vector<std::int64_t>{4});
        QVERIFY(!log.missed());

        // Forged notices, then a real change: only the real one is heard.
        auto feed = server.open()->listen();
        other.exec("NOTIFY quarzel_changes, 'DOZIRO1 DELETE 5'");
        other.exec("NOTIFY quarzel_changes, 'DOZIRO1'");
        change(other, 7);
        std::vector<engine::ChangeFeed::Change> heard;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (auto& c : feed->take())
                    heard.push_back(c);
                return !heard.empty();
            }(),
            10000);
        QCOMPARE(keysOf(heard), std::vector<std::int64_t>{7});
        QCOMPARE(heard[0].kind, engine::ChangeFeed::Kind::Changed);

        // The kept count, a row per statement, is summed before it grows
        // long, and still counts every row.
        for (int i = 0; i < 300; ++i)
            other.exec(i % 3 ? "INSERT INTO \"Project1\" (\"Rockname\") VALUES ('x')"
                             : "DELETE FROM \"Project1\" WHERE \"ID\" = (SELECT "
                               "max(\"ID\") FROM \"Project1\")");
        QVERIFY(server.count("SELECT count(*) FROM quarzel_counts WHERE table_name = "
                             "'Project1'") <= schema::server::kCountRows + 1);
        QCOMPARE(server.count("SELECT sum(n) FROM quarzel_counts WHERE table_name = "
                              "'Project1'"),
                 server.count("SELECT count(*) FROM \"Project1\""));
    }

    // An import writes its rows a statement of many at a time: the kept
    // count gains a row per statement, not per row, and stays exact; every
    // row is logged with its key and has its own values beside it; the
    // import is one history entry. A row the table's rules refuse in the
    // middle of a statement is named, and nothing is written.
    void anImportIsCountedAStatementAtATimeAndRefusedWhole() {
        TestData file(20);
        ServerData server(file);
        QTemporaryDir dir;
        constexpr long long kRows = 3000;
        QByteArray csv = "SAMPLE NAME,SIO2(WT%),LA(PPM)\n";
        for (long long i = 1; i <= kRows; ++i) // row i on line i + 1
            csv += "B-" + QByteArray::number(qlonglong(i)) + "," +
                   QByteArray::number(40 + i % 50 / 10.0) + "," + QByteArray::number(qlonglong(i)) +
                   "\n";
        const ImportPlan plan = CsvImport::plan(write(dir, "many.csv", csv).toStdString());
        QCOMPARE(static_cast<long long>(plan.good()), kRows);
        const long long last = server.count("SELECT max(\"ID\") FROM \"Project1\"");
        auto state = [&] {
            std::vector<long long> s;
            for (const char* sql :
                 {"SELECT count(*) FROM quarzel_counts WHERE table_name = 'Project1'",
                  "SELECT coalesce(sum(n), 0) FROM quarzel_counts WHERE table_name = 'Project1'",
                  "SELECT count(*) FROM \"Project1\"", "SELECT count(*) FROM \"Project1_values\"",
                  "SELECT count(*) FROM \"Project1_changes\"",
                  "SELECT count(*) FROM \"Project1_history\""})
                s.push_back(server.count(sql));
            return s;
        };
        const std::vector<long long> before = state();
        auto db = server.open();
        QCOMPARE(static_cast<long long>(CsvImport::run(*db, "Project1", plan)), kRows);
        const std::vector<long long> after = state();
        QVERIFY2(after[0] - before[0] <= kRows / 100,
                 qPrintable(QString::number(after[0] - before[0])));
        QCOMPARE(after[1], after[2]);
        QCOMPARE(after[2], before[2] + kRows);
        QCOMPARE(
            static_cast<long long>(db->OpenRecordset("SELECT * FROM [Project1]")->RecordCount()),
            after[2]);
        const std::string added = " FROM \"Project1\" p WHERE p.\"ID\" > " + std::to_string(last);
        QCOMPARE(server.count("SELECT count(*)" + added +
                              " AND (SELECT count(*) FROM \"Project1_changes\" c WHERE c.sample = "
                              "p.\"ID\" AND c.kind = 'I') = 1"),
                 kRows);
        QCOMPARE(after[4], before[4] + kRows);
        // Each row's La beside it is the number in its own name.
        QCOMPARE(server.count("SELECT count(*)" + added +
                              " AND (SELECT v.value FROM \"Project1_values\" v JOIN "
                              "quarzel_channel h ON h.code = v.channel WHERE v.sample = p.\"ID\" "
                              "AND h.analyte = 'La') = split_part(p.\"Doziro Sample#\", '-', "
                              "2)::float8"),
                 kRows);
        QCOMPARE(server.count("SELECT count(*) FROM \"Project1_history\" WHERE kind = 'imported' "
                              "AND row_count = " +
                              std::to_string(kRows)),
                 1LL);
        QCOMPARE(after[5], before[5] + 1);

        // The same file again under a new rule that its row B-1500 breaks,
        // in the middle of a statement's rows.
        server.admin("ALTER TABLE \"Project1\" ADD CONSTRAINT \"no B-1500\" CHECK "
                     "(\"Doziro Sample#\" <> 'B-1500') NOT VALID");
        QString message;
        QCOMPARE(engineErrorOf([&] { CsvImport::run(*db, "Project1", plan); }, &message),
                 engine::err::Internal);
        QVERIFY2(message.startsWith("Line 1501 of the file cannot be imported") &&
                     message.contains("no B-1500") && message.endsWith("Nothing was imported."),
                 qPrintable(message));
        QCOMPARE(state(), after);
        server.admin("ALTER TABLE \"Project1\" DROP CONSTRAINT \"no B-1500\"");
    }
};

QTEST_GUILESS_MAIN(TestServerRights)
#include "tst_serverrights.moc"
