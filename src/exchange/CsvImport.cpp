#include "CsvImport.h"

#include "CsvSource.h"
#include "TextRules.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/NumberText.h"
#include "platform/db/Query.h"
#include "schema/Schema.h"


#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>

namespace {

using textrules::lower;
using textrules::trimmed;

bool isAnalysis(int column) {
    return column >= schema::kFirstAnalysisColumn && column <= schema::kLastAnalysisColumn;
}

// Not measured or below detection: stored as Null.
bool meansNull(const std::string& t) {
    if (t.empty() || t[0] == '<')
        return true;
    const std::string l = lower(t);
    return l == "n.d." || l == "nd" || l == "n.a." || l == "-" || l == "bdl" || l == "b.d.l.";
}

struct Cell {
    enum { Null, Number, Text } kind = Null;
    double number = 0;
    std::string text;
};

// Converts one record; false (with the reason) for a bad row.
bool convert(const ImportPlan& plan, std::vector<std::string>& fields, long line,
             std::vector<Cell>& cells, BadRow& bad, std::vector<long>* nulls) {
    cells.assign(schema::kColumnCount, Cell());
    bad = BadRow{line, {}, {}, {}};
    if (fields.size() != plan.header.size()) {
        bad.why = std::to_string(fields.size()) + " fields where the header has " +
                  std::to_string(plan.header.size());
        return false;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const int column = plan.columns.target[i];
        if (column < 0)
            continue;
        Cell& cell = cells[static_cast<std::size_t>(column)];
        const std::string value = trimmed(fields[i]);
        if (!isAnalysis(column)) {
            if (!value.empty()) {
                cell.kind = Cell::Text;
                cell.text = fields[i];
            }
            continue;
        }
        // SiO2's default text, as an export writes it: the default again.
        if (column == schema::kFirstAnalysisColumn && value == "Empty")
            continue;
        if (meansNull(value)) {
            if (nulls)
                ++(*nulls)[static_cast<std::size_t>(column)];
            continue;
        }
        std::string number = value;
        if (plan.delimiter == ';')
            std::replace(number.begin(), number.end(), ',', '.');
        double d = 0;
        const std::errc ec = engine::parseNumber(number, d);
        if (ec != std::errc()) {
            bad.column = schema::kColumns[static_cast<std::size_t>(column)];
            bad.text = fields[i];
            bad.why =
                ec == std::errc::result_out_of_range ? "a number out of range" : "not a number";
            return false;
        }
        cell.kind = Cell::Number;
        cell.number = d;
    }
    return true;
}

} // namespace

std::string ImportPlan::describe() const {
    std::string out = "Columns of the file:\n";
    for (std::size_t i = 0; i < header.size(); ++i) {
        const int c = columns.target[i];
        out += "  " + header[i] + " -> " +
               (c < 0 ? std::string("skipped") : schema::kColumns[static_cast<std::size_t>(c)]) +
               "\n";
    }
    out += std::to_string(rows) + " rows, " + std::to_string(bad) + " of them bad.\n";
    for (const BadRow& b : firstBad) {
        out += "  line " + std::to_string(b.line) + ": ";
        if (!b.column.empty())
            out += b.column + " '" + b.text + "' is " + b.why + "\n";
        else
            out += b.why + "\n";
    }
    if (bad > static_cast<long>(firstBad.size()))
        out += "  ... and " + std::to_string(bad - static_cast<long>(firstBad.size())) +
               " further bad rows, not listed.\n";
    std::string nullText;
    for (int c = 0; c < schema::kColumnCount; ++c)
        if (nulls[static_cast<std::size_t>(c)])
            nullText += std::string(nullText.empty() ? "" : ", ") +
                        schema::kColumns[static_cast<std::size_t>(c)] + " " +
                        std::to_string(nulls[static_cast<std::size_t>(c)]);
    if (!nullText.empty())
        out += "Not measured or below detection, stored empty: " + nullText + ".\n";
    return out;
}

