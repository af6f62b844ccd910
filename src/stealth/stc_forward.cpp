// The forward pass on each path. Every path performs the same IEEE operations
// in the same order per state (an add, a strict less-than that keeps the
// unchanged element on ties, a subtraction per move), so all give the same
// trail bit for bit.
#include "stealth/stc_trellis.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define KALMIRA_AVX2 __attribute__((target("avx2")))
#endif

namespace kalmira::stealth::stc::detail {
namespace {

struct PortableOps {
    static constexpr bool kFused = false;
    std::uint32_t states;
    void column(const float *src, float *dst, std::uint32_t c, float rho, std::uint8_t *trail) const {
        for (std::uint32_t s0 = 0; s0 < states; s0 += 8) {
            unsigned changed = 0;
            for (std::uint32_t s = s0; s < s0 + 8 && s < states; ++s) {
                const float keep = src[s], flip = src[s ^ c] + rho;
                const bool lt = flip < keep;
                dst[s] = lt ? flip : keep;
                changed |= unsigned{lt} << (s - s0);
            }
            trail[s0 / 8] = static_cast<std::uint8_t>(changed);
        }
    }
    float move(const float *src, float *dst, std::uint32_t bit, float least) const {
        float next = kInf;
        for (std::uint32_t s = 0; s < states / 2; ++s) {
            const float v = src[2 * s | bit] - least;
            dst[s] = v;
            next = v < next ? v : next;
        }
        for (std::uint32_t s = states / 2; s < states; ++s) dst[s] = kInf;
        return next;
    }
};

} // namespace

bool ForwardPortable(const Trellis &t) { return Drive(t, PortableOps{std::uint32_t{1} << t.code->height()}); }

#if defined(__x86_64__)
namespace {

// SSE2, four states per register. The partner of state s is s ^ c: register
// v ^ (c >> 2), its lanes swapped by c & 3 (a shuffle with that immediate).
// One trail byte covers registers 2q and 2q + 1, and XOR with hi maps such
// a pair onto a pair: both are done in one pass.
template <int Lo>
inline __m128 Flip(__m128 x, __m128 r) {
    return _mm_add_ps(_mm_shuffle_ps(x, x, _MM_SHUFFLE(3 ^ Lo, 2 ^ Lo, 1 ^ Lo, 0 ^ Lo)), r);
}

// Registers v and u = v ^ hi hold each other's partners: one pass serves both.
template <int Lo>
inline void Pair(const float *src, float *dst, int v, int u, __m128 r, int &maskV, int &maskU) {
    const __m128 a = _mm_load_ps(src + 4 * v), b = _mm_load_ps(src + 4 * u);
    const __m128 flipA = Flip<Lo>(b, r), flipB = Flip<Lo>(a, r);
    _mm_store_ps(dst + 4 * v, _mm_min_ps(flipA, a)); // flip < keep ? flip : keep
    _mm_store_ps(dst + 4 * u, _mm_min_ps(flipB, b));
    maskV = _mm_movemask_ps(_mm_cmplt_ps(flipA, a));
    maskU = _mm_movemask_ps(_mm_cmplt_ps(flipB, b));
}

template <int H, int Lo>
void ColumnSse2(const float *src, float *dst, std::uint32_t c, float rho, std::uint8_t *trail) {
    constexpr int kBytes = (1 << H) / 8;
    const int hi = static_cast<int>(c >> 2);
    const __m128 r = _mm_set1_ps(rho);
    if (hi == 0) { // partners within each register
        for (int q = 0; q < kBytes; ++q) {
            int m0, m1, unused;
            Pair<Lo>(src, dst, 2 * q, 2 * q, r, m0, unused);
            Pair<Lo>(src, dst, 2 * q + 1, 2 * q + 1, r, m1, unused);
            trail[q] = static_cast<std::uint8_t>(m0 | m1 << 4);
        }
        return;
    }
    if (hi == 1) { // partners in the neighbouring register
        for (int q = 0; q < kBytes; ++q) {
            int m0, m1;
            Pair<Lo>(src, dst, 2 * q, 2 * q + 1, r, m0, m1);
            trail[q] = static_cast<std::uint8_t>(m0 | m1 << 4);
        }
        return;
    }
    for (int q = 0; q < kBytes; ++q) {
        const int p = q ^ (hi >> 1);
        if (p < q) continue;
        int v0, v1, u0, u1;
        Pair<Lo>(src, dst, 2 * q, (2 * q) ^ hi, r, v0, u0);
        Pair<Lo>(src, dst, 2 * q + 1, (2 * q + 1) ^ hi, r, v1, u1);
        trail[q] = static_cast<std::uint8_t>(v0 | v1 << 4);
        trail[p] = static_cast<std::uint8_t>(u0 << (4 * (hi & 1)) | u1 << (4 * (~hi & 1)));
    }
}

__m128 Min4(__m128 m) {
    m = _mm_min_ps(m, _mm_movehl_ps(m, m));
    return _mm_min_ss(m, _mm_shuffle_ps(m, m, 1));
}

// The move into the lower half and the first column of the next block: a
// lower state keeps its cost, its upper partner v ^ hi takes it plus rho.
template <int H, int kPick, int Lo>
float MoveColumnSse2(const float *src, float *dst, float least, std::uint32_t hi, float rho, std::uint8_t *trail) {
    constexpr int kRegs = (1 << H) / 4;
    constexpr int kSwap = _MM_SHUFFLE(3 ^ Lo, 2 ^ Lo, 1 ^ Lo, 0 ^ Lo);
    const __m128 sub = _mm_set1_ps(least), r = _mm_set1_ps(rho), inf = _mm_set1_ps(kInf);
    __m128 lo = inf;
    for (int q = 0; q < kRegs / 4; ++q) {
        int changed = 0;
        for (int e = 0; e < 2; ++e) {
            const int v = 2 * q + e, u = v ^ static_cast<int>(hi);
            const __m128 x0 = _mm_load_ps(src + 8 * v), x1 = _mm_load_ps(src + 8 * v + 4);
            const __m128 kept = _mm_sub_ps(_mm_shuffle_ps(x0, x1, kPick), sub);
            lo = _mm_min_ps(lo, kept);
            _mm_store_ps(dst + 4 * v, kept);
            const __m128 flip = _mm_add_ps(_mm_shuffle_ps(kept, kept, kSwap), r);
            _mm_store_ps(dst + 4 * u, flip);
            changed |= _mm_movemask_ps(_mm_cmplt_ps(flip, inf)) << (4 * (u & 1));
        }
        trail[q] = 0;
        trail[(2 * q ^ static_cast<int>(hi)) >> 1] = static_cast<std::uint8_t>(changed);
    }
    return _mm_cvtss_f32(Min4(lo));
}

template <int H, int kPick>
float MoveColumnSse2(const float *src, float *dst, float least, std::uint32_t c, float rho, std::uint8_t *trail) {
    switch (c & 3) {
    case 0: return MoveColumnSse2<H, kPick, 0>(src, dst, least, c >> 2, rho, trail);
    case 1: return MoveColumnSse2<H, kPick, 1>(src, dst, least, c >> 2, rho, trail);
    case 2: return MoveColumnSse2<H, kPick, 2>(src, dst, least, c >> 2, rho, trail);
    default: return MoveColumnSse2<H, kPick, 3>(src, dst, least, c >> 2, rho, trail);
    }
}

template <int H>
struct Sse2Ops {
    static constexpr bool kFused = H >= 4; // whole pairs of registers in each half
    void column(const float *src, float *dst, std::uint32_t c, float rho, std::uint8_t *trail) const {
        switch (c & 3) {
        case 0: return ColumnSse2<H, 0>(src, dst, c, rho, trail);
        case 1: return ColumnSse2<H, 1>(src, dst, c, rho, trail);
        case 2: return ColumnSse2<H, 2>(src, dst, c, rho, trail);
        default: return ColumnSse2<H, 3>(src, dst, c, rho, trail);
        }
    }
    template <int kPick>
    static float moveWith(const float *src, float *dst, float least) {
        constexpr int kRegs = (1 << H) / 4;
        const __m128 sub = _mm_set1_ps(least);
        __m128 lo = _mm_set1_ps(kInf);
        for (int v = 0; v < kRegs / 2; ++v) {
            const __m128 x0 = _mm_load_ps(src + 8 * v), x1 = _mm_load_ps(src + 8 * v + 4);
            const __m128 o = _mm_sub_ps(_mm_shuffle_ps(x0, x1, kPick), sub);
            lo = _mm_min_ps(lo, o);
            _mm_store_ps(dst + 4 * v, o);
        }
        for (int v = kRegs / 2; v < kRegs; ++v) _mm_store_ps(dst + 4 * v, _mm_set1_ps(kInf));
        return _mm_cvtss_f32(Min4(lo));
    }
    float move(const float *src, float *dst, std::uint32_t bit, float least) const {
        return bit ? moveWith<_MM_SHUFFLE(3, 1, 3, 1)>(src, dst, least)
                   : moveWith<_MM_SHUFFLE(2, 0, 2, 0)>(src, dst, least);
    }
    float moveColumn(const float *src, float *dst, std::uint32_t bit, float least, std::uint32_t c, float rho,
                     std::uint8_t *trail) const {
        return bit ? MoveColumnSse2<H, _MM_SHUFFLE(3, 1, 3, 1)>(src, dst, least, c, rho, trail)
                   : MoveColumnSse2<H, _MM_SHUFFLE(2, 0, 2, 0)>(src, dst, least, c, rho, trail);
    }
};

// AVX2, eight states per register: the lanes are swapped by c & 7 with a
// variable permute, so one loop serves every column.
alignas(32) constexpr std::int32_t kXorLanes[8][8] = {
    {0, 1, 2, 3, 4, 5, 6, 7}, {1, 0, 3, 2, 5, 4, 7, 6}, {2, 3, 0, 1, 6, 7, 4, 5}, {3, 2, 1, 0, 7, 6, 5, 4},
    {4, 5, 6, 7, 0, 1, 2, 3}, {5, 4, 7, 6, 1, 0, 3, 2}, {6, 7, 4, 5, 2, 3, 0, 1}, {7, 6, 5, 4, 3, 2, 1, 0}};
KALMIRA_AVX2 float Min8(__m256 m) {
    return _mm_cvtss_f32(Min4(_mm_min_ps(_mm256_castps256_ps128(m), _mm256_extractf128_ps(m, 1))));
}

alignas(32) constexpr std::int32_t kPickLanes[2][8] = {{0, 2, 4, 6, 0, 2, 4, 6}, {1, 3, 5, 7, 1, 3, 5, 7}};

template <int H>
struct Avx2Ops {
    static constexpr bool kFused = true;
    // Registers v and v ^ hi hold each other's partners: one pass serves both.
    // A column with its last row set (all but the tails) pairs the lower
    // half with the upper; the tails pair as they come.
    KALMIRA_AVX2 static void pair(const float *src, float *dst, unsigned v, unsigned u, __m256i lanes, __m256 r,
                                  std::uint8_t *trail) {
        const __m256 a = _mm256_load_ps(src + 8 * v), b = _mm256_load_ps(src + 8 * u);
        const __m256 flipA = _mm256_add_ps(_mm256_permutevar8x32_ps(b, lanes), r);
        const __m256 flipB = _mm256_add_ps(_mm256_permutevar8x32_ps(a, lanes), r);
        _mm256_store_ps(dst + 8 * v, _mm256_min_ps(flipA, a)); // flip < keep ? flip : keep
        _mm256_store_ps(dst + 8 * u, _mm256_min_ps(flipB, b));
        trail[v] = static_cast<std::uint8_t>(_mm256_movemask_ps(_mm256_cmp_ps(flipA, a, _CMP_LT_OQ)));
        trail[u] = static_cast<std::uint8_t>(_mm256_movemask_ps(_mm256_cmp_ps(flipB, b, _CMP_LT_OQ)));
    }
    KALMIRA_AVX2 void column(const float *src, float *dst, std::uint32_t c, float rho, std::uint8_t *trail) const {
        constexpr unsigned kRegs = (1u << H) / 8;
        const __m256i lanes = _mm256_load_si256(reinterpret_cast<const __m256i *>(kXorLanes[c & 7]));
        const __m256 r = _mm256_set1_ps(rho);
        const unsigned hi = c >> 3;
        if (hi & (kRegs / 2)) {
            for (unsigned v = 0; v < kRegs / 2; ++v) pair(src, dst, v, v ^ hi, lanes, r, trail);
            return;
        }
        if (hi == 0) { // partners within each register
            for (unsigned v = 0; v < kRegs; ++v) {
                const __m256 a = _mm256_load_ps(src + 8 * v);
                const __m256 flip = _mm256_add_ps(_mm256_permutevar8x32_ps(a, lanes), r);
                _mm256_store_ps(dst + 8 * v, _mm256_min_ps(flip, a));
                trail[v] = static_cast<std::uint8_t>(_mm256_movemask_ps(_mm256_cmp_ps(flip, a, _CMP_LT_OQ)));
            }
            return;
        }
        for (unsigned v = 0; v < kRegs; ++v)
            if (v < (v ^ hi)) pair(src, dst, v, v ^ hi, lanes, r, trail);
    }
    KALMIRA_AVX2 float move(const float *src, float *dst, std::uint32_t bit, float least) const {
        constexpr int kRegs = (1 << H) / 8;
        const __m256i pick = _mm256_load_si256(reinterpret_cast<const __m256i *>(kPickLanes[bit]));
        const __m256 sub = _mm256_set1_ps(least), inf = _mm256_set1_ps(kInf);
        __m256 lo = inf;
        for (int v = 0; v < kRegs / 2; ++v) {
            const __m256 p0 = _mm256_permutevar8x32_ps(_mm256_load_ps(src + 16 * v), pick);
            const __m256 p1 = _mm256_permutevar8x32_ps(_mm256_load_ps(src + 16 * v + 8), pick);
            const __m256 o = _mm256_sub_ps(_mm256_permute2f128_ps(p0, p1, 0x20), sub);
            lo = _mm256_min_ps(lo, o);
            _mm256_store_ps(dst + 8 * v, o);
        }
        for (int v = kRegs / 2; v < kRegs; ++v) _mm256_store_ps(dst + 8 * v, inf);
        return Min8(lo);
    }
    // The move into the lower half and the first column of the next block:
    // a lower state keeps its cost, its upper partner v ^ hi takes it plus rho.
    KALMIRA_AVX2 float moveColumn(const float *src, float *dst, std::uint32_t bit, float least, std::uint32_t c,
                                  float rho, std::uint8_t *trail) const {
        constexpr int kRegs = (1 << H) / 8;
        const __m256i pick = _mm256_load_si256(reinterpret_cast<const __m256i *>(kPickLanes[bit]));
        const __m256i lanes = _mm256_load_si256(reinterpret_cast<const __m256i *>(kXorLanes[c & 7]));
        const __m256 sub = _mm256_set1_ps(least), r = _mm256_set1_ps(rho), inf = _mm256_set1_ps(kInf);
        const unsigned hi = c >> 3;
        __m256 lo = inf;
        for (unsigned v = 0; v < kRegs / 2; ++v) {
            const __m256 p0 = _mm256_permutevar8x32_ps(_mm256_load_ps(src + 16 * v), pick);
            const __m256 p1 = _mm256_permutevar8x32_ps(_mm256_load_ps(src + 16 * v + 8), pick);
            const __m256 kept = _mm256_sub_ps(_mm256_permute2f128_ps(p0, p1, 0x20), sub);
            lo = _mm256_min_ps(lo, kept);
            _mm256_store_ps(dst + 8 * v, kept);
            const __m256 flip = _mm256_add_ps(_mm256_permutevar8x32_ps(kept, lanes), r);
            _mm256_store_ps(dst + 8 * (v ^ hi), flip);
            trail[v] = 0;
            trail[v ^ hi] = static_cast<std::uint8_t>(_mm256_movemask_ps(_mm256_cmp_ps(flip, inf, _CMP_LT_OQ)));
        }
        return Min8(lo);
    }
};

// flatten pulls Drive and the AVX2 operations into one AVX2 function.
template <int H>
__attribute__((target("avx2"), flatten)) bool DriveAvx2(const Trellis &t) {
    return Drive(t, Avx2Ops<H>{});
}

} // namespace

bool ForwardSse2(const Trellis &t) {
    switch (t.code->height()) {
    case 3: return Drive(t, Sse2Ops<3>{});
    case 4: return Drive(t, Sse2Ops<4>{});
    case 5: return Drive(t, Sse2Ops<5>{});
    case 6: return Drive(t, Sse2Ops<6>{});
    case 7: return Drive(t, Sse2Ops<7>{});
    case 8: return Drive(t, Sse2Ops<8>{});
    case 9: return Drive(t, Sse2Ops<9>{});
    case 10: return Drive(t, Sse2Ops<10>{});
    case 11: return Drive(t, Sse2Ops<11>{});
    case 12: return Drive(t, Sse2Ops<12>{});
    default: return ForwardPortable(t);
    }
}

bool ForwardAvx2(const Trellis &t) {
    static_assert(kMaxHeight == 12, "one case per height");
    switch (t.code->height()) {
    case 4: return DriveAvx2<4>(t);
    case 5: return DriveAvx2<5>(t);
    case 6: return DriveAvx2<6>(t);
    case 7: return DriveAvx2<7>(t);
    case 8: return DriveAvx2<8>(t);
    case 9: return DriveAvx2<9>(t);
    case 10: return DriveAvx2<10>(t);
    case 11: return DriveAvx2<11>(t);
    case 12: return DriveAvx2<12>(t);
    default: return ForwardSse2(t);
    }
}
#endif

} // namespace kalmira::stealth::stc::detail
