#include "ViewExport.h"

#include "SheetNumbers.h"
#include "TextRules.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using textrules::endsWithNoCase;

[[noreturn]] void failed(const std::string& path, std::string why) {
    while (!why.empty() && why.back() == '.')
        why.pop_back(); // one full stop, whoever wrote the reason
    throw std::runtime_error("Cannot write '" + path + "': " + why + ".");
}

// The temporary file beside the target: removed on every way out but a
// completed rename, an exception from a damaged page included.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target)
        : target_(target), path_(target + ".part-" + std::to_string(::getpid())) {
        // A rename would replace a file its owner made read-only (the folder
        // decides, not the file): refused as writing into it would be,
        // whoever runs the program.
        struct stat st {};
        if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            failed(target, "the file is read-only");
    }
    ~TemporaryFile() {
        if (!kept_)
            std::remove(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& path() const { return path_; }
    void renameInto() {
        if (std::rename(path_.c_str(), target_.c_str()) != 0)
            failed(target_, std::strerror(errno));
        kept_ = true;
    }

private:
    std::string target_, path_;
    bool kept_ = false;
};

std::size_t characters(const std::string& utf8) {
    std::size_t n = 0;
    for (unsigned char c : utf8)
        n += (c & 0xC0) != 0x80;
    return n;
}

// A workbook cell holds 32767 characters at most.
bool tooLong(const std::string& utf8) {
    return utf8.size() > 32767 && characters(utf8) > 32767;
}

std::string cellText(const engine::Value& v) {
    if (v.type() == engine::Value::Type::Real)
        return ViewExport::numberText(v.toReal());
    return v.storedText();
}

// The view's rows with any worked-out columns after its own; the
// worked-out cells of a row are made once, when the row is first read.
class ExportRows {
public:
    ExportRows(ViewExport::Rows& rows, const ViewExport::ExtraColumns* extra)
        : rs_(rows), extra_(extra) {
        names_ = rows.fieldNames();
        own_ = static_cast<int>(names_.size());
        if (extra_)
            names_.insert(names_.end(), extra_->names.begin(), extra_->names.end());
        count_ = rows.count();
    }
    long count() const { return count_; }
    bool gone(long r) { return rs_.gone(r); }
    int columns() const { return static_cast<int>(names_.size()); }
    const std::string& name(int c) const { return names_[static_cast<std::size_t>(c)]; }
    const engine::Value& at(long r, int c) {
        if (c < own_)
            return rs_.cell(r, c);
        if (r != extraRow_) {
            std::vector<engine::Value> row;
            row.reserve(static_cast<std::size_t>(own_));
            for (int i = 0; i < own_; ++i)
                row.push_back(rs_.cell(r, i));
            extraCells_ = extra_->cells(row);
            extraCells_.resize(extra_->names.size());
            extraRow_ = r;
        }
        return extraCells_[static_cast<std::size_t>(c - own_)];
    }

private:
    ViewExport::Rows& rs_;
    const ViewExport::ExtraColumns* extra_;
    int own_ = 0;
    long count_ = 0;
    std::vector<std::string> names_;
    long extraRow_ = -1;
    std::vector<engine::Value> extraCells_;
};

// Asks the system whether the file can be made at all, before any work:
// its own reason (no such folder, permission denied) is the one to give.
void checkWritable(const std::string& target, const TemporaryFile& temp) {
    std::FILE* f = std::fopen(temp.path().c_str(), "wb");
    if (!f)
        failed(target, std::strerror(errno));
    std::fclose(f);
}

long writeCsv(ExportRows& rs, const std::string& path, const std::function<void(long)>& progress,
              const std::atomic<bool>* cancel) {
    TemporaryFile temp(path);
    std::FILE* f = std::fopen(temp.path().c_str(), "wb");
    if (!f)
        failed(path, std::strerror(errno));
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(f, &std::fclose);
    std::string line;
    auto put = [&] {
        if (std::fwrite(line.data(), 1, line.size(), f) != line.size())
            failed(path, std::strerror(errno));
    };
    for (int c = 0; c < rs.columns(); ++c)
        line += (c ? "," : "") + ViewExport::csvField(rs.name(c));
    line += "\r\n";
    put();
    long written = 0;
    for (long r = 0; r < rs.count(); ++r) {
        if ((r & 4095) == 0) {
            if (cancel && cancel->load())
                return -1;
            if (progress)
                progress(r);
        }
        if (rs.gone(r))
            continue;
        ++written;
        line.clear();
        for (int c = 0; c < rs.columns(); ++c) {
            if (c)
                line += ',';
            const engine::Value& v = rs.at(r, c);
            line += v.type() == engine::Value::Type::Text ? ViewExport::csvText(v.storedText())
                                                          : ViewExport::csvField(cellText(v));
        }
        line += "\r\n";
        put();
    }
    const bool flushed = std::fflush(f) == 0 && ::fsync(::fileno(f)) == 0;
    const int e = errno;
    if (std::fclose(file.release()) != 0 || !flushed)
        failed(path, std::strerror(e ? e : errno));
    temp.renameInto();
    return written;
}

// A workbook being built; freed, never written, unless it is closed.
class Workbook {
public:
    Workbook(const std::string& target, const std::string& file) : target_(target) {
        lxw_workbook_options options = {};
        options.constant_memory = LXW_TRUE; // rows streamed out, not kept
        options.tmpdir = nullptr;
        book_ = workbook_new_opt(file.c_str(), &options);
        if (!book_)
            failed(target, "the workbook could not be started");
    }
    ~Workbook() {
        if (book_)
            lxw_workbook_free(book_);
    }
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;
    lxw_workbook* get() const { return book_; }
    void check(lxw_error e, long row) const {
        if (e != LXW_NO_ERROR)
            failed(target_, "row " + std::to_string(row) + ": " + lxw_strerror(e));
    }
    void close() {
        lxw_workbook* book = std::exchange(book_, nullptr);
        const lxw_error e = workbook_close(book); // frees it, written or not
        if (e != LXW_NO_ERROR)
            failed(target_, lxw_strerror(e));
    }

private:
    std::string target_;
    lxw_workbook* book_ = nullptr;
};

long writeXlsx(ExportRows& rs, const std::string& path, const std::function<void(long)>& progress,
               const std::atomic<bool>* cancel) {
    const long rows = rs.count();
    if (rows > ViewExport::kMaxSheetRows)
        failed(path, "the view has " + std::to_string(rows) +
                         " rows, and a workbook sheet holds at most " +
                         std::to_string(ViewExport::kMaxSheetRows) +
                         " below its header. Export it as CSV, or narrow the view with a search");
    TemporaryFile temp(path);
    checkWritable(path, temp);
    Workbook book(path, temp.path());
    lxw_worksheet* sheet = workbook_add_worksheet(book.get(), "View");
    lxw_format* bold = workbook_add_format(book.get());
    if (!sheet || !bold)
        failed(path, "the workbook could not be started");
    format_set_bold(bold);
    const int columns = rs.columns();
    std::vector<double> widths(static_cast<std::size_t>(columns), 8);
    for (int c = 0; c < columns; ++c) {
        const std::string& name = rs.name(c);
        book.check(worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), name.c_str(), bold),
                   0);
        widths[static_cast<std::size_t>(c)] = std::max(8.0, name.size() + 2.0);
    }
    worksheet_freeze_panes(sheet, 1, 0);
    // Widths are fixed before the rows in streaming mode: from the header
    // and the first rows.
    const long sample = std::min(rows, 1000L);
    for (long r = 0; r < sample; ++r)
        for (int c = 0; c < columns && !rs.gone(r); ++c) {
            const double w = static_cast<double>(cellText(rs.at(r, c)).size()) + 2;
            auto& width = widths[static_cast<std::size_t>(c)];
            width = std::min(60.0, std::max(width, w));
        }
    for (int c = 0; c < columns; ++c)
        book.check(worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                                        widths[static_cast<std::size_t>(c)], nullptr),
                   0);
    SheetNumbers numbers; // those the writer would shorten
    long written = 0;
    for (long r = 0; r < rows; ++r) {
        if ((r & 4095) == 0) {
            if (cancel && cancel->load())
                return -1;
            if (progress)
                progress(r);
        }
        if (rs.gone(r))
            continue;
        const long at = ++written; // the sheet's row, below the header
        const auto row = static_cast<lxw_row_t>(at);
        for (int c = 0; c < columns; ++c) {
            const engine::Value& v = rs.at(r, c);
            const auto col = static_cast<lxw_col_t>(c);
            if (v.isNumber()) {
                book.check(worksheet_write_number(sheet, row, col, v.toReal(), nullptr), at);
                if (!SheetNumbers::writtenExactly(v.toReal()))
                    numbers.note(at, c, v.toReal());
            } else if (v.type() == engine::Value::Type::Text && tooLong(v.toText()))
                failed(path, "row " + std::to_string(at) + ", column " + rs.name(c) +
                                 ": a text of " + std::to_string(characters(v.toText())) +
                                 " characters; a workbook cell holds at most 32767. Export it "
                                 "as CSV.");
            else if (v.type() == engine::Value::Type::Text)
                book.check(worksheet_write_string(sheet, row, col, v.toText().c_str(), nullptr),
                           at);
        }
    }
    book.close();
    try {
        numbers.applyTo(temp.path(), "xl/worksheets/sheet1.xml");
    } catch (const std::runtime_error& e) {
        failed(path, e.what());
    }
    temp.renameInto();
    return written;
}

} // namespace

