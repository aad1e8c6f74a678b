// The TAS diagram: where analyses fall and what they are named, worked out
// here from the published averages and vertices; the diagram window that
// follows the grid; the command line that agrees with it.
#include "app/QuarzelDatabase.h"
#include "app/ToolsController.h"
#include "classify/TasDiagram.h"
#include "classify/TasPoint.h"
#include "diagram/DiagramPlot.h"
#include "diagram/DiagramWindow.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/db/Recordset.h"
#include "platform/view/DataRecordset.h"
#include "support/GuiFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include <cmath>

namespace {

// Average analyses (wt%) of Cox, Bell & Pankhurst (1979): SiO2 TiO2 Al2O3
// Fe2O3 FeO MnO MgO CaO Na2O K2O H2O+ H2O- P2O5 CO2.
struct Average {
    const char* rock;
    double v[14];
};
const Average kAverages[] = {
    {"Nef.syenite",
     {54.99, 0.60, 20.96, 2.25, 2.05, 0.15, 0.77, 2.31, 8.23, 5.58, 1.30, 0.17, 0.13, 0.20}},
    {"Phonolite",
     {56.19, 0.62, 19.04, 2.79, 2.03, 0.17, 1.07, 2.72, 7.79, 5.24, 1.57, 0.37, 0.18, 0.08}},
    {"Syenite",
     {58.58, 0.84, 16.64, 3.04, 3.13, 0.13, 1.87, 3.53, 5.24, 4.95, 0.99, 0.23, 0.29, 0.28}},
    {"Trachyte",
     {61.21, 0.70, 16.96, 2.99, 2.29, 0.15, 0.93, 2.34, 5.47, 4.98, 1.15, 0.47, 0.21, 0.09}},
    {"Granite",
     {71.30, 0.31, 14.32, 1.21, 1.64, 0.05, 0.71, 1.84, 3.68, 4.07, 0.64, 0.13, 0.12, 0.05}},
    {"Rhyolite",
     {72.82, 0.28, 13.27, 1.48, 1.11, 0.06, 0.39, 1.14, 3.55, 4.30, 1.10, 0.31, 0.07, 0.08}},
    {"Adamellite",
     {68.65, 0.54, 14.55, 1.23, 2.70, 0.08, 1.14, 2.68, 3.47, 4.00, 0.59, 0.19, 0.19, 0.09}},
    {"Granodiorite",
     {66.09, 0.54, 15.73, 1.38, 2.73, 0.08, 1.74, 3.83, 3.75, 2.73, 0.85, 0.19, 0.18, 0.08}},
    {"Rhyodacite",
     {65.55, 0.60, 15.04, 2.13, 2.03, 0.09, 2.09, 3.62, 3.67, 3.00, 1.09, 0.42, 0.25, 0.21}},
    {"Dacite",
     {65.01, 0.58, 15.91, 2.43, 2.30, 0.09, 1.78, 4.32, 3.79, 2.17, 0.91, 0.28, 0.15, 0.06}},
    {"Tonalite",
     {61.52, 0.73, 16.48, 1.83, 3.82, 0.08, 2.80, 5.42, 3.63, 2.07, 1.04, 0.20, 0.25, 0.14}},
    {"Diorite",
     {57.48, 0.95, 16.67, 2.50, 4.92, 0.12, 3.71, 6.58, 3.54, 1.76, 1.15, 0.21, 0.29, 0.10}},
    {"Andesite",
     {57.94, 0.87, 17.02, 3.27, 4.04, 0.14, 3.33, 6.79, 3.48, 1.62, 0.83, 0.34, 0.21, 0.05}},
    {"Monzonite",
     {62.60, 0.78, 15.65, 1.92, 3.08, 0.10, 2.02, 4.17, 3.73, 4.06, 0.90, 0.19, 0.25, 0.08}},
    {"Latite",
     {61.25, 0.81, 16.01, 3.28, 2.07, 0.09, 2.22, 4.34, 3.71, 3.87, 1.09, 0.57, 0.33, 0.19}},
    {"Trachyandesite",
     {58.15, 1.08, 16.70, 3.26, 3.21, 0.16, 2.57, 4.96, 4.35, 3.21, 1.25, 0.58, 0.41, 0.08}},
    {"Mugearite",
     {50.52, 2.09, 16.71, 4.88, 5.86, 0.26, 3.20, 6.14, 4.73, 2.46, 1.27, 0.87, 0.75, 0.15}},
    {"Trachybasalt",
     {49.21, 2.40, 16.63, 3.69, 6.18, 0.16, 5.17, 7.90, 3.96, 2.55, 0.98, 0.49, 0.59, 0.10}},
    {"Hawaiite",
     {47.48, 3.23, 15.74, 4.94, 7.36, 0.19, 5.58, 7.91, 3.97, 1.53, 0.79, 0.55, 0.74, 0.04}},
    {"Gabbro",
     {50.14, 1.12, 15.48, 3.01, 7.62, 0.12, 7.59, 9.58, 2.39, 0.93, 0.75, 0.11, 0.24, 0.07}},
    {"Norite",
     {50.44, 1.00, 16.28, 2.21, 7.39, 0.14, 8.73, 9.41, 2.26, 0.70, 0.84, 0.13, 0.15, 0.18}},
    {"Dolerite",
     {50.18, 1.14, 15.26, 2.86, 8.05, 0.19, 6.78, 9.24, 2.56, 1.04, 1.46, 0.43, 0.27, 0.18}},
    {"Basalt",
     {49.20, 1.84, 15.74, 3.79, 7.13, 0.20, 6.73, 9.47, 2.91, 1.10, 0.95, 0.43, 0.35, 0.11}},
    {"Basanite",
     {44.30, 2.51, 14.70, 3.94, 7.50, 0.16, 8.54, 10.19, 3.55, 1.96, 1.20, 0.42, 0.74, 0.18}},
    {"Nephelinite",
     {40.60, 2.66, 14.33, 5.48, 6.17, 0.26, 6.39, 11.89, 4.79, 3.46, 1.65, 0.54, 1.07, 0.60}},
    {"Tephrite",
     {47.80, 1.76, 17.00, 4.12, 5.22, 0.15, 4.70, 9.18, 3.69, 4.49, 1.03, 0.22, 0.63, 0.02}},
    {"Anorthosite",
     {50.28, 0.64, 25.86, 0.96, 2.07, 0.05, 2.12, 12.48, 3.15, 0.65, 1.17, 0.14, 0.09, 0.14}},
    {"Pyroxenite",
     {46.27, 1.47, 7.16, 4.27, 7.18, 0.16, 16.04, 14.08, 0.92, 0.64, 0.99, 0.14, 0.38, 0.13}},
    {"Peridotite",
     {42.26, 0.63, 4.23, 3.61, 6.58, 0.41, 31.24, 5.05, 0.49, 0.34, 3.91, 0.31, 0.10, 0.30}},
    {"Dunite",
     {38.29, 0.09, 1.82, 3.59, 9.38, 0.71, 37.94, 1.01, 0.20, 0.08, 4.59, 0.25, 0.20, 0.43}},
};

// The fields as the reference table gives them, written out again here.
struct Poly {
    const char* name;
    std::vector<std::pair<double, double>> v;
};
const std::vector<Poly> kFields = {
    {"Picrobasalt", {{41, 3}, {45, 3}, {45, 2}, {45, 0}, {41, 0}}},
    {"Basalt", {{45, 0}, {45, 2}, {45, 5}, {52, 5}, {52, 0}}},
    {"Basaltic andesite", {{52, 0}, {52, 5}, {57, 5.9}, {57, 0}}},
    {"Andesite", {{57, 0}, {57, 5.9}, {63, 7}, {63, 0}}},
    {"Dacite", {{63, 0}, {63, 7}, {69, 8}, {77.3, 0}}},
    {"Rhyolite", {{69, 8}, {69, 13}, {85.9, 6.8}, {87.5, 4.7}, {77.3, 0}}},
    {"Trachybasalt", {{45, 5}, {49.4, 7.3}, {52, 5}}},
    {"Basaltic trachyandesite", {{49.4, 7.3}, {53, 9.3}, {57, 5.9}, {52, 5}}},
    {"Trachyandesite", {{53, 9.3}, {57.6, 11.7}, {61, 8.6}, {63, 7}, {57, 5.9}}},
    {"Trachyte / trachydacite",
     {{57.6, 11.7}, {61, 13.5}, {63, 16.2}, {69, 13}, {69, 8}, {63, 7}, {61, 8.6}}},
    {"Tephrite / basanite", {{41, 3}, {41, 7}, {45, 9.4}, {49.4, 7.3}, {45, 5}, {45, 3}}},
    {"Phonotephrite", {{45, 9.4}, {48.4, 11.5}, {53, 9.3}, {49.4, 7.3}}},
    {"Tephriphonolite", {{48.4, 11.5}, {52.5, 14}, {57.6, 11.7}, {53, 9.3}}},
    {"Phonolite", {{52.5, 14}, {52.5, 18}, {57, 18}, {63, 16.2}, {61, 13.5}, {57.6, 11.7}}},
    {"Foidite",
     {{35, 9},
      {37, 14},
      {52.5, 18},
      {52.5, 14},
      {48.4, 11.5},
      {45, 9.4},
      {41, 7},
      {41, 3},
      {37, 3}}},
};

// Winding number: non-zero inside.
QString fieldHolding(double x, double y) {
    for (const Poly& f : kFields) {
        int wn = 0;
        for (std::size_t i = 0; i < f.v.size(); ++i) {
            const auto [x0, y0] = f.v[i];
            const auto [x1, y1] = f.v[(i + 1) % f.v.size()];
            const double side = (x1 - x0) * (y - y0) - (x - x0) * (y1 - y0);
            if (y0 <= y && y1 > y && side > 0)
                ++wn;
            else if (y0 > y && y1 <= y && side < 0)
                --wn;
        }
        if (wn)
            return f.name;
    }
    return "outside the diagram";
}

// A table row with the average's values in their columns (volatiles in
// theirs), everything else Null.
std::vector<engine::Value> rowOf(const Average& a) {
    std::vector<engine::Value> row(32);
    const int cols[14] = {5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 17, 15, 18};
    for (int i = 0; i < 14; ++i)
        row[static_cast<std::size_t>(cols[i])] = engine::Value::real(a.v[i]);
    return row;
}

QString name(const tas::Point& p) {
    return tas::nameOf(p);
}

} // namespace

