// CSV import, CSV / workbook export: files in the styles geologists get
// them in, written here; bad files refused with their cause; an import
// that is cancelled, refused, runs out of disk or is killed leaves the
// table exactly as it was.
#include "app/QuarzelDatabase.h"
#include "exchange/CsvImport.h"
#include "exchange/CsvSource.h"
#include "exchange/ViewExport.h"
#include "platform/data/DataControl.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Recordset.h"
#include "platform/db/Workgroup.h"
#include "support/GuiFixture.h"
#include "support/RecordsetRows.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char* kAnalysis = "Rockname, Geologist, Date, Location, [Doziro Sample#], SiO2, TiO2, "
                        "Al2O3, Fe2O3, FeO, MnO, MgO, CaO, Na2O, K2O, P2O5, [H2O+], [H2O-], CO2, "
                        "Cl, F, S, SO3, Cr2O3, ZrO2, Total, Trace1, Trace2, Trace3, Trace4, Trace5";

long long count(TestData& d, const char* table) {
    return d.rawCount(std::string("SELECT count(*) FROM ") + table);
}

// A digest of a table's rows, to see that nothing changed.
long long digest(TestData& d, const char* table) {
    return d.rawCount(std::string("SELECT total(ID * 7 + length(Rockname) + coalesce(SiO2, 0)) "
                                  "FROM ") +
                      table);
}

// A compilation-style file of n rows, about 150 bytes each.
QByteArray manyRows(long n) {
    QByteArray out = "SAMPLE ID,ROCK NAME,SIO2(WT%),NA2O(WT%),K2O(WT%)\n";
    for (long i = 0; i < n; ++i)
        out += "S-" + QByteArray::number(qlonglong(i)) + ",basalt,49.2,2.9,1.1\n";
    return out;
}

} // namespace

class TestExchange : public QObject {
    Q_OBJECT
private slots:
    void roundTripThroughCsvKeepsEveryValue() {
        TestData d(500);
        d.rawExec("DELETE FROM Project2");
        d.rawExec("UPDATE DOZIRO1 SET SiO2 = 'Empty', Location = 'Quote \"here\", and\nbreak' "
                  "WHERE ID = 5");
        d.rawExec("UPDATE DOZIRO1 SET TiO2 = 0.1 + 0.2 WHERE ID = 6"); // 0.30000000000000004
        auto db = d.open();
        auto rs = db->OpenRecordset("SELECT * From [DOZIRO1]Order By [Rockname] ASC", true);
        QTemporaryDir dir;
        const std::string file = dir.filePath("view.csv").toStdString();
        QCOMPARE(exportRows(*rs, file), 500L);
        const ImportPlan plan = CsvImport::plan(file);
        QCOMPARE(plan.rows, 500L);
        QCOMPARE(plan.bad, 0L);
        QCOMPARE(plan.columns.skipped, std::vector<std::string>({"ID"}));
        QCOMPARE(CsvImport::run(*db, "Project2", plan), 500L);
        // The same rows, value for value, under new keys.
        const std::string cols = kAnalysis;
        QCOMPARE(d.rawCount("SELECT count(*) FROM (SELECT " + cols + " FROM DOZIRO1 EXCEPT " +
                            "SELECT " + cols + " FROM Project2)"),
                 0LL);
        QCOMPARE(d.rawCount("SELECT count(*) FROM (SELECT " + cols + " FROM Project2 EXCEPT " +
                            "SELECT " + cols + " FROM DOZIRO1)"),
                 0LL);
        QCOMPARE(d.rawCount("SELECT count(*) FROM Project2 WHERE ID <= 500 AND ID IN (SELECT ID "
                            "FROM DOZIRO1) AND Rockname = 'never'"),
                 0LL);
        // The export's text itself: quoted where it must be, full precision.
        QFile f(QString::fromStdString(file));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(text.startsWith("Rockname,Geologist,Date,Location,Doziro Sample#,SiO2,"));
        QVERIFY(text.contains("\"Quote \"\"here\"\", and\nbreak\""));
        QVERIFY(text.contains(",0.30000000000000004,"));
    }

