// The map's widget-free parts: samples placed where their coordinates say
// (either side of 180°, the poles, a range, values out of range), the
// projections' numbers worked out here from their formulas, the area
// condition selecting exactly the expected samples on both back ends (and
// agreeing with where the map places them), and the coastlines read
// through GMT when its data is installed; the ground in sight drawn as a
// wider view draws it; and the window: its dots, a click making a sample
// the grid's row, a dragged rectangle becoming the grid's search, and the
// export naming its projection; the density cells taking over beyond
// 20,000 samples in sight, the dots coloured by a text column, and the
// scale bar's length.
#include "app/QuarzelDatabase.h"
#include "diagram/MapGround.h"
#include "diagram/MapPlot.h"
#include "diagram/MapWindow.h"
#include "map/Coastlines.h"
#include "map/GeoArea.h"
#include "map/MapFrame.h"
#include "map/SamplePositions.h"
#include "map/ScaleBar.h"
#include "platform/data/DataControl.h"
#include "platform/db/Database.h"
#include "platform/db/Query.h"
#include "platform/db/Recordset.h"
#include "support/GuiFixture.h"
#include "support/ServerData.h"
#include "support/TestData.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QtTest>

#include <cmath>
#include <set>

namespace {

using geo::CoordinateFacts;

constexpr double kPi = 3.14159265358979323846;

CoordinateFacts at(double latitude, double longitude) {
    CoordinateFacts f;
    f.latitude = latitude;
    f.longitude = longitude;
    return f;
}

CoordinateFacts range(double latMin, double latMax, double lonMin, double lonMax) {
    CoordinateFacts f;
    f.latitudeMin = latMin;
    f.latitudeMax = latMax;
    f.longitudeMin = lonMin;
    f.longitudeMax = lonMax;
    return f;
}

engine::SampleValue fact(const char* analyte, double v) {
    engine::SampleValue s;
    s.analyte = analyte;
    s.value = v;
    return s;
}

void addBackends() {
    QTest::addColumn<QString>("backend");
    QTest::newRow("file") << "file";
    if (ServerData::available())
        QTest::newRow("server") << "server";
}

std::set<std::int64_t> idsOf(engine::Database& db, const std::string& sql) {
    std::set<std::int64_t> out;
    engine::Query q(db, sql);
    while (q.next())
        out.insert(q.integer(0));
    return out;
}

} // namespace

class TestMap : public QObject {
    Q_OBJECT

private slots:
    void densityTakesOverBeyondTheDotsAndCountsEverySample() {
        const geo::MapFrame frame(0, 0, 360, 400, 200);
        // 20,000 samples in sight, two of them on the corners the frame
        // keeps; beside them some that are not in sight.
        std::vector<QPointF> screen(MapPlot::kMaxDots, QPointF(201.5, 101.5));
        screen[0] = QPointF(0, 0);
        screen[1] = QPointF(399.999, 199.999);
        for (QPointF out : {QPointF(400, 100), QPointF(100, 200), QPointF(-0.001, 5),
                            QPointF(std::nan(""), std::nan(""))})
            screen.push_back(out);
        MapPlot::Colours colours;
        colours.names = {"Basalt"};
        QCOMPARE(MapPlot::countInSight(screen, frame), 20000L);
        QVERIFY(MapPlot::drawingText(20000, colours).isEmpty()); // dots still

        // One more in sight: density, and the legend says colours must wait.
        screen.push_back(QPointF(10, 10));
        QCOMPARE(MapPlot::countInSight(screen, frame), 20001L);
        const QString text = MapPlot::drawingText(20001, colours);
        QVERIFY2(text.contains("samples per cell"), qPrintable(text));
        QVERIFY2(text.contains("Colours need at most 20,000 samples"), qPrintable(text));
        QVERIFY(!MapPlot::drawingText(20001, MapPlot::Colours()).contains("Colours"));

        // Every sample in sight falls in a cell (4 pixels, 100 by 50 of
        // them), counted up from the bottom; none of the others does.
        const tas::ViewPoints cells = MapPlot::densityPoints(screen, frame);
        QCOMPARE(cells.points.size(), screen.size());
        long counted = 0;
        for (const tas::PackedPoint& pt : cells.points) {
            if (!pt.valid())
                continue;
            const int col = static_cast<int>(std::floor(pt.silica * 100.0f / 400.0f));
            const int row = static_cast<int>(std::floor(pt.alkali * 50.0f / 200.0f));
            if (col >= 0 && col < 100 && row >= 0 && row < 50)
                ++counted;
        }
        QCOMPARE(counted, 20001L);
        QVERIFY(cells.points[0].alkali > 199.9f && cells.points[1].alkali < 0.01f);

        // Drawn: the corner cells shaded, the empty sea between left white.
        QImage image(400, 200, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter p(&image);
            MapPlot().drawSamples(p, frame, screen, MapPlot::Colours(), 1, 1);
        }
        QVERIFY(image.pixelColor(1, 1) != QColor(Qt::white));
        QVERIFY(image.pixelColor(398, 198) != QColor(Qt::white));
        QVERIFY(image.pixelColor(202, 102) != QColor(Qt::white));
        QCOMPARE(image.pixelColor(100, 150), QColor(Qt::white));
    }

