#include "PgDialect.h"
#include "platform/db/SqlText.h"

#include "platform/db/EngineMessages.h"
#include "platform/db/LikePattern.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace engine {

namespace PgDialect {

namespace {

enum class Kind { Word, Name, String, Number, Param, Punct };

struct Token {
    Kind kind;
    std::string text;
};

bool isWordStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
           (static_cast<unsigned char>(c) & 0x80);
}

bool isWordChar(char c) {
    return isWordStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '$' || c == '#';
}

std::vector<Token> tokenize(const std::string& sql, const std::string& shown) {
    std::vector<Token> out;
    int nextParam = 1;
    std::size_t i = 0;
    const std::size_t n = sql.size();
    while (i < n) {
        const char c = sql[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '\'') {
            std::string s;
            ++i;
            bool closed = false;
            while (i < n) {
                if (sql[i] == '\'') {
                    if (i + 1 < n && sql[i + 1] == '\'') {
                        s += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                s += sql[i++];
            }
            if (!closed)
                throw msg::syntaxError(shown);
            out.push_back({Kind::String, s});
        } else if (c == '[' || c == '"' || c == '`') {
            const char close = c == '[' ? ']' : c;
            const auto end = sql.find(close, i + 1);
            if (end == std::string::npos)
                throw msg::syntaxError(shown);
            out.push_back({Kind::Name, sql.substr(i + 1, end - i - 1)});
            i = end + 1;
        } else if (c == '?') {
            std::size_t e = i + 1;
            while (e < n && std::isdigit(static_cast<unsigned char>(sql[e])))
                ++e;
            const std::string digits = sql.substr(i + 1, e - i - 1);
            const int number = digits.empty() ? nextParam : std::stoi(digits);
            nextParam = number + 1;
            out.push_back({Kind::Param, "$" + std::to_string(number)});
            i = e;
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '.' && i + 1 < n &&
                    std::isdigit(static_cast<unsigned char>(sql[i + 1])))) {
            std::size_t e = i;
            while (e < n &&
                   (std::isalnum(static_cast<unsigned char>(sql[e])) || sql[e] == '.' ||
                    ((sql[e] == '+' || sql[e] == '-') && (sql[e - 1] == 'e' || sql[e - 1] == 'E'))))
                ++e;
            out.push_back({Kind::Number, sql.substr(i, e - i)});
            i = e;
        } else if (isWordStart(c)) {
            std::size_t e = i;
            while (e < n && isWordChar(sql[e]))
                ++e;
            out.push_back({Kind::Word, sql.substr(i, e - i)});
            i = e;
        } else if (c == ';') {
            // Only blanks and semicolons may follow the statement.
            for (std::size_t j = i; j < n; ++j)
                if (!std::isspace(static_cast<unsigned char>(sql[j])) && sql[j] != ';')
                    throw msg::charactersAfterEnd(shown);
            break;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            while (i < n && sql[i] != '\n')
                ++i;
        } else {
            static const char* const pairs[] = {"<=", ">=", "<>", "!=", "==", "||"};
            std::string op(1, c);
            for (const char* p : pairs)
                if (sql.compare(i, 2, p) == 0)
                    op = p;
            if (op == "==")
                op = "=";
            out.push_back({Kind::Punct, op});
            i += op == "=" && sql.compare(i, 2, "==") == 0 ? 2 : op.size();
        }
    }
    return out;
}

bool isWord(const Token& t, const char* word) {
    return t.kind == Kind::Word && asciiLower(t.text) == word;
}

// Marks a text column whose value is compared: written out as lower(),
// which under the column's "C" rules folds plain letters only.
constexpr char kFolded = '\x02';

// One token as the server reads it; in a condition, text columns and
// texts are compared folded.
std::string render(const Token& t, const Names& names, bool condition) {
    switch (t.kind) {
    case Kind::Name:
    case Kind::Word: {
        const std::string key = asciiLower(t.text);
        const auto it = names.byLower.find(key);
        if (it == names.byLower.end())
            return t.kind == Kind::Name ? quote(t.text) : t.text;
        if (condition && names.text.count(key))
            return kFolded + quote(it->second);
        return quote(it->second);
    }
    case Kind::String:
        return condition ? "lower(" + sqlLiteral(t.text) + ")" : sqlLiteral(t.text);
    default:
        return t.text;
    }
}

std::string unfolded(const std::string& piece) {
    return !piece.empty() && piece[0] == kFolded ? piece.substr(1) : piece;
}

std::string joined(const std::vector<std::string>& parts, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < to; ++i)
        out += (out.empty() ? "" : " ") + parts[i];
    return out;
}

bool ascii(unsigned char c) {
    return c < 0x80;
}

std::string regexEscaped(char c, bool inList) {
    static const std::string outside = ".^$|()*+?{}\\[]";
    static const std::string inside = "\\]^-[";
    const std::string& special = inList ? inside : outside;
    return special.find(c) != std::string::npos ? std::string("\\") + c : std::string(1, c);
}

// The bytes of one UTF-8 character starting at i.
std::size_t charLength(const std::string& s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t len = c < 0x80         ? 1
                      : (c >> 5) == 6  ? 2
                      : (c >> 4) == 14 ? 3
                      : (c >> 3) == 30 ? 4
                                       : 1;
    return std::min(len, s.size() - i);
}

} // namespace

