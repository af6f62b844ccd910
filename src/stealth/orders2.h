// The sequences of the version-2 format inside a window: the public salt
// sequence of window 0, the keyed head sequence of window 0, and the keyed
// body sequence of every window. All in local indices (element order inside
// the window); no table grows with the carrier but the salt's position list.
#pragma once

#include "stealth/format2.h"
#include "stealth/permutation.h"

#include <cstdint>
#include <vector>

namespace kalmira::stealth {

// S(i) = Ppub(i), i < N_s: the public, keyless salt sequence of window 0.
std::vector<std::uint64_t> SaltSequence(const format2::Geometry &g);
// Whether local index e of window 0 is a salt element (Ppub^-1(e) < N_s).
bool IsSaltElement(const format2::Geometry &g, std::uint64_t e);

// The keyed order of window j: K_j(i) = P_j(i). In window 0 the head is the
// first N_h elements of K_0 that are not salt elements, the body the rest of
// K_0 without salt elements; in the others the body is all of K_j.
class BodyOrder {
public:
    BodyOrder(const format2::Geometry &g, const format2::Keys &keys, std::uint64_t j);

    const std::vector<std::uint64_t> &head() const { return head_; } // window 0 only
    std::uint64_t size() const { return size_; }                     // nb_j
    // Local indices of body positions [first, first + n).
    void positions(std::uint64_t first, std::size_t n, std::uint64_t *out) const;

private:
    std::uint64_t keyIndex(std::uint64_t position) const;

    Permutation perm_;
    std::uint64_t size_;
    std::uint64_t start_ = 0;         // K index where the body begins (after the head)
    std::vector<std::uint64_t> skip_; // K indices >= start_ of salt elements, sorted
    std::vector<std::uint64_t> head_;
};

} // namespace kalmira::stealth
