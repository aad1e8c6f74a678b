#include "LikePattern.h"

#include "EngineError.h"
#include "TextFold.h"

#include <cstring>

namespace engine {

namespace {

const std::string kInvalidPattern = "Invalid pattern string.";

unsigned char kLower[256];
const bool kLowerReady = [] {
    for (int i = 0; i < 256; ++i)
        kLower[i] = static_cast<unsigned char>((i >= 'A' && i <= 'Z') ? i + 32 : i);
    return true;
}();

bool containsAscii(std::string_view hay, const std::string& needle) {
    const std::size_t m = needle.size();
    if (m == 0)
        return true;
    if (hay.size() < m)
        return false;
    const auto* h = reinterpret_cast<const unsigned char*>(hay.data());
    const auto* n = reinterpret_cast<const unsigned char*>(needle.data());
    const unsigned char first = n[0];
    const std::size_t last = hay.size() - m;
    for (std::size_t i = 0; i <= last; ++i) {
        if (kLower[h[i]] != first)
            continue;
        std::size_t j = 1;
        while (j < m && kLower[h[i + j]] == n[j])
            ++j;
        if (j == m)
            return true;
    }
    return false;
}

} // namespace

LikePattern LikePattern::compile(std::string_view pattern, std::optional<char32_t> escape) {
    (void)kLowerReady;
    std::u32string cps;
    decodeFolded(pattern, cps);
    LikePattern p;
    for (std::size_t i = 0; i < cps.size(); ++i) {
        char32_t c = cps[i];
        Token t{};
        if (escape && c == foldCase(*escape) && i + 1 < cps.size()) {
            t.kind = Kind::Literal;
            t.ch = cps[++i];
        } else if (c == U'*') {
            if (!p.tokens_.empty() && p.tokens_.back().kind == Kind::Star)
                continue;
            t.kind = Kind::Star;
        } else if (c == U'?') {
            t.kind = Kind::One;
        } else if (c == U'#') {
            t.kind = Kind::Digit;
        } else if (c == U'[') {
            std::size_t close = cps.find(U']', i + 1);
            if (close == std::u32string::npos)
                throw EngineError(err::InvalidPattern, kInvalidPattern);
            std::u32string body = cps.substr(i + 1, close - i - 1);
            i = close;
            if (body.empty())
                continue; // "[]" matches the empty string
            t.kind = Kind::Class;
            std::size_t k = 0;
            if (body[0] == U'!' && body.size() > 1) {
                t.negate = true;
                k = 1;
            }
            for (; k < body.size(); ++k) {
                char32_t lo = body[k];
                if (k + 2 < body.size() && body[k + 1] == U'-') {
                    char32_t hi = body[k + 2];
                    if (hi < lo)
                        throw EngineError(err::InvalidPattern, kInvalidPattern);
                    t.ranges.emplace_back(lo, hi);
                    k += 2;
                } else {
                    t.ranges.emplace_back(lo, lo);
                }
            }
        } else {
            t.kind = Kind::Literal;
            t.ch = c;
        }
        p.tokens_.push_back(std::move(t));
    }

    // Recognise the shapes a search bar produces.
    auto allLiteral = [&](std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to; ++k)
            if (p.tokens_[k].kind != Kind::Literal)
                return false;
        return true;
    };
    const std::size_t n = p.tokens_.size();
    if (n == 1 && p.tokens_[0].kind == Kind::Star) {
        p.shape_ = Shape::Anything;
    } else if (n >= 2 && p.tokens_.front().kind == Kind::Star &&
               p.tokens_.back().kind == Kind::Star && allLiteral(1, n - 1)) {
        p.shape_ = Shape::Contains;
        for (std::size_t k = 1; k + 1 < n; ++k)
            p.literal_.push_back(p.tokens_[k].ch);
    } else if (allLiteral(0, n)) {
        p.shape_ = Shape::Equals;
        for (const auto& t : p.tokens_)
            p.literal_.push_back(t.ch);
    }
    p.asciiOnly_ = true;
    for (char32_t c : p.literal_) {
        if (c >= 0x80) {
            p.asciiOnly_ = false;
            break;
        }
        p.asciiLiteral_.push_back(static_cast<char>(c));
    }
    return p;
}

bool LikePattern::classMatches(const Token& t, char32_t c) {
    bool in = false;
    for (const auto& [lo, hi] : t.ranges) {
        if (c >= lo && c <= hi) {
            in = true;
            break;
        }
    }
    return in != t.negate;
}

bool LikePattern::matches(std::string_view text) const {
    if (shape_ == Shape::Anything)
        return true;
    if (shape_ == Shape::Contains && asciiOnly_)
        return containsAscii(text, asciiLiteral_);
    thread_local std::u32string folded;
    decodeFolded(text, folded);
    if (shape_ == Shape::Contains)
        return folded.find(literal_) != std::u32string::npos;
    if (shape_ == Shape::Equals)
        return folded == literal_;
    return matchGeneral(folded);
}

bool LikePattern::matchGeneral(const std::u32string& s) const {
    // Every token but "*" takes exactly one character, so one remembered
    // star with its resume point is enough to backtrack.
    std::size_t ti = 0, si = 0;
    std::size_t starTok = std::string::npos, starText = 0;
    while (si < s.size()) {
        if (ti < tokens_.size()) {
            const Token& t = tokens_[ti];
            bool ok = false;
            switch (t.kind) {
            case Kind::Star:
                starTok = ti++;
                starText = si;
                continue;
            case Kind::One:
                ok = true;
                break;
            case Kind::Digit:
                ok = s[si] >= U'0' && s[si] <= U'9';
                break;
            case Kind::Literal:
                ok = s[si] == t.ch;
                break;
            case Kind::Class:
                ok = classMatches(t, s[si]);
                break;
            }
            if (ok) {
                ++ti;
                ++si;
                continue;
            }
        }
        if (starTok == std::string::npos)
            return false;
        ti = starTok + 1;
        si = ++starText;
    }
    while (ti < tokens_.size() && tokens_[ti].kind == Kind::Star)
        ++ti;
    return ti == tokens_.size();
}

} // namespace engine
