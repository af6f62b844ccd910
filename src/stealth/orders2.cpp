#include "stealth/orders2.h"

#include <algorithm>

namespace kalmira::stealth {

namespace {

Permutation PublicPermutation(const format2::Geometry &g) {
    const format2::OrderKey key = format2::PublicOrderKey();
    return Permutation(g.windowSize(0), key.data());
}

Permutation WindowPermutation(const format2::Geometry &g, const format2::Keys &keys, std::uint64_t j) {
    const format2::OrderKey key = format2::WindowOrderKey(keys, j);
    return Permutation(g.windowSize(j), key.data());
}

} // namespace

std::vector<std::uint64_t> SaltSequence(const format2::Geometry &g) {
    std::vector<std::uint64_t> s(g.saltCount());
    PublicPermutation(g).forwardRun(0, s.size(), s.data());
    return s;
}

bool IsSaltElement(const format2::Geometry &g, std::uint64_t e) {
    return PublicPermutation(g).inverse(e) < g.saltCount();
}

BodyOrder::BodyOrder(const format2::Geometry &g, const format2::Keys &keys, std::uint64_t j)
    : perm_(WindowPermutation(g, keys, j)), size_(g.bodySize(j)) {
    if (j != 0) return;
    // Where the salt elements lie in K_0: the head and body walks step over them.
    std::vector<std::uint64_t> salt = SaltSequence(g);
    for (auto &e : salt) e = perm_.inverse(e);
    std::sort(salt.begin(), salt.end());
    head_.resize(g.headCount());
    std::uint64_t k = 0;
    auto next = salt.begin();
    for (std::size_t h = 0; h < head_.size(); ++k) {
        if (next != salt.end() && *next == k) {
            ++next;
            continue;
        }
        head_[h++] = perm_.forward(k);
    }
    start_ = k;
    skip_.assign(next, salt.end());
}

// The K index of body position p: the (p+1)-th index from start_ that is not skipped.
std::uint64_t BodyOrder::keyIndex(std::uint64_t p) const {
    std::uint64_t x = start_ + p;
    for (;;) {
        const auto skipped =
            static_cast<std::uint64_t>(std::upper_bound(skip_.begin(), skip_.end(), x) - skip_.begin());
        if (start_ + p + skipped == x) return x;
        x = start_ + p + skipped;
    }
}

void BodyOrder::positions(std::uint64_t first, std::size_t n, std::uint64_t *out) const {
    if (skip_.empty()) {
        perm_.forwardRun(first + start_, n, out);
        return;
    }
    std::uint64_t k = keyIndex(first);
    auto next = std::lower_bound(skip_.begin(), skip_.end(), k);
    std::size_t done = 0;
    while (done < n) {
        // Runs between skipped indices map in one go.
        const std::uint64_t stop = next == skip_.end() ? k + (n - done) : std::min(*next, k + (n - done));
        perm_.forwardRun(k, static_cast<std::size_t>(stop - k), out + done);
        done += static_cast<std::size_t>(stop - k);
        k = stop;
        if (next != skip_.end() && *next == k) {
            ++next;
            ++k;
        }
    }
}

} // namespace kalmira::stealth
