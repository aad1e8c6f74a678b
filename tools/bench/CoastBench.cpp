// The coastlines' drawing, with the graticule and its degrees: the whole world, a continent,
// regions and a close view, each painted as the map window paints its ground (antialiased, 1000 x
// 700), first after the coastlines are read and again after a pan of a few pixels.
#include "CoastBench.h"

#include "BenchReport.h"
#include "diagram/MapGround.h"
#include "diagram/MapPlot.h"
#include "map/Coastlines.h"
#include "map/MapFrame.h"

#include <QImage>
#include <QPainter>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

void runCoastCases(BenchReport& report) {
    struct View {
        const char* name;
        double longitude, latitude, across;
    };
    const View views[] = {{"the world", 0, 0, 360},        {"Europe, 40°", 15, 50, 40},
                          {"Iceland, 5°", -19, 65, 5},     {"the Aegean, 5°", 25, 38.5, 5},
                          {"Hawaii, 5°", -157.5, 20.5, 5}, {"Santorini, 1°", 25.4, 36.4, 1}};
    constexpr int kWidth = 1000, kHeight = 700, kRuns = 7;
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    for (const View& v : views) {
        const auto resolution = geo::Coastlines::forSpan(v.across);
        std::shared_ptr<const geo::Shorelines> coast;
        try {
            coast = geo::Coastlines::world(resolution); // read before the timing
        } catch (const std::runtime_error& e) {
            std::printf("map: no coastlines, their cases left out (%s)\n", e.what());
            return;
        }
        const geo::MapFrame frame(v.longitude, v.latitude, v.across, kWidth, kHeight);
        auto paint = [&](const MapGround& ground, const geo::MapFrame& f) {
            return BenchReport::milliseconds([&] {
                QPainter p(&image);
                p.setRenderHint(QPainter::Antialiasing);
                ground.draw(p, f, coast, 1);
                MapPlot::drawDegrees(p, f, 1); // over the samples, in the window
            });
        };
        std::vector<double> first, again;
        for (int i = 0; i < kRuns; ++i) {
            const MapGround ground; // nothing kept of an earlier paint
            first.push_back(paint(ground, frame));
            again.push_back(paint(ground, frame.panned(0, 0, 3 + i, 2)));
        }
        const std::string name = std::string("map: coastlines, graticule, degrees, ") + v.name +
                                 " (" + geo::Coastlines::letter(resolution) + ")";
        report.limit(name + ", first paint", BenchReport::median(first), 50, "ms");
        report.limit(name + ", after a pan", BenchReport::median(again), 50, "ms");
    }
}
