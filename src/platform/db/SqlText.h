#pragma once

#include <algorithm>
#include <cctype>
#include <string>

// Small pieces of statement text the back ends write: names compared
// without regard to the case of plain letters (as both back ends match
// them), text quoted as an SQL literal, and names in brackets.
namespace engine {

inline std::string asciiLower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

inline std::string sqlLiteral(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

// A name as SQLite reads it in brackets; a ']' in it is doubled.
inline std::string bracket(const std::string& name) {
    std::string out = "[";
    for (char c : name) {
        out += c;
        if (c == ']')
            out += ']';
    }
    return out + "]";
}

} // namespace engine
