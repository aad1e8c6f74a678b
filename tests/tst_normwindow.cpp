// The norm in the window: it follows the grid, agrees with the command line
// on every row of the sample database, names the row on the TAS diagram, and
// goes out with an export.
#include "app/QuarzelDatabase.h"
#include "app/ToolsController.h"
#include "diagram/DiagramPlot.h"
#include "diagram/DiagramWindow.h"
#include "diagram/NormWindow.h"
#include "norm/CipwNorm.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/data/RecordsetModel.h"
#include "platform/db/Recordset.h"
#include "platform/dialogs/FileDialogs.h"
#include "platform/view/DataRecordset.h"
#include "support/GuiFixture.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QTableWidget>
#include <QtTest>

namespace {

// What `quarzel-db norm` prints, by ID: its cells after ID.
QMap<qint64, QStringList> cliNorms(const QString& dir, const QStringList& more = {}) {
    QProcess cli;
    cli.start(QUARZEL_DB, QStringList{"norm", dir} + more);
    if (!cli.waitForFinished(60000) || cli.exitCode() != 0)
        return {};
    QMap<qint64, QStringList> byId;
    const QStringList lines = QString::fromUtf8(cli.readAllStandardOutput()).split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        QStringList cells = lines[i].split('\t');
        if (cells.size() < 2)
            continue;
        byId[cells.takeFirst().toLongLong()] = cells;
    }
    return byId;
}

// The window's reading of the current row, in the command line's cells:
// minerals it does not list are 0.00.
QStringList shownCells(NormWindow* n) {
    QStringList cells;
    QMap<QString, QString> listed;
    QTableWidget* t = n->minerals();
    for (int r = 0; r < t->rowCount(); ++r)
        listed[t->item(r, 1)->text()] = t->item(r, 2)->text();
    const QString name = n->nameLine()->text();
    if (name.startsWith("No norm: ")) {
        for (int i = 0; i < norm::kMineralCount + 4; ++i)
            cells << QString();
        cells << name.mid(9).chopped(1);
        return cells;
    }
    for (int m = 0; m < norm::kMineralCount; ++m)
        cells << listed.value(norm::mineralName(m).abbreviation, "0.00");
    const QString summary = n->summary()->text();
    const auto fact = [&](const QString& label) {
        const int at = summary.indexOf(label + " ");
        return at < 0 ? QString("?") : summary.mid(at + label.size() + 1).section(' ', 0, 0);
    };
    cells << t->item(t->rowCount() - 1, 2)->text(); // Sum
    cells << (fact("Mg#") == "-" ? QString() : fact("Mg#")) << fact("DI")
          << (fact("CIA") == "-" ? QString() : fact("CIA"));
    QString flags;
    const int far = summary.indexOf("The analysis sums to ");
    if (far >= 0)
        flags += " (oxides sum to " + summary.mid(far + 21).section(' ', 0, 0) + " as analysed)";
    const int lacking = summary.indexOf(" % SiO2 is lacking");
    if (lacking >= 0) {
        const QString before = summary.left(lacking);
        flags += " (" + before.section(QRegularExpression("[ >]"), -1) +
                 " % SiO2 lacking after kaliophilite)";
    }
    cells << name + flags;
    return cells;
}

// One CSV line's fields, quotes taken off.
QStringList splitCsv(const QString& line) {
    QStringList out;
    QString field;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"')
            field += c, ++i;
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            out << field, field.clear();
        else
            field += c;
    }
    out << field;
    return out;
}

} // namespace

