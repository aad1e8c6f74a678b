// Reading a view onto a trace-element diagram: the rows' TiO2 (and colour
// column) in one pass over the table, the kept values of the diagram's
// elements in one pass over the values, each matched to its row by key.
#include "DiscriminationView.h"

#include "Diagram.h"
#include "KeySlices.h"
#include "TracePattern.h"
#include "platform/db/Database.h"
#include "platform/db/Query.h"
#include "platform/db/SampleValue.h"
#include "schema/Schema.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <unordered_map>

namespace chart {

std::string NoPointReasons::summary(const Diagram& d) const {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < perReason.size(); ++i)
        if (perReason[i] > 0)
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return perReason[a] > perReason[b]; });
    // "no Zr: 9,999,998; Ti not above 0: 2": a reason may end in a number.
    std::string out;
    for (std::size_t i : order) {
        const std::string digits = std::to_string(perReason[i]);
        out += (out.empty() ? "" : "; ") + d.noPointReasons()[i] + ": ";
        for (std::size_t at = 0; at < digits.size(); ++at) {
            if (at > 0 && (digits.size() - at) % 3 == 0)
                out += ',';
            out += digits[at];
        }
    }
    return out;
}

std::string NoPointReasons::ofRowText(const Diagram& d, const tas::ViewPoints& view, long row) {
    if (row < 0 || static_cast<std::size_t>(row) >= view.points.size() ||
        view.points[static_cast<std::size_t>(row)].valid())
        return {};
    const int reason = -2 - view.field[static_cast<std::size_t>(row)];
    if (reason < 0 || static_cast<std::size_t>(reason) >= d.noPointReasons().size())
        return {};
    return d.noPointReasons()[static_cast<std::size_t>(reason)];
}

void AmountsBuilder::offer(Candidate& c, const engine::SampleValue& v) {
    const double factor = trace::toPpm(v.unit);
    if (factor == 0 || !v.value || !std::isfinite(*v.value))
        return;
    // A value without a qualifier beats any with one; else the first stays.
    if (c.taken && (c.qualifier == 0 || v.qualifier != 0))
        return;
    c = {static_cast<float>(*v.value * factor), v.qualifier, true};
}

Amount AmountsBuilder::settle(const Candidate& c, bool titanium, double tio2) {
    if (c.taken && c.qualifier != '>')
        return {c.ppm, c.qualifier == '<'};
    // The column only where no Ti value was kept at all: a kept limit says
    // more about the sample than the oxide.
    if (!c.taken && titanium && std::isfinite(tio2) && tio2 >= 0)
        return {tio2 * trace::kTiInTiO2 * 1e4, false};
    return {};
}

void AmountsBuilder::add(const engine::SampleValue& v) {
    const auto it = std::find(elements_.begin(), elements_.end(), v.analyte);
    if (it != elements_.end())
        offer(candidates_[static_cast<std::size_t>(it - elements_.begin())], v);
}

std::vector<Amount> AmountsBuilder::finish(double tio2) {
    std::vector<Amount> out(elements_.size());
    for (std::size_t e = 0; e < out.size(); ++e)
        out[e] = settle(candidates_[e], elements_[e] == "Ti", tio2);
    candidates_.assign(elements_.size(), Candidate());
    return out;
}

namespace {

constexpr std::uint32_t kNoRow = RowOfKey::kNone;

// Each row's class of a text column, from the number of its value (an index
// into `values`, kNoRow for a row never met): the most frequent values, the
// rest and the rows never met as "other".
void colourRows(const std::vector<std::string>& values, const std::vector<std::uint32_t>& ofRow,
                tas::ViewPoints& out) {
    std::vector<long> count(values.size(), 0);
    for (std::uint32_t v : ofRow)
        if (v != kNoRow)
            ++count[v];
    std::vector<std::uint32_t> byCount(values.size());
    for (std::uint32_t i = 0; i < byCount.size(); ++i)
        byCount[i] = i;
    std::sort(byCount.begin(), byCount.end(), [&](std::uint32_t a, std::uint32_t b) {
        return count[a] != count[b] ? count[a] > count[b] : values[a] < values[b];
    });
    const bool grouped = byCount.size() > tas::kMaxColours;
    const std::size_t kept = grouped ? tas::kMaxColours - 1 : byCount.size();
    std::vector<std::uint8_t> classOf(values.size(), static_cast<std::uint8_t>(kept));
    out.colourNames.clear();
    for (std::size_t i = 0; i < kept; ++i) {
        out.colourNames.push_back(values[byCount[i]]);
        classOf[byCount[i]] = static_cast<std::uint8_t>(i);
    }
    if (grouped || std::find(ofRow.begin(), ofRow.end(), kNoRow) != ofRow.end())
        out.colourNames.push_back("other");
    out.colour.resize(ofRow.size());
    for (std::size_t r = 0; r < ofRow.size(); ++r)
        out.colour[r] = ofRow[r] == kNoRow ? static_cast<std::uint8_t>(kept) : classOf[ofRow[r]];
}

} // namespace

