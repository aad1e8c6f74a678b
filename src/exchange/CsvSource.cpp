#include "CsvSource.h"

#include <csv.h>

#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File openFile(const std::string& path) {
    File f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f)
        throw CsvError(CsvError::Code::Unreadable,
                       "Cannot read '" + path + "': " + std::strerror(errno) + ".");
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

bool validUtf8(const char* s, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int more = 0;
        unsigned cp = 0;
        if ((c & 0xE0) == 0xC0)
            more = 1, cp = c & 0x1F;
        else if ((c & 0xF0) == 0xE0)
            more = 2, cp = c & 0x0F;
        else if ((c & 0xF8) == 0xF0)
            more = 3, cp = c & 0x07;
        else
            return false;
        if (i + static_cast<std::size_t>(more) >= n)
            return false;
        for (int k = 1; k <= more; ++k) {
            const auto d = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and code points beyond Unicode.
        if ((more == 1 && cp < 0x80) || (more == 2 && cp < 0x800) ||
            (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

// The file's text as UTF-8, a block at a time: a UTF-8 byte-order mark
// dropped, UTF-16 (found by its byte-order mark) converted.
class TextBlocks {
public:
    explicit TextBlocks(const std::string& path) : file_(openFile(path)), raw_(kBlock) {}

    // The next block, or false at the end; raw bytes read so far in done.
    bool next(std::string& text, long long& done) {
        const std::size_t n = std::fread(raw_.data(), 1, raw_.size(), file_.get());
        if (n == 0) {
            if (std::ferror(file_.get()))
                throw CsvError(CsvError::Code::Unreadable,
                               std::string("Cannot read the file: ") + std::strerror(errno) + ".");
            if (decoder_) {
                const QString rest = decoder_->decode(QByteArrayView());
                text = rest.toStdString();
                decoder_.reset();
                return !text.empty();
            }
            return false;
        }
        done += static_cast<long long>(n);
        const char* b = raw_.data();
        std::size_t len = n;
        if (first_) {
            first_ = false;
            if (len >= 3 && std::memcmp(b, "\xEF\xBB\xBF", 3) == 0) {
                b += 3;
                len -= 3;
            } else if (len >= 2 &&
                       (std::memcmp(b, "\xFF\xFE", 2) == 0 || std::memcmp(b, "\xFE\xFF", 2) == 0)) {
                encoding_ = b[0] == '\xFF' ? "UTF-16LE" : "UTF-16BE";
                decoder_.emplace(b[0] == '\xFF' ? QStringDecoder::Utf16LE
                                                : QStringDecoder::Utf16BE);
                b += 2;
                len -= 2;
            }
        }
        if (decoder_) {
            const QString decoded =
                decoder_->decode(QByteArrayView(b, static_cast<qsizetype>(len)));
            if (decoder_->hasError())
                throw CsvError(CsvError::Code::BadFile,
                               "The file is marked as " + encoding_ + " but is not.");
            text = decoded.toStdString();
        } else {
            text.assign(b, len);
        }
        return true;
    }
    const std::string& encoding() const { return encoding_; }

private:
    File file_;
    std::vector<char> raw_;
    bool first_ = true;
    std::string encoding_ = "UTF-8";
    std::optional<QStringDecoder> decoder_;
};

struct Parse {
    const CsvSource::Row* row;
    std::vector<std::string> fields;
    long line = 1;          // the physical line being fed
    long newlinesInRow = 0; // line breaks inside the record's quoted fields
    bool stopped = false;
};

void onField(void* data, std::size_t len, void* self) {
    auto* p = static_cast<Parse*>(self);
    std::string field(data ? static_cast<const char*>(data) : "", data ? len : 0);
    for (std::size_t i = 0; i < field.size(); ++i)
        p->newlinesInRow += field[i] == '\n' ||
                            (field[i] == '\r' && (i + 1 == field.size() || field[i + 1] != '\n'));
    // Only the line that is not UTF-8 is read as Windows-1252.
    if (!validUtf8(field.data(), field.size()))
        field = fromWindows1252(field);
    p->fields.push_back(std::move(field));
}

void onRow(int, void* self) {
    auto* p = static_cast<Parse*>(self);
    const long start = p->line - p->newlinesInRow;
    p->newlinesInRow = 0;
    if (!p->stopped && !(*p->row)(p->fields, start))
        p->stopped = true;
    p->fields.clear();
}

// Splits text into lines ended by LF, CR LF or CR alone, across blocks:
// calls piece(text, ends) for each piece, ends telling whether a line ends
// with it.
class LineSplitter {
public:
    template <class Piece> void feed(const std::string& text, Piece piece) {
        std::size_t at = 0;
        if (afterCR_ && !text.empty() && text[0] == '\n') {
            piece(std::string_view(text.data(), 1), false); // the LF of a CR LF pair
            at = 1;
        }
        afterCR_ = false;
        while (at < text.size()) {
            std::size_t end = text.find_first_of("\r\n", at);
            if (end == std::string::npos) {
                piece(std::string_view(text.data() + at, text.size() - at), false);
                return;
            }
            std::size_t stop = end + 1;
            if (text[end] == '\r') {
                if (stop < text.size() && text[stop] == '\n')
                    ++stop;
                else if (stop == text.size())
                    afterCR_ = true;
            }
            piece(std::string_view(text.data() + at, stop - at), true);
            at = stop;
        }
    }

private:
    bool afterCR_ = false;
};

} // namespace

CsvSource::CsvSource(std::string path) : path_(std::move(path)) {
    // One pass to learn what the file is: text or not, its encoding line by
    // line, its delimiter, its longest line.
    TextBlocks blocks(path_);
    LineSplitter lines;
    std::string text, firstLine, current;
    bool firstDone = false;
    bool checkedNul = false;
    std::size_t lineLength = 0;
    bool lineValid = true;
    long line = 1;
    long long done = 0;
    while (blocks.next(text, done)) {
        if (!checkedNul) {
            checkedNul = true;
            if (std::memchr(text.data(), '\0', std::min<std::size_t>(text.size(), 65536)))
                throw CsvError(CsvError::Code::BadFile,
                               "'" + path_ + "' is not a text file: it holds NUL bytes.");
        }
        lines.feed(text, [&](std::string_view piece, bool ends) {
            // A line's validity is judged whole; a piece may stop inside a
            // character, so the line's bytes are kept until it ends.
            lineLength += piece.size();
            if (lineLength > kMaxLine + 2)
                throw CsvError(CsvError::Code::BadFile,
                               "Line " + std::to_string(line) + " of '" + path_ +
                                   "' is longer than 16 MiB: this is not a table of analyses.");
            current.append(piece);
            if (!firstDone)
                firstLine.append(piece);
            if (!ends)
                return;
            lineValid = validUtf8(current.data(), current.size());
            if (sample_.size() < kSampleLines && current.size() < 65536)
                sample_.push_back(lineValid ? current : fromWindows1252(current));
            if (!lineValid) {
                if (windowsLines_.size() < kListedLines)
                    windowsLines_.push_back(line);
                ++windowsLineCount_;
            }
            current.clear();
            firstDone = true;
            lineLength = 0;
            ++line;
        });
    }
    if (!current.empty() && !validUtf8(current.data(), current.size())) {
        if (windowsLines_.size() < kListedLines)
            windowsLines_.push_back(line);
        ++windowsLineCount_;
    }
    encoding_ = blocks.encoding();
    size_ = done;
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

CsvSource::CsvSource(std::string path, std::shared_ptr<const Rows> rows, std::string sheet)
    : path_(std::move(path)), delimiter_('\t'), encoding_("a workbook"), rows_(std::move(rows)),
      sheet_(std::move(sheet)) {
    for (const auto& r : *rows_)
        size_ += static_cast<long long>(r.size());
}

void CsvSource::read(const Row& row, const std::function<void(long long)>& progress,
                     const BadLine& badLine) const {
    if (rows_) {
        std::size_t width = 0;
        for (const auto& r : *rows_)
            width = std::max(width, r.size());
        long long done = 0;
        std::vector<std::string> fields;
        for (std::size_t i = 0; i < rows_->size(); ++i) {
            fields = (*rows_)[i];
            fields.resize(width);
            done += static_cast<long long>((*rows_)[i].size());
            if (!row(fields, static_cast<long>(i) + 1))
                break;
            if (progress && (i & 1023) == 0)
                progress(done);
        }
        if (progress)
            progress(size_);
        return;
    }
    TextBlocks blocks(path_);
    LineSplitter lines;
    csv_parser parser;
    auto start = [&] {
        if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI | CSV_APPEND_NULL) != 0)
            throw CsvError(CsvError::Code::OutOfMemory, "Out of memory.");
        csv_set_delim(&parser, static_cast<unsigned char>(delimiter_));
    };
    start();
    std::unique_ptr<csv_parser, void (*)(csv_parser*)> guard(&parser, &csv_free);
    Parse p{&row, {}, 1, 0, false};
    bool skipping = false; // the rest of a line that broke the rules
    auto fail = [&](const std::string& what) {
        throw CsvError(CsvError::Code::BadFile,
                       "Line " + std::to_string(p.line) + " of '" + path_ + "': " + what);
    };
    std::string text;
    long long done = 0;
    while (!p.stopped && blocks.next(text, done)) {
        // Fed a line at a time, so that each record knows the line it is on.
        lines.feed(text, [&](std::string_view piece, bool ends) {
            if (p.stopped)
                return;
            if (!skipping && csv_parse(&parser, piece.data(), piece.size(), onField, onRow, &p) !=
                                 piece.size()) {
                const std::string why =
                    "a quote inside a field that is not quoted (within a field, a quote is "
                    "written twice, and the field put in quotes)";
                if (!badLine || csv_error(&parser) != CSV_EPARSE)
                    fail(csv_error(&parser) == CSV_EPARSE
                             ? why + "."
                             : std::string(csv_strerror(csv_error(&parser))) + ".");
                badLine(p.line - p.newlinesInRow, why);
                csv_free(&parser);
                start();
                p.fields.clear();
                p.newlinesInRow = 0;
                skipping = true;
            }
            if (ends) {
                ++p.line;
                skipping = false;
            }
        });
        if (progress)
            progress(done);
    }
    if (!p.stopped && csv_fini(&parser, onField, onRow, &p) != 0)
        fail("a quoted field is never closed.");
}
