#include "TextFold.h"

#include <QChar>

namespace engine {

char32_t foldCase(char32_t c) {
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    // Unicode's simple case folding, one code point for one: every script's
    // letter pairs (Ÿ and ÿ, Ά and ά, Ѣ and ѣ), final sigma as sigma.
    return QChar::toCaseFolded(c);
}

void decodeFolded(std::string_view s, std::u32string& out) {
    out.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        unsigned char b = *p;
        char32_t c;
        int extra;
        if (b < 0x80) {
            c = b;
            extra = 0;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            extra = 1;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            extra = 3;
        } else {
            out.push_back(b);
            ++p;
            continue;
        }
        if (end - p <= extra) {
            out.push_back(b);
            ++p;
            continue;
        }
        bool ok = true;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (p[i] & 0x3F);
        }
        if (!ok) {
            out.push_back(b);
            ++p;
            continue;
        }
        out.push_back(foldCase(c));
        p += extra + 1;
    }
}

} // namespace engine
