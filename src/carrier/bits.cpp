#include "carrier/bits.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#define KALMIRA_BMI2 1
#endif

namespace kalmira::payload {
namespace {

constexpr std::uint64_t kLowBits = 0x0101010101010101ULL;
// Σ 2^(9j): the shifted copies of an 8-bit value never share a bit position,
// so the products below carry nothing between bits.
constexpr std::uint64_t kDiagonal = 0x8040201008040201ULL;

// Carrier byte k is bits 8k..8k+7 of the word, whatever the byte order.
std::uint64_t LoadWord(const std::uint8_t *p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    return w;
}
void StoreWord(std::uint8_t *p, std::uint64_t w) {
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    std::memcpy(p, &w, 8);
}

// Bit 7 - k of v to bit 8k: copy k of v * kDiagonal holds it at 8k + 7.
std::uint64_t Spread(std::uint8_t v) { return ((v * kDiagonal) >> 7) & kLowBits; }
// Bit 8k to bit 7 - k: copy 7 - k of the product holds it at 56 + 7 - k.
std::uint8_t Gather(std::uint64_t w) { return static_cast<std::uint8_t>(((w & kLowBits) * kDiagonal) >> 56); }

void EmbedLoop(const std::uint8_t *data, std::size_t count, std::uint8_t *carrier) {
    for (std::size_t i = 0; i < count; ++i) EmbedByte(data[i], carrier + 8 * i);
}
void ReadLoop(const std::uint8_t *carrier, std::size_t count, std::uint8_t *out) {
    for (std::size_t i = 0; i < count; ++i) out[i] = ReadByte(carrier + 8 * i);
}

void EmbedWord(const std::uint8_t *data, std::size_t count, std::uint8_t *carrier) {
    for (std::size_t i = 0; i < count; ++i, carrier += 8)
        StoreWord(carrier, (LoadWord(carrier) & ~kLowBits) | Spread(data[i]));
}
void ReadWord(const std::uint8_t *carrier, std::size_t count, std::uint8_t *out) {
    for (std::size_t i = 0; i < count; ++i, carrier += 8) out[i] = Gather(LoadWord(carrier));
}

#ifdef KALMIRA_BMI2
// pdep puts bit k at byte k; the byte swap turns that into MSB first. x86 is
// little-endian, so the carrier loads straight into the word.
__attribute__((target("bmi2"))) void EmbedBmi2(const std::uint8_t *data, std::size_t count, std::uint8_t *carrier) {
    for (std::size_t i = 0; i < count; ++i, carrier += 8) {
        std::uint64_t w;
        std::memcpy(&w, carrier, 8);
        w = (w & ~kLowBits) | __builtin_bswap64(_pdep_u64(data[i], kLowBits));
        std::memcpy(carrier, &w, 8);
    }
}
__attribute__((target("bmi2"))) void ReadBmi2(const std::uint8_t *carrier, std::size_t count, std::uint8_t *out) {
    for (std::size_t i = 0; i < count; ++i, carrier += 8) {
        std::uint64_t w;
        std::memcpy(&w, carrier, 8);
        out[i] = static_cast<std::uint8_t>(_pext_u64(__builtin_bswap64(w), kLowBits));
    }
}

// Zen 1 and 2 run pdep/pext in microcode, far slower than the portable word.
bool CpuHasFastBmi2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("bmi2") && !__builtin_cpu_is("znver1") && !__builtin_cpu_is("znver2");
}
#endif

} // namespace

bool BitPathAvailable(BitPath path) {
    if (path != BitPath::Bmi2) return true;
#ifdef KALMIRA_BMI2
    static const bool has = CpuHasFastBmi2();
    return has;
#else
    return false;
#endif
}

BitPath FastestBitPath() {
    static const BitPath path = BitPathAvailable(BitPath::Bmi2) ? BitPath::Bmi2 : BitPath::Word;
    return path;
}

void EmbedBytes(BitPath path, const std::uint8_t *data, std::size_t count, std::uint8_t *carrier) {
    switch (path) {
    case BitPath::ByteLoop: return EmbedLoop(data, count, carrier);
    case BitPath::Word: return EmbedWord(data, count, carrier);
    case BitPath::Bmi2:
#ifdef KALMIRA_BMI2
        if (BitPathAvailable(path)) return EmbedBmi2(data, count, carrier);
#endif
        return EmbedWord(data, count, carrier);
    }
}

void ReadBytes(BitPath path, const std::uint8_t *carrier, std::size_t count, std::uint8_t *out) {
    switch (path) {
    case BitPath::ByteLoop: return ReadLoop(carrier, count, out);
    case BitPath::Word: return ReadWord(carrier, count, out);
    case BitPath::Bmi2:
#ifdef KALMIRA_BMI2
        if (BitPathAvailable(path)) return ReadBmi2(carrier, count, out);
#endif
        return ReadWord(carrier, count, out);
    }
}

void EmbedBytes(const std::uint8_t *data, std::size_t count, std::uint8_t *carrier) {
    EmbedBytes(FastestBitPath(), data, count, carrier);
}

void ReadBytes(const std::uint8_t *carrier, std::size_t count, std::uint8_t *out) {
    ReadBytes(FastestBitPath(), carrier, count, out);
}

} // namespace kalmira::payload
