// The forward pass of the Viterbi algorithm over one block, shared by the
// coder (stc.cpp) and its implementations (stc_forward.cpp).
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
bool ForwardSse2(const Trellis &t); // h >= 3
bool ForwardAvx2(const Trellis &t); // h >= 4, AVX2 processors only
#endif

} // namespace kalmira::stealth::stc::detail
