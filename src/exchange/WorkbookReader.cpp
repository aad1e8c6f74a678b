#include "WorkbookReader.h"

#include "CsvSource.h"
#include "DateText.h"
#include "OdsReader.h"
#include "SheetCells.h"
#include "TextRules.h"
#include "ViewExport.h"
#include "WorkbookStyles.h"

#include <orcus/orcus_xlsx.hpp>
#include <orcus/sax_parser.hpp>
#include <orcus/spreadsheet/import_interface.hpp>
#include <orcus/zip_archive.hpp>
#include <orcus/zip_archive_stream.hpp>

#include <QChar>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <unordered_map>

namespace ss = orcus::spreadsheet;

namespace {

class Strings : public ss::iface::import_shared_strings {
public:
    std::vector<std::string> all;
    std::string segments;

    std::size_t append(std::string_view s) override {
        all.emplace_back(s);
        return all.size() - 1;
    }
    std::size_t add(std::string_view s) override { return append(s); }
    void set_segment_font(std::size_t) override {}
    void set_segment_bold(bool) override {}
    void set_segment_italic(bool) override {}
    void set_segment_font_name(std::string_view) override {}
    void set_segment_font_size(double) override {}
    void set_segment_font_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t,
                                ss::color_elem_t) override {}
    void append_segment(std::string_view s) override { segments.append(s); }
    std::size_t commit_segments() override {
        const std::size_t id = append(segments);
        segments.clear();
        return id;
    }
};

class Sheet;

// A formula cell: its last result is what the sheet shows.
class Formula : public ss::iface::import_formula {
public:
    explicit Formula(Sheet& sheet) : sheet_(sheet) {}
    void set_position(ss::row_t row, ss::col_t col) override { row_ = row, col_ = col; }
    void set_formula(ss::formula_grammar_t, std::string_view) override {}
    void set_shared_formula_index(std::size_t) override {}
    void set_result_string(std::string_view value) override { result_ = value; }
    void set_result_value(double value) override {
        result_ = ViewExport::numberText(value);
        number_ = true;
    }
    void set_result_bool(bool value) override { result_ = value ? "TRUE" : "FALSE"; }
    void set_result_empty() override { result_.clear(); }
    void commit() override;

private:
    Sheet& sheet_;
    ss::row_t row_ = 0;
    ss::col_t col_ = 0;
    std::string result_;
    bool number_ = false;
};

class Sheet : public ss::iface::import_sheet {
public:
    explicit Sheet(std::string name) : name(std::move(name)), formula_(*this) {}
    std::string name;
    SheetCells cells;

    // A cell's text; a number is marked as one, for its format to show it.
    void put(ss::row_t row, ss::col_t col, std::string text, bool number = false) {
        cells.put(row, col, std::move(text), number);
    }