class TestNormWindow : public QObject {
    Q_OBJECT
private slots:
    void windowAndCommandLineAgreeOnEveryRow() {
        GuiFixture f(2417); // the sample database as shipped
        // Rows that have no norm, or a flagged one, beside the sample's.
        f.data().rawExec("UPDATE DOZIRO1 SET MgO = -1 WHERE ID = 3");
        f.data().rawExec("UPDATE DOZIRO1 SET P2O5 = 'n.d.' WHERE ID = 5");
        f.data().rawExec("UPDATE DOZIRO1 SET Fe2O3 = NULL, FeO = NULL WHERE ID = 8");
        f.data().rawExec("UPDATE DOZIRO1 SET SiO2 = 'Empty' WHERE ID = 13");
        f.data().rawExec("UPDATE DOZIRO1 SET SiO2 = SiO2 / 2 WHERE ID = 21");
        const auto cli = cliNorms(f.data().dir());
        QCOMPARE(cli.size(), 2417);
        auto& w = f.start();
        w.Data1->setRecordSource("SELECT * From [DOZIRO1]Order By [ID] ASC");
        w.Data1->Refresh();
        trigger(w, "mnuNorm");
        NormWindow* n = w.tools().normWindow();
        QVERIFY(n && n->isVisible());
        auto* rs = w.Data1->view()->recordset();
        QTRY_VERIFY(rs->keysComplete());
        const std::vector<std::int64_t> keys = rs->keys();
        QCOMPARE(keys.size(), std::size_t(2417));
        int refused = 0, flagged = 0;
        for (std::size_t r = 0; r < keys.size(); ++r) {
            w.vaSpread1->setRow(static_cast<long>(r));
            const QStringList want = cli.value(keys[r]);
            const QStringList got = shownCells(n);
            QVERIFY2(got == want, qPrintable(QString("ID %1\nwindow: %2\ncommand line: %3")
                                                 .arg(keys[r])
                                                 .arg(got.join(' '), want.join(' '))));
            refused += got.front().isEmpty();
            flagged += got.back().contains("oxides sum to");
        }
        QCOMPARE(refused, 4);
        QVERIFY(flagged >= 1);
        QCOMPARE(cli.value(3).back(), QString("MgO is negative"));
        QCOMPARE(cli.value(5).back(), QString("P2O5 holds text, 'n.d.'"));
        QCOMPARE(cli.value(8).back(), QString("no iron: Fe2O3 and FeO are empty"));
        QCOMPARE(cli.value(13).back(), QString("SiO2 is empty"));

        // The other iron choices agree as well (a sample of rows).
        const std::pair<norm::IronChoice, const char*> choices[] = {
            {norm::IronChoice::Plutonic, "plutonic"},
            {norm::IronChoice::Middlemost, "middlemost"},
            {norm::IronChoice::Analysed, "analysed"}};
        for (const auto& [choice, keyword] : choices) {
            const auto other = cliNorms(f.data().dir(), {"--iron", keyword});
            n->setIronChoice(choice);
            for (std::size_t r = 0; r < keys.size(); r += 97) {
                w.vaSpread1->setRow(static_cast<long>(r));
                QCOMPARE(shownCells(n), other.value(keys[r]));
            }
        }
        // And the names: the sample's granites and gabbros are named as such
        // by their rock names; either choice for every row agrees too.
        n->setIronChoice(norm::IronChoice::Volcanic);
        int plutonic = 0;
        for (const auto& cells : cli)
            plutonic += cells.back() == "Granite" || cells.back().endsWith("gabbro");
        QVERIFY(plutonic > 20);
        auto* names = n->findChild<QComboBox*>("names");
        for (const auto& [index, keyword] : {std::pair{1, "volcanic"}, std::pair{2, "plutonic"}}) {
            const auto other = cliNorms(f.data().dir(), {"--names", keyword});
            names->setCurrentIndex(index);
            for (std::size_t r = 0; r < keys.size(); r += 97) {
                w.vaSpread1->setRow(static_cast<long>(r));
                QCOMPARE(shownCells(n), other.value(keys[r]));
            }
        }
    }

    void windowFollowsTheGrid() {
        GuiFixture f(60);
        auto& w = f.start();
        trigger(w, "mnuNorm");
        NormWindow* n = w.tools().normWindow();
        w.vaSpread1->setRow(2);
        QVERIFY(n->rowLine()->text().startsWith("Row 3 of the view"));
        const QString before = n->summary()->text();
        QVERIFY(n->minerals()->rowCount() > 3);
        // A written edit of the row's SiO2 gives another norm at once.
        trigger(w, "mnuEdit2", 0);
        auto* model = w.vaSpread1->model();
        QVERIFY(model->setData(model->index(2, 5), "30"));
        QVERIFY(w.vaSpread1->commitEdit());
        QVERIFY(n->summary()->text() != before);
        QVERIFY(n->nameLine()->text() != QString());
        // Another row, another table: the window follows.
        w.vaSpread1->setRow(5);
        QVERIFY(n->rowLine()->text().startsWith("Row 6 of the view"));
        trigger(w, "mnuActive1", 1);
        QTRY_VERIFY(n->rowLine()->text().startsWith("Row 1 of the view"));
        // Closed, shown again: the row of that moment.
        n->close();
        w.vaSpread1->setRow(3);
        trigger(w, "mnuNorm");
        QVERIFY(n->rowLine()->text().startsWith("Row 4 of the view"));
    }

