// The diagram window as a user meets it: names that sit inside their
// fields at every zoom, a zoom that stays on the diagram, clicks that take
// only a near point, exports drawn at their own size, a closed diagram that
// costs the main window nothing, and engine errors shown, never fatal.
#include "app/QuarzelDatabase.h"
#include "app/ToolsController.h"
#include "classify/Diagram.h"
#include "classify/TasDiagram.h"
#include "diagram/DiagramPlot.h"
#include "diagram/DiagramWindow.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/data/RecordsetModel.h"
#include "platform/db/Recordset.h"
#include "platform/view/DataRecordset.h"
#include "support/GuiFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QSvgGenerator>
#include <QToolButton>
#include <QWheelEvent>
#include <QtTest>

#include <tuple>

#include <sqlite3.h>

namespace {

const QRectF kWhole(35, 0, 55, 18);

// The field's outline on the drawing, from the published vertices.
QPolygonF outline(const DiagramPlot& plot, const tas::Field& f, const QSize& size, double scale) {
    QPolygonF poly;
    for (const auto& v : f.outline)
        poly << plot.toScreen(v.silica, v.alkali, size, scale);
    return poly;
}

// Whether a box lies inside a polygon: twenty points along each side.
bool inside(const QRectF& box, const QPolygonF& poly) {
    for (int i = 0; i <= 20; ++i) {
        const double x = box.left() + box.width() * i / 20, y = box.top() + box.height() * i / 20;
        for (const QPointF& p : {QPointF(x, box.top()), QPointF(x, box.bottom()),
                                 QPointF(box.left(), y), QPointF(box.right(), y)})
            if (!poly.containsPoint(p, Qt::OddEvenFill))
                return false;
    }
    return true;
}

double area(const QPolygonF& p) {
    double a = 0;
    for (int i = 0; i < p.size(); ++i)
        a += p[i].x() * p[(i + 1) % p.size()].y() - p[(i + 1) % p.size()].x() * p[i].y();
    return std::abs(a) / 2;
}

// Checks the names as drawn at one size and zoom (inside their fields, apart,
// readable); returns how many fields had room and got no name.
int checkLabels(const DiagramPlot& plot, const QSize& size, double scale) {
    const auto labels = plot.fieldLabels(size, scale);
    const QRectF sight = plot.plotArea(size, scale);
    int missing = 0;
    for (std::size_t f = 0; f < tas::fields().size(); ++f) {
        const QPolygonF poly = outline(plot, tas::fields()[f], size, scale);
        const QPolygonF seen = poly.intersected(QPolygonF(sight));
        const FieldLabel* own = nullptr;
        for (const auto& l : labels)
            if (l.field == int(f))
                own = &l;
        // A field filling a tenth of what is in sight has room for its name.
        if (!own && area(seen) > sight.width() * sight.height() / 10)
            ++missing;
        if (!own)
            continue;
        // Capitals 6.5 px high at the least; a name left out is better than a smaller one.
        if (QFontMetricsF(own->font).capHeight() < 6.5 * scale)
            qWarning() << "too small:" << tas::fields()[f].name << own->font.pointSizeF();
        if (QFontMetricsF(own->font).capHeight() < 6.5 * scale)
            return -1;
        if (!inside(own->rect, poly) || !sight.contains(own->rect))
            qWarning() << "outside its field:" << tas::fields()[f].name << own->rect;
        if (!inside(own->rect, poly) || !sight.contains(own->rect))
            return -1;
        for (const auto& other : labels)
            if (&other != own && other.rect.intersects(own->rect))
                return -1;
    }
    return missing;
}

void wheel(QWidget* w, QPointF at, int delta) {
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

long redPixels(const QImage& image) {
    long n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == qRgb(255, 0, 0))
                ++n;
    return n;
}

} // namespace

class TestDiagram : public QObject {
    Q_OBJECT
private slots:
    void namesSitInsideTheirFieldsAtEveryZoom() {
        DiagramPlot plot;
        plot.resize(880, 560);
        // The whole diagram, large enough: every field named.
        QCOMPARE(plot.fieldLabels(QSize(1600, 1000)).size(), tas::fields().size());
        for (const QSize size : {QSize(480, 360), QSize(880, 560), QSize(1600, 1000)})
            QCOMPARE(checkLabels(plot, size, 1), 0);
        // A large export, at its own scale.
        const QSize big(4000, 3000);
        QCOMPARE(checkLabels(plot, big, DiagramPlot::exportStyle(big).scale), 0);
        // Zoomed into several parts of the diagram, step by step.
        for (const QPointF at : {QPointF(47, 2), QPointF(52, 6), QPointF(63, 9), QPointF(40, 12)}) {
            plot.resetZoom();
            for (int step = 0; step < 8; ++step) {
                wheel(&plot, plot.toScreen(at.x(), at.y(), plot.size()), 120);
                QCOMPARE(checkLabels(plot, plot.size(), 1), 0);
            }
        }
    }

