#include "TextFold.h"

namespace engine {

char32_t foldCase(char32_t c) {
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 32;
    if (c >= 0x100 && c <= 0x17F) {
        // Pairs alternate upper/lower, with the run 0x139-0x148 and
        // 0x179-0x17E shifted by one.
        bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddPairs)
            return (c % 2 == 1) ? c + 1 : c;
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        return (c % 2 == 0) ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return c + 32;
    if (c >= 0x410 && c <= 0x42F)
        return c + 32;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    return c;
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