ImportPlan CsvImport::plan(const std::string& path, const std::atomic<bool>* cancel) {
    CsvSource source(path);
    ImportPlan plan;
    plan.path = path;
    plan.delimiter = source.delimiter();
    plan.latin1 = source.latin1();
    plan.bytes = source.size();
    plan.nulls.assign(schema::kColumnCount, 0);
    std::vector<Cell> cells;
    BadRow bad;
    bool cancelled = false;
    source.read([&](std::vector<std::string>& fields, long line) {
        if (plan.header.empty() && plan.rows == 0 && plan.columns.target.empty()) {
            plan.header = fields;
            plan.columns = ImportColumns::map(fields);
            return true;
        }
        ++plan.rows;
        if (!convert(plan, fields, line, cells, bad, &plan.nulls)) {
            ++plan.bad;
            if (plan.firstBad.size() < kListedBad)
                plan.firstBad.push_back(bad);
        }
        if (cancel && (plan.rows & 4095) == 0 && cancel->load()) {
            cancelled = true;
            return false;
        }
        return true;
    });
    if (cancelled)
        throw CsvError("Cancelled.");
    if (plan.header.empty())
        throw CsvError("'" + path + "' is empty: there is nothing to import.");
    if (std::all_of(plan.columns.target.begin(), plan.columns.target.end(),
                    [](int c) { return c < 0; }))
        throw CsvError("None of the columns of '" + path +
                       "' is one the table has: is its first line a header?");
    if (plan.rows == 0)
        throw CsvError("'" + path + "' has a header but no rows: there is nothing to import.");
    return plan;
}

long CsvImport::run(engine::Database& db, const std::string& table, const ImportPlan& plan,
                    const std::function<void(long long)>& progress,
                    const std::atomic<bool>* cancel) {
    // Every column but the key, in table order.
    std::string sql = "INSERT INTO [" + table + "] (";
    std::string params;
    for (int c = 0; c < schema::kIdColumn; ++c) {
        sql += std::string(c ? ", [" : "[") + schema::kColumns[static_cast<std::size_t>(c)] + "]";
        params += (c ? ", ?" : "?") + std::to_string(c + 1);
    }
    sql += ") VALUES (" + params + ")";
    engine::Query insert(db, sql); // the insert right is checked here
    const auto& columns = db.columns(table);
    const std::string siO2Default =
        columns.size() > 5
            ? columns[static_cast<std::size_t>(schema::kFirstAnalysisColumn)].textDefault
            : std::string();
    CsvSource source(plan.path, plan.delimiter, plan.latin1, plan.bytes);
    db.Begin();
    long written = 0;
    bool cancelled = false;
    try {
        std::vector<Cell> cells;
        BadRow bad;
        bool header = true;
        long seen = 0;
        source.read(
            [&](std::vector<std::string>& fields, long line) {
                if (header) {
                    header = false;
                    return true;
                }
                if (cancel && (++seen & 1023) == 0 && cancel->load()) {
                    cancelled = true;
                    return false;
                }
                if (!convert(plan, fields, line, cells, bad, nullptr))
                    return true; // the plan listed it; the user chose to go on
                for (int c = 0; c < schema::kIdColumn; ++c) {
                    const Cell& cell = cells[static_cast<std::size_t>(c)];
                    if (cell.kind == Cell::Number)
                        insert.bindNumber(c + 1, cell.number);
                    else if (cell.kind == Cell::Text)
                        insert.bindText(c + 1, cell.text);
                    else if (c == schema::kFirstAnalysisColumn && !siO2Default.empty())
                        insert.bindText(c + 1, siO2Default);
                    else
                        insert.bindNull(c + 1);
                }
                insert.execute();
                ++written;
                return true;
            },
            progress);
        if (cancelled) {
            db.Rollback();
            return -1;
        }
        db.Commit();
    } catch (...) {
        db.Rollback();
        throw;
    }
    return written;
}
