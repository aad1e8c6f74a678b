#pragma once

#include <QString>

// The program's shell routine and the texts of the shell's failure codes.
class Module1 {
public:
    static constexpr const char* kHomePage = "http://www.quarzel-geochem.example/indexa.htm";

    // Opens a document or address with the desktop's opener, from the root
    // folder; returns the shell's result code (above 32 for success).
    static int OpenWithShell(QString& target);
    static QString shellFailureText(int result);
};
