#include "DuplicateFinder.h"

#include "platform/db/Database.h"
#include "platform/db/Query.h"
#include "platform/db/SqlText.h"

#include <cmath>

namespace {

constexpr int kName = schema::index(schema::Column::SampleNumber);
// The analysis columns compared, SiO2 to Total.
constexpr int kLast = schema::index(schema::Column::Total);
const char* const kIdentifiers[] = {"Unique ID", "IGSN"};

bool identifier(const std::string& analyte) {
    for (const char* i : kIdentifiers)
        if (analyte == i)
            return true;
    return false;
}

// Two numbers as one: written with the same digits, they read back alike,
// but a conversion (ppm to wt%) may leave the last bit apart.
bool same(double a, double b) {
    return std::fabs(a - b) <= 1e-9 * std::max({1.0, std::fabs(a), std::fabs(b)});
}

// The end of the lookup: its list of names, the first sample by ID first.
std::string names(std::size_t count) {
    std::string list;
    for (std::size_t p = 1; p <= count; ++p)
        list += (p > 1 ? ", ?" : "?") + std::to_string(p);
    return list + ") ORDER BY [ID]";
}

} // namespace

DuplicateFinder::DuplicateFinder(engine::Database& db, const std::string& table) {
    {
        // An empty table holds no sample a row could be.
        engine::Query any(db, "SELECT [ID] FROM [" + table + "] LIMIT 1");
        empty_ = !any.next();
        while (any.next()) {
        }
    }
    if (empty_)
        return;
    db.readSomeValues(table, {}, {std::begin(kIdentifiers), std::end(kIdentifiers)},
                      [&](const engine::StoredValue& v) {
                          if (!v.value.text.empty())
                              identifiers_.emplace(v.value.analyte + '\t' + v.value.text, v.sample);
                          return true;
                      });
    std::string select = std::string("SELECT [ID], [") + schema::kColumns[kName] + "]";
    for (int c = schema::kFirstAnalysisColumn; c <= kLast; ++c)
        select += std::string(", [") + schema::kColumns[static_cast<std::size_t>(c)] + "]";
    select += " FROM [" + table + "] WHERE [" + schema::kColumns[kName] + "] IN (";
    byName_ = std::make_unique<engine::Query>(db, select + names(1));
    byNames_ = std::make_unique<engine::Query>(db, select + names(kBatch));
}

DuplicateFinder::~DuplicateFinder() = default;

void DuplicateFinder::read(engine::Query& q, Found& into) {
    while (q.next()) { // to the end, for the next run
        Candidate c;
        c.id = q.integer(0);
        for (int col = schema::kFirstAnalysisColumn; col <= kLast; ++col) {
            const engine::Value v = q.value(col - schema::kFirstAnalysisColumn + 2);
            Stored s;
            // SiO2's default text stands for no value.
            if (v.isNumber())
                s = {Stored::Number, v.toReal()};
            else if (!v.isNull() && v.toText() != "Empty")
                s.kind = Stored::Other;
            c.columns.push_back(s);
        }
        into[engine::asciiLower(q.value(1).toText())].push_back(std::move(c));
    }
}

void DuplicateFinder::lookUp(const std::vector<std::string>& names) {
    looked_.clear();
    if (empty_)
        return;
    // Bound folded: the server folds the column it compares, not a
    // parameter; the file compares without regard to case either way.
    std::vector<std::string> asked;
    for (const std::string& n : names)
        if (!n.empty() && looked_.try_emplace(engine::asciiLower(n)).second)
            asked.push_back(engine::asciiLower(n));
    for (std::size_t from = 0; from < asked.size(); from += kBatch) {
        // A short list repeats its last name: one statement serves every run.
        for (std::size_t p = 0; p < kBatch; ++p)
            byNames_->bindText(static_cast<int>(p + 1),
                               asked[std::min(from + p, asked.size() - 1)]);
        read(*byNames_, looked_);
    }
}

void DuplicateFinder::removed(std::int64_t id) {
    for (auto& [name, candidates] : looked_)
        std::erase_if(candidates, [id](const Candidate& c) { return c.id == id; });
}

std::int64_t DuplicateFinder::find(const std::vector<rowcells::Cell>& cells,
                                   const std::vector<engine::SampleValue>& values) {
    if (empty_)
        return 0;
    const rowcells::Cell& name = cells[kName];
    const bool named = name.kind == rowcells::Cell::Text && !name.text.empty();
    // Taken out whichever way the row is answered: once asked about, the
    // import may write or replace a row of this name.
    std::vector<Candidate> candidates;
    bool looked = false;
    if (named) {
        if (auto it = looked_.find(engine::asciiLower(name.text)); it != looked_.end()) {
            candidates = std::move(it->second);
            looked_.erase(it);
            looked = true;
        }
    }
    for (const engine::SampleValue& v : values)
        if (identifier(v.analyte) && !v.text.empty())
            if (const auto it = identifiers_.find(v.analyte + '\t' + v.text);
                it != identifiers_.end())
                return it->second;
    if (!named)
        return 0;
    if (!looked) {
        Found one;
        byName_->bindText(1, engine::asciiLower(name.text)); // folded, as above
        read(*byName_, one);
        if (auto it = one.find(engine::asciiLower(name.text)); it != one.end())
            candidates = std::move(it->second);
    }
    for (const Candidate& c : candidates) {
        bool alike = true;
        for (int col = schema::kFirstAnalysisColumn; col <= kLast && alike; ++col) {
            const rowcells::Cell& cell = cells[static_cast<std::size_t>(col)];
            const Stored& s =
                c.columns[static_cast<std::size_t>(col - schema::kFirstAnalysisColumn)];
            alike = cell.kind == rowcells::Cell::Number
                        ? s.kind == Stored::Number && same(s.number, cell.number)
                        : s.kind == Stored::None;
        }
        if (alike)
            return c.id;
    }
    return 0;
}
