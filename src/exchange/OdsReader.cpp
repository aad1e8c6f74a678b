// Reads an .ods's content.xml as one pass of SAX events: the place of each
// cell counted in 64 bits (repeats included), so a place past the limits is
// seen and named rather than wrapped; what a repeat copies is counted before
// it is made.
#include "OdsReader.h"

#include "CsvSource.h"
#include "DateText.h"
#include "SheetCells.h"
#include "ViewExport.h"

#include <orcus/sax_ns_parser.hpp>
#include <orcus/xml_namespace.hpp>
#include <orcus/zip_archive.hpp>
#include <orcus/zip_archive_stream.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>

namespace {

constexpr std::string_view kTable = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
constexpr std::string_view kText = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
constexpr std::string_view kOffice = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";

// Copies made by repetition, in the whole workbook: beyond this many cells
// a repeat is no table a geologist wrote but a file built to fill memory.
constexpr std::int64_t kMaxCopies = std::int64_t(1) << 20;

// A repeat count: a positive whole number, held below 2^40 so that the
// places it moves on cannot overflow.
std::int64_t repeats(const std::string& text) {
    if (text.empty())
        return 1;
    char* end = nullptr;
    const unsigned long long n = std::strtoull(text.c_str(), &end, 10);
    if (*end || text[0] == '-' || n == 0)
        throw std::runtime_error("'" + text + "' is no count of repeated rows or cells.");
    return static_cast<std::int64_t>(std::min<unsigned long long>(n, 1ULL << 40));
}

// "2019-05-06T14:30:00.5" -> 2019-05-06 14:30; the time left out at midnight.
std::string dateValue(const std::string& v) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    double s = 0;
    if (std::sscanf(v.c_str(), "%d-%d-%dT%d:%d:%lf", &y, &mo, &d, &h, &mi, &s) < 3)
        return v;
    return datetext::dateTime(y, mo, d, h, mi, std::min(59, static_cast<int>(s + 0.5)));
}

// "PT14H30M00S" -> 14:30, as a time alone is written.
std::string timeValue(const std::string& v) {
    int h = 0, mi = 0;
    double s = 0;
    if (std::sscanf(v.c_str(), "PT%dH%dM%lfS", &h, &mi, &s) < 2)
        return v;
    const std::string t = datetext::dateTime(2000, 1, 1, h % 24, mi, static_cast<int>(s + 0.5));
    return t.size() > 11 ? t.substr(11) : "00:00";
}

class Content : public orcus::sax_ns_handler {
public:
    explicit Content(std::size_t xmlBytes)
        : xmlBytes_(xmlBytes), textBound_(SheetCells::textBoundFor(xmlBytes)) {}
    std::vector<WorkbookReader::Sheet> sheets;
    std::vector<SheetCells> cells;
    int origin[3] = {1899, 12, 30};

