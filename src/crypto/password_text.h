// The password held in a password file, as the ciphers take it: Windows-1252.
#pragma once

#include "platform/secure_memory.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace kalmira::crypto {

struct PasswordText {
    enum class Status {
        Ok,
        Unrepresentable, // a character Windows-1252 cannot hold (see refused*)
        InvalidUtf8,     // a UTF-8 byte-order mark followed by malformed UTF-8
    };
    Status status = Status::Ok;
    platform::SecureString ansi; // the password in Windows-1252 when Ok
    char32_t refused = 0;        // the first refused character
    std::string refusedUtf8;     // the same as UTF-8 text, for the message
    std::size_t refusedAt = 0;   // its position in the line, counted from 1
};

// `fileBytes`: the password file's bytes (only the first line counts; its CR LF
// or LF is dropped). UTF-8 with a byte-order mark is read as UTF-8; without one,
// text that is valid UTF-8 is read as UTF-8 and anything else as Windows-1252.
PasswordText PasswordFromFile(std::string_view fileBytes);

} // namespace kalmira::crypto
