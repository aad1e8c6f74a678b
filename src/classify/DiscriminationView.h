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

// Why rows have no point: per row an index into the diagram's
// noPointReasons() (kNone for a row with a point, or one never met), and
// the rows of each reason.
struct NoPointReasons {
    static constexpr std::uint8_t kNone = 0xFF;
    std::vector<std::uint8_t> ofRow;
    std::vector<long> perReason;
    // "no Rb: 3; Y below detection: 1": the reasons that have rows, most first.
    std::string summary(const Diagram& d) const;
    // The reason of one row, or empty.
    std::string ofRowText(const Diagram& d, long row) const;
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
