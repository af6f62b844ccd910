#include "crypto/clsRC4.h"

#include <cmath>
#include <stdexcept>

namespace kalmira::crypto {

void clsRC4::Key(const std::string &keyText) {
    if (keyText.empty()) throw std::invalid_argument("clsRC4.Key - empty key");
    if (keyText == key_) return;
    for (int i = 0; i < 256; ++i) state_[i] = static_cast<std::uint8_t>(i);
    const std::size_t len = keyText.size();
    unsigned j = 0;
    for (std::size_t i = 0; i < 256; ++i) {
        j = (j + state_[i] + static_cast<std::uint8_t>(keyText[i % len])) & 0xFF;
        std::swap(state_[i], state_[j]);
    }
    key_ = keyText;
}

namespace {

// Key stream over [begin, end); i and j carry over between runs.
inline void Crypt(std::uint8_t *s, std::uint8_t *data, std::size_t begin, std::size_t end, unsigned &i, unsigned &j) {
    unsigned x = i, y = j;
    for (std::size_t k = begin; k < end; ++k) {
        x = (x + 1) & 0xFF;
        const std::uint8_t tx = s[x];
        y = (y + tx) & 0xFF;
        const std::uint8_t ty = s[y];
        s[x] = ty;
        s[y] = tx;
        data[k] ^= s[(tx + ty) & 0xFF];
    }
    i = x;
    j = y;
}

} // namespace

void clsRC4::EncryptByte(std::uint8_t *data, std::size_t n, const std::string &keyText) {
    if (!keyText.empty()) Key(keyText);
    if (key_.empty()) throw std::logic_error("clsRC4.EncryptByte - no key set");

    std::array<std::uint8_t, 256> s = state_;
    unsigned i = 0, j = 0;
    const double count = static_cast<double>(n);
    std::size_t threshold = 0; // next element after which a percentage is due
    int last = -1;
    std::size_t k = 0;
    while (k < n) {
        // Elements before the threshold raise nothing: run them in one go.
        const std::size_t runEnd = threshold > k ? std::min(threshold, n) : k;
        Crypt(s.data(), data, k, runEnd, i, j);
        k = runEnd;
        if (k >= n) break;
        Crypt(s.data(), data, k, k + 1, i, j);
        const int percent = static_cast<int>(std::floor(static_cast<double>(k) / count * 100.0));
        // Rounded to nearest, halves to even (the default floating-point mode).
        threshold = static_cast<std::size_t>(std::nearbyint((percent + 1) / 100.0 * count + 1.0));
        last = percent;
        if (Progress) Progress(percent);
        ++k;
    }
    if (last != 100 && Progress) Progress(100);
}

} // namespace kalmira::crypto
