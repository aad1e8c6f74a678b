#include "CsvImport.h"

#include "DateText.h"
#include "TextRules.h"
#include "ViewExport.h"
#include "WorkbookReader.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Query.h"
#include "schema/Schema.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

using textrules::lower;
using textrules::trimmed;

constexpr int kDate = 2;
constexpr int kFe2O3 = 8;
constexpr int kFeO = 9;
constexpr int kLastOxide = 24; // ZrO2
constexpr int kTotal = 25;

bool isAnalysis(int column) {
    return column >= schema::kFirstAnalysisColumn && column <= schema::kLastAnalysisColumn;
}

// Not measured or below detection: stored as Null.
bool meansNull(const std::string& t) {
    if (t.empty() || t[0] == '<')
        return true;
    const std::string l = lower(t);
    for (const char* token : {"n.d.", "nd", "n.a.", "na", "n/a", "-", "--", "\xE2\x80\x94", "bdl",
                              "b.d.l.", "lod", "tr", "trace", "n.n.", "n.b."})
        if (l == token)
            return true;
    return false;
}

// A compilation's citation after a value: "51.37 [29001]" is 51.37.
std::string withoutCitation(const std::string& t) {
    if (t.size() < 4 || t.back() != ']')
        return t;
    const std::size_t open = t.rfind('[');
    if (open == std::string::npos || open == 0 || t[open - 1] != ' ')
        return t;
    for (std::size_t i = open + 1; i + 1 < t.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(t[i])))
            return t;
    return trimmed(t.substr(0, open));
}

bool blank(const std::vector<std::string>& fields) {
    return std::all_of(fields.begin(), fields.end(),
                       [](const std::string& f) { return trimmed(f).empty(); });
}

// The first line of a block of notes that ends a compilation's data.
bool notesBegin(const std::vector<std::string>& fields) {
    if (fields.empty())
        return false;
    const std::string first = lower(trimmed(fields[0]));
    return first.rfind("references:", 0) == 0 || first.rfind("abbreviations:", 0) == 0;
}

// The cells of a line split at a delimiter outside quotes, roughly: enough
// to see which delimiter makes a header of it.
std::vector<std::string> roughCells(const std::string& line, char delimiter) {
    std::vector<std::string> cells(1);
    bool quoted = false;
    for (char c : line) {
        if (c == '"')
            quoted = !quoted;
        else if (c == delimiter && !quoted)
            cells.emplace_back();
        else if (c != '\r' && c != '\n')
            cells.back() += c;
    }
    return cells;
}

int namedCells(const std::vector<std::string>& fields);

// The delimiter under which some line of the file's first ones names the
// most of our columns; the first line's own when none names three.
char headerDelimiter(const CsvSource& source) {
    char best = source.delimiter();
    int most = 2;
    for (const std::string& line : source.sampleLines())
        for (char d : {',', ';', '\t'}) {
            const int named = namedCells(roughCells(line, d));
            if (named > most || (named == most && named > 2 && d == source.delimiter())) {
                most = named;
                best = d;
            }
        }
    return best;
}

int namedCells(const std::vector<std::string>& fields) {
    int n = 0;
    for (const std::string& f : fields)
        n += ImportColumns::columnFor(f) >= 0;
    return n;
}

bool unitsRow(const std::vector<std::string>& fields) {
    bool unit = false;
    for (const std::string& f : fields) {
        const std::string t = trimmed(f);
        if (std::any_of(t.begin(), t.end(), [](unsigned char c) { return std::isdigit(c); }))
            return false;
        unit = unit || ImportColumns::isUnit(t);
    }
    return unit;
}

struct Cell {
    enum { Null, Number, Text } kind = Null;
    double number = 0;
    std::string text;
};

// Counts and lists kept while converting, for the plan.
struct Tally {
    std::vector<long> nulls = std::vector<long>(schema::kColumnCount, 0);
    std::vector<long> negatives = std::vector<long>(schema::kColumnCount, 0);
    long totalIron = 0, datesConverted = 0, datesKept = 0;
    std::vector<std::string> keptDates;
};

