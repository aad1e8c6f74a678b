// The diagram window beyond TAS: each diagram agrees with the command line
// row by row, follows the grid and its edits, takes clicks, colours its
// points by a text column, and draws the page of Harker diagrams.
#include "app/QuarzelDatabase.h"
#include "app/ToolsController.h"
#include "classify/Diagram.h"
#include "diagram/DiagramPlot.h"
#include "diagram/DiagramWindow.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/db/Recordset.h"
#include "platform/view/DataRecordset.h"
#include "support/GuiFixture.h"

#include <QAction>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>

namespace {

QString className(const chart::Diagram& d, const tas::PackedPoint& p) {
    if (!p.valid)
        return "no point";
    return p.field < 0 ? QString::fromStdString(d.unclassed())
                       : QString::fromStdString(d.classes()[static_cast<std::size_t>(p.field)]);
}

} // namespace

class TestDiagramWindow : public QObject {
    Q_OBJECT
private slots:
    void eachDiagramAgreesWithTheCommandLine() {
        GuiFixture f(300);
        // Rows that some diagrams cannot place: no SiO2; no MgO; no Al2O3.
        f.data().rawExec("UPDATE DOZIRO1 SET SiO2 = 'Empty' WHERE ID = 4");
        f.data().rawExec("UPDATE DOZIRO1 SET MgO = NULL WHERE ID = 5");
        f.data().rawExec("UPDATE DOZIRO1 SET Al2O3 = NULL WHERE ID = 6");
        auto& w = f.start();
        w.Data1->setRecordSource("SELECT * From [DOZIRO1]Order By [ID] ASC");
        w.Data1->Refresh();
        trigger(w, "mnuDiagrams");
        DiagramWindow* win = w.tools().diagramWindow();
        QVERIFY(win->isVisible());
        const struct {
            const char* keyword;
            std::vector<long> noPoint; // IDs
        } cases[] = {{"k2o", {4}}, {"afm", {5}}, {"shand", {6}}};
        for (const auto& c : cases) {
            win->chooseDiagram(c.keyword);
            QTRY_VERIFY(!win->loading() &&
                        win->plot()->diagram().keyword() == std::string(c.keyword));
            QTRY_VERIFY(win->plot()->view() && win->plot()->view()->points.size() == 300);
            QProcess cli;
            cli.start(QUARZEL_DB, {"classify", f.data().dir(), "--diagram", c.keyword});
            QVERIFY(cli.waitForFinished(30000));
            QCOMPARE(cli.exitCode(), 0);
            QMap<qint64, QStringList> byId;
            for (const QString& l : QString::fromUtf8(cli.readAllStandardOutput()).split('\n')) {
                const QStringList parts = l.split('\t');
                if (parts.size() == 4)
                    byId[parts[0].toLongLong()] = parts;
            }
            QCOMPARE(byId.size(), 300);
            const chart::Diagram& d = win->plot()->diagram();
            const auto& keys = w.Data1->engineRecordset()->keys();
            const auto& view = *win->plot()->view();
            for (std::size_t r = 0; r < keys.size(); ++r) {
                const auto& p = view.points[r];
                QCOMPARE(byId[keys[r]][3], className(d, p));
                if (!p.valid)
                    continue;
                double x = p.silica, y = p.alkali;
                if (d.ternary()) {
                    const double fe = y * 2 / std::sqrt(3.0), m = x - fe / 2;
                    x = 100 - fe - m;
                    y = fe;
                }
                QCOMPARE(byId[keys[r]][1], QString::number(x, 'f', 2));
                QCOMPARE(byId[keys[r]][2], QString::number(y, 'f', 2));
            }
            for (long id : c.noPoint)
                QCOMPARE(byId[id][3], QString("no point"));
            QCOMPARE(view.noPoint, long(c.noPoint.size()));
            // The status line names the current row's class.
            w.vaSpread1->setRow(10);
            QVERIFY2(win->statusLine()->text().contains(": " + className(d, view.points[10]) + "."),
                     qPrintable(win->statusLine()->text()));
            // A click beside a point makes its row current.
            DiagramPlot* plot = win->plot();
            const auto& pt = view.points[20];
            QVERIFY(pt.valid);
            const QPointF at = plot->toScreen(pt.silica, pt.alkali, plot->size());
            const long nearest = plot->nearestRow(at);
            QVERIFY(nearest >= 0);
            QTest::mouseClick(plot, Qt::LeftButton, {}, at.toPoint());
            QCOMPARE(w.vaSpread1->Row(), nearest);
            QCOMPARE(plot->currentRow(), nearest);
        }
        // The TAS item brings TAS back.
        trigger(w, "mnuTas");
        QTRY_COMPARE(win->plot()->diagram().keyword(), std::string("tas"));
        QCOMPARE(win->windowTitle(), QString("TAS Diagram"));
    }