    void diagramNamesTheRowAsTheNormDoes() {
        GuiFixture f(200);
        auto& w = f.start();
        w.Data1->setRecordSource("SELECT * From [DOZIRO1]Order By [ID] ASC");
        w.Data1->Refresh();
        trigger(w, "mnuTas");
        DiagramWindow* tasWin = w.tools().diagramWindow();
        QTRY_VERIFY(!tasWin->loading() && tasWin->plot()->view());
        const auto cli = cliNorms(f.data().dir());
        const auto& keys = w.Data1->view()->recordset()->keys();
        int refined = 0;
        for (std::size_t r = 0; r < keys.size(); ++r) {
            w.vaSpread1->setRow(static_cast<long>(r));
            const QString name = cli.value(keys[r]).back().section(" (", 0, 0);
            QVERIFY2(tasWin->statusLine()->text().contains(": " + name + ".   "),
                     qPrintable(tasWin->statusLine()->text() + " / " + name));
            refined += name == "Basanite" || name == "Tephrite" || name == "Trachyte" ||
                       name == "Subalkali basalt" || name == "Latite";
        }
        QVERIFY(refined > 10);
    }

    void exportAppendsTheNorm() {
        GuiFixture f(40);
        auto& w = f.start();
        static QTemporaryDir dir;
        FileDialogs::setAnswer([](const QString&, QString* chosen) {
            *chosen = "CSV file (*.csv)";
            return dir.filePath("withnorm.csv");
        });
        f.messages.answer = true;
        QSignalSpy done(&w.tools(), &ToolsController::exchangeFinished);
        trigger(w, "mnuExport");
        QVERIFY(done.wait(30000));
        QVERIFY(done.back().at(0).toBool());
        QVERIFY(f.messages.asked.back().contains("CIPW norm"));
        // View only: the columns as before.
        FileDialogs::setAnswer([](const QString&, QString* chosen) {
            *chosen = "CSV file (*.csv)";
            return dir.filePath("viewonly.csv");
        });
        f.messages.answer = false;
        trigger(w, "mnuExport");
        QVERIFY(done.wait(30000));
        FileDialogs::setAnswer(nullptr);

        QFile with(dir.filePath("withnorm.csv")), without(dir.filePath("viewonly.csv"));
        QVERIFY(with.open(QIODevice::ReadOnly) && without.open(QIODevice::ReadOnly));
        const QStringList withLines = QString::fromUtf8(with.readAll()).split("\r\n");
        const QStringList plainLines = QString::fromUtf8(without.readAll()).split("\r\n");
        QCOMPARE(plainLines.front().split(',').size(), 32);
        const QStringList head = withLines.front().split(',');
        QCOMPARE(head.size(), 32 + norm::kMineralCount + 5);
        QCOMPARE(head[32], QString("CIPW Q"));
        QCOMPARE(head.back(), QString("CIPW Name"));
        // The values are the command line's (the grid's order is by
        // sample number, so matched by ID).
        const auto cli = cliNorms(f.data().dir());
        int compared = 0;
        for (int i = 1; i < withLines.size(); ++i) {
            const QStringList cells = splitCsv(withLines[i]);
            if (cells.size() != head.size())
                continue; // the last, empty line
            const QStringList want = cli.value(cells[31].toLongLong());
            for (int m = 0; m < norm::kMineralCount + 4; ++m) {
                const QString wanted = want[m];
                const QString got = cells[32 + m];
                QVERIFY2(wanted.isEmpty() ? got.isEmpty() : got.toDouble() == wanted.toDouble(),
                         qPrintable(head[32 + m] + ": " + got + " / " + wanted));
            }
            QCOMPARE(cells.back(), want.back());
            ++compared;
        }
        QVERIFY(compared >= 35);
    }
};

QTEST_MAIN(TestNormWindow)
#include "tst_normwindow.moc"
