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
    return out;
}

std::string ImportPlan::describeColumns() const {
    std::string out = "Columns of the file:\n";
    for (const auto& s : columns.sources) {
        const int c = s.target >= 0 ? s.target : s.totalIron;
        out += "  " + s.header + " -> ";
        if (c < 0)
            out += "skipped" + (s.why.empty() ? std::string() : " (" + s.why + ")");
        else if (s.target < 0)
            out += std::string("total iron, into ") +
                   schema::kColumns[static_cast<std::size_t>(c)] +
                   " when a row gives neither FeO nor Fe2O3";
        else
            out += schema::kColumns[static_cast<std::size_t>(c)];
        if (c >= 0 && !s.conversion.empty())
            out += " (" + s.conversion + ")";
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
    if (endLine)
        out += "The data end at line " + std::to_string(endLine) + ", where notes begin.\n";
    return out;
}

std::string CsvImport::summary(const ImportPlan& plan, long rows, long long values) {
    std::vector<std::string> left;
    for (const auto& source : plan.columns.sources)
        if (source.target < 0 && source.totalIron < 0)
            left.push_back(source.header);
    std::string text = std::to_string(rows) + " rows imported, " + std::to_string(values) +
                       " values kept, " + std::to_string(left.size()) + " columns left out";
    if (!left.empty()) {
        text += " (";
        for (std::size_t i = 0; i < left.size(); ++i)
            text += (i ? ", " : "") + left[i];
        text += ")";
    }
    return text + ".";
}
