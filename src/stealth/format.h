// The layout of a stealth carrier, shared by hiding and extracting.
//
// Usable bytes 0..127 carry the 16-byte Argon2id salt, one bit per byte.
// The others are slots in a keyed order: slots 0..455 carry the stream header
// and the encrypted info block, one bit per slot; from slot 456 on, blocks of
// 2^k - 1 slots carry k bits each of the encrypted name and data (Hamming code).
// See docs/stealth-format.md.
#pragma once

#include "stealth/secret.h"
#include "stealth/stealth.h"

#include <sodium.h>

#include <array>
#include <cstdint>
#include <optional>

namespace kalmira::stealth::format {

inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::uint64_t kSaltBytes = crypto_pwhash_SALTBYTES;            // 16
inline constexpr std::uint64_t kSaltSlots = 8 * kSaltBytes;                     // usable bytes 0..127
inline constexpr std::uint64_t kInfoPlain = 16;
inline constexpr std::uint64_t kAbytes = crypto_secretstream_xchacha20poly1305_ABYTES; // 17
inline constexpr std::uint64_t kStreamHeader = crypto_secretstream_xchacha20poly1305_HEADERBYTES; // 24
inline constexpr std::uint64_t kHeadBytes = kStreamHeader + kInfoPlain + kAbytes; // 57
inline constexpr std::uint64_t kHeadSlots = 8 * kHeadBytes;                       // 456
inline constexpr std::uint64_t kChunkPlain = 64 * 1024;
inline constexpr int kMaxK = 16;

// The information hidden before the data, encrypted as the stream's first message.
struct Info {
    int k = 1;
    Kind kind = Kind::File;
    std::uint16_t nameBytes = 0;
    std::uint64_t dataBytes = 0;
};
std::array<std::uint8_t, kInfoPlain> EncodeInfo(const Info &info);
std::optional<Info> DecodeInfo(const std::uint8_t *plain);

// Plaintext after the info block: the name, then the data.
inline std::uint64_t Chunks(std::uint64_t plain) { return plain == 0 ? 1 : (plain + kChunkPlain - 1) / kChunkPlain; }
inline std::uint64_t BodyBytes(std::uint64_t plain) { return plain + kAbytes * Chunks(plain); }

// Slots after salt and head available to the body, 0 when there are none.
inline std::uint64_t BodySlots(std::uint64_t usable) {
    return usable > kSaltSlots + kHeadSlots ? usable - kSaltSlots - kHeadSlots : 0;
}
inline std::uint64_t BlockSlots(int k) { return (std::uint64_t{1} << k) - 1; }
inline std::uint64_t Blocks(std::uint64_t bodyBytes, int k) { return (8 * bodyBytes + k - 1) / k; }

// The largest k whose blocks fit (fewest changes), 0 when even k = 1 does not.
int ChooseK(std::uint64_t usable, std::uint64_t plain);
// The largest plaintext (name plus data) that fits.
std::uint64_t LargestPlain(std::uint64_t usable);

// Argon2id of the password, then the stream key (32 bytes) and the key of
// the slot order (48 bytes). False when memory runs out.
struct Keys {
    SecretBytes stream{crypto_secretstream_xchacha20poly1305_KEYBYTES};
    SecretBytes order{48};
};
bool DeriveKeys(std::string_view password, const std::uint8_t *salt, const Tuning &tuning, Keys &out);

// A k-bit field of a packed array (k <= 16); the array has 4 bytes of slack.
inline std::uint32_t GetField(const std::uint8_t *a, std::uint64_t index, int k) {
    const std::uint64_t bit = index * static_cast<std::uint64_t>(k);
    const std::uint8_t *p = a + (bit >> 3);
    const std::uint32_t w = p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
    return (w >> (bit & 7)) & ((1u << k) - 1);
}
inline void XorField(std::uint8_t *a, std::uint64_t index, int k, std::uint32_t v) {
    const std::uint64_t bit = index * static_cast<std::uint64_t>(k);
    std::uint8_t *p = a + (bit >> 3);
    const std::uint32_t w = v << (bit & 7);
    p[0] ^= static_cast<std::uint8_t>(w);
    p[1] ^= static_cast<std::uint8_t>(w >> 8);
    p[2] ^= static_cast<std::uint8_t>(w >> 16);
}

// Block and slot (1-based within its block) of a body slot, without division.
struct BlockDivider {
    explicit BlockDivider(int k)
        : n(BlockSlots(k)), magic(n == 1 ? 0 : ~std::uint64_t{0} / n + 1) {}
    std::uint64_t block(std::uint64_t t) const {
        if (n == 1) return t;
        std::uint64_t q = static_cast<std::uint64_t>((static_cast<unsigned __int128>(t) * magic) >> 64);
        if (q * n > t) --q;
        else if ((q + 1) * n <= t) ++q;
        return q;
    }
    std::uint64_t n, magic;
};

} // namespace kalmira::stealth::format
