// RC4 stream cipher as published (key schedule and output generator, nothing
// discarded). Encrypting and decrypting are the same call.
#pragma once

#include "platform/secure_memory.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kalmira::crypto {

class clsRC4 {
public:
    clsRC4() = default;
    // The key and its state do not outlive the cipher.
    ~clsRC4() {
        platform::WipeString(key_);
        platform::SecureWipe(state_.data(), state_.size());
    }
    clsRC4(const clsRC4 &) = default;
    clsRC4 &operator=(const clsRC4 &) = default;
    // Sets the key text (ANSI bytes, one per character) and schedules it; an
    // equal text keeps the schedule. std::invalid_argument for an empty text.
    void Key(const std::string &keyText);

    // Combines data[0..n) with the key stream in place, always from the first
    // key-stream byte. A non-empty keyText is set through Key first; an empty one
    // keeps the key set before (std::logic_error when none was ever set).
    void EncryptByte(std::uint8_t *data, std::size_t n, const std::string &keyText);
    void EncryptByte(std::vector<std::uint8_t> &data, const std::string &keyText) {
        EncryptByte(data.data(), data.size(), keyText);
    }

    // Percentage done during EncryptByte: 0 after the first byte, then each time
    // the next whole percentage is reached, and 100 at the end.
    std::function<void(int)> Progress;

private:
    std::string key_;
    std::array<std::uint8_t, 256> state_{};
};

} // namespace kalmira::crypto
