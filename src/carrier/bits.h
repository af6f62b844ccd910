// Payload bits in carrier bytes: payload byte MSB first into 8 consecutive
// carrier bytes, each carrier byte's lowest bit replaced (so it moves by at
// most 1 and never wraps). Both programs share it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kalmira::payload {

// One byte at a time: the reference the word paths must match bit for bit.
inline void EmbedByte(std::uint8_t value, std::uint8_t *carrier8) {
    for (int k = 7; k >= 0; --k, ++carrier8)
        *carrier8 = static_cast<std::uint8_t>((*carrier8 & 0xFE) | ((value >> k) & 1));
}
inline std::uint8_t ReadByte(const std::uint8_t *carrier8) {
    std::uint8_t v = 0;
    for (int k = 0; k < 8; ++k) v = static_cast<std::uint8_t>((v << 1) | (carrier8[k] & 1));
    return v;
}

// `count` payload bytes into / out of 8 * count carrier bytes, on the fastest
// path this processor has. Any alignment; the ranges must not overlap.
void EmbedBytes(const std::uint8_t *data, std::size_t count, std::uint8_t *carrier);
void ReadBytes(const std::uint8_t *carrier, std::size_t count, std::uint8_t *out);

// The paths behind EmbedBytes/ReadBytes, selectable so tests and benchmarks
// can hold each against the byte loop. All give identical bits.
enum class BitPath {
    ByteLoop, // EmbedByte/ReadByte per payload byte
    Word,     // 8 carrier bytes as one 64-bit word, portable
    Bmi2,     // the word with pdep/pext, x86-64 processors with fast BMI2 only
};
bool BitPathAvailable(BitPath path);
BitPath FastestBitPath(); // chosen once at run time
void EmbedBytes(BitPath path, const std::uint8_t *data, std::size_t count, std::uint8_t *carrier);
void ReadBytes(BitPath path, const std::uint8_t *carrier, std::size_t count, std::uint8_t *out);

} // namespace kalmira::payload