// Converts one record; false (with the reason) for a bad row.
bool convert(const ImportPlan& plan, std::vector<std::string>& fields, long line,
             std::vector<Cell>& cells, BadRow& bad, Tally* tally) {
    cells.assign(schema::kColumnCount, Cell());
    bad = BadRow{line, {}, {}, {}};
    if (fields.size() != plan.header.size()) {
        bad.why = std::to_string(fields.size()) + " fields where the header has " +
                  std::to_string(plan.header.size());
        return false;
    }
    Cell iron[2]; // total iron as FeO, as Fe2O3
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const ImportColumns::Source& source = plan.columns.sources[i];
        const int column = source.target >= 0 ? source.target : source.totalIron;
        if (column < 0)
            continue;
        Cell& cell = source.target >= 0 ? cells[static_cast<std::size_t>(column)]
                                        : iron[column == kFeO ? 0 : 1];
        const std::string value = withoutCitation(trimmed(fields[i]));
        if (!isAnalysis(column)) {
            if (value.empty())
                continue;
            cell.kind = Cell::Text;
            cell.text = value == trimmed(fields[i]) ? fields[i] : value;
            // The apostrophe an export puts before a formula-like text.
            if (cell.text.size() > 1 && cell.text[0] == '\'' &&
                ViewExport::formulaLike(cell.text.substr(1)))
                cell.text.erase(0, 1);
            if (column == kDate) {
                std::string iso;
                auto r = datetext::toIso(value, iso);
                // A workbook keeps a date as its serial, shown through a format.
                double serial = 0;
                const int* o = plan.source.dateOrigin;
                if (r == datetext::Result::Kept && plan.source.isSheet() &&
                    numberstyle::read(value, numberstyle::Mark::Point, serial) == std::errc() &&
                    datetext::fromSerial(serial, o[0], o[1], o[2], iso))
                    r = datetext::Result::Converted;
                if (r == datetext::Result::Converted) {
                    cell.text = iso;
                    if (tally)
                        ++tally->datesConverted;
                } else if (r == datetext::Result::Kept && tally) {
                    ++tally->datesKept;
                    if (tally->keptDates.size() < CsvImport::kListed)
                        tally->keptDates.push_back(value);
                }
            }
            continue;
        }
        // SiO2's default text, as an export writes it: the default again.
        if (column == schema::kFirstAnalysisColumn && value == "Empty")
            continue;
        if (meansNull(value)) {
            if (tally && source.target >= 0)
                ++tally->nulls[static_cast<std::size_t>(column)];
            continue;
        }
        double d = 0;
        const std::errc ec = numberstyle::read(value, plan.mark, d);
        const std::string name =
            source.target >= 0 ? schema::kColumns[static_cast<std::size_t>(column)] : source.header;
        if (ec != std::errc()) {
            bad.column = name;
            bad.text = fields[i];
            double other = 0;
            const auto otherMark = plan.mark == numberstyle::Mark::Point ? numberstyle::Mark::Comma
                                                                         : numberstyle::Mark::Point;
            bad.why = ec == std::errc::result_out_of_range ? "a number out of range"
                      : numberstyle::read(value, otherMark, other) == std::errc()
                          ? std::string("written with the other decimal mark than the file's (") +
                                numberstyle::name(plan.mark) + ")"
                          : "not a number";
            return false;
        }
        if (source.factor != 1)
            d *= source.factor;
        // Surveys write below detection as a negative value; Trace1 to
        // Trace5 may hold ratios that are negative indeed.
        if (d < 0 && column <= kTotal) {
            if (tally && source.target >= 0)
                ++tally->negatives[static_cast<std::size_t>(column)];
            continue;
        }
        if (d > 100 && column <= kLastOxide) {
            bad.column = name;
            bad.text = fields[i];
            bad.why = "above 100 %";
            return false;
        }
        cell.kind = Cell::Number;
        cell.number = d;
    }
    // Total iron stays in the one oxide it was given as, when the row has
    // neither of the two.
    Cell& feo = cells[kFeO];
    Cell& fe2o3 = cells[kFe2O3];
    if (feo.kind == Cell::Null && fe2o3.kind == Cell::Null &&
        (iron[0].kind == Cell::Number || iron[1].kind == Cell::Number)) {
        if (iron[0].kind == Cell::Number)
            feo = iron[0];
        else
            fe2o3 = iron[1];
        if (tally)
            ++tally->totalIron;
    }
    return true;
}

