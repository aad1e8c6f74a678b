#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// A CSV file read as RFC 4180 has it (quoted fields, doubled quotes, line
// breaks inside quotes), by libcsv, streamed a block at a time. The
// delimiter is found on the first line among comma, semicolon and tab; the
// text is UTF-8 (a byte-order mark is dropped) or, when the file is not
// valid UTF-8, Windows-1252, and is handed out as UTF-8 either way. A file
// that is not text, has a line longer than kMaxLine or a quote left open
// is refused with a CsvError.
class CsvSource {
public:
    static constexpr std::size_t kMaxLine = 16u << 20;

    explicit CsvSource(std::string path);
    // A file already looked at: its delimiter and encoding as found then.
    CsvSource(std::string path, char delimiter, bool latin1, long long size);

    char delimiter() const { return delimiter_; }
    bool latin1() const { return latin1_; }
    long long size() const { return size_; }

    // Calls back with each record's fields and the line it starts on; the
    // callback returns false to stop. The progress callback, if any, gets
    // the bytes read so far.
    using Row = std::function<bool(std::vector<std::string>& fields, long line)>;
    void read(const Row& row, const std::function<void(long long)>& progress = {}) const;

private:
    std::string path_;
    char delimiter_ = ',';
    bool latin1_ = false;
    long long size_ = 0;
};

class CsvError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
