// The two fixed texts every carrier depends on: the password padding and the
// cipher key suffix. Assembled from character codes at run time so neither
// stands in the binary as a plain string. Changing either makes every stored
// carrier unreadable.
#pragma once

#include <string>
#include <string_view>

namespace kalmira::crypto {

// 16 printable ASCII characters.
inline std::string PasswordPadding() {
    static const int codes[16] = {75, 55, 113, 35, 76, 50, 109, 90, 33, 119, 82, 52, 36, 120, 57, 64};
    std::string s;
    for (int c : codes) s += static_cast<char>(c);
    return s;
}

// 16 lower-case ASCII letters.
inline std::string KeySuffix() {
    static const int codes[16] = {113, 109, 122, 118, 116, 114, 104, 107, 112, 108, 119, 100, 120, 110, 103, 99};
    std::string s;
    for (int c : codes) s += static_cast<char>(c);
    return s;
}

// A password of n ANSI characters (0 <= n <= 16) followed by the first 16 - n
// characters of the padding; longer input is cut to 16.
inline std::string PadPassword(const std::string &ansiPassword) {
    std::string p = ansiPassword.substr(0, 16);
    return p + PasswordPadding().substr(0, 16 - p.size());
}

// Padded password + key suffix: 32 characters, the key of both ciphers.
inline std::string CipherKeyText(std::string_view paddedPassword) {
    const std::string suffix = KeySuffix();
    std::string key;
    key.reserve(paddedPassword.size() + suffix.size()); // one buffer: nothing of the password is left behind
    key.append(paddedPassword).append(suffix);
    return key;
}

} // namespace kalmira::crypto
