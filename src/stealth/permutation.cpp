#include "stealth/permutation.h"

#include <cmath>
#include <cstring>

namespace kalmira::stealth {

Permutation::Permutation(std::uint64_t m, const std::uint8_t *key) : m_(m) {
    a_ = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(m)));
    while (a_ * a_ < m) ++a_;
    while (a_ > 1 && (a_ - 1) * (a_ - 1) >= m) --a_;
    if (a_ == 0) a_ = 1;
    for (int i = 0; i < 3; ++i) {
        std::memcpy(&k_[i], key + 8 * i, 8);
        std::memcpy(&mul_[i], key + 24 + 8 * i, 8);
        mul_[i] |= 1;
    }
}

std::uint64_t Permutation::inverse(std::uint64_t s) const {
    std::uint64_t v = s;
    do {
        std::uint64_t l = v / a_, r = v % a_;
        for (int i = 2; i >= 0; --i) {
            const std::uint64_t f = round(i, l);
            const std::uint64_t prev = r >= f ? r - f : r + a_ - f;
            r = l;
            l = prev;
        }
        v = l * a_ + r;
    } while (v >= m_);
    return v;
}

void Permutation::forwardRun(std::uint64_t first, std::size_t n, std::uint64_t *out) const {
    std::uint64_t l = first / a_, r = first % a_;
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = forwardSplit(l, r);
        if (++r == a_) {
            r = 0;
            ++l;
        }
    }
}

} // namespace kalmira::stealth