    void theScaleBarMeasuresTheCentre() {
        // The world at 60°N, two pixels to a degree: east-west a pixel is
        // half a degree of a parallel of radius R cos 60°.
        const double perPixel = 0.5 * kPi / 180 * geo::MapFrame::kRadius / 1000 * 0.5;
        const geo::ScaleBar world = geo::ScaleBar::of(geo::MapFrame(0, 60, 360, 720, 360), 180);
        QCOMPARE(world.kilometres, 5000.0); // 180 pixels are 5,004 km
        QVERIFY2(std::fabs(world.pixels - 5000 / perPixel) < 0.01,
                 qPrintable(QString::number(world.pixels)));

        // Stereographic, true to scale at its centre: 20° over 800 pixels.
        const geo::MapFrame near(10, 45, 20, 800, 600);
        const double km = 20 * kPi / 180 * geo::MapFrame::kRadius / 1000 / 800; // 2.78 a pixel
        const geo::ScaleBar two = geo::ScaleBar::of(near, 100);                 // 278 km at most
        QCOMPARE(two.kilometres, 200.0);
        QVERIFY(std::fabs(two.pixels - 200 / km) < 0.01);
        QCOMPARE(geo::ScaleBar::of(near, 30).kilometres, 50.0); // 83 km at most
        QCOMPARE(geo::ScaleBar::of(near, 0.3).kilometres, 0.5);
    }

    void samplesArePlacedByTheirCoordinates() {
        // The world centred on 180°: 720 pixels for 360°, two to a degree.
        const geo::MapFrame world(180, 0, 360, 720, 360);
        QVERIFY(!world.stereographic());
        const auto screen = [&](const CoordinateFacts& f) {
            const geo::Position p = geo::place(f);
            double x = -1, y = -1;
            if (!p.valid || !world.toScreen(p.longitude, p.latitude, x, y))
                return QPointF(-1, -1);
            return QPointF(std::round(x * 1e6) / 1e6, std::round(y * 1e6) / 1e6);
        };
        QCOMPARE(screen(at(10, 179)), QPointF(358, 160));
        QCOMPARE(screen(at(10, -179)), QPointF(362, 160));
        QCOMPARE(screen(at(10, 181)), QPointF(362, 160)); // 180..360 wraps
        QCOMPARE(screen(at(-45, 270)), QPointF(540, 270));
        QCOMPARE(screen(at(90, 90)), QPointF(180, 0));
        QCOMPARE(screen(at(-90, 90)), QPointF(180, 360));
        // A range at its centre, one across 180° too.
        QCOMPARE(screen(range(10, 20, 170, -170)), QPointF(360, 150));
        QCOMPARE(screen(range(-20, -10, 350, 352)), QPointF(702, 210));

        // A point value goes before a range; out of range is no position.
        CoordinateFacts both = range(10, 20, 170, 172);
        both.latitude = 0;
        QCOMPARE(geo::place(both).latitude, 0.0);
        QCOMPARE(geo::place(both).longitude, 171.0);
        const geo::Position north = geo::place(at(95, 10));
        QVERIFY(!north.valid);
        QVERIFY2(QString::fromStdString(north.reason).contains("95"), north.reason.c_str());
        QVERIFY(!geo::place(at(10, 360.5)).valid);
        QVERIFY(geo::place(at(10, 360)).valid);
        QVERIFY(!geo::place(at(10, std::nan(""))).valid);
        CoordinateFacts half = range(10, 20, 0, 0);
        half.longitudeMax.reset();
        QCOMPARE(QString::fromStdString(geo::place(half).reason), QString("no longitude"));
        QCOMPARE(QString::fromStdString(geo::place(range(10, 91, 0, 1)).reason).left(12),
                 QString("latitude 91 "));
    }

