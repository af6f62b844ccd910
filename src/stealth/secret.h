// Byte buffers that hold keys, passwords or plaintext: wiped when released.
#pragma once

#include <sodium.h>

#include <cstdint>
#include <vector>

namespace kalmira::stealth {

class SecretBytes {
public:
    explicit SecretBytes(std::size_t n = 0) : v_(n) {}
    ~SecretBytes() { wipe(); }
    SecretBytes(const SecretBytes &) = delete;
    SecretBytes &operator=(const SecretBytes &) = delete;

    void resize(std::size_t n) {
        if (n > v_.capacity()) {
            std::vector<std::uint8_t> bigger(n);
            std::copy(v_.begin(), v_.end(), bigger.begin());
            wipe();
            v_.swap(bigger);
        } else {
            v_.resize(n);
        }
    }
    void wipe() {
        if (v_.capacity()) sodium_memzero(v_.data(), v_.capacity());
    }
    std::uint8_t *data() { return v_.data(); }
    const std::uint8_t *data() const { return v_.data(); }
    std::size_t size() const { return v_.size(); }

private:
    std::vector<std::uint8_t> v_;
};

} // namespace kalmira::stealth