    void editsMoveThePointsOfEveryDiagram() {
        GuiFixture f(80);
        auto& w = f.start();
        trigger(w, "mnuDiagrams");
        DiagramWindow* win = w.tools().diagramWindow();
        win->chooseDiagram("shand");
        QTRY_VERIFY(!win->loading() && win->plot()->view() &&
                    win->plot()->diagram().keyword() == "shand");
        trigger(w, "mnuEdit2", 0);
        auto* model = w.vaSpread1->model();
        const float before = win->plot()->view()->points[2].silica;
        // Al2O3 doubled: A/CNK doubles.
        const double al = model->data(model->index(2, 7)).toString().toDouble();
        QVERIFY(al > 0);
        QVERIFY(model->setData(model->index(2, 7), QString::number(al * 2)));
        QVERIFY(w.vaSpread1->commitEdit());
        QVERIFY(std::abs(win->plot()->view()->points[2].silica - 2 * before) < 0.01 * before);
        // A table switch reads the new view.
        trigger(w, "mnuActive1", 1);
        QTRY_VERIFY(!win->loading() && win->plot()->view() &&
                    long(win->plot()->view()->points.size()) ==
                        w.Data1->engineRecordset()->RecordCount());
    }

    void harkerPageAndColours() {
        GuiFixture f(400);
        f.data().rawExec("UPDATE DOZIRO1 SET Trace5 = NULL");
        auto& w = f.start();
        trigger(w, "mnuDiagrams");
        DiagramWindow* win = w.tools().diagramWindow();
        win->chooseDiagram("harker");
        QCOMPARE(win->plots().size(), std::size_t(8));
        QTRY_VERIFY(!win->loading() && win->plots().back()->view());
        for (std::size_t i = 0; i < 8; ++i) {
            DiagramPlot* p = win->plots()[i];
            QCOMPARE(QString::fromStdString(p->diagram().keyword()),
                     "harker:" + QString::fromStdString(chart::harkerPage()[i]));
            QCOMPARE(p->view()->points.size(), std::size_t(400));
            // Axes scaled to the points: every point in sight.
            for (const auto& pt : p->view()->points)
                if (pt.valid)
                    QVERIFY(p->range().contains(pt.silica, pt.alkali));
        }
        w.vaSpread1->setRow(7);
        for (DiagramPlot* p : win->plots())
            QCOMPARE(p->currentRow(), 7L);
        // The page exported as one picture, ringless.
        QTemporaryDir out;
        win->exportTo(out.filePath("page.png"), QSize(1600, 800));
        const QImage page(out.filePath("page.png"));
        QCOMPARE(page.size(), QSize(1600, 800));
        long red = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                red += page.pixel(x, y) == qRgb(255, 0, 0);
        QCOMPARE(red, 0L);
        // One Harker diagram of any column.
        win->chooseDiagram("harker:Mg#");
        QTRY_VERIFY(!win->loading() && win->plot()->diagram().keyword() == "harker:Mg#");
        QTRY_VERIFY(win->plot()->view());
        QCOMPARE(win->plots().size(), std::size_t(1));

        // A column no row has: every row without a point, drawn all the same.
        win->chooseDiagram("harker:Trace5");
        QTRY_VERIFY(!win->loading() && win->plot()->view() &&
                    win->plot()->diagram().keyword() == "harker:Trace5");
        QCOMPARE(win->plot()->view()->plotted(), 0L);
        QCOMPARE(win->plot()->legendText(), QString("0 rows plotted, 400 with no point"));
        QVERIFY(!win->plot()->grab().isNull());

        // Colours by Location: at most twelve classes, the rest "other",
        // every plotted row counted once.
        win->chooseDiagram("k2o");
        win->colourBy(3);
        QTRY_VERIFY(!win->loading() && win->plot()->view() &&
                    !win->plot()->view()->colourNames.empty());
        const tas::ViewPoints& v = *win->plot()->view();
        QVERIFY(v.colourNames.size() <= tas::kMaxColours);
        QCOMPARE(QString::fromStdString(v.colourNames.back()), QString("other"));
        long counted = 0;
        for (long n : v.perColour)
            counted += n;
        QCOMPARE(counted, v.plotted());
        QCOMPARE(v.colour.size(), v.points.size());
        // The most frequent value first.
        for (std::size_t i = 1; i + 1 < v.perColour.size(); ++i)
            QVERIFY(v.perColour[i - 1] >= v.perColour[i]);
        // Few values: no "other".
        win->colourBy(1); // Geologist
        QTRY_VERIFY(!win->loading() && win->plot()->view() &&
                    win->plot()->view()->colourNames.size() > 1);
        const tas::ViewPoints& g = *win->plot()->view();
        if (g.colourNames.size() < tas::kMaxColours)
            QVERIFY(g.colourNames.back() != "other");
        win->colourBy(-1);
        QTRY_VERIFY(!win->loading() && win->plot()->view() && win->plot()->view()->colour.empty());
    }
};

QTEST_MAIN(TestDiagramWindow)
#include "tst_diagramwindow.moc"