// What a record read holds before its header: skipped.
struct Header {
    long record = -1;
    long line = 1;
    std::vector<std::string> fields;
};

} // namespace

namespace {

// The workbook's sheet to read: the one named, or its only one with data;
// with several and none named, those to choose from.
std::variant<CsvSource, SheetList> sheetSource(const std::string& path, const std::string& wanted,
                                               std::string& chosen) {
    std::vector<WorkbookReader::Sheet> sheets = WorkbookReader::read(path);
    std::vector<std::string> withData, all;
    for (const auto& s : sheets) {
        all.push_back(s.name);
        if (!s.empty())
            withData.push_back(s.name);
    }
    auto list = [](const std::vector<std::string>& names) {
        std::string out;
        for (const std::string& n : names)
            out += (out.empty() ? "'" : ", '") + n + "'";
        return out;
    };
    std::string name = wanted;
    if (name.empty()) {
        if (withData.empty())
            throw CsvError(CsvError::Code::Empty,
                           "'" + path + "' is empty: no sheet of it holds anything to import.");
        if (withData.size() > 1)
            return SheetList{withData, "'" + path + "' has several sheets: " + list(withData) +
                                           ". Which one is to be imported?"};
        name = withData.front();
    }
    for (auto& s : sheets)
        if (s.name == name) {
            chosen = name;
            CsvSource source(path, std::make_shared<const CsvSource::Rows>(std::move(s.rows)),
                             name);
            std::copy(std::begin(s.origin), std::end(s.origin), source.dateOrigin);
            return source;
        }
    throw CsvError(CsvError::Code::NoSuchSheet, "'" + path + "' has no sheet named '" + name +
                                                    "'. Its sheets: " + list(all) + ".");
}

} // namespace

CsvImport::Reading CsvImport::read(const std::string& path, const std::atomic<bool>* cancel,
                                   const std::vector<int>& mapping, const std::string& sheet) {
    ImportPlan plan;
    plan.path = path;
    if (WorkbookReader::isWorkbook(path)) {
        auto source = sheetSource(path, sheet, plan.sheet);
        if (auto* sheets = std::get_if<SheetList>(&source))
            return std::move(*sheets);
        plan.source = std::move(std::get<CsvSource>(source));
    } else {
        plan.source = CsvSource(path);
        plan.source.setDelimiter(headerDelimiter(plan.source));
    }
    const CsvSource& source = plan.source;
    plan.delimiter = source.delimiter();
    plan.latin1 = source.windowsLineCount() > 0;
    plan.bytes = source.size();

    // A first look: the header (the first line that names three of our
    // columns, else the first line)...
    std::vector<Header> early;
    Header header;
    long record = 0;
    source.read(
        [&](std::vector<std::string>& fields, long line) {
            early.push_back({record++, line, fields});
            if (namedCells(fields) < 3)
                return record < kHeaderSearch;
            header = early.back();
            return false;
        },
        {}, [](long, const std::string&) {});
    if (early.empty())
        throw CsvError(CsvError::Code::Empty,
                       "'" + path + "' is empty: there is nothing to import.");
    if (header.record < 0)
        header = early.front();
    plan.columns = ImportColumns::map(header.fields);
    if (!mapping.empty())
        plan.columns.choose(mapping);
    // ...then a units row under it, and the decimal mark the first rows show.
    record = 0;
    long sampled = 0;
    source.read(
        [&](std::vector<std::string>& fields, long line) {
            const long r = record++;
            if (r <= header.record)
                return true;
            if (r == header.record + 1 && unitsRow(fields)) {
                plan.unitsLine = line;
                plan.columns.applyUnits(fields);
                return true;
            }
            if (notesBegin(fields))
                return false;
            for (std::size_t i = 0; i < fields.size() && i < plan.columns.sources.size(); ++i) {
                const auto& s = plan.columns.sources[i];
                if (!(isAnalysis(s.target) || s.totalIron >= 0))
                    continue;
                const std::string v = withoutCitation(trimmed(fields[i]));
                if (!meansNull(v))
                    plan.evidence.observe(v);
            }
            return ++sampled < kMarkSample;
        },
        {}, [](long, const std::string&) {});
    plan.headerRecord = header.record;
    plan.headerLine = header.line;
    plan.header = header.fields;
    for (long r = 0; r < header.record && r < static_cast<long>(kListed); ++r)
        plan.above.push_back(early[static_cast<std::size_t>(r)].fields.empty()
                                 ? std::string()
                                 : trimmed(early[static_cast<std::size_t>(r)].fields[0]));
    if (!plan.columns.anyAnalysis()) {
        std::string names;
        for (const std::string& h : plan.header)
            names += (names.empty() ? "'" : ", '") + trimmed(h) + "'";
        throw CsvError(CsvError::Code::BadColumns,
                       "None of the columns of '" + path +
                           "' is an analysis the table has (SiO2 to Total, Trace1 to Trace5), so "
                           "nothing would be imported but text. Its headers: " +
                           names + ".");
    }
    plan.mark = numberstyle::decide(plan.evidence, plan.delimiter);

    // Then every row, as the import will read it.
    Tally tally;
    std::vector<Cell> cells;
    BadRow bad;
    bool cancelled = false;
    record = 0;
    source.read(
        [&](std::vector<std::string>& fields, long line) {
            const long r = record++;
            if (r <= plan.headerRecord || line == plan.unitsLine)
                return true;
            if (notesBegin(fields)) {
                plan.endLine = line;
                return false;
            }
            if (blank(fields)) {
                ++plan.blank;
                return true;
            }
            ++plan.rows;
            if (!convert(plan, fields, line, cells, bad, &tally)) {
                ++plan.bad;
                if (plan.firstBad.size() < kListedBad)
                    plan.firstBad.push_back(bad);
            }
            if (cancel && (plan.rows & 4095) == 0 && cancel->load()) {
                cancelled = true;
                return false;
            }
            return true;
        },
        {},
        [&](long line, const std::string& why) {
            if (line <= plan.headerLine)
                return;
            ++plan.rows;
            ++plan.bad;
            if (plan.firstBad.size() < kListedBad)
                plan.firstBad.push_back(BadRow{line, {}, {}, why});
        });
    if (cancelled)
        throw CsvError(CsvError::Code::Cancelled, "Cancelled.");
    plan.nulls = tally.nulls;
    plan.negatives = tally.negatives;
    plan.totalIron = tally.totalIron;
    plan.datesConverted = tally.datesConverted;
    plan.datesKept = tally.datesKept;
    plan.keptDates = tally.keptDates;
    if (plan.rows == 0)
        throw CsvError(CsvError::Code::Empty,
                       "'" + path + "' has a header but no rows: there is nothing to import.");
    return plan;
}

