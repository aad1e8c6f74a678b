#include "SamplePositions.h"

#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Query.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <stdexcept>

namespace geo {

namespace {

enum class Kind { Latitude, LatitudeMin, LatitudeMax, Longitude, LongitudeMin, LongitudeMax };

const std::pair<const char*, Kind> kAnalytes[] = {
    {"Latitude", Kind::Latitude},          {"Latitude min", Kind::LatitudeMin},
    {"Latitude max", Kind::LatitudeMax},   {"Longitude", Kind::Longitude},
    {"Longitude min", Kind::LongitudeMin}, {"Longitude max", Kind::LongitudeMax},
};

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::optional<double>& slot(CoordinateFacts& f, Kind k) {
    switch (k) {
    case Kind::Latitude:
        return f.latitude;
    case Kind::LatitudeMin:
        return f.latitudeMin;
    case Kind::LatitudeMax:
        return f.latitudeMax;
    case Kind::Longitude:
        return f.longitude;
    case Kind::LongitudeMin:
        return f.longitudeMin;
    case Kind::LongitudeMax:
        break;
    }
    return f.longitudeMax;
}

} // namespace

std::string SamplePositions::bracketed(const std::string& table) {
    if (table.empty() || table.find_first_of("[]'\"") != std::string::npos)
        throw std::invalid_argument("Not a table's name: '" + table + "'.");
    return "[" + table + "]";
}

std::string SamplePositions::channelsOf(const std::string& analyte) {
    // The analytes are this file's own words: no quote to escape.
    return "SELECT [code] FROM [quarzel_channel] WHERE [analyte] = '" + analyte + "'";
}

bool SamplePositions::read(engine::Database& db, const std::string& table, Facts& out,
                           const std::atomic<bool>* cancel) {
    out.clear();
    const std::string values = bracketed(table + "_values");
    try {
        // The channels of the six facts, whatever their method.
        std::map<std::int64_t, Kind> kinds;
        std::string where;
        for (const auto& [name, kind] : kAnalytes)
            where += std::string(where.empty() ? "" : " OR ") + "[analyte] = '" + name + "'";
        engine::Query channels(db,
                               "SELECT [code], [analyte] FROM [quarzel_channel] WHERE " + where);
        while (channels.next()) {
            const std::string analyte = lower(channels.value(1).storedText());
            for (const auto& [name, kind] : kAnalytes)
                if (lower(name) == analyte)
                    kinds.emplace(channels.integer(0), kind);
        }
        if (kinds.empty())
            return true;
        std::string codes;
        std::map<Kind, int> channelsOfKind;
        for (const auto& [code, kind] : kinds) {
            codes += (codes.empty() ? "" : ", ") + std::to_string(code);
            ++channelsOfKind[kind];
        }
        // A sample's first value of a fact wins. Read through the index of
        // channels, a channel's values come by sample and then in order;
        // only a fact stored under several channels (two methods) needs
        // them all sorted, which costs as much again as the reading.
        const bool onePerKind = std::all_of(channelsOfKind.begin(), channelsOfKind.end(),
                                            [](const auto& k) { return k.second == 1; });
        engine::Query q(db, "SELECT [sample], [channel], [value] FROM " + values +
                                " WHERE [channel] IN (" + codes + ")" +
                                (onePerKind ? "" : " ORDER BY [sample], [seq]"));
        long n = 0;
        while (q.next()) {
            if (cancel && (++n & 4095) == 0 && *cancel)
                return false;
            std::optional<double>& v = slot(out[q.integer(0)], kinds.at(q.integer(1)));
            if (!v)
                v = q.number(2); // NaN for a value in words: no position, with its reason
        }
    } catch (const engine::EngineError&) {
        // A file whose values were never stored has no value tables.
        if (db.analytesHeld(table).empty()) {
            out.clear();
            return true;
        }
        throw;
    }
    return !(cancel && *cancel);
}

} // namespace geo
