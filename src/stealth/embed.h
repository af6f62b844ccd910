// Reading version 1 from a carrier's slots. A keyed permutation orders groups of 64
// consecutive usable bytes, a keyed mask orders the bytes inside each group;
// the body slots are cut into one segment per k-bit block. A block's
// syndrome is the XOR of (i mod (2^k - 1)) + 1 over the segment slots i whose
// byte has its lowest bit set; one byte changed by one sets it to any value.
#pragma once

#include "carrier/stealth_layout.h"
#include "stealth/format.h"
#include "stealth/permutation.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace kalmira::stealth {

// Segment b holds the body slots [b*L, (b+1)*L), L = floor(S/B) >= 2^k - 1;
// slots from B*L on stay unused.
struct Segments {
    std::uint64_t slots = 0, blocks = 0, length = 1;
    Segments(std::uint64_t s, std::uint64_t b) : slots(s), blocks(b), length(b ? s / b : 1) {}
    std::uint64_t start(std::uint64_t b) const { return b * length; }
};

// The blocks [first, end) handled in one pass, k bits each: the syndromes
// after accumulate(); XORed with the payload bits they name the column to
// change (0 = none). `first` is a multiple of 64, so the fields are stream
// bytes and a group's fields are whole 64-bit words when k = L = 1.
struct Window {
    std::uint64_t first = 0, end = 0;
    std::vector<std::uint8_t> fields;
    std::size_t streamBytes(int k) const { return static_cast<std::size_t>(((end - first) * k + 7) / 8); }
    void reset(std::uint64_t b0, std::uint64_t b1, int k) {
        first = b0;
        end = b1;
        fields.assign(streamBytes(k) + 8, 0);
    }
};

class Embedder {
public:
    // `blocks` = 0 when only the head is to be found.
    Embedder(const Layout &layout, const std::uint8_t *orderKey, int k, std::uint64_t blocks);

    // Usable byte index of head slot s (s < kHeadBits).
    std::uint64_t headIndex(std::uint64_t s) const;
    std::uint64_t windowBlocks(std::size_t windowBytes) const;
    std::uint64_t blocks() const { return seg_.blocks; }

    bool accumulate(const platform::BinaryFile &file, Window &w, const std::function<bool(double)> &progress);

private:
    template <bool kLow, class Fn, class GroupFn>
    void visit(std::uint64_t first, std::uint8_t *bytes, std::size_t n, const Window &w, Fn &&fn, GroupFn &&whole);
    std::uint64_t mask(std::uint64_t g) const { return ((g ^ maskKey_[0]) * maskKey_[1]) >> 58; }

    Permutation perm_;
    std::uint64_t groups_;
    std::uint64_t maskKey_[2];
    int k_;
    std::uint64_t n_;
    Segments seg_;
    const Layout &layout_;
    std::vector<std::uint64_t> slots_;
    // Slots of groups [0, cached_) from an earlier pass, for carriers of up
    // to 4 Mi groups (16 MiB); larger ones compute them again.
    std::vector<std::uint32_t> groupSlots_;
    std::uint64_t cached_ = 0;
};

} // namespace kalmira::stealth
