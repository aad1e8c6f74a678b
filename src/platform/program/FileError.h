#pragma once

#include <stdexcept>
#include <string>

// A failure met reading or writing a file, with a code beside its words: a
// caller decides by the code (cancelled, unreadable...), never by the
// words. What the codes mean is the reader's own (CsvError's Code).
class FileError : public std::runtime_error {
public:
    FileError(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
    int fileCode() const { return code_; }

private:
    int code_;
};
