#include "SelectText.h"

#include <cctype>
#include <vector>

namespace engine::SelectText {

namespace {

std::size_t skipSpace(const std::string& s, std::size_t i) {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
        ++i;
    return i;
}

bool wordAt(const std::string& s, std::size_t i, const char* word) {
    std::size_t n = 0;
    for (; word[n]; ++n) {
        if (i + n >= s.size() || std::toupper(static_cast<unsigned char>(s[i + n])) !=
                                     static_cast<unsigned char>(word[n]))
            return false;
    }
    return true;
}

bool identChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

std::string upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

bool splitSelectStar(const std::string& sql, std::string& fromClause, std::string& table) {
    std::size_t i = skipSpace(sql, 0);
    if (!wordAt(sql, i, "SELECT"))
        return false;
    i = skipSpace(sql, i + 6);
    if (i >= sql.size() || sql[i] != '*')
        return false;
    i = skipSpace(sql, i + 1);
    if (!wordAt(sql, i, "FROM") || (i + 4 < sql.size() && identChar(sql[i + 4])))
        return false;
    fromClause = sql.substr(i);
    std::size_t k = skipSpace(sql, i + 4);
    if (k < sql.size() && sql[k] == '[') {
        std::size_t close = sql.find(']', k + 1);
        if (close == std::string::npos)
            return false;
        table = sql.substr(k + 1, close - k - 1);
    } else {
        std::size_t start = k;
        while (k < sql.size() && identChar(sql[k]))
            ++k;
        table = sql.substr(start, k - start);
    }
    return !table.empty();
}

std::string countStatement(const std::string& fromClause) {
    // The words outside quotes, brackets and parentheses, with where each starts.
    struct Word {
        std::string text;
        std::size_t at;
    };
    std::vector<Word> words;
    int depth = 0;
    const std::string& s = fromClause;
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : c;
            std::size_t j = i + 1;
            for (;; ++j) {
                if (j >= s.size())
                    return {}; // unterminated: leave it to the engine to say so
                if (s[j] == close) {
                    if (close != ']' && j + 1 < s.size() && s[j + 1] == close) {
                        ++j; // a doubled quote stands for itself
                        continue;
                    }
                    break;
                }
            }
            i = j + 1;
        } else if ((c == '-' && i + 1 < s.size() && s[i + 1] == '-') ||
                   (c == '/' && i + 1 < s.size() && s[i + 1] == '*') || c == ';') {
            return {};
        } else if (c == '(') {
            ++depth;
            ++i;
        } else if (c == ')') {
            --depth;
            ++i;
        } else if (identChar(c)) {
            std::size_t j = i;
            while (j < s.size() && identChar(s[j]))
                ++j;
            if (depth == 0)
                words.push_back({upper(s.substr(i, j - i)), i});
            i = j;
        } else {
            ++i;
        }
    }
    if (depth != 0 || words.empty() || words.front().text != "FROM")
        return {};
    std::size_t cut = s.size();
    for (std::size_t w = 0; w < words.size(); ++w) {
        const std::string& t = words[w].text;
        if (t == "GROUP" || t == "HAVING" || t == "LIMIT" || t == "OFFSET" || t == "UNION" ||
            t == "INTERSECT" || t == "EXCEPT" || t == "WINDOW" || t == "SELECT" || t == "WHERE" ||
            t == "JOIN")
            return {};
        if (t == "ORDER" && w + 1 < words.size() && words[w + 1].text == "BY" && cut == s.size())
            cut = words[w].at;
    }
    return "SELECT COUNT(*) " + s.substr(0, cut);
}

std::string analyteFilter(const std::vector<std::string>& analytes) {
    std::string only;
    for (const std::string& a : analytes) {
        std::string q;
        for (char ch : a)
            q += ch == '\'' ? std::string("''") : std::string(1, ch);
        only += (only.empty() ? "'" : ", '") + q + "'";
    }
    return only.empty() ? std::string() : "c.analyte IN (" + only + ")";
}

std::string sampleRange(std::int64_t first, std::int64_t last) {
    return "v.sample BETWEEN " + std::to_string(first) + " AND " + std::to_string(last);
}

std::string heldChannels(const std::string& valuesTable) {
    return "WITH RECURSIVE held(code) AS (SELECT min(channel) FROM " + valuesTable +
           " UNION ALL SELECT (SELECT min(channel) FROM " + valuesTable +
           " WHERE channel > held.code) FROM held WHERE held.code IS NOT NULL) ";
}

} // namespace engine::SelectText