    ss::iface::import_formula* get_formula() override { return &formula_; }
    void set_auto(ss::row_t row, ss::col_t col, std::string_view s) override {
        put(row, col, std::string(s));
    }
    // Looked up once the whole workbook is read: its strings may come later.
    void set_string(ss::row_t row, ss::col_t col, ss::string_id_t id) override {
        shared_.push_back({row, col, id});
    }
    void set_value(ss::row_t row, ss::col_t col, double value) override {
        put(row, col, ViewExport::numberText(value), true);
    }
    void set_bool(ss::row_t row, ss::col_t col, bool value) override {
        put(row, col, value ? "TRUE" : "FALSE");
    }
    void set_date_time(ss::row_t row, ss::col_t col, int year, int month, int day, int hour,
                       int minute, double second) override {
        const int s = std::min(59, static_cast<int>(std::lround(second)));
        put(row, col, datetext::dateTime(year, month, day, hour, minute, s));
    }
    void set_format(ss::row_t row, ss::col_t col, std::size_t xf) override {
        if (xf)
            formats_[key(row, col)] = xf;
        else
            formats_.erase(key(row, col));
    }
    void set_format(ss::row_t row, ss::col_t col, ss::row_t lastRow, ss::col_t lastCol,
                    std::size_t xf) override {
        ranges_.push_back({row, col, lastRow, lastCol, xf});
    }
    // The shared strings the cells name; one past the workbook's is damage.
    void takeStrings(const Strings& strings) {
        for (const auto& s : shared_) {
            if (s.id < strings.all.size())
                put(s.row, s.col, strings.all[s.id]);
            else if (SheetCells::outside(s.row, s.col).empty())
                cells.fail("cell " + SheetCells::name(s.row, s.col) + " refers to shared text " +
                           std::to_string(s.id) + ", but the workbook has " +
                           std::to_string(strings.all.size()));
        }
        shared_.clear();
    }
    // Numbers whose format shows a date or a time become that date or time.
    void showDates(const WorkbookStyles& styles, const int origin[3]) {
        cells.forEach([&](std::int64_t row, std::int64_t col, SheetCells::Cell& cell) {
            if (!cell.number)
                return;
            const auto shown =
                styles.shows(formatOf(static_cast<ss::row_t>(row), static_cast<ss::col_t>(col)));
            char* end = nullptr;
            const double serial = std::strtod(cell.text.c_str(), &end);
            std::string out;
            if (shown != datetext::Shown::Number && end && *end == 0 &&
                datetext::fromSerial(serial, origin, shown, out))
                cell.text = out;
        });
    }
    void fill_down_cells(ss::row_t row, ss::col_t col, ss::row_t count) override {
        const SheetCells::Cell* cell = cells.find(row, col);
        if (!cell)
            return;
        const SheetCells::Cell copy = *cell;
        for (ss::row_t r = 1; r <= count; ++r)
            if (!cells.put(std::int64_t(row) + r, col, copy.text, copy.number))
                break;
    }
    ss::range_size_t get_sheet_size() const override {
        return {static_cast<ss::row_t>(SheetCells::kRows),
                static_cast<ss::col_t>(SheetCells::kColumns)};
    }

private:
    static std::uint64_t key(ss::row_t row, ss::col_t col) {
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(row)) * SheetCells::kColumns +
               static_cast<std::uint32_t>(col);
    }
    std::size_t formatOf(ss::row_t row, ss::col_t col) const {
        if (const auto f = formats_.find(key(row, col)); f != formats_.end())
            return f->second;
        for (auto r = ranges_.rbegin(); r != ranges_.rend(); ++r)
            if (row >= r->row && row <= r->lastRow && col >= r->col && col <= r->lastCol)
                return r->xf;
        return 0;
    }
    struct Range {
        ss::row_t row;
        ss::col_t col;
        ss::row_t lastRow;
        ss::col_t lastCol;
        std::size_t xf;
    };
    struct Shared {
        ss::row_t row;
        ss::col_t col;
        std::size_t id;
    };
    Formula formula_;
    std::vector<Shared> shared_;
    std::unordered_map<std::uint64_t, std::size_t> formats_; // cell -> its xf
    std::vector<Range> ranges_;
};

void Formula::commit() {
    sheet_.put(row_, col_, result_, number_);
    result_.clear();
    number_ = false;
}

// A cell address as a workbook writes it ("C2", "$C$2", "Data!C2"): its
// row and column, or why it is none or lies outside the sheet's limits.
// Counted in 64 bits and stopped early, so that no row number overflows.
std::string address(std::string_view text, std::int64_t& row, std::int64_t& col) {
    std::size_t i = text.rfind('!');
    i = i == std::string_view::npos ? 0 : i + 1;
    std::string written;
    row = col = 0;
    bool digits = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (c == '$')
            continue;
        if (letter && !digits) {
            col = std::min<std::int64_t>(col * 26 + ((c & ~0x20) - 'A' + 1), 1 << 30);
        } else if (c >= '0' && c <= '9' && col > 0) {
            row = std::min<std::int64_t>(row * 10 + (c - '0'), std::int64_t(1) << 40);
            digits = true;
        } else {
            return "'" + std::string(text) + "' is not a cell address";
        }
        written += letter ? static_cast<char>(c & ~0x20) : c;
    }
    if (!digits || row == 0)
        return "'" + std::string(text) + "' is not a cell address";
    --row, --col;
    if (col >= SheetCells::kColumns)
        return "cell " + written + " is beyond the last column (XFD)";
    if (row >= SheetCells::kRows)
        return "cell " + written + " is beyond the last row (" + std::to_string(SheetCells::kRows) +
               ")";
    return {};
}

// Cell addresses as a workbook writes them: "C2", "$C$2", "A1:D9".
class References : public ss::iface::import_reference_resolver {
public:
    ss::src_address_t resolve_address(std::string_view text) override {
        std::int64_t row = 0, col = 0;
        if (const std::string why = address(text, row, col); !why.empty())
            throw std::invalid_argument(why);
        return {0, static_cast<ss::row_t>(row), static_cast<ss::col_t>(col)};
    }
    ss::src_range_t resolve_range(std::string_view text) override {
        const std::size_t colon = text.find(':');
        if (colon == std::string_view::npos) {
            const auto a = resolve_address(text);
            return {a, a};
        }
        return {resolve_address(text.substr(0, colon)), resolve_address(text.substr(colon + 1))};
    }
};