    void compilationStylesAreRead() {
        TestData d(10);
        d.rawExec("DELETE FROM Project1");
        QTemporaryDir dir;
        // Latin-1 names, a quoted line break, units in the headers, below
        // detection and not determined, a column of ours we skip (ID) and
        // one of nobody's (LATITUDE, a fact kept beside).
        QByteArray latin = "SAMPLE NAME,ROCK NAME,LOCATION COMMENT,LATITUDE,SIO2(WT%),"
                           "NA2O(WT%),K2O(WT%),CL(WT%),ID\r\n";
        latin += "G-1,Basalt,\"S\xe9gou,\r\nriver bank\",12.5,49.1,2.9,1.1,<0.01,77\r\n";
        latin += "G-2,Andesite,N\xf8rre Fjord,13,58.4,3.5,1.6,n.d.,78\r\n";
        latin += "G-3,Dacite,Lake,14,,3.8,2.2,bdl,79\r\n";
        const QString latinFile = write(dir, "latin.csv", latin);
        ImportPlan plan = CsvImport::plan(latinFile.toStdString());
        QVERIFY(plan.latin1);
        QCOMPARE(plan.rows, 3L);
        QCOMPARE(plan.bad, 0L);
        QCOMPARE(plan.columns.skipped, std::vector<std::string>({"ID"}));
        QCOMPARE(plan.nulls[19], 3L); // Cl
        auto db = d.open();
        long long stored = 0;
        QCOMPARE(CsvImport::run(*db, "Project1", plan, {}, nullptr, &stored), 3L);
        // 3 names, 3 places, 3 samples; 3 latitudes, SiO2 2, Na2O 3, K2O
        // 3 and Cl below 0.01 beside the table.
        QCOMPARE(stored, 21LL);
        QCOMPARE(CsvImport::summary(plan, 3, stored),
                 std::string("3 rows imported, 21 values kept, 1 column left out (ID)."));
        QCOMPARE(d.rawCount("SELECT count(*) FROM Project1 WHERE Location = 'Ségou,\r\nriver "
                            "bank' AND [Doziro Sample#] = 'G-1' AND SiO2 = 49.1 AND Cl IS NULL"),
                 1LL);
        QCOMPARE(d.rawCount("SELECT count(*) FROM Project1 WHERE Location = 'Nørre Fjord'"), 1LL);
        QCOMPARE(d.rawCount("SELECT count(*) FROM Project1 WHERE SiO2 = 'Empty'"), 1LL);
        QCOMPARE(d.rawCount("SELECT count(*) FROM Project1 WHERE ID IN (77, 78, 79)"), 0LL);

        // UTF-8 with a byte-order mark; semicolons with decimal commas and
        // the other spellings of units.
        d.rawExec("DELETE FROM Project1");
        const QString semi =
            write(dir, "semi.csv",
                  "\xEF\xBB\xBFSample;Rock type;SiO2 [wt%];TiO2_wt;Al2O3 wt%;H2OP;H2OM;Geologist;"
                  "SAMPLING DATE\n"
                  "Z-1;Phonolite;56,19;0,62;19,04;1,57;0,37;Åsa Ström;2001-05-06\n");
        plan = CsvImport::plan(semi.toStdString());
        QVERIFY(!plan.latin1);
        QCOMPARE(plan.delimiter, ';');
        QCOMPARE(CsvImport::run(*db, "Project1", plan), 1L);
        QCOMPARE(d.rawCount("SELECT count(*) FROM Project1 WHERE SiO2 = 56.19 AND TiO2 = 0.62 "
                            "AND Al2O3 = 19.04 AND [H2O+] = 1.57 AND [H2O-] = 0.37 AND "
                            "Geologist = 'Åsa Ström' AND Date = '2001-05-06' AND Rockname = "
                            "'Phonolite'"),
                 1LL);
        // A German survey's headers, beside its units and "Summe".
        d.rawExec("DELETE FROM Project1");
        const QString german = write(dir, "german.csv",
                                     "Probe;Gestein;Sammler;Datum;Fundort;SiO2 [Gew.-%];Summe\n"
                                     "B-7;Basalt;K. Vogt;12.05.1998;Vogelsberg;48,5;99,8\n");
        plan = CsvImport::plan(german.toStdString());
        QVERIFY(plan.columns.skipped.empty());
        QCOMPARE(CsvImport::run(*db, "Project1", plan), 1L);
        QCOMPARE(d.rawCount("SELECT count(*) FROM Project1 WHERE [Doziro Sample#] = 'B-7' AND "
                            "Rockname = 'Basalt' AND Geologist = 'K. Vogt' AND Date = "
                            "'1998-05-12' AND Location = 'Vogelsberg' AND SiO2 = 48.5 AND "
                            "Total = 99.8"),
                 1LL);
        // A file named as a workbook that is none says why.
        const QString fake = write(dir, "fake.xlsx", "SiO2,Na2O\n50,3\n");
        try {
            CsvImport::plan(fake.toStdString());
            QFAIL("read a text file as a workbook");
        } catch (const CsvError& e) {
            QVERIFY2(!QString(e.what()).endsWith(": "), e.what());
            QCOMPARE(e.code(), CsvError::Code::Unreadable);
        }
        // Tab-separated.
        const QString tabs = write(dir, "tabs.csv", "SiO2\tNa2O\n50.5\t3.25\n");
        QCOMPARE(CsvImport::plan(tabs.toStdString()).delimiter, '\t');
    }

