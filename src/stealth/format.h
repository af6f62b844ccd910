// The layout of a stealth carrier, shared by hiding and extracting.
//
// Usable bytes 0..127 carry the 16-byte Argon2id salt, one bit per byte.
// The others are slots in a keyed order: slots 0..455 carry the stream header
// and the encrypted info block, one bit per slot; from slot 512 on, the body
// slots are cut into segments of equal length, one per k bits of the
// encrypted name and data, each read through a Hamming code of length
// 2^k - 1 repeated over the segment.
// See docs/stealth-format.md.
#pragma once

#include "platform/secure_memory.h"
#include "stealth/stealth.h"

#include <sodium.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

namespace kalmira::stealth::format {

inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::uint64_t kSaltBytes = crypto_pwhash_SALTBYTES; // 16
inline constexpr std::uint64_t kSaltSlots = 8 * kSaltBytes;          // usable bytes 0..127
inline constexpr std::uint64_t kInfoPlain = 16;
inline constexpr std::uint64_t kAbytes = crypto_secretstream_xchacha20poly1305_ABYTES;            // 17
inline constexpr std::uint64_t kStreamHeader = crypto_secretstream_xchacha20poly1305_HEADERBYTES; // 24
inline constexpr std::uint64_t kHeadBytes = kStreamHeader + kInfoPlain + kAbytes;                 // 57
inline constexpr std::uint64_t kHeadBits = 8 * kHeadBytes;                                        // 456
// Eight whole groups, so that body slots start on a group boundary; 456..511 stay unused.
inline constexpr std::uint64_t kHeadSlots = 512;
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

// Slots come in groups of 64 consecutive usable bytes (after the salt); the
// last incomplete group is not used. Body slots follow the head slots.
inline constexpr std::uint64_t kGroup = 64;
inline std::uint64_t Groups(std::uint64_t usable) { return usable > kSaltSlots ? (usable - kSaltSlots) / kGroup : 0; }
inline std::uint64_t BodySlots(std::uint64_t usable) {
    const std::uint64_t slots = Groups(usable) * kGroup;
    return slots > kHeadSlots ? slots - kHeadSlots : 0;
}
inline std::uint64_t BlockSlots(int k) { return (std::uint64_t{1} << k) - 1; }
inline std::uint64_t Blocks(std::uint64_t bodyBytes, int k) { return (8 * bodyBytes + k - 1) / k; }

// The largest k whose blocks fit (fewest changes), 0 when even k = 1 does not.
int ChooseK(std::uint64_t usable, std::uint64_t plain);
// The largest plaintext (name plus data) that fits.
std::uint64_t LargestPlain(std::uint64_t usable);
// The largest plaintext whose encrypted body takes at most `bytes`.
std::uint64_t PlainForBodyBytes(std::uint64_t bytes);

// Argon2id of the password, then the stream key (32 bytes) and the key of
// the slot order (64 bytes). False when memory runs out.
struct Keys {
    platform::SecureBytes stream = platform::SecureBytes(crypto_secretstream_xchacha20poly1305_KEYBYTES);
    platform::SecureBytes order = platform::SecureBytes(64);
};
// `context`: the 8-character subkey context, version 1's when null.
bool DeriveKeys(std::string_view password, const std::uint8_t *salt, const Tuning &tuning, Keys &out,
                const char *context = nullptr);

// The k-bit field (k <= 16) of block `index` in a packed array with 8 bytes of
// slack; block b's field holds stream bits b*k .. b*k+k-1, lowest first.
// Aligned 32-bit words, so that neighbouring blocks reuse one store.
inline std::uint32_t GetField(const std::uint8_t *a, std::uint64_t index, int k) {
    const std::uint64_t bit = index * static_cast<std::uint64_t>(k);
    const std::uint8_t *p = a + (bit >> 5) * 4;
    const unsigned shift = bit & 31;
    const std::uint32_t m = (1u << k) - 1;
    if (shift + k <= 32) {
        std::uint32_t w;
        std::memcpy(&w, p, 4);
        return (w >> shift) & m;
    }
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return static_cast<std::uint32_t>(w >> shift) & m;
}
inline void XorField(std::uint8_t *a, std::uint64_t index, int k, std::uint32_t v) {
    const std::uint64_t bit = index * static_cast<std::uint64_t>(k);
    std::uint8_t *p = a + (bit >> 5) * 4;
    const unsigned shift = bit & 31;
    if (shift + k <= 32) {
        std::uint32_t w;
        std::memcpy(&w, p, 4);
        w ^= v << shift;
        std::memcpy(p, &w, 4);
        return;
    }
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    w ^= std::uint64_t{v} << shift;
    std::memcpy(p, &w, 8);
}

} // namespace kalmira::stealth::format
