#pragma once

#include <array>
#include <string>
#include <vector>

// The compositions trace-element patterns are normalised to, as the
// published tables give them (every value held here in ppm, converted from
// the table's unit where it was another), and the elements a pattern runs
// along. Each set carries the name printed on a plot and in an export, its
// variant included: two variants of one table are two sets, never one
// swapped for the other. Widget-free.
namespace trace {

// Every element a pattern can show, in one fixed order: the REE La..Lu
// (Pm among them, which no set holds and no line stops at), then the rest
// of the multi-element diagram. An element's index here is its place in
// a Composition.
constexpr int kElementCount = 30;
extern const std::array<const char*, kElementCount> kElements;
// The index of an element's symbol (as chemists write it: "La", "Ti"), or -1.
int elementIndex(const std::string& symbol);
// Promethium: bridged by the line of a REE pattern, never a gap.
bool bridged(int element);

enum class PatternKind { Ree, MultiElement };
// Along the x axis: La Ce Pr Nd Pm Sm ... Lu, or the order of Sun &
// McDonough (1989) from Cs to Lu.
const std::vector<int>& elementsOf(PatternKind kind);

struct NormalisingSet {
    std::string keyword; // as --set takes it
    std::string name;    // as printed on a plot: composition, authors, year, variant
    // ppm by element index; NaN for an element the table does not give.
    std::array<double, kElementCount> ppm;
    bool has(int element) const;
};

// In the order the window lists them.
const std::vector<NormalisingSet>& normalisingSets();
// nullptr for an unknown keyword.
const NormalisingSet* findSet(const std::string& keyword);
// CI chondrite (SM89) for REE, primitive mantle (SM89 as printed) otherwise.
const NormalisingSet& defaultSet(PatternKind kind);

} // namespace trace