class Settings : public ss::iface::import_global_settings {
public:
    int origin[3] = {1899, 12, 30};
    void set_origin_date(int year, int month, int day) override {
        origin[0] = year, origin[1] = month, origin[2] = day;
    }
    void set_default_formula_grammar(ss::formula_grammar_t g) override { grammar_ = g; }
    ss::formula_grammar_t get_default_formula_grammar() const override { return grammar_; }
    void set_character_set(orcus::character_set_t) override {}

private:
    ss::formula_grammar_t grammar_ = ss::formula_grammar_t::unknown;
};

class Factory : public ss::iface::import_factory {
public:
    References references;
    Settings settings;
    WorkbookStyles styles;
    ss::iface::import_styles* get_styles() override { return &styles; }
    ss::iface::import_global_settings* get_global_settings() override { return &settings; }
    ss::iface::import_reference_resolver*
    get_reference_resolver(ss::formula_ref_context_t) override {
        return &references;
    }
    std::vector<std::unique_ptr<Sheet>> sheets;
    std::map<std::string, std::size_t> xmlBytes; // sheet -> its XML and the shared strings'
    Strings strings;

    ss::iface::import_shared_strings* get_shared_strings() override { return &strings; }
    ss::iface::import_sheet* append_sheet(ss::sheet_t, std::string_view name) override {
        sheets.push_back(std::make_unique<Sheet>(std::string(name)));
        const auto bytes = xmlBytes.find(std::string(name));
        sheets.back()->cells.boundText(bytes != xmlBytes.end() ? bytes->second : 0);
        return sheets.back().get();
    }
    ss::iface::import_sheet* get_sheet(std::string_view name) override {
        for (auto& s : sheets)
            if (s->name == name)
                return s.get();
        return nullptr;
    }
    ss::iface::import_sheet* get_sheet(ss::sheet_t index) override {
        return index >= 0 && static_cast<std::size_t>(index) < sheets.size()
                   ? sheets[static_cast<std::size_t>(index)].get()
                   : nullptr;
    }
    void finalize() override {}
};

// XML text with its five entities and numeric references resolved.
std::string unescaped(std::string_view x) {
    std::string out;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (x[i] != '&') {
            out += x[i];
            continue;
        }
        const std::size_t semi = x.find(';', i);
        if (semi == std::string_view::npos) {
            out += x[i];
            continue;
        }
        const std::string_view name = x.substr(i + 1, semi - i - 1);
        if (name == "amp")
            out += '&';
        else if (name == "lt")
            out += '<';
        else if (name == "gt")
            out += '>';
        else if (name == "quot")
            out += '"';
        else if (name == "apos")
            out += '\'';
        else if (!name.empty() && name[0] == '#') {
            const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
            const unsigned long cp =
                std::strtoul(std::string(name.substr(hex ? 2 : 1)).c_str(), nullptr, hex ? 16 : 10);
            const char32_t c = static_cast<char32_t>(cp);
            out += QString::fromUcs4(&c, 1).toStdString();
        } else {
            out.append(x.substr(i, semi - i + 1));
        }
        i = semi;
    }
    return out;
}

// The elements of an XML part with their attributes, as the parser gives
// them (the attributes come before their element).
template <class Element> class Elements : public orcus::sax_handler {
public:
    explicit Elements(Element element) : element_(std::move(element)) {}
    void attribute(const orcus::sax::parser_attribute& a) {
        attributes_[std::string(a.name)] = std::string(a.value);
    }
    void start_element(const orcus::sax::parser_element& e) {
        element_(e.name, attributes_);
        attributes_.clear();
    }
    void start_declaration(std::string_view) { attributes_.clear(); }
    void end_declaration(std::string_view) { attributes_.clear(); }

private:
    Element element_;
    std::map<std::string, std::string> attributes_;
};

template <class Element> void parseXml(const std::vector<unsigned char>& bytes, Element element) {
    Elements<Element> handler(std::move(element));
    orcus::sax_parser<Elements<Element>> parser(reinterpret_cast<const char*>(bytes.data()),
                                                bytes.size(), handler);
    parser.parse();
}