class TestTas : public QObject {
    Q_OBJECT
private slots:
    void averagesFallWhereTheirSumsPutThem() {
        for (const Average& a : kAverages) {
            // Volatile-free: all but H2O+, H2O- and CO2 (indexes 10, 11, 13).
            double sum = 0;
            for (int i = 0; i < 14; ++i)
                if (i != 10 && i != 11 && i != 13)
                    sum += a.v[i];
            const double x = a.v[0] * 100 / sum, y = (a.v[8] + a.v[9]) * 100 / sum;
            const tas::Point p = tas::classify(rowOf(a));
            QVERIFY2(p.valid, a.rock);
            QVERIFY2(std::abs(p.silica - x) < 1e-9 && std::abs(p.alkali - y) < 1e-9, a.rock);
            QCOMPARE(name(p), fieldHolding(x, y));
            // As stored, the plain sums.
            const tas::Point raw = tas::classify(rowOf(a), false);
            QCOMPARE(raw.silica, a.v[0]);
            QCOMPARE(raw.alkali, a.v[8] + a.v[9]);
        }
        // Rocks the diagram names as they are named.
        const std::pair<int, const char*> named[] = {
            {22, "Basalt"},       {12, "Andesite"}, {9, "Dacite"},
            {5, "Rhyolite"},      {1, "Phonolite"}, {3, "Trachyte / trachydacite"},
            {17, "Trachybasalt"}, {24, "Foidite"},  {23, "Tephrite / basanite"},
            {29, "Picrobasalt"}}; // dunite: 41.03 % SiO2 free of volatiles
        for (const auto& [i, expected] : named)
            QCOMPARE(name(tas::classify(rowOf(kAverages[i]))), QString(expected));
    }

