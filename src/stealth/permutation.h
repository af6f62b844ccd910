// A keyed bijection on [0, m): a three-round Feistel network on a square of
// side a = ceil(sqrt(m)) with modular addition, and cycle walking for the few
// values in [m, a*a). No table: a position maps to its slot in a few
// nanoseconds, so the carrier can be streamed in file order.
#pragma once

#include <array>
#include <cstdint>

namespace kalmira::stealth {

class Permutation {
public:
    // `key` holds 48 bytes (three round keys and three multipliers).
    Permutation(std::uint64_t m, const std::uint8_t *key);

    std::uint64_t size() const { return m_; }
    std::uint64_t forward(std::uint64_t p) const { return forwardSplit(p / a_, p % a_); }
    std::uint64_t inverse(std::uint64_t s) const;

    // Slots of the positions first .. first+n-1, in order (the hot path).
    void forwardRun(std::uint64_t first, std::size_t n, std::uint64_t *out) const;

private:
    std::uint64_t round(int r, std::uint64_t x) const {
        const std::uint64_t h = (x ^ k_[r]) * mul_[r];
        return static_cast<std::uint64_t>((static_cast<unsigned __int128>(h ^ (h >> 29)) * a_) >> 64);
    }
    std::uint64_t rounds(std::uint64_t l, std::uint64_t r) const {
        for (int i = 0; i < 3; ++i) {
            std::uint64_t t = l + round(i, r);
            if (t >= a_) t -= a_;
            l = r;
            r = t;
        }
        return l * a_ + r;
    }
    std::uint64_t forwardSplit(std::uint64_t l, std::uint64_t r) const {
        std::uint64_t v = rounds(l, r);
        while (v >= m_) v = rounds(v / a_, v % a_);
        return v;
    }

    std::uint64_t m_, a_;
    std::array<std::uint64_t, 3> k_{}, mul_{};
};

} // namespace kalmira::stealth