ViewExport::Format ViewExport::formatFor(const std::string& path) {
    return endsWithNoCase(path, ".xlsx") ? Format::Xlsx : Format::Csv;
}

std::string ViewExport::numberText(double d) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
    return ec == std::errc() ? std::string(buf, end) : std::string();
}

bool ViewExport::formulaLike(const std::string& text) {
    if (text.empty())
        return false;
    if (std::strchr("=+-@\t\r", text[0]) && text[0] != '\0')
        return true;
    return text[0] == '\'' && formulaLike(text.substr(1));
}

std::string ViewExport::csvText(const std::string& text) {
    return csvField(formulaLike(text) ? "'" + text : text);
}

std::string ViewExport::csvField(const std::string& text) {
    const bool blankEnds =
        !text.empty() && (std::isspace(static_cast<unsigned char>(text.front())) ||
                          std::isspace(static_cast<unsigned char>(text.back())));
    if (!blankEnds && text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

long ViewExport::write(Rows& source, const std::string& path,
                       const std::function<void(long)>& progress, const std::atomic<bool>* cancel,
                       const ExtraColumns* extra) {
    ExportRows rows(source, extra);
    return formatFor(path) == Format::Xlsx ? writeXlsx(rows, path, progress, cancel)
                                           : writeCsv(rows, path, progress, cancel);
}
