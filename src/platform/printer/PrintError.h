#pragma once

#include <stdexcept>
#include <string>

// A failure of the printer or the print dialog, with its number. Number
// 32755 is the dialog's "Cancel was selected", which callers end on quietly.
class PrintError : public std::runtime_error {
public:
    static constexpr int kCancel = 32755;

    PrintError(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    int number() const { return number_; }

private:
    int number_;
};
