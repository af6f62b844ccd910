#include "platform/platform.h"

namespace kalmira::platform {

namespace {
// Windows-1252 0x80..0x9F; 0 marks the five undefined bytes, which map to the
// C1 control of the same value (as Windows' own conversion does).
constexpr char16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// Malformed sequences yield U+FFFD for one byte, so they end up as '?'.
char32_t decodeUtf8(std::string_view s, size_t &i) {
    auto b = static_cast<unsigned char>(s[i]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    if (extra == 0) {
        ++i;
        return b;
    }
    if (extra < 0 || s.size() - i <= static_cast<size_t>(extra)) {
        ++i;
        return 0xFFFD;
    }
    char32_t cp = b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    i += extra + 1;
    return cp;
}

void appendUtf8(std::string &out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}
} // namespace

std::string AnsiFromUtf8(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp = decodeUtf8(utf8, i);
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        char ch = '?';
        for (int k = 0; k < 32; ++k) {
            char16_t m = kHigh[k] ? kHigh[k] : static_cast<char16_t>(0x80 + k);
            if (m == cp) {
                ch = static_cast<char>(0x80 + k);
                break;
            }
        }
        out += ch;
    }
    return out;
}

std::string Utf8FromAnsi(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size() + ansi.size() / 8);
    for (unsigned char b : ansi) {
        char32_t cp = b;
        if (b >= 0x80 && b <= 0x9F && kHigh[b - 0x80]) cp = kHigh[b - 0x80];
        appendUtf8(out, cp);
    }
    return out;
}

} // namespace kalmira::platform
