#include "stealth/format2.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>

namespace kalmira::stealth::format2 {

namespace {

constexpr char kKdfContext[crypto_kdf_CONTEXTBYTES + 1] = "Tarnfmt2";
using u128 = unsigned __int128;

std::uint64_t MulDiv(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
    return static_cast<std::uint64_t>(static_cast<u128>(a) * b / c);
}

void PutU64(std::uint8_t *p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint64_t GetU64(const std::uint8_t *p) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= std::uint64_t{p[i]} << (8 * i);
    return v;
}

} // namespace

std::uint64_t SaltCount(std::uint64_t n0) { return std::min(n0 / 8, std::max(kSaltMin, n0 / 64)); }

std::optional<Geometry> Geometry::Make(const ElementShape &shape, std::uint64_t windowMax) {
    if (shape.width == 0 || shape.rows == 0 || windowMax == 0) return std::nullopt;
    Geometry g;
    g.rows_ = shape.rows;
    g.max_ = windowMax;
    g.n_ = shape.width * shape.rows;
    g.stripeRows_ = shape.medium == Medium::Picture ? kPictureStripeRows : kSoundStripeFrames;
    g.s_ = g.stripeRows_ * shape.width;
    g.u_ = (g.rows_ + g.stripeRows_ - 1) / g.stripeRows_;
    // J = ceil(N / W_MAX), raised while a window would still exceed W_MAX (a
    // window gets whole stripes, so ceil(N / W_MAX) can leave one a stripe over).
    g.j_ = std::min(g.u_, std::max<std::uint64_t>(1, (g.n_ + windowMax - 1) / windowMax));
    while (g.j_ < g.u_ && g.windowSize(0) > windowMax) ++g.j_;
    g.salt_ = SaltCount(g.windowSize(0));
    return g;
}

// Window 0 has the most stripes, and the short last stripe only where others have as many.
std::uint64_t Geometry::windowSize(std::uint64_t j) const {
    const std::uint64_t full = windowStripes(j) * s_;
    return (u_ - 1) % j_ == j ? full - (u_ * s_ - n_) : full;
}

std::uint64_t Geometry::bodySize(std::uint64_t j) const {
    const std::uint64_t n = windowSize(j);
    return j == 0 && fitsFormat() ? n - 5 * salt_ : n;
}

BodyPlan::BodyPlan(const Geometry &g, std::uint64_t bits) : g_(g), m_(bits), before_(g.windows() + 1, 0) {
    for (std::uint64_t j = 0; j < g.windows(); ++j) before_[j + 1] = before_[j] + g.bodySize(j);
}

std::uint64_t BodyPlan::windowBits(std::uint64_t j) const {
    const std::uint64_t nb = before_.back();
    if (nb == 0) return 0;
    return MulDiv(m_, before_[j + 1], nb) - MulDiv(m_, before_[j], nb);
}

BodyBlock BodyPlan::block(std::uint64_t j, std::uint64_t i) const {
    const std::uint64_t nb = g_.bodySize(j), b = blocks(j), mj = windowBits(j);
    BodyBlock blk;
    blk.first = MulDiv(i, nb, b);
    blk.length = MulDiv(i + 1, nb, b) - blk.first;
    blk.firstBit = MulDiv(mj, i, b);
    blk.bits = MulDiv(mj, i + 1, b) - blk.firstBit;
    return blk;
}

bool BodyPlan::consistent() const {
    if (m_ > before_.back()) return false;
    for (std::uint64_t j = 0; j < g_.windows(); ++j)
        for (std::uint64_t i = 0, b = blocks(j); i < b; ++i) {
            const BodyBlock blk = block(j, i);
            if (blk.bits > blk.length) return false;
        }
    return true;
}

std::uint64_t LargestBodyBits(const Geometry &g, const std::vector<std::uint64_t> &capacity) {
    const std::uint64_t nb = g.bodyTotal();
    std::uint64_t best = nb;
    for (std::uint64_t j = 0; j < g.windows() && j < capacity.size(); ++j) {
        const std::uint64_t n = g.bodySize(j);
        if (n > 0) best = std::min(best, MulDiv(capacity[j], nb, n));
    }
    return best / 8 * 8;
}

std::uint64_t PlainFor(std::uint64_t bodyBits) { return format::PlainForBodyBytes(bodyBits / 8); }

bool DeriveKeys(std::string_view password, const std::uint8_t *salt, const Tuning &tuning, Keys &out) {
    return format::DeriveKeys(password, salt, tuning, out, kKdfContext);
}

OrderKey PublicOrderKey() {
    static const char msg[] = "Tarnformat 2: public order";
    std::uint8_t h[64];
    crypto_generichash(h, sizeof h, reinterpret_cast<const std::uint8_t *>(msg), sizeof msg - 1, nullptr, 0);
    OrderKey k;
    std::memcpy(k.data(), h, k.size());
    return k;
}

OrderKey WindowOrderKey(const Keys &keys, std::uint64_t j) {
    std::uint8_t msg[14] = {'w', 'i', 'n', 'd', 'o', 'w'};
    PutU64(msg + 6, j);
    OrderKey k;
    crypto_generichash(k.data(), k.size(), msg, sizeof msg, keys.order.data(), keys.order.size());
    return k;
}

std::array<std::uint8_t, format::kInfoPlain> EncodeInfo(const Info &info) {
    std::array<std::uint8_t, format::kInfoPlain> b{};
    b[0] = kVersion;
    b[1] = static_cast<std::uint8_t>(info.height);
    b[2] = static_cast<std::uint8_t>(info.kind);
    b[3] = 0; // flags, none defined
    b[4] = static_cast<std::uint8_t>(info.nameBytes);
    b[5] = static_cast<std::uint8_t>(info.nameBytes >> 8);
    PutU64(b.data() + 8, info.dataBytes);
    return b;
}

std::optional<Info> DecodeInfo(const std::uint8_t *b) {
    Info info;
    info.height = b[1];
    info.nameBytes = static_cast<std::uint16_t>(b[4] | (b[5] << 8));
    info.dataBytes = GetU64(b + 8);
    if (b[0] != kVersion || info.height < 1 || info.height > 16 || b[2] > 1 || b[3] != 0 || b[6] || b[7] ||
        info.nameBytes > kMaxNameBytes || info.dataBytes > (std::uint64_t{1} << 60))
        return std::nullopt;
    info.kind = static_cast<Kind>(b[2]);
    return info;
}

} // namespace kalmira::stealth::format2