    void sharedEdgesAndTheOutside() {
        const struct {
            double x, y;
            const char* name;
        } cases[] = {
            {52, 3, "Basaltic andesite"},       // Basalt | Basaltic andesite: to the right
            {45, 1, "Basalt"},                  // Picrobasalt | Basalt
            {48, 5, "Trachybasalt"},            // Basalt / Trachybasalt: above
            {63, 7, "Dacite"},                  // a corner of four fields: the one right of it
            {41, 0, "Picrobasalt"},             // the outer left edge belongs to its field
            {87.5, 4.7, "outside the diagram"}, // the outer right corner
            {30, 5, "outside the diagram"},
            {80, 14, "outside the diagram"},
        };
        for (const auto& c : cases) {
            const int f = tas::fieldAt(c.x, c.y);
            QCOMPARE(f < 0 ? QString(tas::kOutside) : QString(tas::fields()[f].name),
                     QString(c.name));
        }
        // Every field as written out, and no point in two of them.
        QCOMPARE(int(tas::fields().size()), int(kFields.size()));
        for (double x = 35.013; x < 90; x += 0.5) // off the edges: those are tested above
            for (double y = 0.037; y < 18; y += 0.5) {
                const int f = tas::fieldAt(x, y);
                QVERIFY2((f < 0 ? QString(tas::kOutside) : QString(tas::fields()[f].name)) ==
                             fieldHolding(x, y),
                         qPrintable(QString("%1 %2").arg(x).arg(y)));
            }
    }

