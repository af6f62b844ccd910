// The forward pass with AVX-512: sixteen states per register, the same
// operations per state as the other paths (stc_forward.cpp).
#include "stealth/stc_trellis.h"

#include <cstring>

#if defined(__x86_64__)
#if !defined(__clang__)
// GCC 12's AVX-512 intrinsics trip its own -Wmaybe-uninitialized (GCC bug 105593).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#define KALMIRA_AVX512 __attribute__((target("avx512f")))

namespace kalmira::stealth::stc::detail {
namespace {

struct LaneTables {
    alignas(64) std::int32_t xors[16][16]; // lane l takes lane l ^ x
    alignas(64) std::int32_t picks[2][16]; // lane l takes lane 2l + bit of a register pair
};
constexpr LaneTables MakeTables() {
    LaneTables t{};
    for (int x = 0; x < 16; ++x)
        for (int l = 0; l < 16; ++l) t.xors[x][l] = l ^ x;
    for (int b = 0; b < 2; ++b)
        for (int l = 0; l < 16; ++l) t.picks[b][l] = 2 * l + b;
    return t;
}
constexpr LaneTables kLanes = MakeTables();

KALMIRA_AVX512 inline __m512i Lanes(const std::int32_t *table) { return _mm512_load_si512(table); }

KALMIRA_AVX512 inline float Min16(__m512 m) {
    m = _mm512_min_ps(m, _mm512_shuffle_f32x4(m, m, _MM_SHUFFLE(1, 0, 3, 2)));
    m = _mm512_min_ps(m, _mm512_shuffle_f32x4(m, m, _MM_SHUFFLE(2, 3, 0, 1)));
    __m128 q = _mm512_castps512_ps128(m);
    q = _mm_min_ps(q, _mm_movehl_ps(q, q));
    return _mm_cvtss_f32(_mm_min_ss(q, _mm_shuffle_ps(q, q, 1)));
}

// Trail bits of states 16v .. 16v + 15: two bytes, lowest state first.
inline void PutBits(std::uint8_t *trail, unsigned v, __mmask16 bits) {
    const std::uint16_t word = static_cast<std::uint16_t>(bits);
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8)};
    std::memcpy(trail + 2 * v, bytes, 2);
}

template <int H>
struct Avx512Ops {
    static constexpr bool kFused = true;
    static constexpr unsigned kRegs = (1u << H) / 16;

    // Registers v and u = v ^ hi hold each other's partners.
    KALMIRA_AVX512 static void pair(const float *src, float *dst, unsigned v, unsigned u, __m512i lanes, __m512 r,
                                    std::uint8_t *trail) {
        const __m512 a = _mm512_load_ps(src + 16 * v), b = _mm512_load_ps(src + 16 * u);
        const __m512 flipA = _mm512_add_ps(_mm512_permutexvar_ps(lanes, b), r);
        const __m512 flipB = _mm512_add_ps(_mm512_permutexvar_ps(lanes, a), r);
        _mm512_store_ps(dst + 16 * v, _mm512_min_ps(flipA, a)); // flip < keep ? flip : keep
        _mm512_store_ps(dst + 16 * u, _mm512_min_ps(flipB, b));
        PutBits(trail, v, _mm512_cmp_ps_mask(flipA, a, _CMP_LT_OQ));
        PutBits(trail, u, _mm512_cmp_ps_mask(flipB, b, _CMP_LT_OQ));
    }
    KALMIRA_AVX512 void column(const float *src, float *dst, std::uint32_t c, float rho, std::uint8_t *trail) const {
        const __m512i lanes = Lanes(kLanes.xors[c & 15]);
        const __m512 r = _mm512_set1_ps(rho);
        const unsigned hi = c >> 4;
        if (hi & (kRegs / 2)) {
            for (unsigned v = 0; v < kRegs / 2; ++v) pair(src, dst, v, v ^ hi, lanes, r, trail);
            return;
        }
        for (unsigned v = 0; v < kRegs; ++v) {
            if (hi != 0) {
                if (v < (v ^ hi)) pair(src, dst, v, v ^ hi, lanes, r, trail);
                continue;
            }
            const __m512 a = _mm512_load_ps(src + 16 * v);
            const __m512 flip = _mm512_add_ps(_mm512_permutexvar_ps(lanes, a), r);
            _mm512_store_ps(dst + 16 * v, _mm512_min_ps(flip, a));
            PutBits(trail, v, _mm512_cmp_ps_mask(flip, a, _CMP_LT_OQ));
        }
    }
    KALMIRA_AVX512 float move(const float *src, float *dst, std::uint32_t bit, float least) const {
        const __m512i pick = Lanes(kLanes.picks[bit]);
        const __m512 sub = _mm512_set1_ps(least), inf = _mm512_set1_ps(kInf);
        __m512 lo = inf;
        for (unsigned v = 0; v < kRegs / 2; ++v) {
            const __m512 x0 = _mm512_load_ps(src + 32 * v), x1 = _mm512_load_ps(src + 32 * v + 16);
            const __m512 kept = _mm512_sub_ps(_mm512_permutex2var_ps(x0, pick, x1), sub);
            lo = _mm512_min_ps(lo, kept);
            _mm512_store_ps(dst + 16 * v, kept);
        }
        for (unsigned v = kRegs / 2; v < kRegs; ++v) _mm512_store_ps(dst + 16 * v, inf);
        return Min16(lo);
    }
    // The move and the first column of the next block (see Drive()).
    KALMIRA_AVX512 float moveColumn(const float *src, float *dst, std::uint32_t bit, float least, std::uint32_t c,
                                    float rho, std::uint8_t *trail) const {
        const __m512i pick = Lanes(kLanes.picks[bit]), lanes = Lanes(kLanes.xors[c & 15]);
        const __m512 sub = _mm512_set1_ps(least), r = _mm512_set1_ps(rho), inf = _mm512_set1_ps(kInf);
        const unsigned hi = c >> 4;
        __m512 lo = inf;
        for (unsigned v = 0; v < kRegs / 2; ++v) {
            const __m512 x0 = _mm512_load_ps(src + 32 * v), x1 = _mm512_load_ps(src + 32 * v + 16);
            const __m512 kept = _mm512_sub_ps(_mm512_permutex2var_ps(x0, pick, x1), sub);
            lo = _mm512_min_ps(lo, kept);
            _mm512_store_ps(dst + 16 * v, kept);
            const __m512 flip = _mm512_add_ps(_mm512_permutexvar_ps(lanes, kept), r);
            _mm512_store_ps(dst + 16 * (v ^ hi), flip);
            PutBits(trail, v, 0);
            PutBits(trail, v ^ hi, _mm512_cmp_ps_mask(flip, inf, _CMP_LT_OQ));
        }
        return Min16(lo);
    }
};

template <int H>
__attribute__((target("avx512f"), flatten)) bool DriveAvx512(const Trellis &t) {
    return Drive(t, Avx512Ops<H>{});
}

} // namespace

bool ForwardAvx512(const Trellis &t) {
    static_assert(kMaxHeight == 12, "one case per height");
    switch (t.code->height()) {
    case 5: return DriveAvx512<5>(t);
    case 6: return DriveAvx512<6>(t);
    case 7: return DriveAvx512<7>(t);
    case 8: return DriveAvx512<8>(t);
    case 9: return DriveAvx512<9>(t);
    case 10: return DriveAvx512<10>(t);
    case 11: return DriveAvx512<11>(t);
    case 12: return DriveAvx512<12>(t);
    default: return ForwardAvx2(t);
    }
}

} // namespace kalmira::stealth::stc::detail
#endif