// What xl/workbook.xml says: each sheet's part (its r:id resolved through
// xl/_rels/workbook.xml.rels; the part numbers need not follow the sheets'
// order), and whether its serials count from 1904-01-01.
struct WorkbookParts {
    std::map<std::string, std::string> sheets; // name -> part in the archive
    std::string strings;                       // the shared strings' part
    bool date1904 = false;
};

WorkbookParts workbookParts(const orcus::zip_archive& zip) {
    WorkbookParts out;
    std::vector<unsigned char> workbook, rels;
    if (!zip.read_file_entry("xl/workbook.xml", workbook))
        throw std::runtime_error("it has no xl/workbook.xml.");
    std::map<std::string, std::string> targets; // relationship -> part
    if (zip.read_file_entry("xl/_rels/workbook.xml.rels", rels))
        parseXml(rels, [&](std::string_view name, const std::map<std::string, std::string>& a) {
            const auto id = a.find("Id"), target = a.find("Target");
            if (name != "Relationship" || id == a.end() || target == a.end())
                return;
            std::string part = target->second;
            if (!part.empty() && part[0] == '/')
                part.erase(0, 1); // from the archive's root
            else
                part = "xl/" + part; // beside the workbook part
            targets[id->second] = part;
            const auto type = a.find("Type");
            if (type != a.end() && type->second.ends_with("/sharedStrings"))
                out.strings = part;
        });
    parseXml(workbook, [&](std::string_view name, const std::map<std::string, std::string>& a) {
        if (name == "workbookPr") {
            const auto d = a.find("date1904");
            out.date1904 = d != a.end() && (d->second == "1" || d->second == "true");
        } else if (name == "sheet") {
            const auto sheet = a.find("name"), id = a.find("id");
            if (sheet == a.end() || id == a.end())
                return;
            const auto target = targets.find(id->second);
            if (target != targets.end())
                out.sheets[sheet->second] = target->second;
        }
    });
    return out;
}

// What the reader above leaves out or reads loosely, taken from the sheet's
// XML itself before the reader sees it: text written inline (<c r="A1"
// t="inlineStr"><is><t>text</t></is></c>), as writers that stream rows out
// write it; and numbers, whose text is kept as written
// (<c r="B2"><v>0.30000000000000004</v></c>), so that it is read back
// exactly rather than through the reader's own number parsing, which can
// be off in the last digit. Every row and cell address is checked on the way: one that is no
// address or lies outside the sheet's limits refuses the workbook.
struct Written {
    std::int64_t row, col;
    std::string text;
    bool number;
};
struct WrittenSheet {
    std::vector<Written> cells;
    std::size_t xmlBytes = 0; // of its part
};
using WrittenCells = std::map<std::string, WrittenSheet>; // sheet -> its cells

std::string_view attributeOf(std::string_view tag, std::string_view name) {
    const std::string key = " " + std::string(name) + "=\"";
    const std::size_t at = tag.find(key);
    if (at == std::string_view::npos)
        return {};
    const std::size_t start = at + key.size(), end = tag.find('"', start);
    return tag.substr(start, end == std::string_view::npos ? end : end - start);
}

std::vector<Written> cellsAsWritten(std::string_view xml, const std::string& sheet) {
    std::vector<Written> out;
    auto refuse = [&](const std::string& why) {
        throw std::runtime_error(why + ", in sheet '" + sheet + "'.");
    };
    for (std::size_t open = xml.find('<'); open != std::string_view::npos;
         open = xml.find('<', open + 1)) {
        const bool row = xml.compare(open, 5, "<row ") == 0;
        if (!row && xml.compare(open, 3, "<c ") != 0)
            continue;
        const std::size_t tagEnd = xml.find('>', open);
        if (tagEnd == std::string_view::npos)
            break;
        const std::string_view tag = xml.substr(open, tagEnd - open);
        const std::string_view ref = attributeOf(tag, "r");
        if (row) {
            std::int64_t r = 0, c = 0;
            if (!ref.empty())
                if (const std::string why = address("A" + std::string(ref), r, c); !why.empty())
                    refuse(
                        "row " + std::string(ref) +
                        (why.find("beyond") != std::string::npos
                             ? " is beyond the last row (" + std::to_string(SheetCells::kRows) + ")"
                             : " is no row number"));
            continue;
        }
        std::int64_t r = 0, c = 0;
        if (ref.empty())
            continue; // placed by the reader, which the sheet's limits hold to
        if (const std::string why = address(ref, r, c); !why.empty())
            refuse(why);
        const std::size_t close = xml.find("</c>", tagEnd);
        if (xml[tagEnd - 1] == '/' || close == std::string_view::npos)
            continue; // an empty cell
        const std::string_view kind = attributeOf(tag, "t");
        const std::string_view body = xml.substr(tagEnd + 1, close - tagEnd - 1);
        if (kind.empty() || kind == "n") {
            const std::size_t v = body.find("<v>");
            const std::size_t vEnd = body.find("</v>");
            if (v != std::string_view::npos && vEnd != std::string_view::npos &&
                body.find("<f") == std::string_view::npos)
                out.push_back({r, c, std::string(body.substr(v + 3, vEnd - v - 3)), true});
        } else if (kind == "inlineStr") {
            std::string text;
            for (std::size_t t = body.find("<t"); t != std::string_view::npos;
                 t = body.find("<t", t + 1)) {
                if (t + 2 >= body.size() || (body[t + 2] != '>' && body[t + 2] != ' '))
                    continue; // another element starting with t
                const std::size_t start = body.find('>', t) + 1;
                const std::size_t end = body.find("</t>", start);
                if (end == std::string_view::npos)
                    break;
                text += unescaped(body.substr(start, end - start));
            }
            out.push_back({r, c, std::move(text), false});
        }
    }
    return out;
}