    void badFilesAndBadRows() {
        QTemporaryDir dir;
        QVERIFY(planError(write(dir, "empty.csv", "")).contains("is empty"));
        QVERIFY(planError(write(dir, "header.csv", "SiO2,Na2O,K2O\n")).contains("no rows"));
        QVERIFY(planError(write(dir, "binary.csv", QByteArray("PK\x03\x04\0\0\x14", 7)))
                    .contains("not a text file"));
        QVERIFY(planError(write(dir, "quote.csv", "SiO2,Location\n50,\"open\n51,x\n"))
                    .contains("never closed"));
        const QString dup = planError(write(dir, "dup.csv", "SiO2,MgO,SIO2\n50,7,51\n"));
        QVERIFY2(dup.contains("'SiO2' (column 1) and 'SIO2' (column 3)"), qPrintable(dup));
        QVERIFY(planError(write(dir, "foreign.csv", "a,b\n1,2\n")).contains("None of the columns"));
        // A 1 GiB line (a sparse file: no disk is spent on it).
        const QString huge =
            write(dir, "huge.csv", "SiO2,Location\n50," + QByteArray(1 << 20, 'x'));
        QVERIFY(QFile::resize(huge, 1LL << 30));
        const QString hugeError = planError(huge);
        QVERIFY2(hugeError.contains("Line 2") && hugeError.contains("16 MiB"),
                 qPrintable(hugeError));

        // Bad rows: listed with line, column and text; the good ones stand.
        const QString rows = write(dir, "rows.csv",
                                   "Rockname,SiO2,Na2O\nBasalt,49.2,2.9\nTypo,4g.1,3\n"
                                   "Short,50\n\"Two\nlines\",51,3\nDacite,65,1e400\n");
        const ImportPlan plan = CsvImport::plan(rows.toStdString());
        QCOMPARE(plan.rows, 5L);
        QCOMPARE(plan.bad, 3L);
        QCOMPARE(plan.firstBad[0].line, 3L);
        QCOMPARE(QString::fromStdString(plan.firstBad[0].column), QString("SiO2"));
        QCOMPARE(QString::fromStdString(plan.firstBad[0].text), QString("4g.1"));
        QCOMPARE(plan.firstBad[1].line, 4L);
        QVERIFY(plan.firstBad[1].why.find("2 fields") != std::string::npos);
        QCOMPARE(plan.firstBad[2].line, 7L); // after a record of two lines
        QVERIFY(QString::fromStdString(plan.describe())
                    .contains("line 3: SiO2 '4g.1' is not a number"));
    }