    void projectionsKeepTheirFormulas() {
        // A polar stereographic on the sphere, scale true at the pole:
        // rho = 2 R tan(45° - lat / 2), longitude 0 straight down.
        const double R = geo::MapFrame::kRadius;
        const geo::MapFrame pole(0, 90, 50, 500, 400);
        QVERIFY(pole.stereographic());
        const double metresPerPixel = 50 * kPi / 180 * R / 500;
        const double rho = 2 * R * std::tan(kPi / 4 - 60 * kPi / 180 / 2) / metresPerPixel;
        double x = 0, y = 0;
        QVERIFY(pole.toScreen(0, 60, x, y));
        QVERIFY(std::fabs(x - 250) < 1e-6 && std::fabs(y - (200 + rho)) < 1e-6);
        QVERIFY(pole.toScreen(90, 60, x, y));
        QVERIFY(std::fabs(x - (250 + rho)) < 1e-6 && std::fabs(y - 200) < 1e-6);
        double lon = 0, lat = 0;
        QVERIFY(pole.toGeo(250 + rho, 200, lon, lat));
        QVERIFY(std::fabs(lon - 90) < 1e-9 && std::fabs(lat - 60) < 1e-9);
        QVERIFY(pole.projectionName().find("Stereographic") != std::string::npos);

        // Zooming keeps the place under the pointer, from the world into
        // the stereographic and nearer still.
        geo::MapFrame frame(0, 0, 360, 800, 400);
        double plon = 0, plat = 0;
        QVERIFY(frame.toGeo(610, 95, plon, plat)); // 94.5°E, 47.25°N
        for (int i = 0; i < 6; ++i) {
            frame = frame.zoomedAbout(610, 95, 2);
            QVERIFY(frame.toScreen(plon, plat, x, y));
            QVERIFY2(std::fabs(x - 610) < 0.5 && std::fabs(y - 95) < 0.5,
                     qPrintable(QString("%1 %2 at %3°").arg(x).arg(y).arg(frame.degreesAcross())));
        }
        QVERIFY(frame.stereographic());
        QCOMPARE(frame.zoomedAbout(0, 0, 1e-6).degreesAcross(), 360.0);

        // A rectangle on the world centred on 180°: across it, one piece.
        const geo::MapFrame world(180, 0, 360, 720, 360);
        const geo::Area a = world.areaOf(380, 200, 340, 160);
        QVERIFY(a.acrossAntimeridian());
        QCOMPARE(a.west, 170.0);
        QCOMPARE(a.east, -170.0);
        QCOMPARE(a.south, -10.0);
        QCOMPARE(a.north, 10.0);
        // A rectangle round the pole takes every longitude.
        const geo::Area cap = pole.areaOf(200, 150, 300, 250);
        QCOMPARE(cap.north, 90.0);
        QCOMPARE(cap.west, -180.0);
        QCOMPARE(cap.east, 180.0);
        QVERIFY(cap.south > 80 && cap.south < 90);
    }

