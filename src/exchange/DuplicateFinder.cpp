#include "DuplicateFinder.h"

#include "platform/db/Database.h"
#include "platform/db/Query.h"

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
    std::string sql = "SELECT [ID]";
    for (int c = schema::kFirstAnalysisColumn; c <= kLast; ++c)
        sql += std::string(", [") + schema::kColumns[static_cast<std::size_t>(c)] + "]";
    sql += " FROM [" + table + "] WHERE [" + schema::kColumns[kName] + "] = ?1";
    byName_ = std::make_unique<engine::Query>(db, sql);
}

DuplicateFinder::~DuplicateFinder() = default;

std::int64_t DuplicateFinder::find(const std::vector<rowcells::Cell>& cells,
                                   const std::vector<engine::SampleValue>& values) {
    if (empty_)
        return 0;
    for (const engine::SampleValue& v : values)
        if (identifier(v.analyte) && !v.text.empty())
            if (const auto it = identifiers_.find(v.analyte + '\t' + v.text);
                it != identifiers_.end())
                return it->second;
    const rowcells::Cell& name = cells[kName];
    if (name.kind != rowcells::Cell::Text || name.text.empty())
        return 0;
    byName_->bindText(1, name.text);
    std::int64_t found = 0;
    while (byName_->next()) {
        if (found)
            continue; // read to the end, for the next run
        bool alike = true;
        for (int c = schema::kFirstAnalysisColumn; c <= kLast && alike; ++c) {
            const rowcells::Cell& cell = cells[static_cast<std::size_t>(c)];
            const engine::Value stored = byName_->value(c - schema::kFirstAnalysisColumn + 1);
            // SiO2's default text stands for no value.
            const bool none = stored.isNull() || (!stored.isNumber() && stored.toText() == "Empty");
            alike = cell.kind == rowcells::Cell::Number
                        ? stored.isNumber() && same(stored.toReal(), cell.number)
                        : none;
        }
        if (alike)
            found = byName_->integer(0);
    }
    return found;
}
