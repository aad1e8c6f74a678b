#include "MapFrame.h"

#include <proj.h>

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace geo {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kStereographicBelow = 100; // degrees across

// PROJ's library, opened when the first map is drawn: loaded at every
// start, it and the libraries it brings hold the program's first paint
// longer.
struct Proj {
    decltype(&proj_create) create = nullptr;
    decltype(&proj_destroy) destroy = nullptr;
    decltype(&proj_trans) trans = nullptr;
    decltype(&proj_trans_generic) transGeneric = nullptr;
};

template <class F> void resolve(void* library, const char* name, F& into) {
    into = reinterpret_cast<F>(dlsym(library, name));
    if (!into)
        throw std::runtime_error(std::string("PROJ's library lacks ") + name + ".");
}

const Proj& proj() {
    static const Proj loaded = [] {
        void* library = dlopen("libproj.so.25", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            throw std::runtime_error(std::string("PROJ's library could not be opened: ") +
                                     dlerror());
        Proj p;
        resolve(library, "proj_create", p.create);
        resolve(library, "proj_destroy", p.destroy);
        resolve(library, "proj_trans", p.trans);
        resolve(library, "proj_trans_generic", p.transGeneric);
        return p;
    }();
    return loaded;
}

std::string degrees(double v, char positive, char negative) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.4g°%c", std::fabs(v), v < 0 ? negative : positive);
    return buffer;
}

} // namespace

MapFrame::MapFrame(double centreLongitude, double centreLatitude, double degreesAcross,
                   double width, double height)
    : lon0_(wrapLongitude(centreLongitude)), lat0_(std::clamp(centreLatitude, -90.0, 90.0)),
      span_(std::clamp(degreesAcross, 1e-3, kWorldSpan)), width_(std::max(1.0, width)),
      height_(std::max(1.0, height)), stereographic_(span_ < kStereographicBelow) {
    metresPerPixel_ = span_ * kPi / 180 * kRadius / width_;
    char definition[200];
    if (stereographic_)
        std::snprintf(definition, sizeof definition,
                      "+proj=stere +R=%.1f +lat_0=%.10g +lon_0=%.10g +k_0=1", kRadius, lat0_,
                      lon0_);
    else
        std::snprintf(definition, sizeof definition, "+proj=eqc +R=%.1f +lon_0=%.10g", kRadius,
                      lon0_);
    PJ* pj = proj().create(PJ_DEFAULT_CTX, definition);
    if (!pj)
        throw std::runtime_error(std::string("PROJ refused ") + definition);
    pj_.reset(pj, [](PJ* p) { proj().destroy(p); });
    if (!stereographic_)
        centreY_ = lat0_ * kPi / 180 * kRadius;
}

std::string MapFrame::projectionName() const {
    if (!stereographic_)
        return "Equirectangular, centred on " +
               (lon0_ == 0 ? std::string("0°") : degrees(lon0_, 'E', 'W'));
    return "Stereographic, centred on " + degrees(lat0_, 'N', 'S') + " " + degrees(lon0_, 'E', 'W');
}

bool MapFrame::toScreen(double longitude, double latitude, double& x, double& y) const {
    std::vector<double> lon{longitude}, lat{latitude};
    toScreen(lon, lat);
    x = lon[0];
    y = lat[0];
    return std::isfinite(x) && std::isfinite(y);
}

void MapFrame::toScreen(std::vector<double>& lon, std::vector<double>& lat) const {
    const std::size_t n = std::min(lon.size(), lat.size());
    for (std::size_t i = 0; i < n; ++i) {
        lon[i] *= kPi / 180;
        lat[i] *= kPi / 180;
    }
    if (n)
        proj().transGeneric(pj_.get(), PJ_FWD, lon.data(), sizeof(double), n, lat.data(),
                            sizeof(double), n, nullptr, 0, 0, nullptr, 0, 0);
    const double nan = std::nan("");
    // Beyond the stereographic's useful reach (the far hemisphere) the
    // numbers run away: such a point is not placed.
    const double reach = 4 * kRadius;
    for (std::size_t i = 0; i < n; ++i) {
        const double X = lon[i], Y = lat[i];
        if (!std::isfinite(X) || !std::isfinite(Y) || X == HUGE_VAL ||
            (stereographic_ && std::hypot(X, Y) > reach)) {
            lon[i] = lat[i] = nan;
            continue;
        }
        lon[i] = width_ / 2 + (X - centreX_) / metresPerPixel_;
        lat[i] = height_ / 2 - (Y - centreY_) / metresPerPixel_;
    }
}

