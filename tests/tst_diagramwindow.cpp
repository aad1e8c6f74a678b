// The diagram window beyond TAS: each diagram agrees with the command line
// row by row, follows the grid and its edits, takes clicks, colours its
// points by a text column, and draws the page of Harker diagrams; the
// trace-element patterns follow the grid and their chosen set, which is
// remembered, and are drawn with gaps, limits, the band and the current row.
#include "app/QuarzelDatabase.h"
#include "app/ToolsController.h"
#include "classify/Diagram.h"
#include "diagram/DiagramPlot.h"
#include "diagram/DiagramWindow.h"
#include "diagram/PatternPlot.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/db/Database.h"
#include "platform/db/Recordset.h"
#include "platform/view/DataRecordset.h"
#include "support/GuiFixture.h"

#include <QAction>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

QString className(const chart::Diagram& d, const tas::ViewPoints& v, std::size_t row) {
    if (!v.points[row].valid())
        return "no point";
    return v.field[row] < 0
               ? QString::fromStdString(d.unclassed())
               : QString::fromStdString(d.classes()[static_cast<std::size_t>(v.field[row])]);
}

} // namespace

class TestDiagramWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true); // the user's own settings untouched
        QSettings("Quarzel", "Diagrams").remove("Patterns");
    }

    void patternsFollowTheGridAndTheirSet() {
        GuiFixture f(30);
        {
            auto db = f.data().open();
            // N-MORB's REE (Sun & McDonough 1989) on ID 3, half of them in ppb;
            // ID 5 with a limit of Eu.
            auto v = [](const char* e, double x, const char* unit = "ppm", char q = 0) {
                return engine::SampleValue{e, unit, "", q, x, "", std::nullopt, ""};
            };
            db->Begin();
            db->addValues("DOZIRO1", 3,
                          {v("La", 2.5), v("Ce", 7500, "ppb"), v("Pr", 1.32), v("Nd", 7300, "ppb"),
                           v("Sm", 2.63), v("Eu", 1.02), v("Gd", 3.68), v("Tb", 0.67),
                           v("Dy", 4.55), v("Ho", 1.01), v("Er", 2.97), v("Tm", 0.456),
                           v("Yb", 3.05), v("Lu", 0.455)});
            db->addValues("DOZIRO1", 5, {v("La", 23.7), v("Eu", 0.058, "ppm", '<')});
            db->Commit();
        }
        auto& w = f.start();
        w.Data1->setRecordSource("SELECT * From [DOZIRO1]Order By [ID] DESC");
        w.Data1->Refresh();
        trigger(w, "mnuDiagrams");
        DiagramWindow* win = w.tools().diagramWindow();
        win->chooseDiagram("ree");
        QVERIFY(win->plots().empty());
        QTRY_VERIFY(!win->loading() && win->patternPlot()->view());
        const auto rowOf = [&](std::int64_t id) {
            const auto& keys = w.Data1->view()->recordset()->keys();
            return std::size_t(std::find(keys.begin(), keys.end(), id) - keys.begin());
        };
        {
            const trace::PatternView& v = *win->patternPlot()->view();
            QCOMPARE(v.rows(), std::size_t(30));
            QCOMPARE(v.setName, std::string("CI chondrite (Sun & McDonough 1989)"));
            const std::size_t la = 0, ce = 1, eu = 6;
            QVERIFY(std::abs(v.value(rowOf(3), ce) - 7.5 / 0.612) < 1e-4);
            QVERIFY(std::abs(v.value(rowOf(5), la) - 100) < 1e-4);
            QVERIFY(v.limit(rowOf(5), eu) && !v.limit(rowOf(3), eu));
            QCOMPARE(v.plotted(), 2L);
        }
        // The current row's ratios in the status line.
        w.vaSpread1->setRow(static_cast<long>(rowOf(3)));
        QCOMPARE(win->patternPlot()->currentRow(), static_cast<long>(rowOf(3)));
        QVERIFY2(win->statusLine()->text().contains("(La/Yb)N 0.588"),
                 qPrintable(win->statusLine()->text()));

        // Another set: N-MORB by itself is 1; the choice is remembered for
        // the REE pattern and the multi-element one keeps its own.
        win->setChoice()->setCurrentIndex(win->setChoice()->findData("nmorb-sm89"));
        QTRY_VERIFY(!win->loading() && win->patternPlot()->view() &&
                    win->patternPlot()->view()->setName == "N-MORB (Sun & McDonough 1989)");
        const std::size_t n = win->patternPlot()->view()->elements.size();
        for (std::size_t e = 0; e < n; ++e)
            if (e != 4) // Pm
                QVERIFY(std::abs(win->patternPlot()->view()->value(rowOf(3), e) - 1) < 1e-5);
        QCOMPARE(QSettings("Quarzel", "Diagrams").value("Patterns/reeSet").toString(),
                 QString("nmorb-sm89"));
        win->chooseDiagram("spider");
        QCOMPARE(win->setChoice()->currentData().toString(), QString("pm-sm89"));
        QTRY_VERIFY(!win->loading() && win->patternPlot()->view() &&
                    win->patternPlot()->view()->elements.size() == 29);
        win->chooseDiagram("ree");
        QCOMPARE(win->setChoice()->currentData().toString(), QString("nmorb-sm89"));

        // A search: the rows it leaves, in its order.
        w.Data1->setRecordSource("SELECT * From [DOZIRO1]Where [ID] <= 5 Order By [ID] ASC");
        w.Data1->Refresh();
        QTRY_VERIFY(!win->loading() && win->patternPlot()->view() &&
                    win->patternPlot()->view()->rows() == 5);
        QVERIFY(std::abs(win->patternPlot()->view()->value(2, 0) - 1) < 1e-5); // ID 3, La

        // The export names the set.
        QTemporaryDir out;
        win->exportTo(out.filePath("ree.svg"), QSize(1000, 700));
        QFile svg(out.filePath("ree.svg"));
        QVERIFY(svg.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(svg.readAll());
        QVERIFY(text.contains("Sample / N-MORB (Sun &amp; McDonough 1989)"));

        // An edit of TiO2 moves Ti, the row read again.
        win->chooseDiagram("spider");
        QTRY_VERIFY(!win->loading() && win->patternPlot()->view() &&
                    win->patternPlot()->view()->elements.size() == 29);
        trigger(w, "mnuEdit2", 0);
        auto* model = w.vaSpread1->model();
        QVERIFY(model->setData(model->index(0, 6), "2.5")); // ID 1
        QVERIFY(w.vaSpread1->commitEdit());
        const std::size_t ti = 19; // Cs Rb Ba Th U Nb Ta K La Ce Pb Pr Sr P Nd Zr Hf Sm Eu Ti
        QTRY_VERIFY(!win->loading() && win->patternPlot()->view() &&
                    std::abs(win->patternPlot()->view()->value(0, ti) - 2.5 * 5993.4 / 1300) <
                        0.01);
    }

    void patternsDrawnWithGapsLimitsAndTheBand() {
        // Row 0 at 20 from La to Nd, Pr unknown; row 1 at 5 with Eu a limit.
        auto view = std::make_shared<trace::PatternView>();
        view->setName = "Test set";
        view->elements = trace::elementsOf(trace::PatternKind::Ree);
        const std::size_t n = view->elements.size();
        view->values.assign(2 * n, 20);
        view->limits.assign(2 * n, 0);
        view->values[2] = std::nanf("");
        for (std::size_t e = 0; e < n; ++e)
            view->values[n + e] = 5;
        view->limits[n + 6] = 1;
        PatternPlot plot;
        plot.resize(900, 600);
        plot.setView(view);
        plot.setCurrentRow(1);
        QImage image(plot.size(), QImage::Format_RGB32);
        {
            QPainter p(&image);
            plot.render(p, image.size(), PatternPlot::Style());
        }
        auto colour = [&](double position, double value, double down = 0) {
            const QPointF at = plot.toScreen(position, value, image.size());
            return QColor(image.pixel(qRound(at.x()), qRound(at.y() + down)));
        };
        const QColor white(Qt::white);
        QVERIFY(colour(0.5, 20) != white); // La to Ce joined
        QVERIFY(colour(2, 20) == white);   // a gap at Pr
        QVERIFY(colour(1.5, 20) == white); // nothing towards it
        const QColor current = colour(0.5, 5);
        QVERIFY(current.red() > 150 && current.blue() < 100); // the current row in red
        QVERIFY(colour(6, 5, 6) != white);                    // the arrow down from the limit
        QVERIFY(colour(5.5, 5) == white);                     // not joined to the limit
        QVERIFY(!plot.drawsBand());

        // Beyond kMaxLines rows: the band between 10 and 90 %.
        auto many = std::make_shared<trace::PatternView>(*view);
        const long rows = PatternPlot::kMaxLines + 1;
        many->values.clear();
        for (long r = 0; r < rows; ++r)
            for (std::size_t e = 0; e < n; ++e)
                many->values.push_back(e == 2 ? std::nanf("") : 1 + 9.0f * r / (rows - 1));
        many->limits.assign(many->values.size(), 0);
        many->band = trace::bandOf(many->values, many->limits, n);
        plot.setView(many);
        plot.setCurrentRow(-1);
        QVERIFY(plot.drawsBand());
        {
            QPainter p(&image);
            plot.render(p, image.size(), PatternPlot::Style());
        }
        QVERIFY(colour(0.5, 3) != white);   // inside the band
        QVERIFY(colour(0.5, 1.3) == white); // below 10 %
        QVERIFY(colour(2, 3) == white);     // no band where no row has the element
    }

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
            const auto& keys = w.Data1->view()->recordset()->keys();
            const auto& view = *win->plot()->view();
            for (std::size_t r = 0; r < keys.size(); ++r) {
                const auto& p = view.points[r];
                QCOMPARE(byId[keys[r]][3], className(d, view, r));
                if (!p.valid())
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
            QVERIFY2(win->statusLine()->text().contains(": " + className(d, view, 10) + "."),
                     qPrintable(win->statusLine()->text()));
            // A click beside a point makes its row current.
            DiagramPlot* plot = win->plot();
            const auto& pt = view.points[20];
            QVERIFY(pt.valid());
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
                        w.Data1->view()->recordset()->RecordCount());
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
                if (pt.valid())
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
