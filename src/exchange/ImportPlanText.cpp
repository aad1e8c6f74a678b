// The plan of an import in words, for the user to decide on.
#include "CsvImport.h"

#include "schema/Schema.h"

namespace {

std::string listed(const std::vector<long>& perColumn) {
    std::string out;
    for (int c = 0; c < schema::kColumnCount; ++c)
        if (perColumn[static_cast<std::size_t>(c)])
            out += std::string(out.empty() ? "" : ", ") +
                   schema::kColumns[static_cast<std::size_t>(c)] + " " +
                   std::to_string(perColumn[static_cast<std::size_t>(c)]);
    return out;
}

// "1 cell", "2 cells".
std::string counted(long n, const std::string& one, const std::string& many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string delimiterName(char d) {
    return d == ';' ? "semicolon" : d == '\t' ? "tab" : "comma";
}

} // namespace

std::string ImportPlan::describe() const {
    return describeFile() + describeColumns() + describeRows();
}

std::string ImportPlan::describeFile() const {
    std::string out = "The file: " + source.encoding();
    if (latin1) {
        out += ", but " + counted(source.windowsLineCount(), "line", "lines") +
               " read as Windows-1252 (line";
        for (long l : source.windowsLines())
            out += " " + std::to_string(l);
        out += source.windowsLineCount() > static_cast<long>(source.windowsLines().size()) ? " ...)"
                                                                                           : ")";
    }
    if (source.isSheet())
        out = "The file: a workbook, its sheet '" + sheet +
              "'; decimal mark: " + numberstyle::name(mark);
    else
        out += "; " + delimiterName(delimiter) +
               "-separated; decimal mark: " + numberstyle::name(mark);
    const bool isPoint = mark == numberstyle::Mark::Point;
    const long shown = isPoint ? evidence.point : evidence.comma;
    const long against = isPoint ? evidence.comma : evidence.point;
    if (shown)
        out += " (" + counted(shown, "cell", "cells") + " such as '" +
               (isPoint ? evidence.firstPoint : evidence.firstComma) + "')";
    if (against)
        out += "; " + counted(against, "cell", "cells") +
               " written with the other mark (such as '" +
               (isPoint ? evidence.firstComma : evidence.firstPoint) + "') " +
               (against == 1 ? "is" : "are") + " bad";
    if (numberstyle::undecided(evidence))
        out += ", as " + delimiterName(delimiter) +
               "-separated files have it: no cell shows the mark, and " +
               std::to_string(evidence.ambiguous) + " cells such as '" + evidence.firstAmbiguous +
               "' read as " + (isPoint ? "a decimal" : "thousands") + " with it";
    out += ".\n";
    if (headerRecord == 0)
        out += "Header on line " + std::to_string(headerLine) + ".\n";
    if (headerRecord > 0) {
        out += "Header on line " + std::to_string(headerLine) + "; the " +
               std::to_string(headerRecord) + " lines above it are skipped:";
        for (const std::string& a : above)
            out += " '" + a + "'";
        out += headerRecord > static_cast<long>(above.size()) ? " ...\n" : "\n";
    }
    if (unitsLine)
        out += "Units from line " + std::to_string(unitsLine) + ".\n";
    if (!layout.empty()) {
        out += "Written in " + layout + ": " + std::to_string(pivotedRows) +
               " rows read as one row per sample, the lines below being the samples'";
        if (pivotClashes)
            out += "; " + std::to_string(pivotClashes) +
                   " values given twice, differently (the first kept)";
        out += ".\n";
    }
    return out;
}

std::string ImportColumns::keptText(std::size_t fileColumn) const {
    const Source& s = sources[fileColumn];
    const ImportColumns& columns = *this;
    using Keep = ImportColumns::Source::Keep;
    switch (s.keep) {
    case Keep::No:
        return {};
    case Keep::Citation:
        return "the sample's references";
    case Keep::ReferencePart:
        return "part of the sample's reference";
    case Keep::Method:
        return "the method of the row's values";
    case Keep::Unit:
        return "the unit of another column's values, row by row";
    case Keep::Value:
        break;
    }
    if (!s.kept())
        return {};
    const AnalyteName& r = s.reported;
    std::string out = "kept as " + std::string(r.analyte ? "" : "the fact ") + r.name;
    if (r.bound != AnalyteName::Bound::None)
        out += r.bound == AnalyteName::Bound::Min ? " (lower bound)" : " (upper bound)";
    if (s.unitColumn >= 0)
        out += ", in the unit its row names";
    else if (!r.unit.empty())
        out += ", " + r.unit;
    if (s.methodColumn >= 0 || (columns.methodColumn >= 0 && r.method.empty()))
        out += ", by the method its row names";
    else if (!r.method.empty())
        out += ", " + r.method;
    return out;
}

std::string ImportPlan::describeColumns() const {
    std::string out = "Columns of the file:\n";
    for (std::size_t i = 0; i < columns.sources.size(); ++i) {
        const auto& s = columns.sources[i];
        const int c = s.target >= 0 ? s.target : s.totalIron;
        out += "  " + s.header + " -> ";
        std::string into;
        if (c >= 0 && s.target < 0)
            into = std::string("total iron, into ") +
                   schema::kColumns[static_cast<std::size_t>(c)] +
                   " when a row gives neither FeO nor Fe2O3 (the other is worked out where one "
                   "is given)";
        else if (c >= 0)
            into = schema::kColumns[static_cast<std::size_t>(c)];
        if (c >= 0) {
            const auto& list = columns.feeders[static_cast<std::size_t>(
                s.target >= 0 ? s.target : ImportColumns::kTotalIronAs + s.totalIron)];
            if (list.size() > 1 && list[0] != static_cast<int>(i))
                into += " where " + columns.sources[static_cast<std::size_t>(list[0])].header +
                        " gives none";
        }
        if (c >= 0 && !s.conversion.empty())
            into += " (" + s.conversion + ")";
        const std::string kept = columns.keptText(i);
        if (into.empty() && kept.empty())
            out += s.why == "left out by choice"
                       ? s.why
                       : "left out" + (s.why.empty() ? std::string() : " (" + s.why + ")");
        else if (into.empty())
            out += kept + (s.why.empty() ? std::string() : " (" + s.why + ")");
        else
            out += into + (kept.empty() ? std::string() : "; " + kept);
        out += "\n";
    }
    for (const std::string& choice : columns.choices)
        out += "Chosen: " + choice + ".\n";
    return out;
}

std::string ImportPlan::describeRows() const {
    std::string out = std::to_string(rows) + " rows, " + std::to_string(bad) + " of them bad.\n";
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
    if (blank)
        out += "Rows without any value, skipped: " + std::to_string(blank) + ".\n";
    if (const std::string n = listed(nulls); !n.empty())
        out += "Not measured or below detection, stored empty: " + n + ".\n";
    if (const std::string n = listed(negatives); !n.empty())
        out += "Negative values (below detection), stored empty: " + n + ".\n";
    if (totalIron)
        out += "Total iron only: " + std::to_string(totalIron) +
               " rows keep it in the oxide it was given as, the other left empty.\n";
    if (datesConverted)
        out += "Dates written as YYYY-MM-DD: " + std::to_string(datesConverted) + ".\n";
    if (datesKept) {
        out += "Dates kept as they stand (not clearly day or month first): " +
               std::to_string(datesKept) + ", such as";
        for (const std::string& d : keptDates)
            out += " '" + d + "'";
        out += ".\n";
    }
    if (ironWorkedOut)
        out += "FeO or Fe2O3 worked out from the total iron beside the other (Fe2O3T = Fe2O3 + "
               "1.1113 FeO): " +
               std::to_string(ironWorkedOut) + " rows.\n";
    if (disagreements) {
        out += "Values for one column that disagree beyond their rounding (the first is "
               "stored): " +
               std::to_string(disagreements) + " rows:";
        for (const std::string& d : firstDisagreements)
            out += "\n  " + d;
        out += disagreements > static_cast<long>(firstDisagreements.size()) ? "\n  ...\n" : "\n";
    }
    if (unknownUnits)
        out += "Values in a unit the program does not know, kept as reported but not in the "
               "table's columns: " +
               std::to_string(unknownUnits) + ".\n";
    out += "Values kept as reported, beside the table: " + std::to_string(valuesKept) + ".\n";
    if (duplicates > 0) {
        out += "Samples the table holds already (the same identifier, or the same name and "
               "values): " +
               std::to_string(duplicates) + ", such as";
        for (const std::string& n : firstDuplicates)
            out += " '" + n + "'";
        out += ".\n";
    }
    if (endLine)
        out += "The data end at line " + std::to_string(endLine) + ", where notes begin" +
               (references.empty() ? std::string()
                                   : " (" + std::to_string(references.size()) + " references)") +
               ".\n";
    return out;
}

std::string CsvImport::summary(const ImportPlan& plan, long rows, long long values, long met,
                               Duplicates duplicates) {
    std::vector<std::string> left;
    for (const std::string& header : plan.columns.skipped)
        left.push_back(header);
    std::string text = std::to_string(rows) + " rows imported, " + std::to_string(values) +
                       " values kept, " + std::to_string(left.size()) +
                       (left.size() == 1 ? " column left out" : " columns left out");
    if (!left.empty()) {
        text += " (";
        for (std::size_t i = 0; i < left.size(); ++i)
            text += (i ? ", " : "") + left[i];
        text += ")";
    }
    if (met)
        text +=
            std::string("; ") + std::to_string(met) +
            (met == 1 ? " sample the table held already, " : " samples the table held already, ") +
            (duplicates == Duplicates::Skip      ? "left out"
             : duplicates == Duplicates::Replace ? "replaced"
                                                 : "imported again beside the other");
    return text + ".";
}