    void failedImportsChangeNothing() {
        TestData d(40);
        QTemporaryDir dir;
        const QString file = write(dir, "many.csv", manyRows(20000));
        const ImportPlan plan = CsvImport::plan(file.toStdString());
        const long long rows = count(d, "Project1"), sum = digest(d, "Project1");

        // Cancelled while read: told by its code, whatever its text.
        {
            std::atomic<bool> cancel{true};
            try {
                CsvImport::plan(file.toStdString(), &cancel);
                QFAIL("a cancelled reading gave a plan");
            } catch (const CsvError& e) {
                QCOMPARE(e.code(), CsvError::Code::Cancelled);
            }
        }
        // Cancelled: seen after the first thousand rows are written.
        {
            auto db = d.open();
            std::atomic<bool> cancel{true};
            QCOMPARE(CsvImport::run(*db, "Project1", plan, {}, &cancel), -1L);
        }
        QCOMPARE(count(d, "Project1"), rows);

        // An account without the insert right.
        {
            engine::Workgroup::Account reader{
                "reader", "pw", {{"Project1", engine::TablePermissions{true, true, false, true}}}};
            const std::string wg = d.dir().toStdString() + "/reader.mdw";
            engine::Workgroup::create(wg, d.identity(), {reader});
            auto& e = engine::DBEngine::instance();
            e.SystemDB = wg;
            e.DefaultUser = "reader";
            e.DefaultPassword = "pw";
            auto db = e.Workspaces(0).OpenDatabase(d.databasePath());
            int number = 0;
            try {
                CsvImport::run(*db, "Project1", plan);
            } catch (const engine::EngineError& err) {
                number = err.number();
            }
            QCOMPARE(number, engine::err::NoPermission);
        }
        QCOMPARE(count(d, "Project1"), rows);

        // A full disk, and a kill -9 in the middle: in child processes. The
        // child says when it is inside the import (a megabyte read).
        const QString big = write(dir, "big.csv", manyRows(300000));
        const ImportPlan bigPlan = CsvImport::plan(big.toStdString());
        for (int mode = 0; mode < 2; ++mode) {
            int pipeFds[2];
            QVERIFY(pipe(pipeFds) == 0);
            const pid_t child = fork();
            if (child == 0) {
                close(pipeFds[0]);
                if (mode == 0) {
                    signal(SIGXFSZ, SIG_IGN);
                    const off_t size = QFileInfo(d.dir() + "/quarzdb32.mdb").size();
                    const auto limit = static_cast<rlim_t>(size + 200000);
                    rlimit small{limit, limit};
                    setrlimit(RLIMIT_FSIZE, &small);
                }
                try {
                    auto db = d.open();
                    CsvImport::run(*db, "Project1", bigPlan, [&](long long) {
                        const char inside = 1;
                        (void)!::write(pipeFds[1], &inside, 1);
                    });
                } catch (const std::exception&) {
                    _exit(3);
                }
                _exit(0);
            }
            close(pipeFds[1]);
            if (mode == 1) {
                char inside = 0;
                QCOMPARE(read(pipeFds[0], &inside, 1), ssize_t(1));
                kill(child, SIGKILL);
            }
            int status = 0;
            waitpid(child, &status, 0);
            close(pipeFds[0]);
            if (mode == 0)
                QCOMPARE(WEXITSTATUS(status), 3);
            else
                QVERIFY(WIFSIGNALED(status));
            QCOMPARE(d.rawCount("SELECT count(*) FROM pragma_integrity_check WHERE "
                                "integrity_check = 'ok'"),
                     1LL);
            QCOMPARE(count(d, "Project1"), rows);
            QCOMPARE(digest(d, "Project1"), sum);
        }
    }

    void fromTheMenusOfTheWindow() {
        GuiFixture f(300);
        auto& w = f.start();
        QTemporaryDir dir;
        // Export the view, a search's rows in the grid's order.
        w.Text1[0]->setText("basalt");
        w.Command1[0]->click();
        const long shown = w.Data1->Recordset().RecordCount();
        QVERIFY(exportTo(w, dir.filePath("basalt.csv")));
        QFile csv(dir.filePath("basalt.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = csv.readAll().split('\n');
        lines.removeAll("");
        QCOMPARE(lines.size(), int(shown) + 1);
        QVERIFY(lines[1].toLower().contains("basalt"));
        QVERIFY(exportTo(w, dir.filePath("basalt.xlsx")));
        QFile xlsx(dir.filePath("basalt.xlsx"));
        QVERIFY(xlsx.open(QIODevice::ReadOnly));
        QCOMPARE(xlsx.read(2), QByteArray("PK"));
        // An unwritable place: a message, nothing left, the earlier file kept.
        QVERIFY(!exportTo(w, "/nonexistent-folder/view.csv"));
        QCOMPARE(f.messages.shown.back().title, QString("Export Error"));
        QVERIFY(f.messages.shown.back().text.contains("/nonexistent-folder/view.csv"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);

        // Import into the active table: asked first; No changes nothing.
        trigger(w, "mnuActive1", 1);
        const long long before = count(f.data(), "Project1");
        const QString file = write(dir, "new.csv", manyRows(25));
        f.messages.answer = false;
        QVERIFY(!importFile(w, file));
        QCOMPARE(f.messages.asked.size(), size_t(1));
        QVERIFY(f.messages.asked[0].contains("SIO2(WT%) -> SiO2"));
        QVERIFY(f.messages.asked[0].contains("Import the 25 rows into Project1?"));
        QCOMPARE(count(f.data(), "Project1"), before);
        f.messages.answer = true;
        QVERIFY(importFile(w, file));
        QCOMPARE(count(f.data(), "Project1"), before + 25);
        QCOMPARE(w.Label3->text(), QString("%1 Records").arg(before + 25));
        // A file that cannot be read is refused with its cause.
        QVERIFY(!importFile(w, write(dir, "bad.csv", "")));
        QCOMPARE(f.messages.shown.back().title, QString("Import Error"));
        QVERIFY(f.messages.shown.back().text.contains("is empty"));
    }
};

QTEST_MAIN(TestExchange)
#include "tst_exchange.moc"