bool readTraceView(engine::Database& db, const std::string& table, engine::KeySpan keys,
                   const Diagram& diagram, int colourColumn, tas::ViewPoints& out,
                   NoPointReasons& why, const std::atomic<bool>* cancel) {
    const std::vector<std::string>& elements = diagram.elements();
    const std::size_t n = keys.size();
    out = tas::ViewPoints();
    out.resize(n); // rows never met keep "no point"
    // Until a row is settled its class says whether it was met in the
    // table; two values no class or reason takes (classes from 0, reasons
    // from -2 down).
    constexpr std::int8_t kNotMet = 127, kMet = -128;
    static_assert(tas::ViewPoints::kMaxClasses <= 127 && NoPointReasons::kMaxReasons <= 126);
    if (diagram.noPointReasons().size() > NoPointReasons::kMaxReasons ||
        diagram.classes().size() > tas::ViewPoints::kMaxClasses)
        throw std::logic_error("A diagram has more classes or reasons than a point can keep.");
    std::vector<std::int8_t>& state = out.field;
    state.assign(n, kNotMet);
    why.perReason.assign(diagram.noPointReasons().size(), 0);

    // Each row's TiO2 (for Ti where no Ti value is kept) waits in its own
    // point until the point is placed: no second array of the view's size.
    const auto tio2 = [&out](std::uint32_t r) -> float& { return out.points[r].silica; };
    std::vector<std::string> texts; // each value of the colour column once
    std::unordered_map<std::string, std::uint32_t> textNumber;
    std::vector<std::uint32_t> textOf(colourColumn >= 0 ? n : 0, kNoRow);
    std::string sql = "SELECT [ID], [TiO2]";
    if (colourColumn >= 0)
        sql += std::string(", [") + schema::kColumns[static_cast<std::size_t>(colourColumn)] + "]";
    sql += " FROM [" + table + "] WHERE [ID] Between ";

    // The table's rows and then their values, a range of keys at a time:
    // only that range's rows of the view are kept to find a row's place.
    const std::size_t k = elements.size();
    std::vector<AmountsBuilder::Candidate> chosen(k);
    std::vector<Amount> amounts(k);
    const auto settle = [&](std::uint32_t r) {
        const double t = tio2(r);
        for (std::size_t e = 0; e < k; ++e)
            amounts[e] = AmountsBuilder::settle(chosen[e], elements[e] == "Ti", t);
        const Place p = diagram.placeAmounts(amounts.data());
        out.set(r, p);
        if (!p.valid && p.why >= 0) {
            out.field[r] = NoPointReasons::fieldOf(static_cast<std::size_t>(p.why));
            ++why.perReason[static_cast<std::size_t>(p.why)];
        }
        chosen.assign(k, AmountsBuilder::Candidate());
    };
    KeySlices slices(keys);
    while (slices.next()) {
        const RowOfKey& rowOf = slices.rows();
        const engine::Database::KeyRange range = slices.range();
        for (engine::Query q(db, sql + std::to_string(range.first) + " And " +
                                     std::to_string(range.last));
             q.next();) {
            if (cancel && *cancel)
                return false;
            const std::uint32_t row = rowOf.find(q.integer(0));
            if (row == kNoRow)
                continue;
            state[row] = kMet;
            tio2(row) = static_cast<float>(q.number(1));
            if (colourColumn >= 0) {
                std::string t = q.value(2).storedText();
                const auto [it, added] = textNumber.try_emplace(
                    t.empty() ? "(empty)" : std::move(t), static_cast<std::uint32_t>(texts.size()));
                if (added)
                    texts.push_back(it->first);
                textOf[row] = it->second;
            }
        }

        // The values come by sample: each sample's choice of each element
        // is settled when the next sample's values begin, so that only one
        // sample's are held (not the whole view's, 240 MB for three
        // elements of ten million rows).
        std::uint32_t current = kNoRow;
        bool stopped = false;
        db.readSomeValuesBetween(table, range, elements, [&](const engine::StoredValue& s) {
            if (cancel && *cancel) {
                stopped = true;
                return false;
            }
            const std::uint32_t row = rowOf.find(s.sample);
            if (row != current && current != kNoRow)
                settle(current);
            // A sample deleted meanwhile is never placed.
            current = row != kNoRow && state[row] != kNotMet ? row : kNoRow;
            if (current == kNoRow)
                return true;
            if (state[current] != kMet)
                throw std::logic_error("A sample's values came apart from each other.");
            const auto e = std::find(elements.begin(), elements.end(), s.value.analyte);
            if (e != elements.end())
                AmountsBuilder::offer(chosen[static_cast<std::size_t>(e - elements.begin())],
                                      s.value);
            return true;
        });
        if (stopped)
            return false;
        if (current != kNoRow)
            settle(current);
    }
    for (std::size_t r = 0; r < n; ++r) {
        if (state[r] == kMet) // no value of these elements
            settle(static_cast<std::uint32_t>(r));
        else if (state[r] == kNotMet)
            state[r] = -1;
    }
    if (colourColumn >= 0)
        colourRows(texts, textOf, out);
    tas::count(out, diagram.classes().size());
    return true;
}

} // namespace chart
