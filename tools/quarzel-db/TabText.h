#pragma once

#include <string>

// Text in a tab-separated line (the values printed, a COPY's rows): tabs,
// line ends and backslashes written as \t, \n, \r and \\ so that a line
// stays one row and reads back the same.
inline void appendTabText(std::string& out, const std::string& text) {
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
}
