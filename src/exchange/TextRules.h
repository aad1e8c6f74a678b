#pragma once

#include <algorithm>
#include <cctype>
#include <string>

// How imported text is compared: ASCII case folded, blanks around trimmed.
namespace textrules {

inline std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

inline std::string trimmed(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

// Whether s ends with tail (given in lower case), whatever the case of s.
inline bool endsWithNoCase(const std::string& s, const std::string& tail) {
    if (s.size() < tail.size())
        return false;
    for (std::size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) != tail[i])
            return false;
    return true;
}

// Not measured or below detection, in the words files use: no number.
// Above the range (">10000") gives no number either.
inline bool meansNull(const std::string& t) {
    if (t.empty() || t[0] == '<' || t[0] == '>')
        return true;
    // A number, or longer than any of the words: asked of every cell.
    if (t.size() > 6 || std::isdigit(static_cast<unsigned char>(t[0])) || t[0] == '.')
        return false;
    const std::string l = lower(t);
    for (const char* token : {"n.d.", "nd", "n.a.", "na", "n/a", "-", "--", "\xE2\x80\x94", "bdl",
                              "b.d.l.", "lod", "tr", "trace", "n.n.", "n.b."})
        if (l == token)
            return true;
    return false;
}

// A compilation's citation after a value: "51.37 [29001]" is 51.37, cited
// as 29001 (put into `cited` when given).
inline std::string withoutCitation(const std::string& t, std::string* cited = nullptr) {
    if (t.size() < 4 || t.back() != ']')
        return t;
    const std::size_t open = t.rfind('[');
    if (open == std::string::npos || open == 0 || t[open - 1] != ' ')
        return t;
    for (std::size_t i = open + 1; i + 1 < t.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(t[i])))
            return t;
    if (cited)
        *cited = t.substr(open + 1, t.size() - open - 2);
    return trimmed(t.substr(0, open));
}

} // namespace textrules
