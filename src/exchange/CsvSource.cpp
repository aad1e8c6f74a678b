#include "CsvSource.h"

#include <csv.h>

#include <QString>
#include <QStringDecoder>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File openFile(const std::string& path) {
    File f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f)
        throw CsvError("Cannot read '" + path + "': " + std::strerror(errno) + ".");
    return f;
}

constexpr std::size_t kBlock = 1 << 20;

// Windows-1252 to UTF-8 (the 0x80-0x9F range as Windows has it).
std::string fromWindows1252(const std::string& s) {
    static const char16_t high[32] = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    QString out;
    out.reserve(static_cast<qsizetype>(s.size()));
    for (unsigned char c : s)
        out += c >= 0x80 && c < 0xA0 ? QChar(high[c - 0x80]) : QChar(c);
    return out.toStdString();
}

struct Parse {
    const CsvSource::Row* row;
    bool latin1;
    std::vector<std::string> fields;
    long line = 1;          // the physical line being fed
    long newlinesInRow = 0; // line breaks inside the record's quoted fields
    bool stopped = false;
};

void onField(void* data, std::size_t len, void* self) {
    auto* p = static_cast<Parse*>(self);
    std::string field(data ? static_cast<const char*>(data) : "", data ? len : 0);
    for (char c : field)
        p->newlinesInRow += c == '\n';
    p->fields.push_back(p->latin1 ? fromWindows1252(field) : std::move(field));
}

void onRow(int, void* self) {
    auto* p = static_cast<Parse*>(self);
    const long start = p->line - p->newlinesInRow;
    p->newlinesInRow = 0;
    if (!p->stopped && !(*p->row)(p->fields, start))
        p->stopped = true;
    p->fields.clear();
}

} // namespace

CsvSource::CsvSource(std::string path) : path_(std::move(path)) {
    File f = openFile(path_);
    // One pass to learn what the file is: text or not, UTF-8 or not, its
    // delimiter, its longest line.
    std::vector<char> block(kBlock);
    QStringDecoder utf8(QStringDecoder::Utf8);
    std::string firstLine;
    bool firstDone = false;
    std::size_t lineLength = 0;
    long line = 1;
    std::size_t n;
    bool start = true;
    while ((n = std::fread(block.data(), 1, block.size(), f.get())) > 0) {
        const char* b = block.data();
        std::size_t len = n;
        if (start && len >= 3 && std::memcmp(b, "\xEF\xBB\xBF", 3) == 0) {
            b += 3;
            len -= 3;
        }
        if (start && std::memchr(b, '\0', std::min<std::size_t>(len, 65536)))
            throw CsvError("'" + path_ + "' is not a text file: it holds NUL bytes.");
        start = false;
        size_ += static_cast<long long>(n);
        if (!latin1_) {
            const QString decoded = utf8.decode(QByteArrayView(b, static_cast<qsizetype>(len)));
            latin1_ = utf8.hasError();
        }
        for (std::size_t i = 0; i < len; ++i) {
            if (b[i] == '\n') {
                firstDone = true;
                lineLength = 0;
                ++line;
                continue;
            }
            if (++lineLength > kMaxLine)
                throw CsvError("Line " + std::to_string(line) + " of '" + path_ +
                               "' is longer than 16 MiB: this is not a table of analyses.");
            if (!firstDone)
                firstLine += b[i];
        }
    }
    if (std::ferror(f.get()))
        throw CsvError("Cannot read '" + path_ + "': " + std::strerror(errno) + ".");
    // The delimiter: the most frequent of the three outside quotes.
    long counts[3] = {0, 0, 0};
    bool quoted = false;
    for (char c : firstLine) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted)
            counts[0] += c == ',', counts[1] += c == ';', counts[2] += c == '\t';
    }
    const char choice[3] = {',', ';', '\t'};
    int best = 0;
    for (int i = 1; i < 3; ++i)
        if (counts[i] > counts[best])
            best = i;
    delimiter_ = choice[best];
}

CsvSource::CsvSource(std::string path, char delimiter, bool latin1, long long size)
    : path_(std::move(path)), delimiter_(delimiter), latin1_(latin1), size_(size) {}

void CsvSource::read(const Row& row, const std::function<void(long long)>& progress) const {
    File f = openFile(path_);
    csv_parser parser;
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI | CSV_APPEND_NULL) != 0)
        throw CsvError("Out of memory.");
    std::unique_ptr<csv_parser, void (*)(csv_parser*)> guard(&parser, &csv_free);
    csv_set_delim(&parser, static_cast<unsigned char>(delimiter_));
    Parse p{&row, latin1_, {}, 1, 0, false};
    std::vector<char> block(kBlock);
    long long done = 0;
    bool start = true;
    std::size_t n;
    auto fail = [&](const std::string& what) {
        throw CsvError("Line " + std::to_string(p.line) + " of '" + path_ + "': " + what);
    };
    while (!p.stopped && (n = std::fread(block.data(), 1, block.size(), f.get())) > 0) {
        const char* b = block.data();
        std::size_t len = n;
        if (start && len >= 3 && std::memcmp(b, "\xEF\xBB\xBF", 3) == 0) {
            b += 3;
            len -= 3;
        }
        start = false;
        // Fed a line at a time, so that each record knows the line it is on.
        while (len && !p.stopped) {
            const char* nl = static_cast<const char*>(std::memchr(b, '\n', len));
            const std::size_t piece = nl ? static_cast<std::size_t>(nl - b) + 1 : len;
            if (csv_parse(&parser, b, piece, onField, onRow, &p) != piece)
                fail(std::string(csv_strerror(csv_error(&parser))) + ".");
            if (nl)
                ++p.line;
            b += piece;
            len -= piece;
        }
        done += static_cast<long long>(n);
        if (progress)
            progress(done);
    }
    if (!p.stopped && csv_fini(&parser, onField, onRow, &p) != 0)
        fail("a quoted field is never closed.");
}
