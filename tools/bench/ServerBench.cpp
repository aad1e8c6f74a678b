#include "ServerBench.h"

#include "BenchReport.h"
#include "ServerInit.h"
#include "WindowMeter.h"
#include "app/MainMenu.h"
#include "app/QuarzelDatabase.h"
#include "exchange/CsvImport.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/data/RecordsetModel.h"
#include "platform/db/Database.h"
#include "platform/db/Recordset.h"
#include "platform/db/pg/PgConnection.h"
#include "platform/db/pg/PgDatabase.h"
#include "platform/db/pg/PgDialect.h"
#include "platform/program/ProgramInfo.h"
#include "schema/Column.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A cluster of the bench's own, run as an unprivileged user when this runs
// as root, on loopback and a socket in its folder.
class BenchServer {
public:
    // The cluster lives where the unprivileged user can reach it, not
    // under the home folder; one per cached table and server schema.
    explicit BenchServer(const std::string& rowsDir)
        : base_("/var/tmp/quarzel-bench/server5-" + fs::path(rowsDir).filename().string()) {
        for (const auto& d : fs::directory_iterator("/usr/lib/postgresql"))
            bin_ = std::max(bin_, d.path().string() + "/bin");
        if (geteuid() == 0)
            as_ = "runuser -u nobody -- ";
        port_ = 20000 + static_cast<int>(getpid() % 20000);
        const bool fresh = !fs::exists(base_ + "/ready");
        if (fresh) {
            fs::remove_all(base_);
            fs::create_directories(base_);
            fs::permissions(fs::path(base_).parent_path(), fs::perms::all);
            run("chown nobody " + base_ + " 2>/dev/null; true");
            run(as_ + bin_ + "/initdb -D " + base_ + "/data -U quarzel_admin --auth=trust " +
                "--encoding=UTF8 --locale=C.UTF-8 >/dev/null");
        }
        run(as_ + bin_ + "/pg_ctl -D " + base_ + "/data -l " + base_ + "/log -w -o \"-c " +
            "listen_addresses=127.0.0.1 -c port=" + std::to_string(port_) +
            " -c unix_socket_directories=" + base_ + " -c shared_buffers=1GB\" start >/dev/null");
        if (fresh) {
            std::printf("copying the rows to the bench's server (once) ...\n");
            std::fflush(stdout);
            engine::PgConnection admin(engine::PgLogOn{admin_("postgres"), {}, {}, false});
            admin.execScript("CREATE DATABASE quarzel");
            std::ofstream report("/dev/null");
            serverInit(rowsDir, admin_("quarzel"), report);
            std::ofstream(base_ + "/ready") << "ready\n";
        }
    }
    ~BenchServer() {
        std::system(
            (as_ + bin_ + "/pg_ctl -D " + base_ + "/data -m fast stop >/dev/null 2>&1").c_str());
    }
    int port() const { return port_; }
    std::string conninfo() const { return admin_("quarzel"); }

private:
    std::string admin_(const std::string& db) const {
        return "host=127.0.0.1 port=" + std::to_string(port_) + " user=quarzel_admin dbname=" + db;
    }
    static void run(const std::string& command) {
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("failed: " + command);
    }
    std::string base_, bin_, as_;
    int port_;
};

// What a program showing a view needs from the server through libpq
// alone: the exact count and the first screen of rows, in the view's order.
struct ServerFirstScreen {
    explicit ServerFirstScreen(const std::string& conninfo)
        : pg(engine::PgLogOn{conninfo, {}, {}, true}) {}
    // The count as the program takes it: a whole table's from the counts
    // its triggers keep, a condition's by the server; conditions and
    // orders written as the program writes them, so that both use the
    // same indexes.
    void show(const std::string& where, const std::string& order) {
        pg.exec(where.empty() ? "SELECT coalesce(sum(n), 0) FROM quarzel_counts WHERE "
                                "table_name = 'DOZIRO1'"
                              : "SELECT count(*) FROM \"DOZIRO1\"" + where);
        pg.exec("SELECT * FROM \"DOZIRO1\"" + where + " " + order + " LIMIT 20");
    }
    engine::PgConnection pg;
};

