#include "Coastlines.h"

#include <gmt/gmt.h>

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <stdexcept>

namespace geo {

namespace {

std::mutex gmtMutex; // held around every use of GMT and of the cache
std::string gmtMessages;
std::array<std::shared_ptr<const Shorelines>, 3> cache;

// GMT's library, opened the first time coastlines are read: it brings
// a hundred libraries with it, which every start of the program would
// otherwise load before its first paint.
struct Gmt {
    decltype(&GMT_Create_Session) createSession = nullptr;
    decltype(&GMT_Destroy_Session) destroySession = nullptr;
    decltype(&GMT_Open_VirtualFile) openVirtualFile = nullptr;
    decltype(&GMT_Close_VirtualFile) closeVirtualFile = nullptr;
    decltype(&GMT_Read_VirtualFile) readVirtualFile = nullptr;
    decltype(&GMT_Call_Module) callModule = nullptr;
};

template <class F> void resolve(void* library, const char* name, F& into) {
    into = reinterpret_cast<F>(dlsym(library, name));
    if (!into)
        throw std::runtime_error(std::string("GMT's library lacks ") + name + ".");
}

const Gmt& gmt() {
    static const Gmt loaded = [] {
        void* library = dlopen("libgmt.so.6", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            throw std::runtime_error(std::string("GMT's library could not be opened: ") +
                                     dlerror());
        Gmt g;
        resolve(library, "GMT_Create_Session", g.createSession);
        resolve(library, "GMT_Destroy_Session", g.destroySession);
        resolve(library, "GMT_Open_VirtualFile", g.openVirtualFile);
        resolve(library, "GMT_Close_VirtualFile", g.closeVirtualFile);
        resolve(library, "GMT_Read_VirtualFile", g.readVirtualFile);
        resolve(library, "GMT_Call_Module", g.callModule);
        return g;
    }();
    return loaded;
}

int collect(FILE*, const char* message) {
    if (gmtMessages.size() < 2000)
        gmtMessages += message;
    return 0;
}

// An end point as a key: pieces cut at a bin's edge meet at the same
// numbers, and a longitude of 180 meets -180.
std::pair<long long, long long> key(double longitude, double latitude) {
    if (longitude >= 180)
        longitude -= 360;
    return {std::llround(longitude * 1e7), std::llround(latitude * 1e7)};
}

Shorelines readWithGmt(char resolution) {
    gmtMessages.clear();
    const Gmt& g = gmt();
    void* api = g.createSession(
        "quarzel", 0, GMT_SESSION_NOEXIT | GMT_SESSION_EXTERNAL | GMT_SESSION_NOHISTORY, collect);
    if (!api)
        throw std::runtime_error("GMT could not start: " + gmtMessages);
    struct Session {
        void* api;
        const Gmt& g;
        ~Session() { g.destroySession(api); }
    } session{api, g};
    char output[GMT_VF_LEN] = {};
    if (g.openVirtualFile(api, GMT_IS_DATASET, GMT_IS_LINE,
                          static_cast<unsigned>(GMT_OUT) | GMT_IS_REFERENCE, nullptr,
                          output) != GMT_NOERROR)
        throw std::runtime_error("GMT could not open its output: " + gmtMessages);
    // The whole world, shorelines only (level 1), as segments.
    std::string args = std::string("-Rd -D") + resolution + " -W -M -A0/1/1 ->" + output;
    if (g.callModule(api, "coast", GMT_MODULE_CMD, args.data()) != GMT_NOERROR)
        throw std::runtime_error("The coastlines could not be read: " + gmtMessages);
    auto* data = static_cast<GMT_DATASET*>(g.readVirtualFile(api, output));
    Shorelines pieces;
    if (data)
        for (uint64_t t = 0; t < data->n_tables; ++t)
            for (uint64_t s = 0; s < data->table[t]->n_segments; ++s) {
                const GMT_DATASEGMENT* seg = data->table[t]->segment[s];
                if (!seg || seg->n_rows < 2 || seg->n_columns < 2)
                    continue;
                Shoreline line;
                line.longitude.assign(seg->data[0], seg->data[0] + seg->n_rows);
                line.latitude.assign(seg->data[1], seg->data[1] + seg->n_rows);
                for (double& x : line.longitude)
                    if (x > 180)
                        x -= 360;
                pieces.push_back(std::move(line));
            }
    g.closeVirtualFile(api, output);
    if (pieces.empty())
        throw std::runtime_error("GMT gave no coastlines: " + gmtMessages);
    return pieces;
}

} // namespace

bool Shoreline::closed() const {
    return longitude.size() > 2 &&
           key(longitude.front(), latitude.front()) == key(longitude.back(), latitude.back());
}

void Shoreline::divide(std::size_t points) {
    stretches.clear();
    const std::size_t n = std::min(longitude.size(), latitude.size());
    if (n == 0)
        return;
    constexpr double kRadians = 3.14159265358979323846 / 180;
    std::vector<std::array<double, 3>> unit(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double lon = longitude[i] * kRadians, lat = latitude[i] * kRadians;
        unit[i] = {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
    }
    const std::size_t step = std::max<std::size_t>(points, 2) - 1;
    for (std::size_t first = 0;; first += step) {
        Stretch s;
        s.first = first;
        s.last = std::min(n - 1, first + step);
        // The points' mean direction as the centre; the farthest point sets
        // the radius. A run round half the world has no mean: all of it.
        for (std::size_t i = s.first; i <= s.last; ++i)
            s.x += unit[i][0], s.y += unit[i][1], s.z += unit[i][2];
        const double norm = std::sqrt(s.x * s.x + s.y * s.y + s.z * s.z);
        if (norm < 1e-9) {
            s.x = 0, s.y = 0, s.z = 1, s.radius = 4; // above pi
        } else {
            s.x /= norm, s.y /= norm, s.z /= norm;
            double nearest = 1;
            for (std::size_t i = s.first; i <= s.last; ++i)
                nearest = std::min(nearest, s.x * unit[i][0] + s.y * unit[i][1] + s.z * unit[i][2]);
            s.radius = std::acos(std::clamp(nearest, -1.0, 1.0)) + 1e-9;
        }
        stretches.push_back(s);
        if (s.last == n - 1)
            break;
    }
}

Coastlines::Resolution Coastlines::forSpan(double degreesAcross) {
    return degreesAcross > 60   ? Resolution::Crude
           : degreesAcross > 12 ? Resolution::Low
                                : Resolution::Intermediate;
}

char Coastlines::letter(Resolution r) {
    return r == Resolution::Crude ? 'c' : r == Resolution::Low ? 'l' : 'i';
}

std::shared_ptr<const Shorelines> Coastlines::world(Resolution r) {
    std::lock_guard lock(gmtMutex);
    auto& kept = cache[static_cast<std::size_t>(r)];
    if (!kept) {
        Shorelines lines = joined(readWithGmt(letter(r)));
        for (Shoreline& line : lines)
            line.divide();
        kept = std::make_shared<const Shorelines>(std::move(lines));
    }
    return kept;
}

Shorelines Coastlines::joined(Shorelines pieces) {
    // Open pieces by their first point; each open piece is extended by
    // the piece that starts where it ends until it closes or none does.
    std::multimap<std::pair<long long, long long>, std::size_t> byStart;
    std::vector<bool> used(pieces.size(), false);
    for (std::size_t i = 0; i < pieces.size(); ++i)
        if (!pieces[i].closed())
            byStart.emplace(key(pieces[i].longitude.front(), pieces[i].latitude.front()), i);
    Shorelines out;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (used[i])
            continue;
        used[i] = true;
        Shoreline line = std::move(pieces[i]);
        while (!line.closed()) {
            auto [from, to] = byStart.equal_range(key(line.longitude.back(), line.latitude.back()));
            auto next = from;
            while (next != to && used[next->second])
                ++next;
            if (next == to)
                break;
            const std::size_t j = next->second;
            used[j] = true;
            byStart.erase(next);
            // The shared point is kept once.
            line.longitude.insert(line.longitude.end(), pieces[j].longitude.begin() + 1,
                                  pieces[j].longitude.end());
            line.latitude.insert(line.latitude.end(), pieces[j].latitude.begin() + 1,
                                 pieces[j].latitude.end());
        }
        out.push_back(std::move(line));
    }
    return out;
}

} // namespace geo
