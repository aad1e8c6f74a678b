#pragma once

#include "GeoArea.h"

#include <memory>
#include <string>
#include <vector>

struct PJconsts;

namespace geo {

// What a map window shows: a centre, the degrees of arc across its width,
// and its size in pixels; with the projection that suits it, through PROJ.
// The whole world (wider than 100°) is equirectangular, centred on the
// view's longitude, so that a view across 180° is one piece; nearer, a
// stereographic projection centred on the view keeps shapes true. Both on
// a sphere of the Earth's mean radius, at one scale at the centre.
// Screen y grows downwards. Used by one thread at a time (PROJ's objects
// are not shared between threads).
class MapFrame {
public:
    static constexpr double kRadius = 6371008.8;
    static constexpr double kWorldSpan = 360;

    MapFrame(double centreLongitude, double centreLatitude, double degreesAcross, double width,
             double height);

    bool stereographic() const { return stereographic_; }
    double centreLongitude() const { return lon0_; }
    double centreLatitude() const { return lat0_; }
    double degreesAcross() const { return span_; }
    double width() const { return width_; }
    double height() const { return height_; }
    // "Equirectangular, centred on 180°" or "Stereographic, centred on 64.5°N 18°W".
    std::string projectionName() const;

    // False for a point the projection cannot place (beyond the
    // stereographic's reach).
    bool toScreen(double longitude, double latitude, double& x, double& y) const;
    bool toGeo(double x, double y, double& longitude, double& latitude) const;
    // In place: longitudes become x and latitudes y; a point that cannot
    // be placed becomes NaN.
    void toScreen(std::vector<double>& longitudes, std::vector<double>& latitudes) const;

    // The angle in radians from the centre within which everything in sight
    // lies, the screen widened by margin pixels on every side: the
    // stereographic shows a cap of the sphere as a disc round the screen's
    // centre. Pi for the world map.
    double sightRadius(double margin) const;

    // The frame zoomed by factor (above 1: nearer) keeping the place under
    // (x, y) where it is; never wider than the world.
    MapFrame zoomedAbout(double x, double y, double factor) const;
    // The frame moved so that what was at (x0, y0) is at (x1, y1).
    MapFrame panned(double x0, double y0, double x1, double y1) const;
    MapFrame resized(double width, double height) const;
    // The rectangle of longitude and latitude that takes in the screen
    // rectangle between the two corners.
    Area areaOf(double x0, double y0, double x1, double y1) const;

private:
    double lon0_, lat0_, span_, width_, height_;
    bool stereographic_;
    double metresPerPixel_;
    double centreX_ = 0, centreY_ = 0; // the centre, projected
    std::shared_ptr<PJconsts> pj_;
};

} // namespace geo
