#pragma once

#include "Diagram.h"
#include "TasView.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace engine {
class Database;
struct SampleValue;
} // namespace engine

// A view's rows on a trace-element diagram: each row's amounts gathered from
// the values kept beside it (converted to ppm; Ti from the row's TiO2 where
// no Ti value is kept), placed, and why a row has no point. Rows are found
// by their key (ID), never by their position in the table; the result
// follows the keys' order. Runs on any thread with a database connection of
// its own. Widget-free.
namespace chart {

// Why rows have no point: the rows of each of the diagram's
// noPointReasons(). Each row's own reason is kept in its class
// (tas::ViewPoints::field), as -2 - its index into them: no array of the
// view's size beside the points (10 MB at ten million rows).
struct NoPointReasons {
    static constexpr std::size_t kMaxReasons = 126;
    static constexpr std::int8_t fieldOf(std::size_t reason) {
        return static_cast<std::int8_t>(-2 - static_cast<int>(reason));
    }
    std::vector<long> perReason;
    // "no Rb: 3; Y below detection: 1": the reasons that have rows, most first.
    std::string summary(const Diagram& d) const;
    // The reason of one row of the view, or empty (a row with a point, one
    // never met, one of another diagram's view).
    static std::string ofRowText(const Diagram& d, const tas::ViewPoints& view, long row);
};

// One sample's amounts of the given elements from its values. Of several
// values of one element the first without a qualifier is taken, else the
// first below detection; one above the range ('>') or in a unit that is no
// mass fraction gives no amount.
class AmountsBuilder {
public:
    explicit AmountsBuilder(const std::vector<std::string>& elements) : elements_(elements) {}
    void add(const engine::SampleValue& v);
    // The amounts, the row's TiO2 (wt%, NaN where empty) standing in for a
    // Ti never added. Clears for the next sample.
    std::vector<Amount> finish(double tio2);

    // The value of one element chosen so far, and the choosing.
    struct Candidate {
        float ppm = 0;
        char qualifier = 0;
        bool taken = false;
    };
    static void offer(Candidate& c, const engine::SampleValue& v);
    static Amount settle(const Candidate& c, bool titanium, double tio2);

private:
    std::vector<std::string> elements_;
    std::vector<Candidate> candidates_ = std::vector<Candidate>(elements_.size());
};

// The rows with the given keys on the diagram (one with elements()), each
// with its class of a text column when colourColumn is one (-1: none), as
// tas::readViews colours them. Returns false when cancelled; throws
// engine::EngineError when the table or its values cannot be read.
bool readTraceView(engine::Database& db, const std::string& table, engine::KeySpan keys,
                   const Diagram& diagram, int colourColumn, tas::ViewPoints& out,
                   NoPointReasons& why, const std::atomic<bool>* cancel = nullptr);

} // namespace chart