bool MapFrame::toGeo(double x, double y, double& longitude, double& latitude) const {
    PJ_COORD c{};
    c.xyzt.x = centreX_ + (x - width_ / 2) * metresPerPixel_;
    c.xyzt.y = centreY_ - (y - height_ / 2) * metresPerPixel_;
    if (!stereographic_) {
        // Beyond the world's edges the equirectangular goes on: the
        // longitude wraps, a latitude past a pole is refused.
        longitude = wrapLongitude(lon0_ + c.xy.x / kRadius * 180 / kPi);
        latitude = c.xy.y / kRadius * 180 / kPi;
        return latitude >= -90 && latitude <= 90;
    }
    PJ_COORD g = proj().trans(pj_.get(), PJ_INV, c);
    if (!std::isfinite(g.lp.lam) || !std::isfinite(g.lp.phi) || g.lp.lam == HUGE_VAL)
        return false;
    longitude = wrapLongitude(g.lp.lam * 180 / kPi);
    latitude = g.lp.phi * 180 / kPi;
    return true;
}

double MapFrame::sightRadius(double margin) const {
    if (!stereographic_)
        return kPi;
    // The stereographic at scale 1 puts a point at angle c from its centre
    // 2 R tan(c / 2) away.
    const double reach =
        (std::hypot(width_, height_) / 2 + std::max(0.0, margin)) * metresPerPixel_;
    return 2 * std::atan(reach / (2 * kRadius));
}

MapFrame MapFrame::zoomedAbout(double x, double y, double factor) const {
    const double span = std::clamp(span_ / factor, 1e-3, kWorldSpan);
    double lon = 0, lat = 0;
    if (!toGeo(x, y, lon, lat))
        return MapFrame(lon0_, lat0_, span, width_, height_);
    // The new centre lies from the pointer's place as the screen centre
    // lies from the pointer, at the new scale; found in this frame, then
    // corrected once in the new one.
    const double f = span / span_;
    double cx = x + (width_ / 2 - x) * f, cy = y + (height_ / 2 - y) * f;
    double clon = lon0_, clat = lat0_;
    if (!toGeo(cx, cy, clon, clat))
        return MapFrame(lon0_, lat0_, span, width_, height_);
    MapFrame next(clon, std::clamp(clat, -89.9, 89.9), span, width_, height_);
    // A new centre changes the stereographic itself: a few corrections
    // bring the place back under the pointer.
    for (int i = 0; i < 12; ++i) {
        double nx = 0, ny = 0;
        if (!next.toScreen(lon, lat, nx, ny) || std::hypot(nx - x, ny - y) < 0.05)
            break;
        next = next.panned(nx, ny, x, y);
    }
    return next;
}

MapFrame MapFrame::panned(double x0, double y0, double x1, double y1) const {
    double lon = lon0_, lat = lat0_;
    if (!toGeo(width_ / 2 + (x0 - x1), height_ / 2 + (y0 - y1), lon, lat))
        return *this;
    return MapFrame(lon, std::clamp(lat, -89.9, 89.9), span_, width_, height_);
}

MapFrame MapFrame::resized(double width, double height) const {
    return MapFrame(lon0_, lat0_, span_, width, height);
}

Area MapFrame::areaOf(double x0, double y0, double x1, double y1) const {
    const double left = std::min(x0, x1), right = std::max(x0, x1);
    const double top = std::min(y0, y1), bottom = std::max(y0, y1);
    // The edges walked in small steps: longitudes as offsets from the
    // centre's, so that a rectangle across 180° stays one piece.
    double west = 360, east = -360, south = 90, north = -90;
    constexpr int kSteps = 32;
    for (int i = 0; i <= kSteps; ++i) {
        const double t = static_cast<double>(i) / kSteps;
        const double points[4][2] = {{left + t * (right - left), top},
                                     {left + t * (right - left), bottom},
                                     {left, top + t * (bottom - top)},
                                     {right, top + t * (bottom - top)}};
        for (const auto& p : points) {
            double lon = 0, lat = 0;
            if (!toGeo(p[0], std::clamp(p[1], 0.0, height_), lon, lat)) {
                // Beyond a pole of the world map: the pole is the edge.
                if (!toGeo(p[0], height_ / 2, lon, lat))
                    continue;
                lat = p[1] < height_ / 2 ? 90 : -90;
            }
            double offset = wrapLongitude(lon - lon0_);
            // The equirectangular's longitudes run on past its edges.
            if (!stereographic_)
                offset = (p[0] - width_ / 2) * span_ / width_;
            west = std::min(west, offset);
            east = std::max(east, offset);
            south = std::min(south, lat);
            north = std::max(north, lat);
        }
    }
    Area a;
    if (west > east)
        return a; // nothing placed: the world
    // A pole inside takes in every longitude.
    for (const double pole : {90.0, -90.0}) {
        double x = 0, y = 0;
        if (toScreen(0, pole, x, y) && x >= left && x <= right && y >= top && y <= bottom) {
            (pole > 0 ? north : south) = pole;
            a.west = -180;
            a.east = 180;
            a.south = std::max(-90.0, south);
            a.north = std::min(90.0, north);
            return a;
        }
    }
    a.south = std::clamp(south, -90.0, 90.0);
    a.north = std::clamp(north, -90.0, 90.0);
    if (east - west >= 360)
        return a;
    a.west = wrapLongitude(lon0_ + west);
    a.east = wrapLongitude(lon0_ + east);
    return a;
}

} // namespace geo
