#include "crypto/password_text.h"

#include "platform/platform.h"

namespace kalmira::crypto {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// Length of the well-formed UTF-8 sequence at s[i] (no overlongs, surrogates
// or code points past U+10FFFF), 0 when malformed.
std::size_t sequenceAt(std::string_view s, std::size_t i, char32_t &cp) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || s.size() - i < n) return 0;
    cp = n == 1 ? b : b & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

bool validUtf8(std::string_view s) {
    char32_t cp;
    for (std::size_t i = 0, n; i < s.size(); i += n)
        if ((n = sequenceAt(s, i, cp)) == 0) return false;
    return true;
}

PasswordText fromUtf8(std::string_view line) {
    PasswordText out;
    char32_t cp = 0;
    std::size_t position = 0;
    for (std::size_t i = 0, n; i < line.size(); i += n) {
        ++position;
        n = sequenceAt(line, i, cp);
        if (n == 0) {
            out.status = PasswordText::Status::InvalidUtf8;
            out.refusedAt = position;
            break;
        }
        // The code page rule lives in one place: the platform's conversion.
        const std::string ansi = platform::AnsiFromUtf8(line.substr(i, n));
        if (ansi == "?" && cp != U'?') {
            out.status = PasswordText::Status::Unrepresentable;
            out.refused = cp;
            out.refusedUtf8 = std::string(line.substr(i, n));
            out.refusedAt = position;
            break;
        }
        out.ansi.append(ansi);
    }
    if (out.status != PasswordText::Status::Ok) out.ansi.clear();
    return out;
}

} // namespace

PasswordText PasswordFromFile(std::string_view fileBytes) {
    std::string_view line = fileBytes.substr(0, fileBytes.find('\n'));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.substr(0, kBom.size()) == kBom) return fromUtf8(line.substr(kBom.size()));
    if (validUtf8(line)) return fromUtf8(line);
    PasswordText out; // every byte is a Windows-1252 character as it stands
    out.ansi.append(line);
    return out;
}

} // namespace kalmira::crypto