// An import of 20,000 rows (each with six values beside it) into the big
// table, as the window makes it (the samples already there counted), then
// the kept count read as a window would at once after it. The rows are
// taken away afterwards, as the administrator and past the triggers, so
// that the cached cluster stays as it was (its count given back).
void importCase(BenchReport& report, const std::string& conninfo, const std::string& at) {
    constexpr long kRows = 20000;
    QTemporaryDir dir;
    const std::string csv = (dir.path() + "/import.csv").toStdString();
    {
        std::ofstream out(csv);
        out << "SAMPLE NAME,SIO2(WT%),TIO2(WT%),AL2O3(WT%),MGO(WT%),CAO(WT%),LA(PPM)\n";
        for (long i = 0; i < kRows; ++i)
            out << "IMP-" << i << "," << 45 + i % 200 / 10.0 << "," << 0.5 + i % 30 / 20.0 << ","
                << 12 + i % 70 / 10.0 << "," << 2 + i % 90 / 10.0 << "," << 5 + i % 60 / 10.0 << ","
                << 1 + i % 400 / 4.0 << "\n";
    }
    const ImportPlan plan = CsvImport::plan(csv);
    engine::PgConnection admin(engine::PgLogOn{conninfo, {}, {}, false});
    const std::string kept =
        "SELECT coalesce(sum(n), 0) FROM quarzel_counts WHERE table_name = 'DOZIRO1'";
    std::vector<double> imports, counts;
    for (int run = 0; run < 3; ++run) {
        const std::string last = admin.exec("SELECT max(\"ID\") FROM \"DOZIRO1\"").text(0, 0);
        auto db = engine::Database::openServer(conninfo, {}, {}, false);
        long met = 0, written = 0;
        imports.push_back(BenchReport::milliseconds([&] {
            written = CsvImport::run(*db, "DOZIRO1", plan, {}, nullptr, nullptr,
                                     CsvImport::Duplicates::Keep, &met);
        }));
        counts.push_back(BenchReport::milliseconds([&] { admin.exec(kept); }));
        if (written != kRows)
            throw std::runtime_error("the bench's import wrote " + std::to_string(written) +
                                     " rows");
        admin.execScript("BEGIN; SET LOCAL session_replication_role = replica; "
                         "DELETE FROM \"DOZIRO1_values\" WHERE sample > " +
                         last + "; DELETE FROM \"DOZIRO1\" WHERE \"ID\" > " + last +
                         "; DELETE FROM \"DOZIRO1_changes\" WHERE sample > " + last +
                         "; DELETE FROM \"DOZIRO1_history\" WHERE sample > " + last +
                         "; INSERT INTO quarzel_counts VALUES ('DOZIRO1', -" +
                         std::to_string(kRows) + "); COMMIT");
        admin.exec("VACUUM quarzel_counts"); // each run from the same start
    }
    report.limit("server: import a 20,000-row CSV, six values a row (median of 3)" + at,
                 BenchReport::median(imports), 10000, "ms");
    report.limit("server: the kept count read at once after the import" + at,
                 BenchReport::median(counts), 10, "ms");
}

} // namespace

