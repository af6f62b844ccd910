#include "stealth/embed.h"

#include "platform/binary_file.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kalmira::stealth {

namespace {

using format::kGroup;
using format::kHeadSlots;
using format::kSaltSlots;

// Bit r of the result is the lowest bit of p[r], r < 64.
std::uint64_t LowBits(const std::uint8_t *p) {
    std::uint64_t out = 0;
    for (int q = 0; q < 8; ++q) {
        std::uint64_t x;
        std::memcpy(&x, p + 8 * q, 8);
        out |= (((x & 0x0101010101010101ull) * 0x0102040810204080ull) >> 56) << (8 * q);
    }
    return out;
}

// Bit j of the result is bit j ^ m of x (m < 64): swaps of blocks of 1, 2, ... 32 bits.
std::uint64_t XorPermuteBits(std::uint64_t x, std::uint64_t m) {
    static constexpr std::uint64_t kLow[6] = {0x5555555555555555ull, 0x3333333333333333ull, 0x0F0F0F0F0F0F0F0Full,
                                              0x00FF00FF00FF00FFull, 0x0000FFFF0000FFFFull, 0x00000000FFFFFFFFull};
    for (int l = 0; l < 6; ++l) {
        const int s = 1 << l;
        const std::uint64_t swapped = ((x & kLow[l]) << s) | ((x >> s) & kLow[l]);
        x = (m >> l) & 1 ? swapped : x;
    }
    return x;
}

} // namespace

Embedder::Embedder(const Layout &layout, const std::uint8_t *orderKey, int k, std::uint64_t blocks)
    : perm_(std::max<std::uint64_t>(1, format::Groups(layout.usable())), orderKey),
      groups_(format::Groups(layout.usable())), k_(k), n_(format::BlockSlots(k)),
      seg_(format::BodySlots(layout.usable()), blocks), layout_(layout) {
    std::memcpy(maskKey_, orderKey + 48, 16);
    maskKey_[1] |= 1;
}

std::uint64_t Embedder::headIndex(std::uint64_t s) const {
    const std::uint64_t g = perm_.inverse(s / kGroup);
    return kSaltSlots + g * kGroup + ((s % kGroup) ^ mask(g));
}

std::uint64_t Embedder::windowBlocks(std::size_t windowBytes) const {
    return std::max<std::uint64_t>(64, std::uint64_t{windowBytes} * 8 / static_cast<std::uint64_t>(k_) / 64 * 64);
}

// Calls fn(base, mask, low, j0, j1, i, block, segment length) for each run
// of slots of one segment inside one group, for the blocks of the window: the
// run's bytes are base[j ^ mask] for j in [j0, j1), the first being slot i of
// its segment; bit j of `low` is the lowest bit of base[j ^ mask]. With k = 1
// and segments of one slot, whole groups go to whole(base, mask, low, bit)
// instead: slot j is block bit + j of the window.
template <bool kLow, class Fn, class GroupFn>
void Embedder::visit(std::uint64_t first, std::uint8_t *bytes, std::size_t n, const Window &w, Fn &&fn,
                     GroupFn &&whole) {
    if (seg_.blocks == 0) return;
    const std::uint64_t gFirst = first <= kSaltSlots ? 0 : (first - kSaltSlots) / kGroup;
    const std::uint64_t gEnd = std::min(groups_, first + n <= kSaltSlots ? 0 : (first + n - kSaltSlots) / kGroup);
    const std::uint64_t len = seg_.length, tLo = w.first * len, tHi = w.end * len;
    const bool wholeGroups = k_ == 1 && len == 1;
    constexpr std::size_t kBatch = 1024, kAhead = 12;
    const double perSlot = 1.0 / static_cast<double>(len);
    slots_.resize(kBatch);
    for (std::uint64_t g0 = gFirst; g0 < gEnd; g0 += kBatch) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kBatch, gEnd - g0));
        if (g0 + count <= cached_) {
            std::copy_n(groupSlots_.begin() + static_cast<std::ptrdiff_t>(g0), count, slots_.begin());
        } else {
            perm_.forwardRun(g0, count, slots_.data());
            if (g0 == cached_ && groups_ <= (std::uint64_t{1} << 22)) {
                groupSlots_.resize(static_cast<std::size_t>(groups_));
                std::copy_n(slots_.begin(), count, groupSlots_.begin() + static_cast<std::ptrdiff_t>(g0));
                cached_ = g0 + count;
            }
        }
        for (std::size_t gi = 0; gi < count; ++gi) {
            // A group's fields lie anywhere in the window: fetch them early.
            if (gi + kAhead < count && slots_[gi + kAhead] * kGroup >= kHeadSlots) {
                const auto b = static_cast<std::uint64_t>(
                    static_cast<double>(slots_[gi + kAhead] * kGroup - kHeadSlots) * perSlot);
                if (b >= w.first && b < w.end) __builtin_prefetch(w.fields.data() + ((b - w.first) * k_ >> 3));
            }
            const std::uint64_t slot0 = slots_[gi] * kGroup;
            if (slot0 < kHeadSlots) continue;
            const std::uint64_t t0 = slot0 - kHeadSlots;
            if (t0 >= tHi || t0 + kGroup <= tLo) continue;
            const std::uint64_t g = g0 + gi, m = mask(g);
            std::uint8_t *base = bytes + (kSaltSlots + g * kGroup - first);
            const std::uint64_t low = kLow ? XorPermuteBits(LowBits(base), m) : 0; // bit j: lowest bit of slot j
            if (wholeGroups && t0 >= tLo && t0 + kGroup <= tHi) {
                whole(base, m, low, t0 - tLo);
                continue;
            }
            std::uint64_t b = t0 / len, i = t0 - b * len;
            for (std::uint64_t j = 0; j < kGroup;) {
                const std::uint64_t j1 = std::min(kGroup, j + (len - i));
                if (b >= w.first && b < w.end) fn(base, m, low, j, j1, i, b, len);
                i += j1 - j;
                j = j1;
                if (i == len) {
                    ++b;
                    i = 0;
                }
            }
        }
    }
}

bool Embedder::accumulate(const platform::BinaryFile &file, Window &w, const std::function<bool(double)> &progress) {
    std::uint8_t *fields = w.fields.data();
    return ReadPass(
        file, layout_,
        [&](std::uint64_t first, std::uint8_t *u, std::size_t n) {
            visit<true>(
                first, u, n, w,
                [&](const std::uint8_t *, std::uint64_t, std::uint64_t low, std::uint64_t j0, std::uint64_t j1,
                    std::uint64_t i, std::uint64_t b, std::uint64_t) {
                    const std::uint64_t run = (low >> j0) & (~std::uint64_t{0} >> (64 - (j1 - j0)));
                    std::uint32_t syndrome = 0;
                    if (n_ == 1) {
                        syndrome = std::popcount(run) & 1;
                    } else {
                        const std::uint64_t col0 = i % n_;
                        for (std::uint64_t bits = run; bits; bits &= bits - 1) {
                            const std::uint64_t col = (col0 + std::countr_zero(bits)) % n_;
                            syndrome ^= static_cast<std::uint32_t>(col + 1);
                        }
                    }
                    format::XorField(fields, b - w.first, k_, syndrome);
                },
                [&](const std::uint8_t *, std::uint64_t, std::uint64_t low, std::uint64_t bit) {
                    std::uint64_t word;
                    std::memcpy(&word, fields + bit / 8, 8);
                    word ^= low;
                    std::memcpy(fields + bit / 8, &word, 8);
                });
        },
        progress);
}

} // namespace kalmira::stealth