    // The same samples on both back ends: the condition selects exactly
    // those the map places inside, across 180° and not.
    void areaSelectsTheSamplesInside_data() { addBackends(); }
    void areaSelectsTheSamplesInside() {
        QFETCH(QString, backend);
        TestData file(0);
        file.rawExec("INSERT INTO DOZIRO1 (Rockname, [Doziro Sample#]) VALUES ('a', 'S1'), "
                     "('a', 'S2'), ('a', 'S3'), ('a', 'S4'), ('a', 'S5'), ('a', 'S6'), ('a', "
                     "'S7'), ('a', 'S8'), ('a', 'S9'), ('a', 'S10'), ('a', 'S11'), ('a', "
                     "'S12'), ('a', 'S13')");
        std::unique_ptr<ServerData> server;
        if (backend == "server")
            server = std::make_unique<ServerData>(file);
        auto db = server ? server->open() : file.open();

        // Before any value is stored the table has no positions.
        geo::SamplePositions::Facts facts;
        QVERIFY(geo::SamplePositions::read(*db, "DOZIRO1", facts));
        QVERIFY(facts.empty());

        std::map<std::string, std::int64_t> id;
        {
            engine::Query q(*db, "SELECT [ID], [Doziro Sample#] FROM [DOZIRO1]");
            while (q.next())
                id[q.value(1).storedText()] = q.integer(0);
        }
        QCOMPARE(id.size(), std::size_t(13));
        const auto add = [&](const char* sample, std::vector<engine::SampleValue> v) {
            db->addValues("DOZIRO1", id.at(sample), v);
        };
        db->Begin();
        add("S1", {fact("Latitude", 10), fact("Longitude", 179)});
        add("S2", {fact("Longitude", 181), fact("Latitude", 10)}); // -179
        add("S3", {fact("Latitude", 10), fact("Longitude", -175)});
        add("S4", {fact("Latitude", 10), fact("Longitude", 160)}); // west of the area
        add("S5", {fact("Latitude min", 5), fact("Latitude max", 15), fact("Longitude min", 175),
                   fact("Longitude max", -175)}); // centred on 180
        add("S6", {fact("Latitude min", 5), fact("Latitude max", 15), fact("Longitude min", 150),
                   fact("Longitude max", 160)});
        add("S7", {fact("Latitude", 95), fact("Longitude", 179)}); // no position
        // The point value counts, not the range.
        add("S8", {fact("Latitude", 10), fact("Longitude", 160), fact("Longitude min", 175),
                   fact("Longitude max", 185)});
        add("S9", {fact("Latitude", 30), fact("Longitude", 179)}); // north of it
        // S10 has no values.
        add("S11", {fact("Latitude", 20), fact("Longitude", 190)});    // on the corner: inside
        add("S12", {fact("Latitude min", 5), fact("Longitude", 179)}); // half a range
        add("S13", {fact("Latitude", 10), fact("Longitude", 350), fact("Latitude", 50)});
        db->Commit();

        QVERIFY(geo::SamplePositions::read(*db, "DOZIRO1", facts));
        const auto expect = [&](std::initializer_list<const char*> names) {
            std::set<std::int64_t> out;
            for (const char* n : names)
                out.insert(id.at(n));
            return out;
        };
        const struct {
            geo::Area area;
            std::set<std::int64_t> inside;
        } cases[] = {
            {{170, -170, 0, 20}, expect({"S1", "S2", "S3", "S5", "S11"})},
            {{-20, 0, 0, 20}, expect({"S13"})}, // 350 is -10; its first latitude counts
            {{150, 179, 0, 16}, expect({"S1", "S4", "S6", "S8"})},
            {{-180, 180, -90, 90},
             expect({"S1", "S2", "S3", "S4", "S5", "S6", "S8", "S9", "S11", "S13"})},
        };
        for (const auto& c : cases) {
            const std::string condition = c.area.condition("DOZIRO1");
            const std::set<std::int64_t> selected =
                idsOf(*db, "SELECT [ID] FROM [DOZIRO1] WHERE " + condition);
            QCOMPARE(selected, c.inside);
            std::set<std::int64_t> placed;
            for (const auto& [sample, f] : facts)
                if (c.area.contains(geo::place(f)))
                    placed.insert(sample);
            QCOMPARE(placed, c.inside);
            // As the grid's record source.
            auto rs = db->OpenRecordset(
                "SELECT * FROM [DOZIRO1] Where " + condition + " Order By [ID]", true);
            const std::vector<std::int64_t> keys = rs->keys();
            QCOMPARE(std::set<std::int64_t>(keys.begin(), keys.end()), c.inside);
        }
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                                 geo::Area({0, 10, 20, 10}).condition("DOZIRO1"));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                                 geo::Area().condition("DOZIRO1] OR 1=1 --"));
        const geo::Area parsed = geo::Area::parse("170/-170/-5.5/20");
        QVERIFY(parsed.acrossAntimeridian() && parsed.south == -5.5 && parsed.north == 20);
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, geo::Area::parse("170/-170/-5.5"));
    }

    void piecesJoinIntoClosedShorelines() {
        // An island cut by a bin's edge at 20°W, and one across 180°.
        geo::Shorelines pieces(4);
        pieces[0].longitude = {-20, -22, -22, -20};
        pieces[0].latitude = {66, 66, 64, 64};
        pieces[1].longitude = {-20, -18, -18, -20};
        pieces[1].latitude = {64, 64, 66, 66};
        pieces[2].longitude = {180, 178, 178, 180};
        pieces[2].latitude = {-10, -10, -12, -12};
        pieces[3].longitude = {-180, -178, -178, -180};
        pieces[3].latitude = {-12, -12, -10, -10};
        const geo::Shorelines joined = geo::Coastlines::joined(pieces);
        QCOMPARE(joined.size(), std::size_t(2));
        for (const geo::Shoreline& s : joined) {
            QVERIFY(s.closed());
            QCOMPARE(s.longitude.size(), std::size_t(7));
        }
    }

    void theGroundInSightIsTheWiderViewsCentre() {
        // A long wavy shore in and out of a close view of Iceland, and an
        // island round the view's far pole (drawn, yet never in sight).
        auto coast = std::make_shared<geo::Shorelines>(2);
        geo::Shoreline& shore = (*coast)[0];
        for (int i = 0; i <= 24000; ++i)
            shore.longitude.push_back(-59 + i / 300.0),
                shore.latitude.push_back(65 + 2.5 * std::sin(i / 170.0));
        (*coast)[1].longitude = {160, 161, 161, 160};
        (*coast)[1].latitude = {-65, -65, -64, -65};
        // Stretches of 20° meeting at the view's centre: both reach into it
        // from centres far outside.
        for (geo::Shoreline& line : *coast)
            line.divide(6001);
        QCOMPARE(shore.stretches.back().last, shore.longitude.size() - 1);
        // The same scale and centre on three times the screen: all of the
        // narrow view's lines must be in the middle of the wide one's.
        const geo::MapFrame narrow(-19, 65, 3.5, 500, 350), wide(-19, 65, 10.5, 1500, 1050);
        const MapGround ground; // one for both: the kept path follows the frame
        const auto paint = [&](const geo::MapFrame& frame) {
            QImage image(static_cast<int>(frame.width()), static_cast<int>(frame.height()),
                         QImage::Format_RGB32);
            {
                QPainter p(&image);
                p.setRenderHint(QPainter::Antialiasing);
                ground.draw(p, frame, coast, 1);
            }
            return image;
        };
        const QImage whole = paint(wide).copy(500, 350, 500, 350), part = paint(narrow);
        long coastPixels = 0;
        for (int y = 0; y < part.height(); ++y)
            for (int x = 0; x < part.width(); ++x) {
                const QColor a = part.pixelColor(x, y), b = whole.pixelColor(x, y);
                coastPixels += a.red() < 0x90;
                // Antialiasing may round a level or two apart; a missing line is far more.
                QVERIFY2(std::abs(a.red() - b.red()) <= 16 && std::abs(a.blue() - b.blue()) <= 16,
                         qPrintable(QString("at %1, %2").arg(x).arg(y)));
            }
        QVERIFY(coastPixels > 500);
    }

    void theWindowFollowsAndSearchesTheGrid() {
        GuiFixture f(30);
        std::vector<std::int64_t> ids;
        {
            auto db = f.data().open();
            engine::Query q(*db, "SELECT [ID] FROM [DOZIRO1] ORDER BY [ID]");
            while (q.next())
                ids.push_back(q.integer(0));
            db->Begin();
            db->addValues("DOZIRO1", ids[3], {fact("Latitude", 64), fact("Longitude", -19.7)});
            db->addValues("DOZIRO1", ids[7], {fact("Latitude", -16.8), fact("Longitude", 179.9)});
            db->addValues("DOZIRO1", ids[9], {fact("Latitude", -16.7), fact("Longitude", 180.2)});
            db->addValues("DOZIRO1", ids[11], {fact("Latitude", 91), fact("Longitude", 0)});
            db->Commit();
        }
        f.data().rawExec(("UPDATE DOZIRO1 SET Rockname = CASE WHEN ID IN (" +
                          std::to_string(ids[7]) + ", " + std::to_string(ids[9]) +
                          ") THEN 'Dacite' ELSE 'Basalt' END"));
        auto& w = f.start();
        w.Data1->setRecordSource("SELECT * From [DOZIRO1]Order By [ID] ASC");
        w.Data1->Refresh();
        trigger(w, "mnuMap");
        auto* map = w.findChild<MapWindow*>();
        QVERIFY(map && map->isVisible());
        QTRY_VERIFY(!map->loading() && map->samples() && map->samples()->placed.size() == 3);
        QCOMPARE(map->samples()->noPosition, 27L);
        QVERIFY(map->legend()->text().contains("no position: 27"));

        // A click on Iceland's dot makes its row current.
        map->setFrame(geo::MapFrame(0, 0, 360, 0, 0));
        const auto dot = [&](double lon, double lat) {
            double x = 0, y = 0;
            map->frame().toScreen(lon, lat, x, y);
            return QPoint(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
        };
        QTest::mouseClick(map->canvas(), Qt::LeftButton, {}, dot(-19.7, 64) + QPoint(2, 1));
        auto* rs = w.Data1->view()->recordset();
        QCOMPARE(rs->keyAt(rs->AbsolutePosition()), ids[3]);
        QVERIFY(map->statusLine()->text().contains("64.0000°N 19.7000°W"));

        // Coloured by rock name: Basalt (28 rows) first, Dacite (2) next,
        // each dot in its group's colour, in the export too.
        map->colourBy(0);
        QTRY_VERIFY(!map->loading() && map->samples() && map->samples()->colours.shown());
        const MapPlot::Colours& colours = map->samples()->colours;
        QCOMPARE(colours.names, std::vector<std::string>({"Basalt", "Dacite"}));
        QCOMPARE(colours.count, std::vector<long>({1, 2})); // of the placed samples
        QVERIFY(!map->drawsDensity());
        map->setFrame(geo::MapFrame(90, 0, 360, 0, 0)); // Iceland and Fiji clear of the edges
        QTemporaryDir pictures;
        map->exportTo(pictures.filePath("map.png"), QSize(800, 400));
        const QImage picture(pictures.filePath("map.png"));
        const geo::MapFrame big = map->frame().resized(800, 400);
        for (std::size_t i = 0; i < map->samples()->placed.size(); ++i) {
            const auto& m = map->samples()->placed[i];
            double x = 0, y = 0;
            QVERIFY(big.toScreen(m.longitude, m.latitude, x, y));
            const int group = m.key == ids[3] ? 0 : 1;
            QCOMPARE(int(colours.of[i]), group);
            QCOMPARE(picture.pixelColor(int(std::lround(x)), int(std::lround(y))),
                     DiagramPlot::classColour(group));
        }
        map->exportTo(pictures.filePath("map.pdf"), QSize(800, 400));
        QFile pdf(pictures.filePath("map.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly) && pdf.read(5) == "%PDF-");

        // A rectangle across 180° (dragged with Shift on the world centred
        // there) becomes the grid's search: the two samples of Fiji.
        map->setFrame(geo::MapFrame(180, 0, 360, 0, 0));
        const QPoint from = dot(175, -10), to = dot(-175, -20);
        QTest::mousePress(map->canvas(), Qt::LeftButton, Qt::ShiftModifier, from);
        QTest::mouseMove(map->canvas(), (from + to) / 2);
        QTest::mouseRelease(map->canvas(), Qt::LeftButton, Qt::ShiftModifier, to);
        QTRY_VERIFY(!w.busy() && w.Data1->view()->recordset() != rs);
        QTRY_VERIFY(!map->loading() && map->samples() && map->samples()->noPosition == 0);
        const std::vector<std::int64_t> shown = w.Data1->view()->recordset()->keys();
        QCOMPARE(std::set<std::int64_t>(shown.begin(), shown.end()),
                 std::set<std::int64_t>({ids[7], ids[9]}));
        QCOMPARE(map->samples()->placed.size(), std::size_t(2));

        // The export says how the map is drawn.
        QTemporaryDir dir;
        const QString svg = dir.filePath("map.svg");
        map->exportTo(svg, QSize(800, 400));
        QFile file(svg);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("Equirectangular, centred on 180°E"));
    }

    void coastlinesOfIceland() {
        std::shared_ptr<const geo::Shorelines> world;
        try {
            world = geo::Coastlines::world(geo::Coastlines::Resolution::Low);
        } catch (const std::runtime_error& e) {
            QSKIP(e.what());
        }
        // A closed shoreline of many points inside a box round Iceland,
        // the island's, and none of the box's sides is a shoreline.
        std::size_t longest = 0;
        for (const geo::Shoreline& s : *world) {
            bool inside = true;
            for (std::size_t i = 0; i < s.longitude.size() && inside; ++i)
                inside = s.longitude[i] > -25 && s.longitude[i] < -13 && s.latitude[i] > 63 &&
                         s.latitude[i] < 67;
            if (inside && s.closed())
                longest = std::max(longest, s.longitude.size());
        }
        QVERIFY2(longest > 100, qPrintable(QString::number(longest)));
        // The crude world is the same set of coasts, fewer points.
        const auto crude = geo::Coastlines::world(geo::Coastlines::Resolution::Crude);
        std::size_t points = 0, crudePoints = 0;
        for (const auto& s : *world)
            points += s.longitude.size();
        for (const auto& s : *crude)
            crudePoints += s.longitude.size();
        QVERIFY(crudePoints > 1000 && crudePoints < points);
        QCOMPARE(geo::Coastlines::world(geo::Coastlines::Resolution::Low).get(), world.get());
    }
};

QTEST_MAIN(TestMap)
#include "tst_map.moc"
