// The forward pass of the Viterbi algorithm over one block, shared by the
// coder (stc.cpp) and its implementations (stc_forward.cpp, stc_avx512.cpp).
//
// A state is the partial syndrome of the h rows of the current window, bit 0
// the row of the current message bit; its value is the least cost of the
// changes so far that reach it. Element j with column c: keeping it leaves a
// state, changing it (cost rho_j) XORs c into it. After the last column of
// message bit i only states whose bit 0 is target bit i survive, and the
// window moves down a row: new[t] = old[2t | bit], the top half unreachable.
// To keep the costs small and their rounding harmless, each move subtracts
// the least state cost found at the move before.
#pragma once

#include "stealth/stc.h"

#include <cstddef>
#include <cstdint>
#include <limits>

namespace kalmira::stealth::stc::detail {

struct Trellis {
    const Code *code;
    const float *costs;         // n, validated
    const std::uint8_t *target; // m bits: message XOR syndrome of the cover
    std::uint8_t *trail;        // n * TrailStride(h): bit s of element j = state s was reached by changing j
    float *a, *b;               // 2^h floats each, 64-byte aligned
};

// Bytes of trail per element; state s is bit s % 8 of byte s / 8.
inline std::size_t TrailStride(int h) { return h >= 3 ? (std::size_t{1} << h) / 8 : 1; }

// False when no state survives: the message cannot be reached.
bool ForwardPortable(const Trellis &t);
#if defined(__x86_64__)
bool ForwardSse2(const Trellis &t);   // h >= 3
bool ForwardAvx2(const Trellis &t);   // h >= 4, AVX2 processors only
bool ForwardAvx512(const Trellis &t); // h >= 5, AVX-512 processors only
#endif

inline constexpr float kInf = std::numeric_limits<float>::infinity();

inline void Start(float *a, std::size_t states) {
    a[0] = 0;
    for (std::size_t s = 1; s < states; ++s) a[s] = kInf;
}

inline void Swap(float *&a, float *&b) {
    float *t = a;
    a = b;
    b = t;
}

// The loop over the message bits. Ops::column handles one element,
// Ops::move the step to the next window (returning the least surviving
// cost). Where Ops::kFused, Ops::moveColumn does a move and the next block's
// first column in one pass; it may when that column has its last row set
// (all but the last h - 1 blocks): a state below 2^(h-1) then pairs with one
// above, which the move left unreachable.
template <class Ops>
inline bool Drive(const Trellis &t, const Ops &ops) {
    const Code &code = *t.code;
    const std::size_t stride = TrailStride(code.height());
    const std::uint32_t full = (std::uint32_t{1} << code.height()) - 1;
    float *src = t.a, *dst = t.b;
    Start(src, std::size_t{1} << code.height());
    float least = 0;
    std::uint8_t *trail = t.trail;
    const std::size_t bits = code.bits();
    for (std::size_t i = 0, j = 0; i < bits; ++i) {
        const std::uint32_t mask = code.rowMask(i);
        const std::size_t end = code.start(i + 1);
        const std::uint32_t *columns = code.submatrix(end - j);
        std::size_t k = 0;
        if (i > 0) {
            const std::uint32_t bit = t.target[i - 1] & 1u;
            bool fused = false;
            if constexpr (Ops::kFused) {
                if (mask == full) {
                    least = ops.moveColumn(src, dst, bit, least, columns[k++], t.costs[j++], trail);
                    trail += stride;
                    fused = true;
                }
            }
            if (!fused) least = ops.move(src, dst, bit, least);
            Swap(src, dst);
            if (least == kInf) return false;
        }
        for (; j < end; ++j, ++k, trail += stride) {
            ops.column(src, dst, columns[k] & mask, t.costs[j], trail);
            Swap(src, dst);
        }
    }
    // Only the path ending in the message's last bit counts.
    return src[t.target[bits - 1] & 1u] != kInf;
}

} // namespace kalmira::stealth::stc::detail
