// A stand-in for the syndrome-trellis coder (stealth/stc.h) with the same
// interface, used until that lands: the trellis of height 1, i.e. message bit
// i is the XOR of the parities of the elements [i*n/m, (i+1)*n/m), and the
// sender flips the cheapest dry element of each segment whose XOR is wrong.
// Correct and optimal for its code, wet elements included, but far from the
// real coder's efficiency. The height and submatrix are accepted and ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>

namespace kalmira::stealth::stc_standin {

inline constexpr int kMinHeight = 1;
inline constexpr int kMaxHeight = 12;
inline constexpr int kDefaultHeight = 8;
inline constexpr std::size_t kMaxBlockLength = std::size_t{1} << 20;
inline constexpr float kWet = std::numeric_limits<float>::infinity();
inline constexpr float kMaxCost = 1e30f;

class Code {
public:
    static std::optional<Code> Make(std::size_t n, std::size_t m, int h,
                                    std::optional<std::uint32_t> = std::nullopt) {
        if (h < kMinHeight || h > kMaxHeight || n > kMaxBlockLength || m > n) return std::nullopt;
        return Code(n, m);
    }
    std::size_t length() const { return n_; }
    std::size_t bits() const { return m_; }
    std::size_t start(std::size_t i) const { return static_cast<std::size_t>(std::uint64_t{i} * n_ / m_); }

private:
    Code(std::size_t n, std::size_t m) : n_(n), m_(m) {}
    std::size_t n_, m_;
};

enum class Status { Ok, Infeasible, InvalidInput };

struct EmbedResult {
    Status status = Status::InvalidInput;
    double cost = 0;
    std::size_t changes = 0;
    std::size_t block = 0;
};

inline bool Extract(const Code &code, std::span<const std::uint8_t> parities, std::span<std::uint8_t> message) {
    if (parities.size() != code.length() || message.size() != code.bits()) return false;
    for (std::size_t i = 0; i < message.size(); ++i) {
        std::uint8_t x = 0;
        for (std::size_t j = code.start(i), end = code.start(i + 1); j < end; ++j) x ^= parities[j] & 1;
        message[i] = x;
    }
    return true;
}

class Embedder {
public:
    EmbedResult embed(const Code &code, std::span<const std::uint8_t> parities, std::span<const float> costs,
                      std::span<const std::uint8_t> message, std::span<std::uint8_t> stego) {
        EmbedResult r;
        const std::size_t n = code.length(), m = code.bits();
        if (parities.size() != n || costs.size() != n || message.size() != m || stego.size() != n) return r;
        for (std::size_t j = 0; j < n; ++j) stego[j] = parities[j] & 1;
        for (const float c : costs)
            if (!(c >= 0.0f && (c <= kMaxCost || c == kWet))) return r;
        for (std::size_t i = 0; i < m; ++i) {
            std::uint8_t x = message[i] & 1;
            std::size_t best = n;
            for (std::size_t j = code.start(i), end = code.start(i + 1); j < end; ++j) {
                x ^= stego[j];
                if (costs[j] != kWet && (best == n || costs[j] < costs[best])) best = j;
            }
            if (x == 0) continue;
            if (best == n) {
                for (std::size_t j = 0; j < n; ++j) stego[j] = parities[j] & 1;
                r.status = Status::Infeasible;
                return r;
            }
            stego[best] ^= 1;
            r.cost += costs[best];
            ++r.changes;
        }
        r.status = Status::Ok;
        return r;
    }
};

} // namespace kalmira::stealth::stc_standin