    void rowsWithoutAPoint() {
        std::vector<engine::Value> good = rowOf(kAverages[22]);
        auto with = [&](int column, engine::Value v) {
            auto row = good;
            row[static_cast<std::size_t>(column)] = v;
            return tas::classify(row);
        };
        QVERIFY(with(5, engine::Value()).valid == false);
        QVERIFY(with(5, engine::Value::text("Empty")).valid == false);
        QVERIFY(with(13, engine::Value::text("nan")).valid == false);
        QVERIFY(with(14, engine::Value::real(-0.5)).valid == false);
        QVERIFY(with(5, engine::Value::real(1e6)).valid == false);
        QVERIFY(with(5, engine::Value::real(std::nan(""))).valid == false);
        QVERIFY(with(7, engine::Value::real(-3)).valid == false); // a negative oxide of the sum
        std::vector<engine::Value> zeros(32, engine::Value::real(0));
        QVERIFY(!tas::classify(zeros).valid);
        // A minor oxide not analysed counts as nothing.
        QVERIFY(with(23, engine::Value()).valid);
        QCOMPARE(QString(tas::nameOf(with(5, engine::Value()))), QString("no point"));
    }

    void windowFollowsTheGrid() {
        GuiFixture f(400);
        // Rows that cannot be placed, and one average placed by hand.
        f.data().rawExec("UPDATE DOZIRO1 SET SiO2 = 'Empty' WHERE ID IN (1, 2)");
        f.data().rawExec("UPDATE DOZIRO1 SET Na2O = NULL WHERE ID = 3");
        auto& w = f.start();
        QStringList bar; // the Tools menu stands between Edit and Help
        for (QAction* a : w.menuBar()->actions())
            bar << a->text();
        QCOMPARE(bar, QStringList({"&File", "&Edit", "&Tools", "&Help"}));
        trigger(w, "mnuTas");
        DiagramWindow* tasWin = w.tools().diagramWindow();
        QVERIFY(tasWin && tasWin->isVisible());
        QTRY_VERIFY(!tasWin->loading() && tasWin->plot()->view());
        QTRY_COMPARE(long(tasWin->plot()->view()->points.size()), 400L);
        QCOMPARE(tasWin->plot()->view()->noPoint, 3L);
        QVERIFY(tasWin->plot()->legendText().startsWith("397 rows plotted, 3 with no point"));
        QVERIFY(!tasWin->plot()->drawsDensity());

        // A search: the diagram shows the new view.
        w.Text1[0]->setText("basalt");
        w.Command1[0]->click();
        const long matches = w.Data1->Recordset().RecordCount();
        QTRY_COMPARE(long(tasWin->plot()->view()->points.size()), matches);

        // The current row is marked and named in the status line.
        w.vaSpread1->setRow(5);
        QCOMPARE(tasWin->plot()->currentRow(), 5L);
        QVERIFY2(tasWin->statusLine()->text().startsWith("Current row: "),
                 qPrintable(tasWin->statusLine()->text()));
        // A click on a point makes its row current in the grid.
        const auto& pt = tasWin->plot()->view()->points[9];
        QVERIFY(pt.valid());
        const QPointF at = tasWin->plot()->toScreen(pt.silica, pt.alkali, tasWin->plot()->size());
        const long nearest = tasWin->plot()->nearestRow(at);
        QTest::mouseClick(tasWin->plot(), Qt::LeftButton, {}, at.toPoint());
        QCOMPARE(w.vaSpread1->Row(), nearest);

        // An edited SiO2 moves the point.
        trigger(w, "mnuEdit2", 0);
        QTRY_VERIFY(!tasWin->loading());
        auto* model = w.vaSpread1->model();
        const double before = tasWin->plot()->view()->points[2].silica;
        QVERIFY(model->setData(model->index(2, 5), "30"));
        QVERIFY(w.vaSpread1->commitEdit());
        QVERIFY(std::abs(tasWin->plot()->view()->points[2].silica - before) > 1);

        // An empty view: the fields and "0 rows plotted".
        f.data().rawExec("DELETE FROM Project3");
        trigger(w, "mnuActive1", 3);
        QTRY_COMPARE(long(tasWin->plot()->view()->points.size()), 0L);
        QCOMPARE(tasWin->plot()->legendText(), QString("0 rows plotted"));
    }

