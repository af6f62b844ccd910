#include "stealth/format.h"

#include <cstring>

namespace kalmira::stealth::format {

namespace {
constexpr char kKdfContext[crypto_kdf_CONTEXTBYTES + 1] = "Tarnfmt1";
}

std::array<std::uint8_t, kInfoPlain> EncodeInfo(const Info &info) {
    std::array<std::uint8_t, kInfoPlain> b{};
    b[0] = kVersion;
    b[1] = static_cast<std::uint8_t>(info.k);
    b[2] = static_cast<std::uint8_t>(info.kind);
    b[3] = 0; // flags, none defined
    b[4] = static_cast<std::uint8_t>(info.nameBytes);
    b[5] = static_cast<std::uint8_t>(info.nameBytes >> 8);
    for (int i = 0; i < 8; ++i) b[8 + i] = static_cast<std::uint8_t>(info.dataBytes >> (8 * i));
    return b;
}

std::optional<Info> DecodeInfo(const std::uint8_t *b) {
    Info info;
    info.k = b[1];
    info.nameBytes = static_cast<std::uint16_t>(b[4] | (b[5] << 8));
    for (int i = 0; i < 8; ++i) info.dataBytes |= std::uint64_t{b[8 + i]} << (8 * i);
    if (b[0] != kVersion || info.k < 1 || info.k > kMaxK || b[2] > 1 || b[3] != 0 || b[6] || b[7] ||
        info.nameBytes > kMaxNameBytes || info.dataBytes > (std::uint64_t{1} << 62))
        return std::nullopt;
    info.kind = static_cast<Kind>(b[2]);
    return info;
}

int ChooseK(std::uint64_t usable, std::uint64_t plain) {
    const std::uint64_t slots = BodySlots(usable), bytes = BodyBytes(plain);
    int best = 0;
    for (int k = 1; k <= kMaxK; ++k) {
        const std::uint64_t blocks = Blocks(bytes, k);
        if (blocks > 0 && blocks <= slots / BlockSlots(k)) best = k;
    }
    return best;
}

std::uint64_t LargestPlain(std::uint64_t usable) { return PlainForBodyBytes(BodySlots(usable) / 8); }

std::uint64_t PlainForBodyBytes(std::uint64_t bytes) {
    if (bytes <= kAbytes) return 0;
    // Every chunk of 64 KiB costs 17 bytes; subtract and correct downwards.
    std::uint64_t plain = bytes - kAbytes * Chunks(bytes);
    while (plain < bytes && BodyBytes(plain + 1) <= bytes) ++plain;
    while (plain > 0 && BodyBytes(plain) > bytes) --plain;
    return plain;
}

bool DeriveKeys(std::string_view password, const std::uint8_t *salt, const Tuning &tuning, Keys &out,
                const char *context) {
    if (!context) context = kKdfContext;
    platform::SecureBytes master(32);
    if (crypto_pwhash(master.data(), master.size(), password.data(), password.size(), salt, tuning.kdfOps,
                      tuning.kdfMemBytes, crypto_pwhash_ALG_ARGON2ID13) != 0)
        return false;
    crypto_kdf_derive_from_key(out.stream.data(), out.stream.size(), 1, context, master.data());
    crypto_kdf_derive_from_key(out.order.data(), out.order.size(), 2, context, master.data());
    return true;
}

} // namespace kalmira::stealth::format