WrittenCells cellsAsWritten(const orcus::zip_archive& zip,
                            const std::map<std::string, std::string>& parts) {
    WrittenCells out;
    for (const auto& [sheet, part] : parts) {
        std::vector<unsigned char> bytes;
        if (!zip.read_file_entry(part, bytes))
            continue;
        out[sheet].cells = cellsAsWritten(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), sheet);
        out[sheet].xmlBytes = bytes.size();
    }
    return out;
}

std::vector<WorkbookReader::Sheet> readXlsx(const std::string& path) {
    // The archive first: its parts checked before the reader sees them.
    orcus::zip_archive_stream_fd stream(path.c_str());
    orcus::zip_archive zip(&stream);
    zip.load();
    const WorkbookParts parts = workbookParts(zip);
    WrittenCells written = cellsAsWritten(zip, parts.sheets);
    std::vector<unsigned char> strings;
    if (!parts.strings.empty())
        zip.read_file_entry(parts.strings, strings);

    Factory factory;
    for (const auto& [name, sheet] : written)
        factory.xmlBytes[name] = sheet.xmlBytes + strings.size();
    orcus::orcus_xlsx filter(&factory);
    filter.read_file(path);
    if (parts.date1904)
        factory.settings.set_origin_date(1904, 1, 1);
    std::vector<WorkbookReader::Sheet> out;
    for (auto& s : factory.sheets) {
        WrittenSheet& sheet = written[s->name];
        s->takeStrings(factory.strings);
        for (Written& w : sheet.cells)
            s->cells.put(w.row, w.col, std::move(w.text), w.number);
        if (!s->cells.fault().empty())
            throw std::runtime_error(s->cells.fault() + ", in sheet '" + s->name + "'.");
        // Only here: the ods reader gives its dates as dates already.
        s->showDates(factory.styles, factory.settings.origin);
        out.emplace_back();
        out.back().name = s->name;
        std::copy(std::begin(factory.settings.origin), std::end(factory.settings.origin),
                  out.back().origin);
        std::string why;
        if (!s->cells.toRows(s->name, out.back().rows, why))
            throw std::runtime_error(why);
    }
    return out;
}

} // namespace

bool WorkbookReader::isWorkbook(const std::string& path) {
    return textrules::endsWithNoCase(path, ".xlsx") || textrules::endsWithNoCase(path, ".ods");
}

std::vector<WorkbookReader::Sheet> WorkbookReader::read(const std::string& path) {
    const std::string cannot = "Cannot read the workbook '" + path + "': ";
    try {
        return textrules::endsWithNoCase(path, ".ods") ? OdsReader::read(path) : readXlsx(path);
    } catch (const std::bad_alloc&) {
        throw CsvError(CsvError::Code::OutOfMemory,
                       cannot + "there is not enough memory to hold its sheets.");
    } catch (const std::exception& e) {
        // The reader does not always say why (a file cut short, one that is
        // no zip at all).
        std::string why = e.what();
        why.erase(0, why.find_first_not_of(" \t\n"));
        if (why.empty())
            why = "the file is damaged or not a workbook.";
        throw CsvError(CsvError::Code::Unreadable, cannot + why);
    } catch (...) {
        throw CsvError(CsvError::Code::Unreadable,
                       cannot + "the file is damaged or not a workbook.");
    }
}
