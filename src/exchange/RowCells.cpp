#include "RowCells.h"

#include "AnalyteName.h"
#include "CsvImport.h"
#include "DateText.h"
#include "TextRules.h"
#include "ViewExport.h"
#include "schema/Schema.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace rowcells {

namespace {

using textrules::meansNull;
using textrules::trimmed;
using textrules::withoutCitation;

using schema::Column;
constexpr int kDate = index(Column::Date);
constexpr int kFe2O3 = index(Column::Fe2O3);
constexpr int kFeO = index(Column::FeO);
constexpr int kLastOxide = index(schema::kLastOxide);
constexpr int kTotal = index(Column::Total);

bool isAnalysis(int column) {
    return column >= schema::kFirstAnalysisColumn && column <= schema::kLastAnalysisColumn;
}

// Half a unit in the last digit written: how far two values written with
// their digits may be apart and still agree.
double rounding(const std::string& text) {
    const std::size_t mark = text.find_first_of(".,");
    int decimals = 0;
    if (mark != std::string::npos)
        for (std::size_t i = mark + 1;
             i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
            ++decimals;
    static const double halves[] = {0.5, 0.05, 0.005, 5e-4, 5e-5, 5e-6, 5e-7, 5e-8, 5e-9};
    return decimals < 9 ? halves[decimals] : 0.5 * std::pow(10.0, -decimals);
}

} // namespace

bool convert(const ImportPlan& plan, std::vector<std::string>& fields, long line,
             std::vector<Cell>& cells, BadRow& bad, Tally* tally) {
    cells.assign(schema::kColumnCount, Cell());
    bad = BadRow{line, {}, {}, {}};
    if (fields.size() != plan.header.size()) {
        bad.why = std::to_string(fields.size()) + " fields where the header has " +
                  std::to_string(plan.header.size());
        return false;
    }
    // The analyses as read, per file column: a row takes each of ours from
    // the first of its columns that gives a value.
    std::vector<Cell> parsed(fields.size());
    std::vector<double> slack(fields.size(), 0);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const ImportColumns::Source& source = plan.columns.sources[i];
        const int column = source.target >= 0 ? source.target : source.totalIron;
        if (column < 0)
            continue;
        Cell& cell = isAnalysis(column) || source.target < 0
                         ? parsed[i]
                         : cells[static_cast<std::size_t>(column)];
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
                    plan.source.datesAsSerials &&
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
        if (column == index(Column::SiO2) && value == "Empty")
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
        double factor = source.factor;
        if (source.unitColumn >= 0) {
            const double f =
                AnalyteName::toWeightPercent(fields[static_cast<std::size_t>(source.unitColumn)]);
            if (f == 0) {
                if (tally)
                    ++tally->unknownUnits;
                continue; // kept as reported, in its own unit
            }
            factor *= f;
        }
        if (factor != 1)
            d *= factor;
        slack[i] = rounding(value) * factor;
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
    // Each of ours from the first of its columns with a value; the others
    // that give one must agree with it.
    auto choose = [&](std::size_t key, Cell& into) {
        const std::vector<int>& list = plan.columns.feeders[key];
        int from = -1;
        for (int f : list) {
            const Cell& c = parsed[static_cast<std::size_t>(f)];
            if (c.kind != Cell::Number)
                continue;
            if (from < 0) {
                from = f;
                into = c;
                continue;
            }
            const double apart = std::fabs(c.number - into.number);
            if (apart > slack[static_cast<std::size_t>(f)] + slack[static_cast<std::size_t>(from)] +
                            1e-12) {
                if (tally && ++tally->disagreements <= static_cast<long>(CsvImport::kListed)) {
                    const auto& a = plan.columns.sources[static_cast<std::size_t>(from)];
                    const auto& b = plan.columns.sources[static_cast<std::size_t>(f)];
                    tally->firstDisagreements.push_back(
                        "line " + std::to_string(line) + ": " + a.header + " '" +
                        trimmed(fields[static_cast<std::size_t>(from)]) + "' and " + b.header +
                        " '" + trimmed(fields[static_cast<std::size_t>(f)]) + "'");
                }
            }
        }
    };
    for (int c = schema::kFirstAnalysisColumn; c <= schema::kLastAnalysisColumn; ++c)
        choose(static_cast<std::size_t>(c), cells[static_cast<std::size_t>(c)]);
    Cell iron[2]; // total iron as FeO, as Fe2O3
    choose(ImportColumns::kTotalIronAs + kFeO, iron[0]);
    choose(ImportColumns::kTotalIronAs + kFe2O3, iron[1]);
    Cell& feo = cells[kFeO];
    Cell& fe2o3 = cells[kFe2O3];
    const bool total = iron[0].kind == Cell::Number || iron[1].kind == Cell::Number;
    // Total iron as Fe2O3: Fe2O3 + 1.1113 FeO, 1.1113 being 2 FeO / Fe2O3
    // in molar masses.
    constexpr double k = 1.1113;
    const double asFe2O3 = iron[1].kind == Cell::Number ? iron[1].number : iron[0].number * k;
    if (feo.kind == Cell::Null && fe2o3.kind == Cell::Null && total) {
        // Total iron stays in the one oxide it was given as.
        if (iron[0].kind == Cell::Number)
            feo = iron[0];
        else
            fe2o3 = iron[1];
        if (tally)
            ++tally->totalIron;
    } else if (total && (feo.kind == Cell::Null) != (fe2o3.kind == Cell::Null)) {
        // One oxide beside total iron: the other is the rest.
        const bool hasFeO = feo.kind == Cell::Number;
        const double rest = hasFeO ? asFe2O3 - k * feo.number : (asFe2O3 - fe2o3.number) / k;
        if (rest >= -1e-9) {
            Cell& other = hasFeO ? fe2o3 : feo;
            other.kind = Cell::Number;
            other.number = std::max(0.0, rest);
            if (tally)
                ++tally->ironWorkedOut;
        } else if (tally && ++tally->disagreements <= static_cast<long>(CsvImport::kListed)) {
            tally->firstDisagreements.push_back("line " + std::to_string(line) + ": " +
                                                (hasFeO ? "FeO" : "Fe2O3") +
                                                " above the total iron");
        }
    }
    return true;
}

} // namespace rowcells
