#pragma once

#include "DateText.h"

#include <orcus/spreadsheet/import_interface.hpp>

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Of the workbook's styles, what a cell's number format shows: a date, a
// time, both, or a number. The rest of a style is not needed here. An
// .xlsx names a number format by its number (numFmtId; the built-in ones are
// written nowhere); a format without one gets a key past any such number.
class WorkbookStyles : public orcus::spreadsheet::iface::import_styles {
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
    void set_font_underline(orcus::spreadsheet::underline_t) override {}
    void set_font_underline_width(orcus::spreadsheet::underline_width_t) override {}
    void set_font_underline_mode(orcus::spreadsheet::underline_mode_t) override {}
    void set_font_underline_type(orcus::spreadsheet::underline_type_t) override {}
    void set_font_underline_color(orcus::spreadsheet::color_elem_t,
                                  orcus::spreadsheet::color_elem_t,
                                  orcus::spreadsheet::color_elem_t,
                                  orcus::spreadsheet::color_elem_t) override {}
    void set_font_color(orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t,
                        orcus::spreadsheet::color_elem_t,
                        orcus::spreadsheet::color_elem_t) override {}
    void set_strikethrough_style(orcus::spreadsheet::strikethrough_style_t) override {}
    void set_strikethrough_type(orcus::spreadsheet::strikethrough_type_t) override {}
    void set_strikethrough_width(orcus::spreadsheet::strikethrough_width_t) override {}
    void set_strikethrough_text(orcus::spreadsheet::strikethrough_text_t) override {}
    std::size_t commit_font() override { return fonts_++; }
    void set_fill_count(std::size_t) override {}
    void set_fill_pattern_type(orcus::spreadsheet::fill_pattern_t) override {}
    void set_fill_fg_color(orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t,
                           orcus::spreadsheet::color_elem_t,
                           orcus::spreadsheet::color_elem_t) override {}
    void set_fill_bg_color(orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t,
                           orcus::spreadsheet::color_elem_t,
                           orcus::spreadsheet::color_elem_t) override {}
    std::size_t commit_fill() override { return fills_++; }
    void set_border_count(std::size_t) override {}
    void set_border_style(orcus::spreadsheet::border_direction_t,
                          orcus::spreadsheet::border_style_t) override {}
    void set_border_color(orcus::spreadsheet::border_direction_t, orcus::spreadsheet::color_elem_t,
                          orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t,
                          orcus::spreadsheet::color_elem_t) override {}
    void set_border_width(orcus::spreadsheet::border_direction_t, double,
                          orcus::length_unit_t) override {}
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
    void set_xf_horizontal_alignment(orcus::spreadsheet::hor_alignment_t) override {}
    void set_xf_vertical_alignment(orcus::spreadsheet::ver_alignment_t) override {}
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