    void zoomStaysOnTheDiagram() {
        DiagramPlot plot;
        plot.resize(880, 560);
        const QRectF a = plot.plotArea(plot.size());
        for (int i = 0; i < 6; ++i)
            wheel(&plot, a.center(), 120);
        QVERIFY(plot.range().width() < 20);
        // Out again at every corner, far more than in.
        for (const QPointF at : {a.topLeft() + QPointF(1, 1), a.bottomRight() - QPointF(1, 1),
                                 a.topRight() + QPointF(-1, 1), a.bottomLeft() + QPointF(1, -1)})
            for (int i = 0; i < 10; ++i) {
                wheel(&plot, at, -120);
                QVERIFY2(kWhole.contains(plot.range()) || kWhole == plot.range(),
                         qPrintable(QString("%1 %2 %3 %4")
                                        .arg(plot.range().left())
                                        .arg(plot.range().right())
                                        .arg(plot.range().top())
                                        .arg(plot.range().bottom())));
            }
        QCOMPARE(plot.range(), kWhole);
    }

    // Rows beyond the frame are not counted as plotted: on fixed axes they
    // are counted apart; K2O and Shand widen their frames to take them in.
    void legendCountsWhatTheFrameHolds() {
        DiagramPlot plot;
        plot.resize(880, 560);
        tas::ViewPoints v;
        for (const auto& [x, y, field] :
             {std::tuple{34.9f, 5.f, -1}, std::tuple{35.f, 5.f, 0}, std::tuple{89.9f, 17.9f, -1},
              std::tuple{90.1f, 5.f, -1}, std::tuple{50.f, 18.2f, -1}, std::tuple{60.f, 8.f, 8}})
        {
            v.points.push_back({x, y});
            v.field.push_back(static_cast<std::int8_t>(field));
        }
        v.points.emplace_back(); // no point
        v.field.push_back(-1);
        tas::count(v);
        plot.setView(std::make_shared<tas::ViewPoints>(v));
        QCOMPARE(plot.legendText(),
                 QString("3 rows plotted, 3 outside the frame, 1 with no point (1 outside "
                         "the diagram)"));
        // Zoomed in, what went out of sight is counted apart too.
        for (int i = 0; i < 4; ++i)
            wheel(&plot, plot.toScreen(60, 8, plot.size()), 120);
        QVERIFY(plot.legendText().startsWith("1 rows plotted, 5 outside the frame"));

        // Nephelinites (SiO2 about 40) on K2O, and basalts and ultramafic
        // rocks (A/CNK below 0.5, A/NK above 3) on Shand: in sight, and counted.
        const struct {
            const char* diagram;
            std::vector<QPointF> points;
        } widened[] = {{"k2o", {{40.6, 3.46}, {39.1, 3.9}, {42.0, 2.8}}},
                       {"shand", {{0.3, 4.4}, {0.45, 3.2}, {1.1, 1.5}}}};
        for (const auto& c : widened) {
            plot.setDiagram(chart::makeDiagram(c.diagram));
            const QRectF published = plot.whole();
            tas::ViewPoints w;
            for (const QPointF& at : c.points)
                w.points.push_back({float(at.x()), float(at.y())});
            w.field.assign(w.points.size(), 0);
            tas::count(w, plot.diagram().classes().size());
            plot.setView(std::make_shared<tas::ViewPoints>(w));
            for (const QPointF& at : c.points)
                QVERIFY2(plot.range().contains(at), c.diagram);
            QVERIFY(plot.range().contains(published)); // never narrower than published
            QCOMPARE(plot.legendText(), QString("3 rows plotted"));
        }
    }

