#pragma once

#include "NormalisingSets.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace engine {
struct SampleValue;
}

// A sample's trace-element pattern: its elements in ppm from the values
// kept beside its row (K, P and Ti from the row's oxides when no value of
// them is kept), normalised to a set, with the anomalies and ratios
// petrologists read off it; and the median and 10-90 % band of many.
// A value below detection is kept as an upper limit and flagged, never
// taken for the amount: a ratio that needs it is undefined. Widget-free.
namespace trace {

// An amount (ppm, or normalised): NaN when unknown; `limit` when it is a
// detection limit the true amount lies below.
struct Reading {
    double value = std::nan("");
    bool limit = false;
    bool known() const { return !std::isnan(value); }
    bool operator==(const Reading&) const = default;
};
using Composition = std::array<Reading, kElementCount>;

// Factor from a reported unit to ppm (mass of the element); 0 for a unit
// that is not a mass fraction.
double toPpm(const std::string& unit);

// Element by weight in its oxide (IUPAC 2001 atomic weights).
constexpr double kKInK2O = 0.83015;
constexpr double kTiInTiO2 = 0.59934;
constexpr double kPInP2O5 = 0.43642;

// One sample's values gathered into its composition. Of several values of
// one element the first without a qualifier is taken, else the first
// below detection; one above the range ('>') gives no amount.
class CompositionBuilder {
public:
    void add(const engine::SampleValue& v);
    // The row's TiO2, K2O and P2O5 in wt% (NaN where empty) stand in for
    // Ti, K and P where no value of them was added. Clears for the next sample.
    Composition finish(double tio2, double k2o, double p2o5);

private:
    struct Candidate {
        double ppm = 0;
        char qualifier = 0;
        bool taken = false;
    };
    std::array<Candidate, kElementCount> candidates_{};
};

// Each element over the set's (a limit stays a limit); unknown where the
// set gives none.
Composition normalise(const Composition& ppm, const NormalisingSet& set);

// Eu/Eu*, Ce/Ce*, (La/Yb)N, (La/Sm)N, (Gd/Yb)N, Nb/Nb* = NbN / sqrt(ThN LaN).
constexpr int kRatioCount = 6;
extern const std::array<const char*, kRatioCount> kRatioNames;
struct Ratio {
    double value = std::nan("");
    std::string why; // why it is undefined ("no Eu", "Eu below detection", "Nb not in the set")
};
std::array<Ratio, kRatioCount> ratiosOf(const Composition& normalised, const NormalisingSet& set);

// The q-quantile (0..1) of the values, linear between neighbouring order
// statistics (at (n - 1) q); NaN for none. Reorders the values.
double quantile(std::vector<double>& values, double q);

// Per element along a pattern: the median and the 10 and 90 % quantiles
// of the rows' known amounts, limits left out; NaN where no row has one.
struct Band {
    std::vector<double> p10, median, p90;
    std::vector<long> rows; // amounts each element's figures are of
};
// values and limits hold `elements` entries per row.
Band bandOf(const std::vector<float>& values, const std::vector<std::uint8_t>& limits,
            std::size_t elements);

} // namespace trace
