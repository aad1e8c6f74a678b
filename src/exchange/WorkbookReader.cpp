#include "WorkbookReader.h"

#include "CsvSource.h"
#include "DateText.h"
#include "TextRules.h"
#include "ViewExport.h"

#include <orcus/orcus_ods.hpp>
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
#include <unordered_set>

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

// Of the workbook's styles, what a cell's number format shows: a date, a
// time, both, or a number. The rest of a style is not needed here. A
// workbook names a number format either by its number (xlsx: numFmtId, the
// built-in ones written nowhere) or by what committing it returned (ods).
class Styles : public ss::iface::import_styles {
public:
    datetext::Shown shows(std::size_t xf) const {
        if (xf >= cellXfs_.size())
            return datetext::Shown::Number;
        const std::size_t format = cellXfs_[xf];
        const auto code = codes_.find(format);
        return code != codes_.end() ? datetext::formatShows(code->second)
                                    : datetext::builtinFormatShows(format);
    }

    void set_number_format_identifier(std::size_t id) override { id_ = id; }
    void set_number_format_code(std::string_view s) override { code_ = s; }
    std::size_t commit_number_format() override {
        // Past any number a workbook gives its own formats (from 164 on).
        const std::size_t key = id_ ? *id_ : (std::size_t(1) << 30) + codes_.size();
        codes_[key] = code_;
        id_.reset();
        code_.clear();
        return key;
    }
    void set_xf_number_format(std::size_t index) override { format_ = index; }
    std::size_t commit_cell_xf() override { return commit(cellXfs_); }
    std::size_t commit_cell_style_xf() override { return commit(styleXfs_); }
    std::size_t commit_dxf() override { return commit(dxfs_); }

    void set_font_count(std::size_t) override {}
    void set_font_bold(bool) override {}
    void set_font_italic(bool) override {}
    void set_font_name(std::string_view) override {}
    void set_font_size(double) override {}
    void set_font_underline(ss::underline_t) override {}
    void set_font_underline_width(ss::underline_width_t) override {}
    void set_font_underline_mode(ss::underline_mode_t) override {}
    void set_font_underline_type(ss::underline_type_t) override {}
    void set_font_underline_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t,
                                  ss::color_elem_t) override {}
    void set_font_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t,
                        ss::color_elem_t) override {}
    void set_strikethrough_style(ss::strikethrough_style_t) override {}
    void set_strikethrough_type(ss::strikethrough_type_t) override {}
    void set_strikethrough_width(ss::strikethrough_width_t) override {}
    void set_strikethrough_text(ss::strikethrough_text_t) override {}
    std::size_t commit_font() override { return fonts_++; }
    void set_fill_count(std::size_t) override {}
    void set_fill_pattern_type(ss::fill_pattern_t) override {}
    void set_fill_fg_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t,
                           ss::color_elem_t) override {}
    void set_fill_bg_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t,
                           ss::color_elem_t) override {}
    std::size_t commit_fill() override { return fills_++; }
    void set_border_count(std::size_t) override {}
    void set_border_style(ss::border_direction_t, ss::border_style_t) override {}
    void set_border_color(ss::border_direction_t, ss::color_elem_t, ss::color_elem_t,
                          ss::color_elem_t, ss::color_elem_t) override {}
    void set_border_width(ss::border_direction_t, double, orcus::length_unit_t) override {}
    std::size_t commit_border() override { return borders_++; }
    void set_cell_hidden(bool) override {}
    void set_cell_locked(bool) override {}
    void set_cell_print_content(bool) override {}
    void set_cell_formula_hidden(bool) override {}
    std::size_t commit_cell_protection() override { return protections_++; }
    void set_number_format_count(std::size_t) override {}
    void set_cell_xf_count(std::size_t) override {}
    void set_cell_style_xf_count(std::size_t) override {}
    void set_dxf_count(std::size_t) override {}
    void set_xf_font(std::size_t) override {}
    void set_xf_fill(std::size_t) override {}
    void set_xf_border(std::size_t) override {}
    void set_xf_protection(std::size_t) override {}
    void set_xf_style_xf(std::size_t) override {}
    void set_xf_apply_alignment(bool) override {}
    void set_xf_horizontal_alignment(ss::hor_alignment_t) override {}
    void set_xf_vertical_alignment(ss::ver_alignment_t) override {}
    void set_cell_style_count(std::size_t) override {}
    void set_cell_style_name(std::string_view) override {}
    void set_cell_style_xf(std::size_t) override {}
    void set_cell_style_builtin(std::size_t) override {}
    void set_cell_style_parent_name(std::string_view) override {}
    std::size_t commit_cell_style() override { return cellStyles_++; }