    // Over kMaxDots rows in sight are drawn as density, without colours:
    // the legend says so, and zoomed in to fewer the colours come back.
    void coloursInDensityAreExplained() {
        DiagramPlot plot;
        plot.resize(880, 560);
        tas::ViewPoints v;
        for (long i = 0; i <= DiagramPlot::kMaxDots; ++i)
            v.points.push_back({45 + float(i % 1000) / 50, 2 + float(i / 1000) / 4});
        v.field.assign(v.points.size(), 0);
        v.colourNames = {"Basalt", "Dacite"};
        v.colour.assign(v.points.size(), 0);
        v.colour.back() = 1;
        tas::count(v);
        plot.setView(std::make_shared<tas::ViewPoints>(v));
        QVERIFY(plot.drawsDensity());
        QVERIFY2(plot.legendText().endsWith(
                     ". Colours need at most 20,000 rows in sight: zoom in or narrow the search"),
                 qPrintable(plot.legendText()));
        for (int i = 0; i < 6; ++i)
            wheel(&plot, plot.toScreen(64, 6.5, plot.size()), 120);
        QVERIFY(!plot.drawsDensity());
        QVERIFY(!plot.legendText().contains("Colours"));
        // Without colours there is nothing to say.
        v.colour.clear();
        v.colourNames.clear();
        plot.setView(std::make_shared<tas::ViewPoints>(v));
        plot.resetZoom();
        QVERIFY(plot.drawsDensity() && !plot.legendText().contains("Colours"));
    }

    void windowFollowsAndShowsWhatAUserNeeds() {
        GuiFixture f(400);
        // A row with neither sample number nor rock name, and no point.
        f.data().rawExec("UPDATE DOZIRO1 SET Rockname = NULL, [Doziro Sample#] = NULL, "
                         "SiO2 = 'Empty' WHERE ID = 7");
        auto& w = f.start();
        trigger(w, "mnuTas");
        DiagramWindow* tasWin = w.tools().diagramWindow();
        DiagramPlot* plot = tasWin->plot();
        QTRY_VERIFY(!tasWin->loading() && plot->view());
        QTRY_COMPARE(long(plot->view()->points.size()), 400L);

        // A search shows "Reading..." until its points are in.
        w.Text1[0]->setText("a");
        w.Command1[0]->click();
        QCOMPARE(plot->legendText(), QString("Reading..."));
        QTRY_VERIFY(plot->legendText() != "Reading...");
        w.Command1[1]->click();
        QTRY_VERIFY(plot->legendText().startsWith("399 rows plotted, 1 with no point"));

        // The row without names: its field alone, no stray colon.
        w.vaSpread1->setRow(w.Data1->view()->recordset()->indexOfKey(7));
        QVERIFY2(tasWin->statusLine()->text().startsWith("Current row: no point."),
                 qPrintable(tasWin->statusLine()->text()));

        // A click far from every point takes none; one beside a point takes it.
        QSignalSpy picked(plot, &DiagramPlot::rowPicked);
        w.vaSpread1->setRow(3);
        QTest::mouseClick(plot, Qt::LeftButton, {},
                          plot->toScreen(89, 17.5, plot->size()).toPoint());
        QCOMPARE(picked.count(), 0);
        QCOMPARE(w.vaSpread1->Row(), 3L);
        QTRY_VERIFY(plot->hasFocus() || !QGuiApplication::focusWindow());
        long row = 0;
        while (!plot->view()->points[row].valid())
            ++row;
        const auto& pt = plot->view()->points[row];
        QTest::mouseClick(
            plot, Qt::LeftButton, {},
            (plot->toScreen(pt.silica, pt.alkali, plot->size()) + QPointF(2, 2)).toPoint());
        QCOMPARE(picked.count(), 1);

        // The visible reset.
        wheel(plot, plot->plotArea(plot->size()).center(), 120);
        QVERIFY(plot->range() != kWhole);
        tasWin->findChild<QPushButton*>("wholeDiagram")->click();
        QCOMPARE(plot->range(), kWhole);

        // A number format is no edit: the points stay as they are.
        const tas::ViewPoints* before = plot->view();
        w.vaSpread1->recordsetModel()->setNumberFormat(6, "#0.000");
        w.ApplyGridLayout(false);
        QCOMPARE(plot->view(), before);

        // Closed, the diagram does nothing while the grid changes.
        tasWin->close();
        trigger(w, "mnuGeologist");
        w.Command1[1]->click();
        QVERIFY(!tasWin->loading());
        QCOMPARE(plot->view(), before);
        // Shown again, it reads the view of that moment.
        trigger(w, "mnuTas");
        QTRY_VERIFY(!tasWin->loading() && plot->view() != before);
        QCOMPARE(long(plot->view()->points.size()), 400L);
    }