ImportPlan CsvImport::plan(const std::string& path, const std::atomic<bool>* cancel,
                           const std::vector<int>& mapping, const std::string& sheet) {
    Reading reading = read(path, cancel, mapping, sheet);
    if (const auto* sheets = std::get_if<SheetList>(&reading))
        throw CsvError(CsvError::Code::SheetNeeded, sheets->question);
    return std::move(std::get<ImportPlan>(reading));
}

long CsvImport::run(engine::Database& db, const std::string& table, const ImportPlan& plan,
                    const std::function<void(long long)>& progress, const std::atomic<bool>* cancel,
                    long long* stored) {
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
    db.Begin();
    long written = 0;
    bool cancelled = false;
    try {
        std::vector<Cell> cells;
        BadRow bad;
        db.beginBulkInsert(table);
        long record = 0;
        long seen = 0;
        plan.source.read(
            [&](std::vector<std::string>& fields, long line) {
                const long r = record++;
                if (r <= plan.headerRecord || line == plan.unitsLine)
                    return true;
                if (notesBegin(fields))
                    return false;
                if (cancel && (++seen & 1023) == 0 && cancel->load()) {
                    cancelled = true;
                    return false;
                }
                if (blank(fields) || !convert(plan, fields, line, cells, bad, nullptr))
                    return true; // the plan listed it; the user chose to go on
                for (int c = 0; c < schema::kIdColumn; ++c) {
                    const Cell& cell = cells[static_cast<std::size_t>(c)];
                    if (stored && (cell.kind == Cell::Number || cell.kind == Cell::Text))
                        ++*stored;
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
            progress, [](long, const std::string&) {}); // the plan listed such lines
        if (cancelled) {
            db.Rollback();
            return -1;
        }
        db.endBulkInsert(table);
        db.Commit();
    } catch (...) {
        db.Rollback();
        throw;
    }
    return written;
}