    void exportWritesWholeFilesOrNothing() {
        GuiFixture f(60);
        auto& w = f.start();
        trigger(w, "mnuTas");
        DiagramWindow* tasWin = w.tools().diagramWindow();
        QTRY_VERIFY(!tasWin->loading() && tasWin->plot()->view());
        QTemporaryDir out;
        tasWin->exportTo(out.filePath("tas.png"), QSize(800, 600));
        QCOMPARE(QImage(out.filePath("tas.png")).size(), QSize(800, 600));
        tasWin->exportTo(out.filePath("tas.svg"), QSize(800, 600));
        QFile svg(out.filePath("tas.svg"));
        QVERIFY(svg.open(QIODevice::ReadOnly));
        const QByteArray text = svg.readAll();
        QVERIFY(text.contains("<svg") && text.contains("Phonolite"));
        tasWin->exportTo(out.filePath("tas.pdf"), QSize(800, 600));
        QFile pdf(out.filePath("tas.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");
        // An unwritable place: a message naming it, nothing left behind.
        QString msg;
        try {
            tasWin->exportTo("/nonexistent-folder/tas.png", QSize(800, 600));
        } catch (const std::exception& e) {
            msg = e.what();
        }
        QVERIFY2(msg.contains("/nonexistent-folder/tas.png"), qPrintable(msg));
        QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 3);
    }

    void commandLineAgreesWithTheWindow() {
        GuiFixture f(300);
        f.data().rawExec("UPDATE DOZIRO1 SET SiO2 = 'Empty' WHERE ID = 4");
        auto& w = f.start();
        trigger(w, "mnuTas");
        DiagramWindow* tasWin = w.tools().diagramWindow();
        QTRY_VERIFY(!tasWin->loading() && tasWin->plot()->view());
        QProcess cli;
        cli.start(QUARZEL_DB, {"classify", f.data().dir()});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(cli.readAllStandardOutput()).split('\n');
        QMap<qint64, QStringList> byId;
        for (const QString& l : lines) {
            const QStringList parts = l.split('\t');
            if (parts.size() == 4)
                byId[parts[0].toLongLong()] = parts;
        }
        QCOMPARE(byId.size(), 300);
        const auto& keys = w.Data1->view()->recordset()->keys();
        const auto& view = *tasWin->plot()->view();
        for (std::size_t r = 0; r < keys.size(); ++r) {
            const QStringList& cliRow = byId[keys[r]];
            const auto& p = view.points[r];
            const int field = view.field[r];
            const QString shown = !p.valid()  ? "no point"
                                  : field < 0 ? "outside the diagram"
                                              : tas::fields()[std::size_t(field)].name;
            QCOMPARE(cliRow[3], shown);
            if (p.valid()) {
                QCOMPARE(cliRow[1], QString::number(p.silica, 'f', 2));
                QCOMPARE(cliRow[2], QString::number(p.alkali, 'f', 2));
            }
        }
        QCOMPARE(byId[4][3], QString("no point"));
        // The count lines add up to the rows.
        long total = 0;
        for (const QString& l : lines) {
            const QStringList parts = l.split('\t');
            if (parts.size() == 2)
                total += parts[1].toLong();
        }
        QCOMPARE(total, 300L);
        // A condition, and a table.
        cli.start(QUARZEL_DB, {"classify", f.data().dir(), "--table", "Project1", "--where",
                               "[Rockname] Like '*a*'"});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 0);
    }
};

QTEST_MAIN(TestTas)
#include "tst_tas.moc"
