// The passes over a carrier's slots: Hamming syndromes of the body blocks,
// and the LSB-matching changes that set them to the payload bits.
#pragma once

#include "stealth/carrier_layout.h"
#include "stealth/format.h"
#include "stealth/permutation.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace kalmira::stealth {

// The body blocks [first, end) handled in one pass, one k-bit field each:
// syndromes after accumulate(), changes (1-based slot, 0 = none) after the
// payload bits are XORed in.
struct Window {
    std::uint64_t first = 0, end = 0;
    std::vector<std::uint8_t> fields;
    void reset(std::uint64_t b0, std::uint64_t b1, int k) {
        first = b0;
        end = b1;
        fields.assign(static_cast<std::size_t>(((b1 - b0) * k + 7) / 8 + 4), 0);
    }
};

// A wanted lowest bit at one usable byte (salt and head).
struct BitAt {
    std::uint64_t index;
    std::uint8_t bit;
};

class Embedder {
public:
    Embedder(const Layout &layout, const std::uint8_t *orderKey, int k);

    std::uint64_t usable() const { return usable_; }
    // Usable byte index of head slot s (s < kHeadSlots).
    std::uint64_t headIndex(std::uint64_t s) const { return perm_.inverse(s) + format::kSaltSlots; }
    std::uint64_t windowBlocks(std::size_t windowBytes) const;

    bool accumulate(const platform::BinaryFile &file, Window &w, const std::function<bool(double)> &progress);
    // Returns false on a write error; `changed` counts the bytes changed.
    bool apply(platform::BinaryFile &file, const Window &w, const std::vector<BitAt> &bits,
               const std::function<void(double)> &progress, bool &touched, std::uint64_t &changed);

private:
    template <class Fn> void visit(std::uint64_t first, std::size_t n, const Window &w, Fn &&fn);

    const Layout &layout_;
    std::uint64_t usable_;
    Permutation perm_;
    int k_;
    format::BlockDivider div_;
    std::vector<std::uint64_t> slots_;
};

} // namespace kalmira::stealth
