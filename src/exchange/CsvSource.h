#pragma once

#include "platform/program/FileError.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// A CSV file read as RFC 4180 has it (quoted fields, doubled quotes, line
// breaks inside quotes), by libcsv, streamed a block at a time. Lines end
// in LF, CR LF or CR alone. The delimiter is found on the first line among
// comma, semicolon and tab. Text is UTF-8 (a byte-order mark is dropped),
// or UTF-16 with its byte-order mark; a line that is not valid UTF-8 is
// read as Windows-1252, that line alone, and listed. Fields are handed out
// as UTF-8 either way. A file that is not text, has a line longer than
// kMaxLine or a quote left open is refused with a CsvError. A workbook's
// sheet, read already, is handed out the same way.
class CsvSource {
public:
    static constexpr std::size_t kMaxLine = 16u << 20;
    static constexpr std::size_t kListedLines = 10;

    CsvSource() = default; // nothing to read
    // Reads the file through once to learn what it is.
    explicit CsvSource(std::string path);
    // The rows of a workbook's sheet, read already (see WorkbookReader):
    // handed out as records, short rows filled up with empty cells, each on
    // the line of its row.
    using Rows = std::vector<std::vector<std::string>>;
    CsvSource(std::string path, std::shared_ptr<const Rows> rows, std::string sheet);
    bool isSheet() const { return rows_ != nullptr; }
    // A sheet's day 0 of its date serials, and whether a number in a date
    // column is such a serial (not for rows of a text file, held in memory).
    int dateOrigin[3] = {1899, 12, 30};
    bool datesAsSerials = true;
    const std::string& sheet() const { return sheet_; }

    char delimiter() const { return delimiter_; }
    // The reader of the file may know better (its header lies below title
    // lines written with another separator).
    void setDelimiter(char delimiter) { delimiter_ = delimiter; }
    // The first kSampleLines lines, as text, for such a look.
    static constexpr std::size_t kSampleLines = 50;
    const std::vector<std::string>& sampleLines() const { return sample_; }
    // "UTF-8", "UTF-16LE" or "UTF-16BE": how the file is written.
    const std::string& encoding() const { return encoding_; }
    // Lines read as Windows-1252 (the first kListedLines) and their number.
    const std::vector<long>& windowsLines() const { return windowsLines_; }
    long windowsLineCount() const { return windowsLineCount_; }
    long long size() const { return size_; }

    // Calls back with each record's fields and the line it starts on; the
    // callback returns false to stop. The progress callback, if any, gets
    // the bytes read so far.
    using Row = std::function<bool(std::vector<std::string>& fields, long line)>;
    // A line that breaks the quoting rules (a quote inside a field that is
    // not quoted): without a handler the file is refused; with one, the
    // handler gets the line and the reason in plain words, and reading goes
    // on with the next line.
    using BadLine = std::function<void(long line, const std::string& why)>;
    void read(const Row& row, const std::function<void(long long)>& progress = {},
              const BadLine& badLine = {}) const;

private:
    std::string path_;
    char delimiter_ = ',';
    std::string encoding_ = "UTF-8";
    std::vector<std::string> sample_;
    std::shared_ptr<const Rows> rows_;
    std::string sheet_;
    std::vector<long> windowsLines_;
    long windowsLineCount_ = 0;
    long long size_ = 0;
};

// A file that cannot be read or imported: what went wrong, as a code for
// the program to decide by, and its text for the user.
class CsvError : public FileError {
public:
    enum class Code {
        Unreadable,  // cannot be opened or read, or is no workbook
        BadFile,     // not text, a line too long, a quote left open
        OutOfMemory, // no memory for the parser
        Empty,       // nothing to import in it
        BadColumns,  // no analysis column, or two for one of ours
        NoSuchSheet, // the sheet named is not in the workbook
        SheetNeeded, // several sheets with data, and none named
        Cancelled,   // the user stopped the reading
    };

    CsvError(Code code, const std::string& what) : FileError(static_cast<int>(code), what) {}
    Code code() const { return static_cast<Code>(fileCode()); }
};