std::string quote(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + "\"";
}

std::string likeCondition(const std::string& operand, const std::string& pattern) {
    LikePattern::compile(pattern); // an unclosed list is refused as the file engine refuses it
    // The column's own collation compares without regard to case for
    // plain letters only; the pattern folds every letter, as the file
    // engine's Like does, under the database's own (UTF-8) rules.
    const std::string text = "(CAST(" + operand + " AS text) COLLATE \"default\")";
    if (pattern.find_first_of("#[") == std::string::npos) {
        std::string p;
        for (char c : pattern) {
            if (c == '*')
                p += '%';
            else if (c == '?')
                p += '_';
            else if (c == '%' || c == '_' || c == '\\')
                p += std::string("\\") + c;
            else
                p += c;
        }
        return "(" + text + " ILIKE " + sqlLiteral(p) + ")";
    }
    std::string re = "^";
    for (std::size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        const std::size_t len = charLength(pattern, i);
        if (!ascii(static_cast<unsigned char>(c))) {
            re += pattern.substr(i, len);
        } else if (c == '*') {
            re += ".*";
        } else if (c == '?') {
            re += ".";
        } else if (c == '#') {
            re += "[0-9]";
        } else if (c == '[') {
            std::size_t j = i + 1;
            std::string list = "[";
            if (j < pattern.size() && pattern[j] == '!') {
                list += '^';
                ++j;
            }
            bool any = false;
            while (j < pattern.size() && pattern[j] != ']') {
                const std::size_t l = charLength(pattern, j);
                if (pattern[j] == '-' && any && j + 1 < pattern.size() && pattern[j + 1] != ']') {
                    list += '-';
                } else {
                    list += l == 1 ? regexEscaped(pattern[j], true) : pattern.substr(j, l);
                    any = true;
                }
                j += l;
            }
            if (!any) // "[]" matches nothing; "[!]" any one character
                list = list == "[^" ? "." : "[^\\s\\S]";
            else
                list += ']';
            re += list;
            i = j + 1;
            continue;
        } else {
            re += regexEscaped(c, false);
        }
        i += len;
    }
    return "(" + text + " ~* " + sqlLiteral(re + "$") + ")";
}

