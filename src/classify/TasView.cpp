#include "TasView.h"

#include "Diagram.h"
#include "TasDiagram.h"
#include "platform/db/Database.h"
#include "platform/db/Query.h"
#include "schema/Schema.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tas {

namespace {

// Grid row of each key: a plain array over the keys' range when they are
// dense (as keys handed out one after another are), a sorted list otherwise.
class RowOfKey {
public:
    explicit RowOfKey(const std::vector<std::int64_t>& keys) {
        if (keys.empty())
            return;
        const auto [lo, hi] = std::minmax_element(keys.begin(), keys.end());
        min_ = *lo;
        const auto span = static_cast<std::uint64_t>(*hi - *lo) + 1;
        if (span <= 4 * keys.size() + 1024) {
            dense_.assign(span, kNone);
            for (std::size_t i = 0; i < keys.size(); ++i)
                dense_[static_cast<std::size_t>(keys[i] - min_)] = static_cast<std::uint32_t>(i);
        } else {
            sparse_.reserve(keys.size());
            for (std::size_t i = 0; i < keys.size(); ++i)
                sparse_.emplace_back(keys[i], static_cast<std::uint32_t>(i));
            std::sort(sparse_.begin(), sparse_.end());
        }
    }
    // kNone when the key is not in the view.
    std::uint32_t find(std::int64_t key) const {
        if (!dense_.empty()) {
            if (key < min_ || static_cast<std::uint64_t>(key - min_) >= dense_.size())
                return kNone;
            return dense_[static_cast<std::size_t>(key - min_)];
        }
        auto it =
            std::lower_bound(sparse_.begin(), sparse_.end(), std::make_pair(key, std::uint32_t(0)));
        return it != sparse_.end() && it->first == key ? it->second : kNone;
    }
    static constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

private:
    std::int64_t min_ = 0;
    std::vector<std::uint32_t> dense_;
    std::vector<std::pair<std::int64_t, std::uint32_t>> sparse_;
};

} // namespace

PackedPoint pack(const Point& p) {
    PackedPoint q;
    q.valid = p.valid;
    q.silica = static_cast<float>(p.silica);
    q.alkali = static_cast<float>(p.alkali);
    q.field = static_cast<std::int16_t>(p.field);
    return q;
}

void count(ViewPoints& v) {
    count(v, fields().size());
}

void count(ViewPoints& v, std::size_t classes) {
    v.perField.assign(classes, 0);
    v.outside = v.noPoint = 0;
    for (const PackedPoint& p : v.points) {
        if (!p.valid)
            ++v.noPoint;
        else if (p.field < 0)
            ++v.outside;
        else
            ++v.perField[static_cast<std::size_t>(p.field)];
    }
}

bool readView(engine::Database& db, const std::string& table, const std::vector<std::int64_t>& keys,
              bool volatileFree, ViewPoints& out, const std::atomic<bool>* cancel) {
    return readView(db, table, keys, *chart::makeDiagram("tas"), volatileFree, out, cancel);
}

bool readView(engine::Database& db, const std::string& table, const std::vector<std::int64_t>& keys,
              const chart::Diagram& diagram, bool volatileFree, ViewPoints& out,
              const std::atomic<bool>* cancel) {
    out = ViewPoints();
    out.points.resize(keys.size()); // rows never met keep "no point"
    const RowOfKey rowOf(keys);
    const std::vector<int>& columns = diagram.columns();
    std::string sql = "SELECT [ID]";
    for (int c : columns)
        sql += std::string(", [") + schema::kColumns[static_cast<std::size_t>(c)] + "]";
    sql += " FROM [" + table + "]";
    engine::Query q(db, sql);
    const int n = static_cast<int>(columns.size());
    std::vector<double> values(columns.size());
    long seen = 0;
    while (q.next()) {
        if (cancel && (++seen & 4095) == 0 && cancel->load(std::memory_order_relaxed))
            return false;
        const std::uint32_t row = rowOf.find(q.integer(0));
        if (row == RowOfKey::kNone)
            continue;
        for (int i = 0; i < n; ++i)
            values[static_cast<std::size_t>(i)] = q.number(i + 1);
        const chart::Place p = diagram.place(values.data(), volatileFree);
        PackedPoint& pt = out.points[row];
        pt.valid = p.valid;
        pt.silica = static_cast<float>(p.x);
        pt.alkali = static_cast<float>(p.y);
        pt.field = static_cast<std::int16_t>(p.cls);
    }
    count(out, diagram.classes().size());
    return true;
}

} // namespace tas
