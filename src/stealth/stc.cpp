#include "stealth/stc.h"

#include "stealth/stc_trellis.h"

#include <algorithm>
#include <cassert>

namespace kalmira::stealth::stc {
namespace {

// SplitMix64: simple enough for any other implementation to repeat exactly.
std::uint64_t SplitMix64(std::uint64_t &state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

bool ValidCosts(std::span<const float> costs) {
    for (const float c : costs)
        if (!(c >= 0.0f && (c <= kMaxCost || c == kWet))) return false; // NaN fails too
    return true;
}

bool Forward(Path path, const detail::Trellis &t) {
#if defined(__x86_64__)
    if (path == Path::Avx512 && PathAvailable(Path::Avx512)) return detail::ForwardAvx512(t);
    if (path >= Path::Avx2 && PathAvailable(Path::Avx2)) return detail::ForwardAvx2(t);
    if (path != Path::Portable) return detail::ForwardSse2(t);
#else
    (void)path;
#endif
    return detail::ForwardPortable(t);
}

// Per height 6 .. 10 and width 0 .. 32: the candidate stc_bench --search found
// best. Changing an entry changes the format.
constexpr int kFirstTabled = 6, kLastTabled = 10;
constexpr std::size_t kTabledWidths = 33;
constexpr std::uint8_t kChosen[kLastTabled - kFirstTabled + 1][kTabledWidths] = {
    {0,  0,  38, 25, 72, 12, 57, 2,  58, 70, 57, 22, 10, 60, 46, 72, 36,
     49, 13, 63, 46, 32, 12, 8,  42, 25, 2,  16, 74, 44, 50, 88, 90}, // h = 6
    {0,  0, 81, 41, 39, 80, 72, 72, 9, 75, 37, 59, 78, 10, 47, 85, 73,
     71, 6, 13, 36, 82, 15, 80, 33, 1, 21, 10, 56, 68, 12, 54, 17}, // h = 7
    {0,  0,  84, 42, 12, 14, 59, 47, 29, 4,  25, 57, 36, 28, 91, 61, 17,
     35, 22, 64, 9,  20, 40, 14, 46, 8,  30, 43, 78, 61, 19, 94, 16}, // h = 8
    {0,  0,  56, 72, 33, 38, 51, 17, 66, 67, 67, 74, 64, 4,  50, 53, 61,
     46, 31, 82, 51, 59, 18, 21, 95, 8,  3,  63, 69, 80, 27, 84, 28}, // h = 9
    {0,  0,  17, 82, 18, 5,  26, 45, 24, 55, 52, 57, 68, 40, 35, 68, 21,
     36, 28, 18, 20, 11, 92, 28, 10, 23, 68, 78, 56, 73, 11, 20, 1}, // h = 10
};

} // namespace

std::uint32_t ChosenCandidate(int h, std::size_t w) {
    return h >= kFirstTabled && h <= kLastTabled && w < kTabledWidths ? kChosen[h - kFirstTabled][w] : 0;
}

std::vector<std::uint32_t> Submatrix(int h, std::size_t w, std::uint32_t k) {
    if (h < kMinHeight || h > kMaxHeight || w == 0) return {};
    std::vector<std::uint32_t> columns(w);
    const std::uint32_t all = (std::uint32_t{1} << h) - 1, ends = 1u | (std::uint32_t{1} << (h - 1));
    std::uint64_t state = (std::uint64_t(h) << 48) | (std::uint64_t(w) << 32) | k;
    for (auto &column : columns) column = (static_cast<std::uint32_t>(SplitMix64(state)) & all) | ends;
    return columns;
}

std::optional<Code> Code::Make(std::size_t n, std::size_t m, int h, std::optional<std::uint32_t> candidate) {
    if (h < kMinHeight || h > kMaxHeight || n > kMaxBlockLength || m > n) return std::nullopt;
    if (m == 0) return Code(n, m, h, 0, 0, {});
    const std::size_t head = std::min(2 * static_cast<std::size_t>(h), n - m), narrow = (n - head) / m;
    std::vector<std::uint32_t> columns;
    for (const std::size_t w : {narrow, narrow + 1, head + narrow}) {
        const auto hhat = Submatrix(h, w, candidate.value_or(ChosenCandidate(h, w)));
        columns.insert(columns.end(), hhat.begin(), hhat.end());
    }
    return Code(n, m, h, head, narrow, std::move(columns));
}

bool PathAvailable(Path path) {
    switch (path) {
#if defined(__x86_64__)
    case Path::Portable:
    case Path::Sse2: return true;
    case Path::Avx2: {
        static const bool has = [] {
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2") != 0;
        }();
        return has;
    }
    case Path::Avx512: {
        static const bool has = [] {
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx512f") != 0;
        }();
        return has;
    }
#else
    case Path::Portable: return true;
    case Path::Sse2:
    case Path::Avx2:
    case Path::Avx512: return false;
#endif
    }
    return false;
}

Path FastestPath() {
    static const Path path = PathAvailable(Path::Avx512) ? Path::Avx512
                             : PathAvailable(Path::Avx2) ? Path::Avx2
                             : PathAvailable(Path::Sse2) ? Path::Sse2
                                                         : Path::Portable;
    return path;
}

bool Extract(const Code &code, std::span<const std::uint8_t> parities, std::span<std::uint8_t> message) {
    if (parities.size() != code.length() || message.size() != code.bits()) return false;
    std::uint32_t syndrome = 0;
    std::size_t j = 0;
    for (std::size_t i = 0; i < message.size(); ++i) {
        const std::uint32_t mask = code.rowMask(i);
        const std::size_t end = code.start(i + 1);
        const std::uint32_t *columns = code.submatrix(end - j);
        for (std::size_t k = 0; j < end; ++j, ++k) syndrome ^= columns[k] & mask & (0u - (parities[j] & 1u));
        message[i] = static_cast<std::uint8_t>(syndrome & 1);
        syndrome >>= 1;
    }
    return true;
}

struct alignas(64) Embedder::States {
    float a[std::size_t{1} << kMaxHeight], b[std::size_t{1} << kMaxHeight];
};

Embedder::Embedder(Path path) : path_(path), states_(std::make_unique<States>()) {}
Embedder::~Embedder() = default;

EmbedResult Embedder::embed(const Code &code, std::span<const std::uint8_t> parities, std::span<const float> costs,
                            std::span<const std::uint8_t> message, std::span<std::uint8_t> stego) {
    EmbedResult result;
    const std::size_t n = code.length(), m = code.bits();
    if (parities.size() != n || costs.size() != n || message.size() != m || stego.size() != n) return result;
    for (std::size_t j = 0; j < n; ++j) stego[j] = parities[j] & 1;
    if (!ValidCosts(costs)) return result;

    // Flips from the cover: the trellis has to reach message XOR H*cover.
    target_.resize(m);
    Extract(code, stego, target_);
    for (std::size_t i = 0; i < m; ++i) target_[i] ^= message[i] & 1;
    result.status = Status::Ok;
    if (m == 0) return result;

    const std::size_t stride = detail::TrailStride(code.height());
    trail_.resize(n * stride);
    if (!Forward(path_, {&code, costs.data(), target_.data(), trail_.data(), states_->a, states_->b})) {
        result.status = Status::Infeasible;
        return result;
    }

    // Back from the one surviving state, undoing each move and each change.
    const std::uint32_t all = (std::uint32_t{1} << code.height()) - 1; // keeps reads in the trail
    std::uint32_t state = 0;
    for (std::size_t i = m, j = n; i-- > 0;) {
        state = ((state << 1) | target_[i]) & all;
        const std::uint32_t mask = code.rowMask(i);
        const std::size_t first = code.start(i);
        const std::uint32_t *columns = code.submatrix(j - first);
        while (j > first) {
            --j;
            if ((trail_[j * stride + (state >> 3)] >> (state & 7)) & 1) {
                state ^= columns[j - first] & mask;
                stego[j] ^= 1;
                result.cost += costs[j];
                ++result.changes;
            }
        }
    }
    assert(state == 0);
    return result;
}

} // namespace kalmira::stealth::stc
