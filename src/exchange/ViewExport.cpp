#include "ViewExport.h"

#include "platform/db/Recordset.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace {

bool endsWithNoCase(const std::string& s, const std::string& tail) {
    if (s.size() < tail.size())
        return false;
    for (std::size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) != tail[i])
            return false;
    return true;
}

std::string temporaryBeside(const std::string& path) {
    return path + ".part-" + std::to_string(::getpid());
}

[[noreturn]] void failed(const std::string& path, const std::string& why) {
    throw std::runtime_error("Cannot write '" + path + "': " + why + ".");
}

void renameInto(const std::string& temp, const std::string& path) {
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        std::remove(temp.c_str());
        failed(path, std::strerror(e));
    }
}

std::string cellText(const engine::Value& v) {
    if (v.type() == engine::Value::Type::Real)
        return ViewExport::numberText(v.toReal());
    return v.storedText();
}

long writeCsv(engine::Recordset& rs, const std::string& path,
              const std::function<void(long)>& progress, const std::atomic<bool>* cancel) {
    const std::string temp = temporaryBeside(path);
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f)
        failed(path, std::strerror(errno));
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(f, &std::fclose);
    std::string line;
    auto put = [&] {
        if (std::fwrite(line.data(), 1, line.size(), f) != line.size()) {
            const int e = errno;
            file.reset();
            std::remove(temp.c_str());
            failed(path, std::strerror(e));
        }
    };
    for (int c = 0; c < rs.FieldCount(); ++c)
        line += (c ? "," : "") + ViewExport::csvField(rs.FieldNames()[static_cast<std::size_t>(c)]);
    line += "\r\n";
    put();
    for (long r = 0; r < rs.RecordCount(); ++r) {
        if ((r & 4095) == 0) {
            if (cancel && cancel->load()) {
                file.reset();
                std::remove(temp.c_str());
                return -1;
            }
            if (progress)
                progress(r);
        }
        line.clear();
        for (int c = 0; c < rs.FieldCount(); ++c) {
            if (c)
                line += ',';
            line += ViewExport::csvField(cellText(rs.valueAt(r, c)));
        }
        line += "\r\n";
        put();
    }
    const bool flushed = std::fflush(f) == 0 && ::fsync(::fileno(f)) == 0;
    const int e = errno;
    if (std::fclose(file.release()) != 0 || !flushed) {
        std::remove(temp.c_str());
        failed(path, std::strerror(e ? e : errno));
    }
    renameInto(temp, path);
    return rs.RecordCount();
}

long writeXlsx(engine::Recordset& rs, const std::string& path,
               const std::function<void(long)>& progress, const std::atomic<bool>* cancel) {
    const std::string temp = temporaryBeside(path);
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE; // rows streamed out, not kept
    options.tmpdir = nullptr;
    lxw_workbook* book = workbook_new_opt(temp.c_str(), &options);
    if (!book)
        failed(path, "the workbook could not be started");
    lxw_worksheet* sheet = workbook_add_worksheet(book, "View");
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);
    std::vector<double> widths(static_cast<std::size_t>(rs.FieldCount()), 8);
    for (int c = 0; c < rs.FieldCount(); ++c) {
        const std::string& name = rs.FieldNames()[static_cast<std::size_t>(c)];
        worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), name.c_str(), bold);
        widths[static_cast<std::size_t>(c)] = std::max(8.0, name.size() + 2.0);
    }
    worksheet_freeze_panes(sheet, 1, 0);
    // Widths are fixed before the rows in streaming mode: from the header
    // and the first rows.
    const long sample = std::min(rs.RecordCount(), 1000L);
    for (long r = 0; r < sample; ++r)
        for (int c = 0; c < rs.FieldCount(); ++c) {
            const double w = static_cast<double>(cellText(rs.valueAt(r, c)).size()) + 2;
            auto& width = widths[static_cast<std::size_t>(c)];
            width = std::min(60.0, std::max(width, w));
        }
    for (int c = 0; c < rs.FieldCount(); ++c)
        worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                             widths[static_cast<std::size_t>(c)], nullptr);
    for (long r = 0; r < rs.RecordCount(); ++r) {
        if ((r & 4095) == 0) {
            if (cancel && cancel->load()) {
                workbook_close(book);
                std::remove(temp.c_str());
                return -1;
            }
            if (progress)
                progress(r);
        }
        const auto row = static_cast<lxw_row_t>(r + 1);
        for (int c = 0; c < rs.FieldCount(); ++c) {
            const engine::Value& v = rs.valueAt(r, c);
            const auto col = static_cast<lxw_col_t>(c);
            if (v.isNumber())
                worksheet_write_number(sheet, row, col, v.toReal(), nullptr);
            else if (v.type() == engine::Value::Type::Text)
                worksheet_write_string(sheet, row, col, v.toText().c_str(), nullptr);
        }
    }
    const lxw_error e = workbook_close(book);
    if (e != LXW_NO_ERROR) {
        std::remove(temp.c_str());
        failed(path, lxw_strerror(e));
    }
    renameInto(temp, path);
    return rs.RecordCount();
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

std::string ViewExport::csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

long ViewExport::write(engine::Recordset& rs, const std::string& path,
                       const std::function<void(long)>& progress, const std::atomic<bool>* cancel) {
    return formatFor(path) == Format::Xlsx ? writeXlsx(rs, path, progress, cancel)
                                           : writeCsv(rs, path, progress, cancel);
}
