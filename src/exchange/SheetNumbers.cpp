#include "SheetNumbers.h"

#include "ViewExport.h"

#include <zip.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace {

std::string cellReference(long row, int column) {
    std::string letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    return letters + std::to_string(row + 1);
}

[[noreturn]] void fail(const std::string& why) {
    throw std::runtime_error("the workbook's numbers could not be written in full: " + why);
}

} // namespace

bool SheetNumbers::writtenExactly(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.16G", value);
    const double back = std::strtod(text, nullptr);
    return back == value && std::isfinite(back);
}

void SheetNumbers::note(long row, int column, double value) {
    cells_.emplace_back(cellReference(row, column), ViewExport::numberText(value));
}

void SheetNumbers::applyTo(const std::string& xlsx, const std::string& sheetEntry) const {
    if (cells_.empty())
        return;
    int error = 0;
    zip_t* archive = zip_open(xlsx.c_str(), 0, &error);
    if (!archive)
        fail("the archive could not be opened");
    std::unique_ptr<zip_t, void (*)(zip_t*)> guard(archive, &zip_discard);
    const zip_int64_t index = zip_name_locate(archive, sheetEntry.c_str(), 0);
    if (index < 0)
        fail("the sheet is missing");
    const std::string rewritten = xlsx + ".sheet";
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(rewritten.c_str(), "wb"),
                                                        &std::fclose);
    struct Remove {
        const std::string& path;
        ~Remove() { std::remove(path.c_str()); }
    } remove{rewritten};
    if (!out)
        fail("no room for the sheet beside the workbook");
    zip_file_t* in = zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0);
    if (!in)
        fail("the sheet could not be read");
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> inGuard(in, &zip_fclose);

    // The cells come in the order they were written: each is found after
    // the one before, its value replaced; the rest passes through.
    std::string buffer;
    std::size_t next = 0;
    auto write = [&](const char* data, std::size_t size) {
        if (std::fwrite(data, 1, size, out.get()) != size)
            fail("the sheet could not be written");
    };
    std::vector<char> chunk(1 << 20);
    bool end = false;
    while (!end || !buffer.empty()) {
        if (!end) {
            const zip_int64_t n = zip_fread(in, chunk.data(), chunk.size());
            if (n < 0)
                fail("the sheet could not be read");
            end = n == 0;
            buffer.append(chunk.data(), static_cast<std::size_t>(n));
        }
        while (next < cells_.size()) {
            const std::string open = "<c r=\"" + cells_[next].first + "\"";
            const std::size_t at = buffer.find(open);
            const std::size_t v = at == std::string::npos ? at : buffer.find("<v>", at);
            const std::size_t close = v == std::string::npos ? v : buffer.find("</v>", v);
            if (close == std::string::npos)
                break;
            write(buffer.data(), v + 3);
            write(cells_[next].second.data(), cells_[next].second.size());
            buffer.erase(0, close);
            ++next;
        }
        // What cannot hold the next cell's start is passed on.
        const std::size_t keep = std::min<std::size_t>(buffer.size(), end ? 0 : 256);
        const std::size_t at = next < cells_.size()
                                   ? buffer.find("<c r=\"" + cells_[next].first + "\"")
                                   : std::string::npos;
        const std::size_t pass = at != std::string::npos && !end ? at : buffer.size() - keep;
        write(buffer.data(), pass);
        buffer.erase(0, pass);
        if (end && next < cells_.size() && !buffer.empty())
            continue;
        if (end)
            break;
    }
    if (next < cells_.size())
        fail("cell " + cells_[next].first + " is missing from the sheet");
    if (std::fflush(out.get()) != 0)
        fail("the sheet could not be written");
    inGuard.reset();
    zip_source_t* source = zip_source_file(archive, rewritten.c_str(), 0, -1);
    if (!source || zip_file_replace(archive, static_cast<zip_uint64_t>(index), source, 0) < 0) {
        if (source)
            zip_source_free(source);
        fail("the sheet could not be replaced");
    }
    if (zip_close(archive) < 0)
        fail(zip_strerror(archive));
    guard.release(); // closed
}
