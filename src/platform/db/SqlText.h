#pragma once

#include <algorithm>
#include <cctype>
#include <string>

// Small pieces of statement text the back ends write: names compared
// without regard to the case of plain letters (as both back ends match
// them), and text quoted as an SQL literal.
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

} // namespace engine
