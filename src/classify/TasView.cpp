#include "TasView.h"

#include "Diagram.h"
#include "KeySlices.h"
#include "TasDiagram.h"
#include "platform/db/Database.h"
#include "platform/db/Query.h"
#include "platform/threads/Pipeline.h"
#include "schema/Schema.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <unordered_map>

namespace tas {

PackedPoint pack(const chart::Place& p) {
    PackedPoint q;
    if (p.valid && !std::isnan(p.x)) {
        q.silica = static_cast<float>(p.x);
        q.alkali = static_cast<float>(p.y);
    }
    return q;
}

void ViewPoints::set(std::size_t row, const chart::Place& p) {
    points[row] = pack(p);
    field[row] = static_cast<std::int8_t>(p.valid && p.cls >= 0 ? p.cls : -1);
}

void count(ViewPoints& v) {
    count(v, fields().size());
}

void count(ViewPoints& v, std::size_t classes) {
    v.perField.assign(classes, 0);
    v.outside = v.noPoint = 0;
    for (std::size_t r = 0; r < v.points.size(); ++r) {
        if (!v.points[r].valid())
            ++v.noPoint;
        else if (v.field[r] < 0)
            ++v.outside;
        else
            ++v.perField[static_cast<std::size_t>(v.field[r])];
    }
    if (v.colour.size() != v.points.size())
        return;
    v.perColour.assign(v.colourNames.size(), 0);
    for (std::size_t r = 0; r < v.points.size(); ++r)
        if (v.points[r].valid())
            ++v.perColour[v.colour[r]];
}

bool readView(engine::Database& db, const std::string& table, engine::KeySpan keys,
              bool volatileFree, ViewPoints& out, const std::atomic<bool>* cancel) {
    return readView(db, table, keys, *chart::makeDiagram("tas"), volatileFree, out, cancel);
}

bool readView(engine::Database& db, const std::string& table, engine::KeySpan keys,
              const chart::Diagram& diagram, bool volatileFree, ViewPoints& out,
              const std::atomic<bool>* cancel) {
    std::vector<ViewPoints> views;
    if (!readViews(db, table, keys, {&diagram}, volatileFree, -1, views, cancel))
        return false;
    out = std::move(views.front());
    return true;
}

namespace {

// Each row's value of a text column, as a number per distinct value, then
// the most frequent values kept and the rest grouped.
class Colours {
public:
    void note(std::uint32_t row, std::string value) {
        if (value.empty())
            value = "(empty)";
        auto [it, added] =
            ids_.try_emplace(std::move(value), static_cast<std::uint32_t>(count_.size()));
        if (added)
            count_.push_back(0);
        ++count_[it->second];
        rows_[row] = it->second;
    }
    void start(std::size_t rows) { rows_.assign(rows, kNone); }
    // The classes and each row's class; rows never met go to "other".
    void finish(std::vector<std::string>& names, std::vector<std::uint8_t>& colour) const {
        std::vector<std::pair<const std::string*, std::uint32_t>> byCount;
        for (const auto& [name, id] : ids_)
            byCount.emplace_back(&name, id);
        std::sort(byCount.begin(), byCount.end(), [&](const auto& a, const auto& b) {
            return count_[a.second] != count_[b.second] ? count_[a.second] > count_[b.second]
                                                        : *a.first < *b.first;
        });
        const bool grouped = byCount.size() > kMaxColours;
        const std::size_t kept = grouped ? kMaxColours - 1 : byCount.size();
        std::vector<std::uint8_t> classOf(count_.size(), static_cast<std::uint8_t>(kept));
        names.clear();
        for (std::size_t i = 0; i < kept; ++i) {
            names.push_back(*byCount[i].first);
            classOf[byCount[i].second] = static_cast<std::uint8_t>(i);
        }
        if (grouped || std::find(rows_.begin(), rows_.end(), kNone) != rows_.end())
            names.push_back("other");
        colour.resize(rows_.size());
        for (std::size_t r = 0; r < rows_.size(); ++r)
            colour[r] = rows_[r] == kNone ? static_cast<std::uint8_t>(kept) : classOf[rows_[r]];
    }

private:
    static constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
    std::unordered_map<std::string, std::uint32_t> ids_;
    std::vector<long> count_;
    std::vector<std::uint32_t> rows_;
};

} // namespace

bool readViews(engine::Database& db, const std::string& table, engine::KeySpan keys,
               const std::vector<const chart::Diagram*>& diagrams, bool volatileFree,
               int colourColumn, std::vector<ViewPoints>& out, const std::atomic<bool>* cancel) {
    for (const chart::Diagram* d : diagrams)
        if (d->classes().size() > ViewPoints::kMaxClasses)
            throw std::logic_error("A diagram of more classes than a point can name.");
    out.assign(diagrams.size(), ViewPoints());
    for (ViewPoints& v : out)
        v.resize(keys.size()); // rows never met keep "no point"
    // The columns of all the diagrams, each read once; where each diagram
    // finds its own.
    std::vector<int> columns;
    std::vector<std::vector<int>> at(diagrams.size());
    for (std::size_t d = 0; d < diagrams.size(); ++d)
        for (int c : diagrams[d]->columns()) {
            auto it = std::find(columns.begin(), columns.end(), c);
            if (it == columns.end())
                it = columns.insert(columns.end(), c);
            at[d].push_back(static_cast<int>(it - columns.begin()));
        }
    // A diagram whose columns come first in the same order reads them in place.
    std::vector<char> inPlace(diagrams.size(), 1);
    for (std::size_t d = 0; d < diagrams.size(); ++d)
        for (std::size_t i = 0; i < at[d].size(); ++i)
            inPlace[d] &= at[d][i] == static_cast<int>(i);
    std::string sql = "SELECT [ID]";
    for (int c : columns)
        sql += std::string(", [") + schema::kColumns[static_cast<std::size_t>(c)] + "]";
    if (colourColumn >= 0)
        sql += std::string(", [") + schema::kColumns[static_cast<std::size_t>(colourColumn)] + "]";
    sql += " FROM [" + table + "] WHERE [ID] Between ";
    // The table is read a range of keys at a time: only that range's rows
    // of the view are kept to find a row's place.
    chart::KeySlices slices(keys);
    std::unique_ptr<engine::Query> q;
    const auto nextRange = [&] {
        q.reset();
        if (!slices.next())
            return false;
        const engine::Database::KeyRange r = slices.range();
        q = std::make_unique<engine::Query>(db, sql + std::to_string(r.first) + " And " +
                                                    std::to_string(r.last));
        return true;
    };
    const std::size_t n = columns.size();
    Colours colours;
    if (colourColumn >= 0)
        colours.start(keys.size());
    // Rows read on a thread of their own while this one places those read
    // before.
    struct Batch {
        std::vector<std::uint32_t> rows;
        std::vector<double> values; // n per row
    };
    std::vector<double> own;
    const bool complete = pipeline::run<Batch>(
        [&](Batch& b) {
            constexpr std::size_t kRows = 4096;
            while (b.rows.size() < kRows) {
                if (!q || !q->next()) {
                    if (!nextRange())
                        return false;
                    continue;
                }
                const std::uint32_t row = slices.rows().find(q->integer(0));
                if (row == chart::RowOfKey::kNone)
                    continue;
                b.rows.push_back(row);
                for (std::size_t i = 0; i < n; ++i)
                    b.values.push_back(q->number(static_cast<int>(i) + 1));
                if (colourColumn >= 0) // the reader's alone until the reading ends
                    colours.note(row, q->value(static_cast<int>(n) + 1).storedText());
            }
            return true;
        },
        [&](Batch& b) {
            for (std::size_t r = 0; r < b.rows.size(); ++r) {
                const double* values = &b.values[r * n];
                for (std::size_t d = 0; d < diagrams.size(); ++d) {
                    const double* v = values;
                    if (!inPlace[d]) {
                        own.resize(at[d].size());
                        for (std::size_t i = 0; i < at[d].size(); ++i)
                            own[i] = values[at[d][i]];
                        v = own.data();
                    }
                    out[d].set(b.rows[r], diagrams[d]->place(v, volatileFree));
                }
            }
        },
        [&q] { q.reset(); }, // on the thread that used it
        cancel);
    if (!complete)
        return false;
    for (std::size_t d = 0; d < diagrams.size(); ++d) {
        ViewPoints& v = out[d];
        if (colourColumn >= 0)
            colours.finish(v.colourNames, v.colour);
        count(v, diagrams[d]->classes().size());
    }
    return true;
}

} // namespace tas
