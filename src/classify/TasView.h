#pragma once

#include "TasPoint.h"
#include "platform/db/KeySpan.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace engine {
class Database;
}
namespace chart {
class Diagram;
struct Place;
} // namespace chart

namespace tas {

// One row of a view on the diagram, packed small (8 bytes) so that ten
// million rows fit in memory: the point in single precision, a row with no
// point a NaN abscissa. Its field is kept beside it (ViewPoints::field).
struct PackedPoint {
    float silica = std::numeric_limits<float>::quiet_NaN();
    float alkali = 0;
    bool valid() const { return !std::isnan(silica); }
};

// Every row of a view, in the view's order, classified; with the counts a
// legend needs.
struct ViewPoints {
    std::vector<PackedPoint> points;
    // Each point's class, an index into the diagram's classes; -1 outside
    // them. A diagram has at most kMaxClasses.
    std::vector<std::int8_t> field;
    static constexpr std::size_t kMaxClasses = 127;
    std::vector<long> perField; // rows in each field, fields() order
    long outside = 0;
    long noPoint = 0;
    // Colours by a text column, when asked for: each point's class of that
    // column, an index into colourNames (the most frequent values, then
    // "other"), and the rows of each.
    std::vector<std::uint8_t> colour;
    std::vector<std::string> colourNames;
    std::vector<long> perColour;
    long plotted() const { return static_cast<long>(points.size()) - noPoint; }
    // Rows with no point, as a reader starts them.
    void resize(std::size_t rows) {
        points.resize(rows);
        field.resize(rows, -1);
    }
    void set(std::size_t row, const chart::Place& p);
};

// Reads the oxides of the rows with the given keys from a table in one pass
// over the table, and classifies them; the result follows the keys' order.
// Runs on any thread with a database of its own. Returns false when
// cancelled; throws engine::EngineError when the table cannot be read.
bool readView(engine::Database& db, const std::string& table, engine::KeySpan keys,
              bool volatileFree, ViewPoints& out, const std::atomic<bool>* cancel = nullptr);

// The same for any diagram: a point is its place in the diagram's plane,
// its field the place's class (perField counted over the diagram's classes).
bool readView(engine::Database& db, const std::string& table, engine::KeySpan keys,
              const chart::Diagram& diagram, bool volatileFree, ViewPoints& out,
              const std::atomic<bool>* cancel = nullptr);

// Several diagrams of one view in one pass over the table (a page of
// Harker diagrams), each with the colours of a text column when
// colourColumn is one (-1: none): the kMaxColours most frequent values, the
// rest as "other".
constexpr std::size_t kMaxColours = 12;
// The keys are only read: a view's own may be handed in, never copied.
bool readViews(engine::Database& db, const std::string& table, engine::KeySpan keys,
               const std::vector<const chart::Diagram*>& diagrams, bool volatileFree,
               int colourColumn, std::vector<ViewPoints>& out,
               const std::atomic<bool>* cancel = nullptr);

PackedPoint pack(const chart::Place& p);
void count(ViewPoints& v);
// The rows of each class, those outside and those without a point; and of
// each colour, when the view is coloured.
void count(ViewPoints& v, std::size_t classes);

} // namespace tas
