// Reading patterns: the rows' oxides first, then their values, both in the
// order of ID, merged so that each sample is finished as soon as its last
// value has come and only one sample's values are held at a time.
#include "PatternView.h"

#include "KeySlices.h"
#include "platform/db/Database.h"
#include "platform/db/Query.h"

#include <algorithm>
#include <limits>
#include <string>

namespace trace {

namespace {

// A condition, or else a range of keys (then only the elements named, and
// at least one, are read).
bool eachSample(engine::Database& db, const std::string& table, const std::string& where,
                const std::function<bool(const SampleRow&)>& each,
                const std::vector<std::string>& elements, const engine::Database::KeyRange* keys) {
    struct Row {
        std::int64_t id;
        std::string sample;
        double tio2, k2o, p2o5;
    };
    std::vector<Row> rows;
    // A range of keys is read a slice of rows at a time, each with its own
    // values: the rows of ten million samples held at once took 640 MB.
    constexpr std::size_t kSlice = 65536;
    const auto readRows = [&](const std::string& condition, bool sliced) {
        rows.clear();
        // Blanks at every join: a condition ending in a number must not run
        // into the order.
        std::string sql =
            "SELECT [ID], [Doziro Sample#], [TiO2], [K2O], [P2O5] FROM [" + table + "]";
        if (!condition.empty())
            sql += " Where (" + condition + ")";
        sql += " Order By [ID] ASC";
        if (sliced)
            sql += " LIMIT " + std::to_string(kSlice);
        engine::Query q(db, sql);
        while (q.next())
            rows.push_back({q.integer(0), q.value(1).isNull() ? "" : q.value(1).toText(),
                            q.number(2), q.number(3), q.number(4)});
    };
    CompositionBuilder builder;
    std::size_t next = 0; // the first row not yet handed on
    SampleRow out;
    auto finish = [&](const Row& r) {
        out.id = r.id;
        out.sample = r.sample;
        out.ppm = builder.finish(r.tio2, r.k2o, r.p2o5);
        return each(out);
    };
    bool going = true;
    // Rows up to (not including) `id` are complete when a value of `id` comes.
    auto upTo = [&](std::int64_t id) {
        while (going && next < rows.size() && rows[next].id < id)
            going = finish(rows[next++]);
        return going;
    };
    const auto take = [&](const engine::StoredValue& s) {
        if (!upTo(s.sample))
            return false;
        if (next < rows.size() && rows[next].id == s.sample)
            builder.add(s.value);
        return true;
    };
    if (!keys) {
        readRows(where, false);
        if (elements.empty())
            db.readValues(table, where, take);
        else
            db.readSomeValues(table, where, elements, take);
        if (!going)
            return false;
        upTo(std::numeric_limits<std::int64_t>::max());
        return going;
    }
    for (std::int64_t from = keys->first; from <= keys->last;) {
        readRows("[ID] Between " + std::to_string(from) + " And " + std::to_string(keys->last),
                 true);
        next = 0;
        // A full slice holds every row up to its last; the last slice, the
        // rest of the range.
        const bool full = rows.size() == kSlice;
        const engine::Database::KeyRange part{from, full ? rows.back().id : keys->last};
        if (!rows.empty())
            db.readSomeValuesBetween(table, part, elements, take);
        if (!going || !upTo(std::numeric_limits<std::int64_t>::max()))
            return false;
        if (!full)
            break;
        from = part.last + 1;
    }
    return true;
}

} // namespace

bool forEachSample(engine::Database& db, const std::string& table, const std::string& where,
                   const std::function<bool(const SampleRow&)>& each,
                   const std::vector<std::string>& elements) {
    return eachSample(db, table, where, each, elements, nullptr);
}

bool readPatterns(engine::Database& db, const std::string& table, engine::KeySpan keys,
                  PatternKind kind, const NormalisingSet& set, PatternView& out,
                  const std::atomic<bool>* cancel) {
    out = PatternView();
    out.kind = kind;
    out.setName = set.name;
    out.setKeyword = set.keyword;
    out.elements = elementsOf(kind);
    const std::size_t n = out.elements.size();
    out.slot.assign(keys.size(), PatternView::kNone);
    // Only the pattern's elements are read: a compilation keeps many more.
    std::vector<std::string> symbols;
    for (int e : out.elements)
        symbols.emplace_back(kElements[static_cast<std::size_t>(e)]);
    // The view's span of keys only: a search's rows in a large table are
    // read without reading the rest (its keys are all of it at most).
    if (keys.empty()) {
        out.band = bandOf(out.values, out.limits, n);
        return true;
    }
    // A range of keys at a time: only that range's rows of the view are
    // kept to find a row's place.
    chart::KeySlices slices(keys);
    while (slices.next()) {
        const chart::RowOfKey& rowOf = slices.rows();
        const engine::Database::KeyRange span = slices.range();
        const bool complete = eachSample(
            db, table, {},
            [&](const SampleRow& s) {
                if (cancel && *cancel)
                    return false;
                const std::uint32_t row = rowOf.find(s.id);
                if (row == chart::RowOfKey::kNone)
                    return true;
                const Composition c = normalise(s.ppm, set);
                bool any = false;
                for (std::size_t i = 0; i < n; ++i)
                    any |= c[static_cast<std::size_t>(out.elements[i])].known();
                if (any) {
                    out.slot[row] = static_cast<std::uint32_t>(out.values.size() / n);
                    for (std::size_t i = 0; i < n; ++i) {
                        const Reading& r = c[static_cast<std::size_t>(out.elements[i])];
                        out.values.push_back(static_cast<float>(r.value));
                        out.limits.push_back(r.limit);
                    }
                }
                return true;
            },
            symbols, &span);
        if (!complete)
            return false;
    }
    // Rows never met (deleted meanwhile) have none either.
    out.empty = static_cast<long>(std::count(out.slot.begin(), out.slot.end(), PatternView::kNone));
    out.band = bandOf(out.values, out.limits, n);
    return true;
}

} // namespace trace
