#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Recordset.h"
#include "support/TestData.h"

#include <QtTest>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr long kOriginalRows = 3000;

// One completed change as the child reports it: kind, key, counter.
struct Report {
    char kind; // 'u' update, 'a' add, 'd' delete
    long long key;
    long long n;
};

[[noreturn]] void childWork(const TestData& d, int fd, long long start) {
    auto db = d.open();
    auto rs = db->OpenRecordset("SELECT * From [DOZIRO1]Order By [ID] ASC");
    std::mt19937 rng(static_cast<unsigned>(start));
    // Rows are kept apart so that a change made but not reported before the
    // kill can never hide a reported one: even original rows are only
    // updated, odd original rows only deleted, added rows left alone.
    auto pick = [&](bool even) {
        for (;;) {
            const long row = static_cast<long>(rng() % static_cast<unsigned>(rs->RecordCount()));
            const long long key = rs->keyAt(row);
            if (key <= kOriginalRows && (key % 2 == 0) == even)
                return row;
        }
    };
    for (long long n = start;; ++n) {
        Report r{};
        const int op = static_cast<int>(rng() % 10);
        if (op < 6) {
            const long row = pick(true);
            // Both cells carry the counter: a row half-written would show two.
            rs->updateRow(row, {{3, "v" + std::to_string(n)}, {6, std::to_string(n)}});
            r = {'u', rs->keyAt(row), n};
        } else if (op < 8) {
            rs->AddNew();
            r = {'a', rs->Update(), n};
        } else {
            rs->setAbsolutePosition(pick(false));
            const long long key = rs->keyAt(rs->AbsolutePosition());
            rs->Delete();
            r = {'d', key, n};
        }
        if (write(fd, &r, sizeof r) != sizeof r)
            _exit(1);
    }
}

} // namespace

class TestCrashSafety : public QObject {
    Q_OBJECT
private slots:
    void killedAtRandomMomentsLosesNothingReported() {
        TestData d(kOriginalRows);
        std::mt19937 rng(20261207);
        std::map<long long, long long> lastUpdate; // key -> counter of its last reported update
        std::set<long long> added, deleted;
        long long counter = 1;
        for (int round = 0; round < 30; ++round) {
            int fds[2];
            QVERIFY(pipe(fds) == 0);
            const pid_t pid = fork();
            QVERIFY(pid >= 0);
            if (pid == 0) {
                close(fds[0]);
                childWork(d, fds[1], counter);
            }
            close(fds[1]);
            // The kill comes at a random moment after the child's first
            // change, whatever its log-on cost on a busy machine.
            Report r;
            std::vector<Report> reports;
            if (read(fds[0], &r, sizeof r) == sizeof r)
                reports.push_back(r);
            QTest::qSleep(static_cast<int>(rng() % 100));
            kill(pid, SIGKILL);
            int status = 0;
            waitpid(pid, &status, 0);
            QVERIFY2(WIFSIGNALED(status), "the child ended before its kill");
            QVERIFY2(!reports.empty(), "the child made no change");
            while (read(fds[0], &r, sizeof r) == sizeof r)
                reports.push_back(r);
            for (const Report& r : reports) {
                counter = std::max(counter, r.n + 1);
                if (r.kind == 'u')
                    lastUpdate[r.key] = r.n;
                else if (r.kind == 'a')
                    added.insert(r.key);
                else
                    deleted.insert(r.key);
            }
            close(fds[0]);
            counter += 100000; // changes made but not reported stay below the next round's counters

            QCOMPARE(
                d.rawCount(
                    "SELECT count(*) FROM pragma_integrity_check WHERE integrity_check = 'ok'"),
                1LL);
            QCOMPARE(d.rawCount("SELECT count(*) FROM DOZIRO1 WHERE Location GLOB 'v[0-9]*' AND "
                                "'v' || CAST(TiO2 AS INTEGER) <> Location"),
                     0LL);
            for (long long key : deleted)
                QCOMPARE(
                    d.rawCount("SELECT count(*) FROM DOZIRO1 WHERE ID = " + std::to_string(key)),
                    0LL);
            for (long long key : added)
                if (!deleted.count(key))
                    QCOMPARE(d.rawCount("SELECT count(*) FROM DOZIRO1 WHERE ID = " +
                                        std::to_string(key)),
                             1LL);
            for (const auto& [key, n] : lastUpdate) {
                if (deleted.count(key))
                    continue;
                // The reported value or a later one, never an older one.
                QVERIFY(d.rawCount("SELECT CAST(TiO2 AS INTEGER) FROM DOZIRO1 WHERE ID = " +
                                   std::to_string(key)) >= n);
            }
        }
        QVERIFY2(!lastUpdate.empty() && !deleted.empty(),
                 "the child made changes before its kills");
    }
};

QTEST_GUILESS_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
