#pragma once

#include "CsvSource.h"
#include "ImportColumns.h"
#include "NumberStyle.h"
#include "ReportedValues.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace engine {
class Database;
}

// A workbook of several sheets with data, when no sheet was named: which
// one is for the user to say. The question is in words for a caller that
// cannot ask it and refuses the file.
struct SheetList {
    std::vector<std::string> names;
    std::string question;
};

// A row of the file that cannot be imported, and why.
struct BadRow {
    long line = 0;
    std::string column;
    std::string text;
    std::string why;
};

// What an import of a file would do, found by reading it through before
// anything is written: how the file is written, its header and units, the
// mapping, the rows, the bad rows (the first of them kept), and per column
// the values read as Null. Whatever the program decided for the file (its
// decimal mark, the header line, a choice between two headers) is here, to
// be shown before the import.
struct ImportPlan {
    std::string path;
    std::string sheet; // the workbook's sheet read; empty for a text file
    CsvSource source;
    char delimiter = ',';
    bool latin1 = false;   // some lines were read as Windows-1252
    long headerRecord = 0; // records above the header, skipped
    long headerLine = 1;
    std::vector<std::string> above; // those records' first cells, as read
    long unitsLine = 0;             // the units row under the header; 0: none
    // A file that gives a sample over several rows, read one row per
    // sample: its layout in words (empty for one row a sample), the rows
    // it had, and the values its rows gave twice, differently.
    std::string layout;
    long pivotedRows = 0;
    long pivotClashes = 0;
    // Lines of a lab's units, limits and methods rows, read as such.
    std::vector<long> metaLines;
    bool isMeta(long line) const {
        return std::find(metaLines.begin(), metaLines.end(), line) != metaLines.end();
    }
    numberstyle::Mark mark = numberstyle::Mark::Point;
    numberstyle::Evidence evidence;
    std::vector<std::string> header;
    ImportColumns columns;
    long rows = 0; // data rows, good and bad
    long bad = 0;
    long blank = 0; // rows without a value, skipped
    std::vector<BadRow> firstBad;
    std::vector<long> nulls;     // per table column
    std::vector<long> negatives; // per table column: below detection, stored empty
    long totalIron = 0;          // rows whose iron is total iron
    long ironWorkedOut = 0;      // rows whose FeO or Fe2O3 is the rest of total iron
    // Rows whose columns for one of ours give values apart by more than
    // their rounding, the first of them in words.
    long disagreements = 0;
    std::vector<std::string> firstDisagreements;
    long unknownUnits = 0;                 // values whose row names a unit we do not know
    ReportedValues::References references; // the file's block of references, by number
    long long valuesKept = 0;              // values kept as reported, beside the table
    // Rows that are samples the table holds already (see DuplicateFinder),
    // once looked for; -1 before.
    long duplicates = -1;
    std::vector<std::string> firstDuplicates; // their names
    long datesConverted = 0;
    long datesKept = 0;
    std::vector<std::string> keptDates; // the first of them
    long endLine = 0;                   // where a trailing block of notes begins; 0: none
    long long bytes = 0;

    long good() const { return rows - bad; }
    // The plan in words, for the user to decide on: how the file is
    // written, then its columns, then its rows; describe() is all three.
    std::string describeFile() const;
    std::string describeColumns() const;
    std::string describeRows() const;
    std::string describe() const;
};

// Reading and importing a CSV file, or a workbook's sheet, into one table. Values: numbers in the
// file's decimal mark, its digits grouped in threes or not; empty, "n.d.",
// "nd", "n.a.", "N/A", "-", "--", "bdl", "LOD", "tr" and the like, and "<x"
// (below detection) are Null; so is a negative analysis (surveys write
// below-detection values as negative numbers) but for Trace1 to Trace5,
// which keep their sign. Every value is also kept as reported, beside the
// table (see ReportedValues). Text in an analysis column makes the row bad, and
// so does an oxide above 100 %. SiO2 left empty (or holding its default
// text "Empty") takes the table's default. Citations after a value
// ("51.37 [29001]") are dropped; a block of "References:" or
// "Abbreviations:" ends the data.
class CsvImport {
public:
    // What an import does with a row that is a sample the table holds
    // already: imports it beside the other, leaves it out, or puts it in
    // the other's place (the old row and its values deleted).
    enum class Duplicates { Keep, Skip, Replace };

    static constexpr std::size_t kListedBad = 10;
    static constexpr std::size_t kListed = 5;
    static constexpr long kHeaderSearch = 50;  // records searched for the header
    static constexpr long kMarkSample = 20000; // data rows that show the decimal mark

    // Throws CsvError for a file that cannot be imported at all (empty, a
    // header only, not text, a quote left open, two equal headers for one
    // column, no analysis column), and with Code::Cancelled when the cancel
    // flag stopped it.
    // A mapping, when given, is the user's (see ImportColumns::choose). A
    // workbook (.xlsx, .ods) is read from the named sheet, or from its one
    // sheet with data; with several and none named, nothing is read and
    // the sheets are returned instead, for the caller to ask which.
    using Reading = std::variant<ImportPlan, SheetList>;
    static Reading read(const std::string& path, const std::atomic<bool>* cancel = nullptr,
                        const std::vector<int>& mapping = {}, const std::string& sheet = {});
    // read() for a caller that names the sheet or reads text: several
    // sheets and none named are refused with Code::SheetNeeded.
    static ImportPlan plan(const std::string& path, const std::atomic<bool>* cancel = nullptr,
                           const std::vector<int>& mapping = {}, const std::string& sheet = {});

    // Inserts the plan's good rows in one transaction: all or nothing.
    // Returns the rows written, or -1 when cancelled (nothing written).
    // Throws engine::EngineError (refused permission, a full disk, a row
    // the database refuses, named by its line: nothing written) or CsvError.
    // stored, when given, counts the values written: those kept as
    // reported, and the descriptive cells.
    // met, when given, counts the rows that were samples already there.
    static long run(engine::Database& db, const std::string& table, const ImportPlan& plan,
                    const std::function<void(long long bytes)>& progress = {},
                    const std::atomic<bool>* cancel = nullptr, long long* stored = nullptr,
                    Duplicates duplicates = Duplicates::Keep, long* met = nullptr);
    // Looks for the plan's rows among the table's samples, for the user to
    // decide on before the import: plan.duplicates and firstDuplicates.
    static void findDuplicates(engine::Database& db, const std::string& table, ImportPlan& plan,
                               const std::atomic<bool>* cancel = nullptr);
    // What an import did, in one line: "N rows imported, M values kept, K
    // columns left out (their names)", and what was done with the samples
    // already there.
    static std::string summary(const ImportPlan& plan, long rows, long long values, long met = 0,
                               Duplicates duplicates = Duplicates::Keep);
};