std::string translate(const std::string& sql, const Names& names, Options options) {
    if (sql.find('\0') != std::string::npos)
        throw msg::nulInStatement();
    const std::vector<Token> tokens = tokenize(sql, sql);
    if (tokens.empty())
        throw EngineError(err::InvalidStatement, "Invalid SQL statement: '" + sql + "'.");
    {
        std::size_t first = 0;
        while (first < tokens.size() && tokens[first].text == "(")
            ++first;
        if (first == tokens.size() ||
            !(isWord(tokens[first], "select") || isWord(tokens[first], "insert") ||
              isWord(tokens[first], "update") || isWord(tokens[first], "delete")))
            throw msg::onlyRowStatements(sql);
    }
    std::vector<std::string> out;   // rendered pieces
    std::vector<std::size_t> opens; // where each open parenthesis was rendered
    int depth = 0;
    bool ordered = false;
    int conditionDepth = -1; // the depth of the WHERE being read; -1: none
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.kind == Kind::Punct && t.text == "(") {
            opens.push_back(out.size());
            ++depth;
            out.push_back("(");
            continue;
        }
        if (t.kind == Kind::Punct && t.text == ")") {
            --depth;
            if (depth < conditionDepth)
                conditionDepth = -1;
            out.push_back(")");
            if (!opens.empty())
                opens.pop_back();
            continue;
        }
        if (isWord(t, "like")) {
            bool negate = false;
            if (!out.empty() && asciiLower(out.back()) == "not") {
                negate = true;
                out.pop_back();
            }
            if (out.empty() || i + 1 >= tokens.size() || tokens[i + 1].kind != Kind::String)
                throw msg::syntaxError(sql);
            // The operand: the last piece, or the whole parenthesis it closes.
            std::size_t from = out.size() - 1;
            if (out.back() == ")") {
                int level = 0;
                for (std::size_t j = out.size(); j-- > 0;) {
                    level += out[j] == ")" ? 1 : out[j] == "(" ? -1 : 0;
                    if (level == 0) {
                        from = j;
                        break;
                    }
                }
            }
            // The column itself: the trigram index is on it, and ILIKE folds.
            out[from] = unfolded(out[from]);
            const std::string operand = joined(out, from, out.size());
            out.resize(from);
            const std::string cond = likeCondition(operand, tokens[i + 1].text);
            out.push_back(negate ? "(NOT " + cond + ")" : cond);
            ++i;
            if (i + 1 < tokens.size() && isWord(tokens[i + 1], "escape"))
                throw msg::syntaxError(sql);
            continue;
        }
        if (isWord(t, "where") || isWord(t, "having") || isWord(t, "on")) {
            conditionDepth = depth;
            out.push_back(t.text);
            continue;
        }
        if (conditionDepth == depth &&
            (isWord(t, "order") || isWord(t, "group") || isWord(t, "limit") || isWord(t, "union") ||
             isWord(t, "offset")))
            conditionDepth = -1;
        if (depth == 0 && isWord(t, "order") && i + 1 < tokens.size() &&
            isWord(tokens[i + 1], "by")) {
            // Each item: its expression, its direction, and Nulls where
            // the file engine puts them (first in an ascending order).
            ordered = true;
            out.push_back("ORDER BY");
            i += 2;
            std::string firstDirection;
            bool hasKey = false;
            std::vector<std::string> items;
            while (i < tokens.size() && !isWord(tokens[i], "limit") &&
                   !isWord(tokens[i], "offset")) {
                std::vector<std::string> item;
                std::string direction = "ASC";
                int level = 0;
                for (; i < tokens.size(); ++i) {
                    const Token& u = tokens[i];
                    if (level == 0 && (u.text == "," || isWord(u, "limit") || isWord(u, "offset")))
                        break;
                    level += u.text == "(" ? 1 : u.text == ")" ? -1 : 0;
                    if (level == 0 && (isWord(u, "asc") || isWord(u, "desc"))) {
                        direction = isWord(u, "asc") ? "ASC" : "DESC";
                        continue;
                    }
                    item.push_back(render(u, names, false));
                }
                // A text column sorts as the file sorts it: plain letters
                // folded, then byte by byte.
                if (item.size() == 1) {
                    const std::string bare = item[0].size() > 2 && item[0].front() == '"'
                                                 ? asciiLower(item[0].substr(1, item[0].size() - 2))
                                                 : std::string();
                    if (names.text.count(bare))
                        item[0] = "lower(" + item[0] + ")";
                }
                if (item.size() == 1 && asciiLower(item[0]) == "\"id\"")
                    hasKey = true;
                if (firstDirection.empty())
                    firstDirection = direction;
                items.push_back(joined(item, 0, item.size()) + " " + direction +
                                (direction == "ASC" ? " NULLS FIRST" : " NULLS LAST"));
                if (i < tokens.size() && tokens[i].text == ",")
                    ++i;
            }
            if (options.keyOrder && !hasKey)
                items.push_back("\"ID\" " + firstDirection);
            std::string list;
            for (const auto& item : items)
                list += (list.empty() ? "" : ", ") + item;
            out.push_back(list);
            --i;
            continue;
        }
        std::string piece = render(t, names, conditionDepth >= 0);
        // A parameter compared with a text column is folded as the column
        // is, as a text written in the statement is.
        if (t.kind == Kind::Param && conditionDepth >= 0 && out.size() >= 2 &&
            !out[out.size() - 2].empty() && out[out.size() - 2][0] == kFolded) {
            static const char* const comparisons[] = {"=", "<>", "!=", "<", ">", "<=", ">="};
            for (const char* op : comparisons)
                if (out.back() == op)
                    piece = "lower(" + piece + ")";
        }
        // A qualified name (v.[text]) is one piece: folded whole, and
        // whole the operand of a Like.
        if (out.size() >= 2 && out.back() == "." && t.kind != Kind::Punct) {
            const bool folded = !piece.empty() && piece[0] == kFolded;
            piece = (folded ? std::string(1, kFolded) : std::string()) +
                    unfolded(out[out.size() - 2]) + "." + unfolded(piece);
            out.resize(out.size() - 2);
        }
        out.push_back(std::move(piece));
    }
    for (std::string& piece : out)
        if (!piece.empty() && piece[0] == kFolded)
            piece = "lower(" + piece.substr(1) + ")";
    std::string result = joined(out, 0, out.size());
    if (options.keyOrder && !ordered)
        result += " ORDER BY \"ID\"";
    return result;
}

} // namespace PgDialect

} // namespace engine
