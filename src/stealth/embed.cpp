#include "stealth/embed.h"

#include "platform/binary_file.h"

#include <sodium.h>

#include <algorithm>

namespace kalmira::stealth {

namespace {

// Random directions for LSB matching; needs no secrecy beyond unpredictability.
class Coin {
public:
    Coin() { randombytes_buf(s_, sizeof s_); }
    bool flip() {
        if (bits_ == 0) {
            word_ = next();
            bits_ = 64;
        }
        --bits_;
        const bool b = word_ & 1;
        word_ >>= 1;
        return b;
    }

private:
    std::uint64_t next() { // xoshiro256**
        const std::uint64_t r = rotl(s_[1] * 5, 7) * 9, t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = rotl(s_[3], 45);
        return r;
    }
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t s_[4];
    std::uint64_t word_ = 0;
    int bits_ = 0;
};

// LSB matching: one up or down, never wrapping.
std::uint8_t Matched(std::uint8_t v, Coin &coin) {
    if (v == 0) return 1;
    if (v == 255) return 254;
    return coin.flip() ? v + 1 : v - 1;
}

} // namespace

Embedder::Embedder(const Layout &layout, const std::uint8_t *orderKey, int k)
    : layout_(layout), usable_(layout.usable()),
      perm_(usable_ > format::kSaltSlots ? usable_ - format::kSaltSlots : 1, orderKey), k_(k),
      div_(k) {}

std::uint64_t Embedder::windowBlocks(std::size_t windowBytes) const {
    return std::max<std::uint64_t>(1, std::uint64_t{windowBytes} * 8 / static_cast<std::uint64_t>(k_));
}

// Calls fn(offset in chunk, field index, 1-based slot in block) for every
// usable byte of the chunk whose slot lies in a block of the window.
template <class Fn>
void Embedder::visit(std::uint64_t first, std::size_t n, const Window &w, Fn &&fn) {
    const std::uint64_t skip = first < format::kSaltSlots ? std::min<std::uint64_t>(n, format::kSaltSlots - first) : 0;
    const std::size_t count = n - static_cast<std::size_t>(skip);
    if (count == 0) return;
    slots_.resize(count);
    perm_.forwardRun(first + skip - format::kSaltSlots, count, slots_.data());
    const std::uint64_t lo = w.first * div_.n, hi = w.end * div_.n;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t s = slots_[i];
        if (s < format::kHeadSlots) continue;
        const std::uint64_t t = s - format::kHeadSlots;
        if (t < lo || t >= hi) continue;
        const std::uint64_t b = div_.block(t);
        fn(static_cast<std::size_t>(skip) + i, b - w.first, static_cast<std::uint32_t>(t - b * div_.n + 1));
    }
}

bool Embedder::accumulate(const platform::BinaryFile &file, Window &w,
                          const std::function<bool(double)> &progress) {
    std::uint8_t *fields = w.fields.data();
    return ReadPass(file, layout_, [&](std::uint64_t first, std::uint8_t *u, std::size_t n) {
        visit(first, n, w, [&](std::size_t i, std::uint64_t field, std::uint32_t j) {
            if (u[i] & 1) format::XorField(fields, field, k_, j);
        });
    }, progress);
}

bool Embedder::apply(platform::BinaryFile &file, const Window &w, const std::vector<BitAt> &bits,
                     const std::function<void(double)> &progress, bool &touched, std::uint64_t &changed) {
    Coin coin;
    auto next = bits.begin();
    const std::uint8_t *fields = w.fields.data();
    return RewritePass(file, layout_, [&](std::uint64_t first, std::uint8_t *u, std::size_t n) {
        for (; next != bits.end() && next->index < first + n; ++next) {
            std::uint8_t &v = u[next->index - first];
            if ((v & 1) != next->bit) {
                v = Matched(v, coin);
                ++changed;
            }
        }
        visit(first, n, w, [&](std::size_t i, std::uint64_t field, std::uint32_t j) {
            if (format::GetField(fields, field, k_) == j) {
                u[i] = Matched(u[i], coin);
                ++changed;
            }
        });
    }, progress, touched);
}

} // namespace kalmira::stealth