    void attribute(std::string_view, std::string_view) {}
    void attribute(const orcus::sax_ns_parser_attribute& a) {
        attributes_[std::string(a.name)] = std::string(a.value);
    }
    void start_element(const orcus::sax_ns_parser_element& e) {
        const std::string_view ns = e.ns ? std::string_view(e.ns) : std::string_view();
        if (ns == kTable)
            startTable(e.name);
        else if (ns == kOffice && e.name == "annotation")
            ++aside_; // a comment on the cell, not its value
        else if (ns == kText && cell_ && !aside_) {
            if (e.name == "p" && paragraphs_++)
                text_ += '\n';
            else if (e.name == "s")
                spaces(repeats(attributes_["c"]));
            else if (e.name == "tab")
                text_ += '\t';
            else if (e.name == "line-break")
                text_ += '\n';
        }
        attributes_.clear();
    }
    void end_element(const orcus::sax_ns_parser_element& e) {
        const std::string_view ns = e.ns ? std::string_view(e.ns) : std::string_view();
        if (ns == kOffice && e.name == "annotation")
            --aside_;
        else if (ns == kTable && (e.name == "table-cell" || e.name == "covered-table-cell"))
            endCell();
        else if (ns == kTable && e.name == "table-row")
            endRow();
        else if (ns == kTable && e.name == "table")
            inTable_ = false;
    }
    void characters(std::string_view s, bool) {
        if (cell_ && paragraphs_ && !aside_)
            text_.append(s);
    }
    // <text:s text:c="n"/>: n spaces, which a few bytes can ask billions
    // of. A cell holds no more than a line of a text file may.
    void spaces(std::int64_t n) {
        const std::size_t most = std::min(textBound_, CsvSource::kMaxLine);
        if (static_cast<std::uint64_t>(n) > most - std::min(most, text_.size()))
            refuse("cell " + SheetCells::name(row_, col_) + " spaces its text out past " +
                   std::to_string(most >> 20) + " MiB");
        text_.append(static_cast<std::size_t>(n), ' ');
    }

private:
    std::string attr(const char* name) const {
        const auto a = attributes_.find(name);
        return a == attributes_.end() ? std::string() : a->second;
    }
    void startTable(std::string_view name) {
        if (name == "table" && !inTable_) {
            inTable_ = true;
            sheets.emplace_back();
            sheets.back().name = attr("name");
            cells.emplace_back();
            cells.back().boundText(xmlBytes_);
            row_ = 0;
        } else if (name == "null-date") {
            std::sscanf(attr("date-value").c_str(), "%d-%d-%d", &origin[0], &origin[1], &origin[2]);
        } else if (!inTable_) {
            return;
        } else if (name == "table-row") {
            rowRepeats_ = repeats(attr("number-rows-repeated"));
            col_ = 0;
            rowText_ = 0;
            row_cells_.clear();
        } else if (name == "table-cell" || name == "covered-table-cell") {
            cell_ = true;
            cellRepeats_ = repeats(attr("number-columns-repeated"));
            text_.clear();
            paragraphs_ = 0;
            type_ = attr("value-type");
            number_ = type_ == "float" || type_ == "percentage" || type_ == "currency";
            if (number_)
                value_ = attr("value");
            else if (type_ == "date")
                value_ = dateValue(attr("date-value"));
            else if (type_ == "time")
                value_ = timeValue(attr("time-value"));
            else if (type_ == "boolean")
                value_ = attr("boolean-value") == "true" ? "TRUE" : "FALSE";
            else
                value_ = attr("string-value");
        }
    }
    void endCell() {
        if (!cell_)
            return;
        cell_ = false;
        std::string text = type_ == "string" && value_.empty() ? text_ : value_;
        if (number_ && !text.empty())
            text = ViewExport::numberText(std::strtod(text.c_str(), nullptr));
        if (!type_.empty() && !text.empty()) {
            if (col_ + cellRepeats_ > SheetCells::kColumns)
                refuse(SheetCells::outside(row_, std::max(col_, SheetCells::kColumns)));
            copies(cellRepeats_ - 1);
            rowText_ += text.size() * static_cast<std::size_t>(cellRepeats_);
            if (rowText_ > textBound_)
                refuse("row " + std::to_string(row_ + 1) + " repeats its text past " +
                       std::to_string(textBound_ >> 20) + " MiB");
            for (std::int64_t c = 0; c < cellRepeats_; ++c)
                row_cells_.push_back({col_ + c, text});
        }
        col_ += cellRepeats_;
    }
    void endRow() {
        if (!row_cells_.empty()) {
            if (row_ + rowRepeats_ > SheetCells::kRows)
                refuse(SheetCells::outside(std::max(row_, SheetCells::kRows),
                                           row_cells_.front().first));
            copies((rowRepeats_ - 1) * static_cast<std::int64_t>(row_cells_.size()));
            if (rowText_ > textBound_ / static_cast<std::size_t>(rowRepeats_))
                refuse("row " + std::to_string(row_ + 1) + " repeats its text past " +
                       std::to_string(textBound_ >> 20) + " MiB");
            for (std::int64_t r = 0; r < rowRepeats_; ++r)
                for (const auto& [col, text] : row_cells_)
                    if (!cells.back().put(row_ + r, col, text))
                        refuse(cells.back().fault());
        }
        row_ += rowRepeats_;
    }
    void copies(std::int64_t n) {
        copies_ += n;
        if (copies_ > kMaxCopies)
            throw std::runtime_error("sheet '" + sheets.back().name + "' repeats its row " +
                                     std::to_string(row_ + 1) + " into more than " +
                                     std::to_string(kMaxCopies) + " cells.");
    }
    [[noreturn]] void refuse(const std::string& why) {
        throw std::runtime_error(why + ", in sheet '" + sheets.back().name + "'.");
    }

    std::size_t xmlBytes_, textBound_, rowText_ = 0; // rowText_: the row's, with its repeats
    std::map<std::string, std::string> attributes_;
    bool inTable_ = false, cell_ = false, number_ = false;
    int aside_ = 0, paragraphs_ = 0;
    std::int64_t row_ = 0, col_ = 0, rowRepeats_ = 1, cellRepeats_ = 1, copies_ = 0;
    std::string type_, value_, text_;
    std::vector<std::pair<std::int64_t, std::string>> row_cells_;
};

} // namespace

std::vector<WorkbookReader::Sheet> OdsReader::read(const std::string& path) {
    orcus::zip_archive_stream_fd stream(path.c_str());
    orcus::zip_archive zip(&stream);
    zip.load();
    std::vector<unsigned char> bytes;
    if (!zip.read_file_entry("content.xml", bytes))
        throw std::runtime_error("it has no content.xml.");
    Content content(bytes.size());
    orcus::xmlns_repository names;
    orcus::xmlns_context context = names.create_context();
    orcus::sax_ns_parser<Content> parser(reinterpret_cast<const char*>(bytes.data()), bytes.size(),
                                         context, content);
    parser.parse();
    for (std::size_t i = 0; i < content.sheets.size(); ++i) {
        auto& sheet = content.sheets[i];
        std::copy(std::begin(content.origin), std::end(content.origin), sheet.origin);
        std::string why;
        if (!content.cells[i].toRows(sheet.name, sheet.rows, why))
            throw std::runtime_error(why);
    }
    return std::move(content.sheets);
}
