#pragma once

#include <stdexcept>
#include <string>

// A failure of the FTP component that its caller must handle at once, such
// as a setting it cannot use. Failures on the wire arrive as FTPError events.
class FtpError : public std::runtime_error {
public:
    FtpError(int number, const std::string& description)
        : std::runtime_error(description), number_(number) {}
    int number() const { return number_; }

private:
    int number_;
};