void runServerCases(BenchReport& report, const std::string& dir) {
    BenchServer server(dir);
    ProgramInfo::setPath(QString::fromStdString(dir));
    // The program finds the server in its settings file, as a user's would.
    QTemporaryDir config;
    {
        std::ofstream ini((config.path() + "/Stonarc.ini").toStdString());
        ini << "[Database]\nServer=127.0.0.1:" << server.port()
            << "\nName=quarzel\nUser=quarzel_admin\n";
    }
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    ServerFirstScreen raw(server.conninfo());
    std::string at;
    {
        auto db = engine::Database::openServer(server.conninfo(), {}, {}, true);
        at = " (" + std::to_string(db->OpenRecordset("SELECT * FROM [DOZIRO1]")->RecordCount()) +
             " rows on the server)";
    }

    // A new process, log-on included, to the first painted rows.
    {
        const StartTimes t = timeStart(dir, [&] {
            return BenchReport::milliseconds([&] {
                ServerFirstScreen fresh(server.conninfo());
                fresh.show("", "ORDER BY lower(\"Rockname\") ASC NULLS FIRST, \"ID\"");
            });
        });
        char shell[80];
        std::snprintf(shell, sizeof shell, " (libpq log-on, count and first screen: %.0f ms)",
                      t.reference);
        report.limit("server: start, a new process to the first painted rows" + at + shell, t.ours,
                     400, "ms");
    }

    auto window = std::make_unique<QuarzelDatabase>();
    {
        CommandMeter meter;
        window->show();
        paint(*window);
        settle(*window);
        report.limit("server: event loop held at most by the start" + at, meter.held(), 100, "ms");
    }
    QuarzelDatabase& w = *window;
    auto commandCase = [&](const std::string& name, const std::function<void()>& command,
                           const std::string& where, const std::string& order) {
        const CommandTimes t = timeCommand(w, command, [&] { raw.show(where, order); });
        // A window command is held to its limits; libpq alone fetching the
        // count and the first screen on an open connection is told beside
        // them for scale.
        char scale[96];
        std::snprintf(scale, sizeof scale, " (libpq alone, count and first screen: %.1f ms)",
                      t.reference);
        report.limit("server: " + name + ": first rows painted" + at, t.firstRows, 150, "ms");
        report.limit("server: " + name + ": count label painted" + at + scale, t.label, 500, "ms");
        report.limit("server: " + name + ": event loop held at most" + at, t.held, 100, "ms");
    };
    commandCase(
        "Refresh", [&] { w.Command1[1]->click(); }, "",
        "ORDER BY lower(\"Rockname\") ASC NULLS FIRST, \"ID\"");
    commandCase(
        "sort by Geologist DESC", [&] { w.menu()->item("mnuGeologistD")->trigger(); }, "",
        "ORDER BY lower(\"Geologist\") DESC NULLS LAST, \"ID\" DESC");
    commandCase(
        "Find basalt in Rockname", [&] { find(w, "basalt", "Rockname"); },
        " WHERE " + engine::PgDialect::likeCondition("\"Rockname\"", "*basalt*"),
        "ORDER BY lower(\"Rockname\") ASC NULLS FIRST, \"ID\"");
    commandCase(
        "Find 12345 in Doziro Sample#", [&] { find(w, "12345", "Doziro Sample#"); },
        " WHERE " + engine::PgDialect::likeCondition("\"Doziro Sample#\"", "*12345*"),
        "ORDER BY lower(\"Doziro Sample#\") ASC NULLS FIRST, \"ID\"");

    // A rare term through its trigram index, against the same statement
    // with the server made to read every row.
    {
        engine::PgConnection pg(engine::PgLogOn{server.conninfo(), {}, {}, true});
        auto db = engine::Database::openServer(server.conninfo(), {}, {}, true);
        const std::string sql = static_cast<engine::PgDatabase&>(*db).translate(
            "SELECT [ID] FROM [DOZIRO1]Where [Doziro Sample#] Like '*12345*'");
        std::vector<double> indexed, scanned;
        for (int run = 0; run < 5; ++run) {
            indexed.push_back(BenchReport::milliseconds([&] { pg.exec(sql); }));
            pg.exec("SET enable_bitmapscan = off");
            pg.exec("SET enable_indexscan = off");
            scanned.push_back(BenchReport::milliseconds([&] { pg.exec(sql); }));
            pg.exec("RESET enable_bitmapscan");
            pg.exec("RESET enable_indexscan");
        }
        report.record("server: a rare *term* (12345 in Doziro Sample#) through the trigram "
                      "index, against a sequential scan" +
                          at,
                      BenchReport::median(indexed), BenchReport::median(scanned), 0.05);
    }

    // A single-row edit, its round trip: the statement naming the row's
    // version, and the row as saved.
    {
        w.menu()->item("mnuRockname")->trigger();
        paint(w);
        settle(w);
        auto db = engine::Database::openServer(server.conninfo(), {}, {}, false);
        auto editable = db->OpenRecordset("SELECT * From [DOZIRO1]Order By [Rockname] ASC");
        std::vector<double> edits;
        for (int i = 0; i < 50; ++i) {
            editable->valueAt(i, schema::index(schema::Column::Date));
            edits.push_back(BenchReport::milliseconds([&] {
                editable->updateRow(i, {{schema::index(schema::Column::Date),
                                         "2026-12-" + std::to_string(10 + i % 9)}});
            }));
        }
        report.limit("server: a single-row edit, round trip (median of 50)" + at,
                     BenchReport::median(edits), 10, "ms");
        // Another user's change, to the window's painted row: the row is
        // shown (read) first, so that only the change feed brings the new
        // value.
        RecordsetModel* model = w.vaSpread1->recordsetModel();
        int heard = 0;
        QObject::connect(w.Data1->view(), &View::rowChangedElsewhere, &w, [&heard] { ++heard; });
        const int location = schema::index(schema::Column::Location);
        auto liveCase = [&](const std::string& name, const std::string& tag) {
            std::vector<double> live;
            double held = 0; // the event loop unserved, the save's own round trip left out
            for (int i = 0; i < 5; ++i) {
                const QString text = QString::fromStdString(tag) + QString(" %1").arg(i);
                (void)model->cellText(i, location);
                const int before = heard;
                const double ms = BenchReport::milliseconds([&] {
                    editable->updateRow(i, {{location, text.toStdString()}});
                    CommandMeter meter;
                    QElapsedTimer waited;
                    waited.start();
                    while ((heard == before || model->cellText(i, location) != text) &&
                           waited.elapsed() < 5000)
                        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
                    held = std::max(held, meter.held());
                });
                live.push_back(ms);
            }
            report.limit("server: another user's change reaches the open window" + name + at,
                         BenchReport::median(live), 1000, "ms");
            report.limit("server: the window held at most while the change came" + name + at, held,
                         100, "ms");
        };
        liveCase("", "Live");
        // The same while eight other users save rows as fast as they can,
        // each on a connection of its own, rows beyond the window's screen.
        std::atomic<bool> stop{false};
        std::vector<std::thread> writers;
        for (int k = 0; k < 8; ++k)
            writers.emplace_back([&, k] {
                engine::PgConnection pg(engine::PgLogOn{server.conninfo(), {}, {}, false});
                for (long n = 0; !stop; ++n)
                    pg.tryExec("UPDATE \"DOZIRO1\" SET \"Date\" = '2026-12-0" +
                               std::to_string(1 + n % 9) +
                               "' WHERE \"ID\" = " + std::to_string(1000 + k * 1000 + n % 1000));
            });
        liveCase(" under 8 writers", "Busy");
        stop = true;
        for (auto& t : writers)
            t.join();
        // Another user's statement adds 500 rows, named to sort all over the
        // window's order (by Rockname), and renames 500 so that they move:
        // each is placed among the set's keys.
        {
            int inserted = 0, moved = 0;
            QObject::connect(w.Data1->view(), &View::rowInsertedElsewhere, &w,
                             [&inserted] { ++inserted; });
            // A renamed row moved, or stayed where it sorts still.
            QObject::connect(w.Data1->view(), &View::rowsMovedElsewhere, &w, [&moved] { ++moved; });
            QObject::connect(w.Data1->view(), &View::rowChangedElsewhere, &w,
                             [&moved] { ++moved; });
            engine::PgConnection pg(engine::PgLogOn{server.conninfo(), {}, {}, false});
            // Put back afterwards: the bench's server is made once.
            pg.exec("CREATE TEMP TABLE bench_names AS SELECT \"ID\", \"Rockname\" FROM "
                    "\"DOZIRO1\" WHERE \"ID\" BETWEEN 5000 AND 6499");
            std::vector<double> took;
            double held = 0;
            for (int run = 0; run < 3; ++run) {
                const int insertedBefore = inserted, movedBefore = moved;
                const std::string tag = "Bench " + std::to_string(run) + " ";
                took.push_back(BenchReport::milliseconds([&] {
                    pg.exec("INSERT INTO \"DOZIRO1\" (\"Rockname\") SELECT chr(65 + g % 26) || '" +
                            tag + "' || g FROM generate_series(1, 500) g");
                    pg.exec(
                        "UPDATE \"DOZIRO1\" SET \"Rockname\" = chr((90 - \"ID\" % 26)::int) || '" +
                        tag + "' WHERE \"ID\" BETWEEN " + std::to_string(5000 + run * 500) +
                        " AND " + std::to_string(5499 + run * 500));
                    CommandMeter meter;
                    QElapsedTimer waited;
                    waited.start();
                    while ((inserted < insertedBefore + 500 || moved < movedBefore + 500) &&
                           waited.elapsed() < 60000)
                        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
                    held = std::max(held, meter.held());
                }));
            }
            pg.exec("UPDATE \"DOZIRO1\" d SET \"Rockname\" = b.\"Rockname\" FROM bench_names b "
                    "WHERE d.\"ID\" = b.\"ID\"");
            pg.exec("DELETE FROM \"DOZIRO1\" WHERE \"Rockname\" LIKE '_Bench %'");
            report.limit("server: another user's 500 new rows and 500 renamed, placed in the "
                         "window's order" +
                             at,
                         BenchReport::median(took), 1000, "ms");
            report.limit("server: the window held at most while they were placed" + at, held, 100,
                         "ms");
        }
    }
    window.reset();
    importCase(report, server.conninfo(), at);
    // The rows the cases added, renamed and took out again leave dead
    // entries behind in the table and its indexes: vacuumed, so that the
    // next run meets the table as server-init left it.
    engine::PgConnection admin(engine::PgLogOn{server.conninfo(), {}, {}, false});
    admin.exec("VACUUM \"DOZIRO1\"");
    admin.exec("VACUUM \"DOZIRO1_values\"");
}