private:
    std::size_t commit(std::vector<std::size_t>& xfs) {
        xfs.push_back(format_);
        format_ = 0;
        return xfs.size() - 1;
    }
    std::map<std::size_t, std::string> codes_; // number format key -> its code
    std::optional<std::size_t> id_;
    std::string code_;
    std::size_t format_ = 0;
    std::vector<std::size_t> cellXfs_, styleXfs_, dxfs_; // -> number format key
    std::size_t fonts_ = 0, fills_ = 0, borders_ = 0, protections_ = 0, cellStyles_ = 0;
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
    Sheet(std::string name, Strings& strings) : strings_(strings), formula_(*this) {
        data.name = std::move(name);
    }
    WorkbookReader::Sheet data;

    // A cell's text; a number is marked as one, for its format to show it.
    void put(ss::row_t row, ss::col_t col, std::string text, bool number = false) {
        if (row < 0 || col < 0 || col >= kColumns || text.empty())
            return;
        if (number)
            numbers_.insert(key(row, col));
        else
            numbers_.erase(key(row, col));
        auto& rows = data.rows;
        if (rows.size() <= static_cast<std::size_t>(row))
            rows.resize(static_cast<std::size_t>(row) + 1);
        auto& cells = rows[static_cast<std::size_t>(row)];
        if (cells.size() <= static_cast<std::size_t>(col))
            cells.resize(static_cast<std::size_t>(col) + 1);
        cells[static_cast<std::size_t>(col)] = std::move(text);
    }

    ss::iface::import_formula* get_formula() override { return &formula_; }
    void set_auto(ss::row_t row, ss::col_t col, std::string_view s) override {
        put(row, col, std::string(s));
    }
    void set_string(ss::row_t row, ss::col_t col, ss::string_id_t id) override {
        if (id < strings_.all.size())
            put(row, col, strings_.all[id]);
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
    // Numbers whose format shows a date or a time become that date or time.
    void showDates(const Styles& styles, const int origin[3]) {
        for (const std::uint64_t k : numbers_) {
            const auto row = static_cast<ss::row_t>(k / kColumns);
            const auto col = static_cast<ss::col_t>(k % kColumns);
            const auto shown = styles.shows(formatOf(row, col));
            std::string& text =
                data.rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
            char* end = nullptr;
            const double serial = std::strtod(text.c_str(), &end);
            std::string out;
            if (shown != datetext::Shown::Number && end && *end == 0 &&
                datetext::fromSerial(serial, origin, shown, out))
                text = out;
        }
    }
    void fill_down_cells(ss::row_t row, ss::col_t col, ss::row_t count) override {
        const auto& rows = data.rows;
        if (static_cast<std::size_t>(row) >= rows.size() ||
            static_cast<std::size_t>(col) >= rows[static_cast<std::size_t>(row)].size())
            return;
        const std::string text = rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
        const bool number = numbers_.count(key(row, col)) > 0;
        for (ss::row_t r = 1; r <= count; ++r)
            put(row + r, col, text, number);
    }
    ss::range_size_t get_sheet_size() const override { return {1048576, 16384}; }

private:
    static constexpr ss::col_t kColumns = 16384;
    static std::uint64_t key(ss::row_t row, ss::col_t col) {
        return static_cast<std::uint64_t>(row) * kColumns + static_cast<std::uint64_t>(col);
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
    Strings& strings_;
    Formula formula_;
    std::unordered_set<std::uint64_t> numbers_;
    std::unordered_map<std::uint64_t, std::size_t> formats_; // cell -> its xf
    std::vector<Range> ranges_;
};

void Formula::commit() {
    sheet_.put(row_, col_, result_, number_);
    result_.clear();
    number_ = false;
}

// Cell addresses as a workbook writes them: "C2", "$C$2", "A1:D9".
class References : public ss::iface::import_reference_resolver {
public:
    ss::src_address_t resolve_address(std::string_view text) override {
        ss::src_address_t a{0, 0, 0};
        std::size_t i = text.rfind('!');
        i = i == std::string_view::npos ? 0 : i + 1;
        int col = 0, row = 0;
        bool letters = false, digits = false;
        for (; i < text.size(); ++i) {
            const char c = text[i];
            if (c == '$')
                continue;
            if (c >= 'A' && c <= 'Z' && !digits) {
                col = col * 26 + (c - 'A' + 1);
                letters = true;
            } else if (c >= 'a' && c <= 'z' && !digits) {
                col = col * 26 + (c - 'a' + 1);
                letters = true;
            } else if (c >= '0' && c <= '9' && letters) {
                row = row * 10 + (c - '0');
                digits = true;
            } else {
                throw std::invalid_argument("not a cell address: " + std::string(text));
            }
        }
        if (!letters || !digits)
            throw std::invalid_argument("not a cell address: " + std::string(text));
        a.column = col - 1;
        a.row = row - 1;
        return a;
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
    Styles styles;
    ss::iface::import_styles* get_styles() override { return &styles; }
    ss::iface::import_global_settings* get_global_settings() override { return &settings; }
    ss::iface::import_reference_resolver*
    get_reference_resolver(ss::formula_ref_context_t) override {
        return &references;
    }
    std::vector<std::unique_ptr<Sheet>> sheets;
    Strings strings;

    ss::iface::import_shared_strings* get_shared_strings() override { return &strings; }
    ss::iface::import_sheet* append_sheet(ss::sheet_t, std::string_view name) override {
        sheets.push_back(std::make_unique<Sheet>(std::string(name), strings));
        return sheets.back().get();
    }
    ss::iface::import_sheet* get_sheet(std::string_view name) override {
        for (auto& s : sheets)
            if (s->data.name == name)
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
// XML itself: text written inline (<c r="A1" t="inlineStr"><is><t>text</t>
// </is></c>), as writers that stream rows out write it; and numbers, whose
// text is kept as written (<c r="B2"><v>0.30000000000000004</v></c>), so
// that it is read back exactly rather than through the reader's own
// number parsing, which can be off in the last digit.
void takeCellsAsWritten(const orcus::zip_archive& zip,
                        const std::map<std::string, std::string>& parts,
                        std::vector<std::unique_ptr<Sheet>>& sheets, References& references) {
    for (std::size_t n = 0; n < sheets.size(); ++n) {
        std::vector<unsigned char> bytes;
        const auto part = parts.find(sheets[n]->data.name);
        if (part == parts.end() || !zip.read_file_entry(part->second, bytes))
            continue;
        const std::string_view xml(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        for (std::size_t open = xml.find("<c "); open != std::string_view::npos;
             open = xml.find("<c ", open + 3)) {
            const std::size_t tagEnd = xml.find('>', open);
            if (tagEnd == std::string_view::npos)
                break;
            if (xml[tagEnd - 1] == '/')
                continue; // an empty cell
            const std::string_view tag = xml.substr(open, tagEnd - open);
            const std::size_t ref = tag.find(" r=\"");
            const std::size_t close = xml.find("</c>", tagEnd);
            if (ref == std::string_view::npos || close == std::string_view::npos)
                continue;
            const std::size_t refEnd = tag.find('"', ref + 4);
            const auto address = references.resolve_address(tag.substr(ref + 4, refEnd - ref - 4));
            const std::size_t type = tag.find(" t=\"");
            const std::string_view kind =
                type == std::string_view::npos
                    ? std::string_view("n")
                    : tag.substr(type + 4, tag.find('"', type + 4) - type - 4);
            const std::string_view body = xml.substr(tagEnd + 1, close - tagEnd - 1);
            if (kind == "n") {
                const std::size_t v = body.find("<v>");
                const std::size_t vEnd = body.find("</v>");
                if (v != std::string_view::npos && vEnd != std::string_view::npos &&
                    body.find("<f") == std::string_view::npos)
                    sheets[n]->put(address.row, address.column,
                                   std::string(body.substr(v + 3, vEnd - v - 3)), true);
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
                sheets[n]->put(address.row, address.column, text);
            }
        }
    }
}

} // namespace

bool WorkbookReader::isWorkbook(const std::string& path) {
    return textrules::endsWithNoCase(path, ".xlsx") || textrules::endsWithNoCase(path, ".ods");
}

std::vector<WorkbookReader::Sheet> WorkbookReader::read(const std::string& path) {
    Factory factory;
    try {
        if (textrules::endsWithNoCase(path, ".ods")) {
            orcus::orcus_ods filter(&factory);
            filter.read_file(path);
        } else {
            orcus::orcus_xlsx filter(&factory);
            filter.read_file(path);
            orcus::zip_archive_stream_fd stream(path.c_str());
            orcus::zip_archive zip(&stream);
            zip.load();
            const WorkbookParts parts = workbookParts(zip);
            if (parts.date1904)
                factory.settings.set_origin_date(1904, 1, 1);
            takeCellsAsWritten(zip, parts.sheets, factory.sheets, factory.references);
            // Only here: the ods reader gives its dates as dates already, and
            // its cells' formats are not linked to their number styles.
            for (auto& s : factory.sheets)
                s->showDates(factory.styles, factory.settings.origin);
        }
    } catch (const std::exception& e) {
        // The reader does not always say why (a file that is no zip at all).
        const std::string why = *e.what() ? e.what() : "it is not a workbook, or it is damaged.";
        throw CsvError(CsvError::Code::Unreadable,
                       "Cannot read the workbook '" + path + "': " + why);
    } catch (...) {
        throw CsvError(CsvError::Code::Unreadable,
                       "Cannot read the workbook '" + path + "': it is not a workbook.");
    }
    std::vector<Sheet> out;
    for (auto& s : factory.sheets) {
        out.push_back(std::move(s->data));
        std::copy(std::begin(factory.settings.origin), std::end(factory.settings.origin),
                  out.back().origin);
    }
    return out;
}
