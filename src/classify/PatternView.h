#pragma once

#include "TracePattern.h"
#include "platform/db/KeySpan.h"

#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace engine {
class Database;
}

// The patterns of many rows read from the database: each sample's
// composition from its kept values and its row's oxides, in the order of
// ID; and a view's patterns, normalised, in the view's order, for the
// diagram window. Runs on any thread with a database connection of its
// own. Widget-free.
namespace trace {

struct SampleRow {
    std::int64_t id = 0;
    std::string sample; // Doziro Sample#
    Composition ppm;
};

// Every row a condition selects (empty: every row), in the order of ID,
// with its composition; `each` returns false to stop (then so does this).
// Only the values of the elements named are read when some are (a
// pattern's): the rest of the composition is then unknown.
// Throws engine::EngineError when the table cannot be read.
bool forEachSample(engine::Database& db, const std::string& table, const std::string& where,
                   const std::function<bool(const SampleRow&)>& each,
                   const std::vector<std::string>& elements = {});

// A view's rows on one pattern: the elements along it and, per row in the
// view's order, their normalised amounts (NaN where unknown) and limit
// flags; the band over all rows, and the rows with no element at all.
// Only rows with an amount keep any: a view of ten million rows of which
// few have one keeps four bytes for each of the others.
struct PatternView {
    PatternKind kind = PatternKind::Ree;
    std::string setName;
    std::string setKeyword;
    std::vector<int> elements;
    std::vector<float> values;        // elements.size() per row kept
    std::vector<std::uint8_t> limits; // the same, 1 for an upper limit
    // Each row's place among those kept (kNone: it has no amount). Empty:
    // every row is kept, in the view's order.
    static constexpr std::uint32_t kNone = 0xffffffffu;
    std::vector<std::uint32_t> slot;
    Band band;
    long empty = 0;
    std::size_t rows() const {
        if (!slot.empty())
            return slot.size();
        return elements.empty() ? 0 : values.size() / elements.size();
    }
    long plotted() const { return static_cast<long>(rows()) - empty; }
    // A row's amounts and flags, elements.size() of each; nullptr when it
    // has none.
    const float* valuesOf(std::size_t row) const {
        const std::size_t at = placeOf(row);
        return at == kNone ? nullptr : &values[at * elements.size()];
    }
    const std::uint8_t* limitsOf(std::size_t row) const {
        const std::size_t at = placeOf(row);
        return at == kNone ? nullptr : &limits[at * elements.size()];
    }
    float value(std::size_t row, std::size_t i) const {
        const float* v = valuesOf(row);
        return v ? v[i] : std::nanf("");
    }
    bool limit(std::size_t row, std::size_t i) const {
        const std::uint8_t* l = limitsOf(row);
        return l && l[i];
    }

private:
    std::size_t placeOf(std::size_t row) const {
        if (slot.empty())
            return row < rows() ? row : kNone;
        return row < slot.size() && slot[row] != kNone ? slot[row] : kNone;
    }
};

// The rows with the given keys (a view's, in its order). Returns false when
// cancelled.
bool readPatterns(engine::Database& db, const std::string& table, engine::KeySpan keys,
                  PatternKind kind, const NormalisingSet& set, PatternView& out,
                  const std::atomic<bool>* cancel = nullptr);

} // namespace trace