    void exportsAreDrawnAtTheirOwnSize() {
        GuiFixture f(200);
        auto& w = f.start();
        trigger(w, "mnuTas");
        DiagramWindow* tasWin = w.tools().diagramWindow();
        QTRY_VERIFY(!tasWin->loading() && tasWin->plot()->view());
        long row = 0;
        while (!tasWin->plot()->view()->points[row].valid())
            ++row;
        w.vaSpread1->setRow(row);
        QCOMPARE(tasWin->plot()->currentRow(), row);
        // On screen the current row is ringed; an export leaves it out.
        QImage screen(880, 560, QImage::Format_RGB32);
        {
            QPainter p(&screen);
            tasWin->plot()->render(p, screen.size());
        }
        QVERIFY(redPixels(screen) > 20);
        QTemporaryDir out;
        tasWin->exportTo(out.filePath("big.png"), QSize(4000, 3000));
        const QImage big(out.filePath("big.png"));
        QCOMPARE(big.size(), QSize(4000, 3000));
        QCOMPARE(redPixels(big), 0L);
        // The resolution chosen (300 dpi unless told) is in the file, so
        // that the picture prints at its size.
        QCOMPARE(big.dotsPerMeterX(), 11811);
        QCOMPARE(big.dotsPerMeterY(), 11811);
        tasWin->exportTo(out.filePath("fine.png"), QSize(1200, 900), 600);
        QCOMPARE(QImage(out.filePath("fine.png")).dotsPerMeterX(), 23622);
        // Text, dots and lines grow with the export.
        const auto small = tasWin->plot()->fieldLabels(QSize(880, 560), 1);
        const QSize size(4000, 3000);
        const auto large = tasWin->plot()->fieldLabels(size, DiagramPlot::exportStyle(size).scale);
        QCOMPARE(small.size(), large.size());
        QVERIFY(large[0].font.pointSizeF() > 4 * small[0].font.pointSizeF() * 0.9);
        // The axis titles say what the values are.
        tasWin->exportTo(out.filePath("vf.svg"), QSize(900, 600));
        QFile svg(out.filePath("vf.svg"));
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QVERIFY(svg.readAll().contains("SiO2 (wt%, volatile-free)"));
        tasWin->volatileFree()->setChecked(false);
        QTRY_VERIFY(!tasWin->loading());
        tasWin->exportTo(out.filePath("asis.svg"), QSize(900, 600));
        QFile asis(out.filePath("asis.svg"));
        QVERIFY(asis.open(QIODevice::ReadOnly));
        QVERIFY(asis.readAll().contains("SiO2 (wt%, as analysed)"));
    }

    void searchWithTheDiagramOpenReachesEveryRow() {
        // The diagram reads every key inside the grid's refresh: the grid
        // must still be told of the rows beyond its first screen.
        GuiFixture f(100000);
        auto& w = f.start();
        w.show();
        trigger(w, "mnuTas");
        DiagramWindow* tasWin = w.tools().diagramWindow();
        QTRY_VERIFY(!tasWin->loading());
        for (const char* term : {"basalt", "a"}) {
            w.Text1[0]->setText(term);
            w.Command1[0]->click();
            auto* rs = w.Data1->view()->recordset();
            QTRY_VERIFY_WITH_TIMEOUT(rs->keysComplete() && !tasWin->loading(), 20000);
            QTRY_COMPARE_WITH_TIMEOUT(w.vaSpread1->RowCount(), rs->knownRowCount(), 20000);
            QCOMPARE(long(tasWin->plot()->view()->points.size()), rs->RecordCount());
        }
    }

    void engineErrorsInItsSlotsAreShownNotFatal() {
        GuiFixture f(3000);
        f.data().damageRowPage(1500); // a page of the table in the middle of its rows
        auto& w = f.start();
        // A view whose key scan meets the damaged page after its first
        // screen: shown, with the failure kept for whoever needs every key.
        w.Data1->setRecordSource("SELECT * From [DOZIRO1]Order By [ID] ASC");
        w.Data1->Refresh();
        const size_t before = f.messages.shown.size();
        // The diagram (from its menu) and the last-record button: a message
        // each, and the program goes on.
        w.findChild<QAction*>("mnuTas")->trigger();
        QCOMPARE(f.messages.shown.size(), before + 1);
        w.Data1->findChild<QToolButton*>("nav3")->click();
        QCOMPARE(f.messages.shown.size(), before + 2);
        for (size_t i = before; i < f.messages.shown.size(); ++i) {
            QCOMPARE(f.messages.shown[i].title, QString("DataBase Error"));
            QVERIFY2(f.messages.shown[i].text.contains("damaged"),
                     qPrintable(f.messages.shown[i].text));
        }
        QVERIFY(w.tools().diagramWindow()->statusLine()->text().contains("damaged"));
    }
};

QTEST_MAIN(TestDiagram)
#include "tst_diagram.moc"
