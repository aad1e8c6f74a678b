#include "CsvImport.h"

#include "AnalyteName.h"
#include "DuplicateFinder.h"
#include "ImportBatch.h"
#include "ReportedValues.h"
#include "RowCells.h"
#include "SamplePivot.h"
#include "TextRules.h"
#include "WorkbookReader.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/Query.h"
#include "schema/Schema.h"

#include <algorithm>
#include <cctype>

namespace {

using rowcells::Cell;
using rowcells::convert;
using rowcells::Tally;
using textrules::lower;
using textrules::trimmed;

bool isAnalysis(int column) {
    return column >= schema::kFirstAnalysisColumn && column <= schema::kLastAnalysisColumn;
}

using textrules::meansNull;
using textrules::withoutCitation;

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
    // A sample over several rows (the long layout, rows by method): one
    // row per sample, read from memory as a sheet would be.
    if (SamplePivot::isLong(header.fields) || SamplePivot::isByMethod(header.fields)) {
        SamplePivot::Result pivoted =
            SamplePivot::pivot(plan.source, header.record, header.fields, {});
        plan.layout = pivoted.layout;
        plan.pivotedRows = pivoted.rowsRead;
        plan.pivotClashes = pivoted.clashes;
        const bool sheet = plan.source.isSheet();
        const int origin[3] = {plan.source.dateOrigin[0], plan.source.dateOrigin[1],
                               plan.source.dateOrigin[2]};
        plan.source = CsvSource(
            path, std::make_shared<const CsvSource::Rows>(std::move(pivoted.rows)), plan.sheet);
        plan.source.datesAsSerials = sheet;
        std::copy(std::begin(origin), std::end(origin), plan.source.dateOrigin);
        early.clear();
        header = Header{0, 1, {}};
        plan.source.read(
            [&](std::vector<std::string>& fields, long line) {
                header = Header{0, line, fields};
                return false;
            },
            {}, [](long, const std::string&) {});
        early.push_back(header);
    }
    plan.columns = ImportColumns::map(header.fields);
    if (!mapping.empty())
        plan.columns.choose(mapping);
    // A lab's rows of units, detection limits and methods, by their
    // labels; a row of method codes above the header; a units row under it.
    auto applyLabelled = [&](const std::vector<std::string>& fields, long line) {
        const auto label = ImportColumns::labelOf(fields.empty() ? std::string() : fields[0]);
        if (label == ImportColumns::Label::None)
            return false;
        if (label == ImportColumns::Label::Units) {
            plan.columns.applyUnits(fields);
            plan.unitsLine = plan.unitsLine ? plan.unitsLine : line;
        } else if (label == ImportColumns::Label::Limits) {
            plan.columns.applyLimits(fields);
        } else {
            plan.columns.applyMethods(fields);
        }
        plan.metaLines.push_back(line);
        return true;
    };
    if (header.record > 0) {
        const Header& above = early[static_cast<std::size_t>(header.record - 1)];
        bool codes = false, other = false;
        for (std::size_t i = 1; i < above.fields.size(); ++i) {
            const std::string t = trimmed(above.fields[i]);
            (AnalyteName::isMethodCode(t) ? codes : other) |= !t.empty();
        }
        if (!applyLabelled(above.fields, above.line) && codes && !other) {
            plan.columns.applyMethods(above.fields);
            plan.metaLines.push_back(above.line);
        }
    }
    // ...then the decimal mark the first rows show.
    record = 0;
    long sampled = 0;
    bool underHeader = true;
    source.read(
        [&](std::vector<std::string>& fields, long line) {
            const long r = record++;
            if (r <= header.record)
                return true;
            if (underHeader) {
                if (applyLabelled(fields, line))
                    return true;
                if (r == header.record + 1 && unitsRow(fields)) {
                    plan.unitsLine = line;
                    plan.metaLines.push_back(line);
                    plan.columns.applyUnits(fields);
                    return true;
                }
                underHeader = false;
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
    if (!plan.columns.anyAnalysis() && !plan.columns.anyKept()) {
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
    std::vector<engine::SampleValue> values;
    BadRow bad;
    bool cancelled = false;
    record = 0;
    source.read(
        [&](std::vector<std::string>& fields, long line) {
            const long r = record++;
            if (r <= plan.headerRecord || plan.isMeta(line))
                return true;
            if (plan.endLine) {
                // The notes: a reference block's entries, by their numbers.
                ReportedValues::readReference(fields, plan.delimiter, plan.references);
                return true;
            }
            if (notesBegin(fields)) {
                plan.endLine = line;
                ReportedValues::readReference(fields, plan.delimiter, plan.references);
                return true;
            }
            if (blank(fields)) {
                ++plan.blank;
                return true;
            }
            ++plan.rows;
            const bool good =
                convert(plan, fields, line, cells, bad, &tally) &&
                ReportedValues::read(plan, fields, values, bad.column, bad.text, bad.why);
            if (!good) {
                ++plan.bad;
                if (plan.firstBad.size() < kListedBad)
                    plan.firstBad.push_back(bad);
            } else {
                plan.valuesKept += static_cast<long long>(values.size());
            }
            if (cancel && (plan.rows & 4095) == 0 && cancel->load()) {
                cancelled = true;
                return false;
            }
            return true;
        },
        {},
        [&](long line, const std::string& why) {
            if (line <= plan.headerLine || (plan.endLine && line > plan.endLine))
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
    plan.ironWorkedOut = tally.ironWorkedOut;
    plan.disagreements = tally.disagreements;
    plan.firstDisagreements = tally.firstDisagreements;
    plan.unknownUnits = tally.unknownUnits;
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

namespace {

// A row of the file read and converted, waiting to be looked for.
struct FileRow {
    std::vector<Cell> cells;
    std::vector<engine::SampleValue> values;
    long line = 0;
};

// Looks the rows' names up in one statement. A row kept for writing with
// one of those names is written first, so that the lookup finds it.
void lookUp(DuplicateFinder& finder, const std::vector<FileRow>& rows, ImportBatch* batch) {
    std::vector<std::string> names;
    bool held = false;
    for (const FileRow& row : rows) {
        const Cell& name = row.cells[schema::at(schema::Column::SampleNumber)];
        if (name.kind != Cell::Text)
            continue;
        names.push_back(name.text);
        held = held || (batch && batch->holds(name.text));
    }
    if (held)
        batch->flush();
    finder.lookUp(names);
}

} // namespace

void CsvImport::findDuplicates(engine::Database& db, const std::string& table, ImportPlan& plan,
                               const std::atomic<bool>* cancel) {
    DuplicateFinder finder(db, table);
    if (finder.empty()) {
        plan.duplicates = 0;
        plan.firstDuplicates.clear();
        return;
    }
    std::vector<Cell> cells;
    std::vector<engine::SampleValue> values;
    BadRow bad;
    long record = 0, seen = 0, found = 0;
    std::vector<std::string> names;
    // Rows wait to be looked for a batch at a time: one statement a batch.
    std::vector<FileRow> pending;
    auto drain = [&] {
        lookUp(finder, pending, nullptr);
        for (const FileRow& row : pending)
            if (finder.find(row.cells, row.values)) {
                ++found;
                if (names.size() < kListed)
                    names.push_back(row.cells[schema::at(schema::Column::SampleNumber)].text);
            }
        pending.clear();
    };
    plan.source.read(
        [&](std::vector<std::string>& fields, long line) {
            const long r = record++;
            if (r <= plan.headerRecord || plan.isMeta(line))
                return true;
            if (plan.endLine && line >= plan.endLine)
                return false;
            if (cancel && (++seen & 1023) == 0 && cancel->load())
                throw CsvError(CsvError::Code::Cancelled, "Cancelled.");
            if (blank(fields) || !convert(plan, fields, line, cells, bad, nullptr) ||
                !ReportedValues::read(plan, fields, values, bad.column, bad.text, bad.why))
                return true;
            pending.push_back({cells, values, line});
            if (pending.size() >= DuplicateFinder::kBatch)
                drain();
            return true;
        },
        {}, [](long, const std::string&) {});
    drain();
    plan.duplicates = found;
    plan.firstDuplicates = names;
}

namespace {

// One try at the import, in a transaction of its own (see CsvImport::run).
long importOnce(engine::Database& db, const std::string& table, const ImportPlan& plan,
                const std::function<void(long long)>& progress, const std::atomic<bool>* cancel,
                long long* stored, CsvImport::Duplicates duplicates, long* met,
                const ImportBatch::Refused* retrying) {
    using Duplicates = CsvImport::Duplicates;
    const auto& columns = db.columns(table);
    const std::string siO2Default = columns.size() > schema::at(schema::Column::SiO2)
                                        ? columns[schema::at(schema::Column::SiO2)].textDefault
                                        : std::string();
    ImportBatch batch(db, table, siO2Default, stored, retrying); // the insert right is checked here
    db.Begin();
    bool cancelled = false;
    try {
        std::vector<Cell> cells;
        std::vector<engine::SampleValue> values;
        BadRow bad;
        std::unique_ptr<DuplicateFinder> finder;
        std::unique_ptr<engine::Query> remove;
        if (duplicates != Duplicates::Keep || met) {
            finder = std::make_unique<DuplicateFinder>(db, table);
            if (duplicates == Duplicates::Replace)
                remove = std::make_unique<engine::Query>(db, "DELETE FROM [" + table +
                                                                 "] WHERE [ID] = ?1");
        }
        db.beginBulkInsert(table);
        auto take = [&](FileRow& row) {
            // A row of this file the table holds already is found as when
            // every row before it was written on its own.
            const Cell& name = row.cells[schema::at(schema::Column::SampleNumber)];
            if (name.kind == Cell::Text && batch.holds(name.text))
                batch.flush();
            if (const std::int64_t there = finder->find(row.cells, row.values)) {
                if (met)
                    ++*met;
                if (duplicates == Duplicates::Skip)
                    return;
                if (remove) { // its values go with it
                    remove->bindNumber(1, static_cast<double>(there));
                    remove->execute();
                    finder->removed(there);
                }
            }
            batch.add(row.cells, std::move(row.values), row.line);
        };
        // With duplicates looked for, rows wait to be looked for a batch at
        // a time: one statement a batch.
        std::vector<FileRow> pending;
        auto drain = [&] {
            lookUp(*finder, pending, &batch);
            for (FileRow& row : pending)
                take(row);
            pending.clear();
        };
        long record = 0;
        long seen = 0;
        plan.source.read(
            [&](std::vector<std::string>& fields, long line) {
                const long r = record++;
                if (r <= plan.headerRecord || plan.isMeta(line))
                    return true;
                if (line >= plan.endLine && plan.endLine)
                    return false;
                if (cancel && (++seen & 1023) == 0 && cancel->load()) {
                    cancelled = true;
                    return false;
                }
                if (blank(fields) || !convert(plan, fields, line, cells, bad, nullptr) ||
                    !ReportedValues::read(plan, fields, values, bad.column, bad.text, bad.why))
                    return true; // the plan listed it; the user chose to go on
                if (!finder) {
                    batch.add(cells, values, line);
                    return true;
                }
                pending.push_back({cells, values, line});
                if (pending.size() >= DuplicateFinder::kBatch)
                    drain();
                return true;
            },
            progress, [](long, const std::string&) {}); // the plan listed such lines
        if (!cancelled && finder)
            drain();
        if (cancelled) {
            db.Rollback();
            return -1;
        }
        batch.flush();
        db.endBulkInsert(table);
        db.Commit();
    } catch (...) {
        db.Rollback();
        throw;
    }
    return batch.written();
}

} // namespace

long CsvImport::run(engine::Database& db, const std::string& table, const ImportPlan& plan,
                    const std::function<void(long long)>& progress, const std::atomic<bool>* cancel,
                    long long* stored, Duplicates duplicates, long* met) {
    const long long storedBefore = stored ? *stored : 0;
    const long metBefore = met ? *met : 0;
    try {
        return importOnce(db, table, plan, progress, cancel, stored, duplicates, met, nullptr);
    } catch (const ImportBatch::Refused& refused) {
        // Nothing is written: the transaction is gone. The same rows again,
        // the refused statement's one by one, name the row.
        if (stored)
            *stored = storedBefore;
        if (met)
            *met = metBefore;
        const ImportBatch::Refused first = refused;
        try {
            return importOnce(db, table, plan, {}, cancel, stored, duplicates, met, &first);
        } catch (const ImportBatch::Refused& again) { // the table changed meanwhile
            throw again.told();
        }
    }
}
