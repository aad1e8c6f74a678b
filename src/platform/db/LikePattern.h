#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// A compiled Like pattern with the database engine's rules: "*" any run of
// characters, "?" one character, "#" one digit, "[abc]", "[a-c]" and "[!abc]"
// character lists, letters compared without regard to case. The common
// "*text*" shape is answered by a plain substring search.
class LikePattern {
public:
    // Throws EngineError (invalid pattern) for an unclosed "[".
    static LikePattern compile(std::string_view pattern,
                               std::optional<char32_t> escape = std::nullopt);

    bool matches(std::string_view text) const;

private:
    enum class Kind { Star, One, Digit, Literal, Class };
    struct Token {
        Kind kind;
        char32_t ch = 0;
        bool negate = false;
        std::vector<std::pair<char32_t, char32_t>> ranges;
    };
    enum class Shape { General, Anything, Contains, Equals };

    bool matchGeneral(const std::u32string& text) const;
    static bool classMatches(const Token& t, char32_t c);

    std::vector<Token> tokens_;
    Shape shape_ = Shape::General;
    std::u32string literal_;   // folded text for Contains and Equals
    std::string asciiLiteral_; // the same, when it is plain ASCII
    bool asciiOnly_ = false;
};

} // namespace engine
