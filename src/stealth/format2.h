// The arithmetic of the stealth format's version 2, shared by the writer and
// the reader: windows of stripes, the fixed sets of window 0, how the body
// bits are shared out over windows and blocks, keys and the info block.
// See docs/stealth-format.md, "Version 2".
#pragma once

#include "platform/secure_memory.h"
#include "stealth/elements.h"
#include "stealth/format.h"
#include "stealth/stealth.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kalmira::stealth::format2 {

inline constexpr std::uint8_t kVersion = 2;
inline constexpr std::uint64_t kWindowMax = std::uint64_t{1} << 24; // elements per window
inline constexpr std::uint64_t kPictureStripeRows = 64;
inline constexpr std::uint64_t kSoundStripeFrames = 16384;
inline constexpr std::uint64_t kSaltMin = 4096;                    // salt elements at least
inline constexpr std::uint64_t kSaltBits = 8 * format::kSaltBytes; // 128
inline constexpr std::uint64_t kHeadBits = format::kHeadBits;      // 456
inline constexpr int kHeadHeight = 8;                              // constraint height of salt and head code
inline constexpr std::uint64_t kBlockMax = 65536;                  // body elements per code block
// Writer's choices, not part of the format: the largest body rate per dry
// element the coder carries reliably, and the rate recommended for safety.
inline constexpr double kAlphaMax = 0.5;
inline constexpr double kRecommendedRate = 0.1; // bits per colour value / sample of the dry elements

// Where the elements of a carrier go. Stripe u (rows [u*R, (u+1)*R)) belongs
// to window u mod J; inside a window, elements are numbered in element order.
class Geometry {
public:
    // Empty when the shape holds no element.
    static std::optional<Geometry> Make(const ElementShape &shape, std::uint64_t windowMax = kWindowMax);

    std::uint64_t elements() const { return n_; }            // N
    std::uint64_t stripeRows() const { return stripeRows_; } // R
    std::uint64_t stripeElements() const { return s_; }      // R * width
    std::uint64_t stripes() const { return u_; }             // U
    std::uint64_t windows() const { return j_; }             // J
    std::uint64_t windowSize(std::uint64_t j) const;         // n_j
    std::uint64_t windowStripes(std::uint64_t j) const { return (u_ - j + j_ - 1) / j_; }
    std::uint64_t stripeOf(std::uint64_t j, std::uint64_t k) const { return j + k * j_; }
    // Element index of local index `local` of window j.
    std::uint64_t element(std::uint64_t j, std::uint64_t local) const {
        const std::uint64_t k = local / s_;
        return (j + k * j_) * s_ + (local - k * s_);
    }

    std::uint64_t saltCount() const { return salt_; }     // N_s
    std::uint64_t headCount() const { return 4 * salt_; } // N_h
    // Window 0 holds enough elements for the salt and head sets, and no more
    // than a window may (a single stripe can be larger: rows of over 2^18 pixels).
    bool fitsFormat() const { return windowSize(0) >= 2 * (salt_ + headCount()) && windowSize(0) <= max_; }
    // Body elements of window j (window 0 without salt and head).
    std::uint64_t bodySize(std::uint64_t j) const;
    std::uint64_t bodyTotal() const { return n_ - (fitsFormat() ? 5 * salt_ : 0); } // NB

private:
    Geometry() = default;
    std::uint64_t n_ = 0, rows_ = 0, stripeRows_ = 0, s_ = 0, u_ = 0, j_ = 1, salt_ = 0, max_ = 0;
};

// N_s for a window 0 of n0 elements.
std::uint64_t SaltCount(std::uint64_t n0);

// The body bits: M in total, M_j for window j, m_ji for block i of window j.
// Window j holds body-sequence positions [0, nb_j), cut into B_j blocks.
struct BodyBlock {
    std::uint64_t first = 0, length = 0;  // body-sequence positions
    std::uint64_t firstBit = 0, bits = 0; // of the window's bits
};
class BodyPlan {
public:
    BodyPlan(const Geometry &g, std::uint64_t bits);
    std::uint64_t bits() const { return m_; }
    std::uint64_t windowBits(std::uint64_t j) const; // M_j
    static std::uint64_t Blocks(std::uint64_t nb) { return (nb + kBlockMax - 1) / kBlockMax; }
    std::uint64_t blocks(std::uint64_t j) const { return Blocks(g_.bodySize(j)); }
    BodyBlock block(std::uint64_t j, std::uint64_t i) const;
    // Every block carries no more bits than it has elements (a reader's sanity check).
    bool consistent() const;

private:
    const Geometry &g_;
    std::uint64_t m_;
    std::vector<std::uint64_t> before_; // C_j: body elements of the windows before j
};

// Largest body bits M (a multiple of 8) such that every window j carries at
// most capacity[j] bits: ceil(M * nb_j / NB) <= capacity[j].
std::uint64_t LargestBodyBits(const Geometry &g, const std::vector<std::uint64_t> &capacity);
// Largest name plus data whose body takes at most `bodyBits` bits.
std::uint64_t PlainFor(std::uint64_t bodyBits);

// Keys: Argon2id as version 1, subkeys with the context "Tarnfmt2". The
// code's submatrices are the coder's fixed ones: the order is keyed already.
using Keys = format::Keys;
bool DeriveKeys(std::string_view password, const std::uint8_t *salt, const Tuning &tuning, Keys &out);

using OrderKey = std::array<std::uint8_t, 48>; // a Permutation key
OrderKey PublicOrderKey();
OrderKey WindowOrderKey(const Keys &keys, std::uint64_t j);

// The info block, the stream's first message.
struct Info {
    int height = 8; // constraint height of the body code
    Kind kind = Kind::File;
    std::uint16_t nameBytes = 0;
    std::uint64_t dataBytes = 0;
    std::uint64_t plain() const { return std::uint64_t{nameBytes} + dataBytes; }
    std::uint64_t bodyBits() const { return 8 * format::BodyBytes(plain()); }
};
std::array<std::uint8_t, format::kInfoPlain> EncodeInfo(const Info &info);
// Only version 2; version 1's blocks go to format::DecodeInfo.
std::optional<Info> DecodeInfo(const std::uint8_t *plain);

} // namespace kalmira::stealth::format2
