#include "stealth/memory_elements.h"

#include <algorithm>

namespace kalmira::stealth {

MemoryElements::MemoryElements(const ElementShape &shape, std::vector<std::int32_t> values,
                               std::vector<std::int32_t> alpha)
    : shape_(shape), values_(std::move(values)), alpha_(std::move(alpha)) {
    values_.resize(static_cast<std::size_t>(shape_.elements() * shape_.channels));
    if (!alpha_.empty()) alpha_.resize(static_cast<std::size_t>(shape_.elements()), 1);
    shape_.hasAlpha = !alpha_.empty();
}

bool MemoryElements::read(std::uint64_t firstRow, std::uint64_t rowCount, std::span<std::int32_t> values,
                          std::span<std::uint8_t> locked) {
    if (firstRow > shape_.rows || rowCount > shape_.rows - firstRow) return false;
    const std::size_t from = static_cast<std::size_t>(firstRow * shape_.rowValues());
    const std::size_t n = static_cast<std::size_t>(rowCount * shape_.rowValues());
    if (values.size() < n) return false;
    std::copy_n(values_.begin() + static_cast<std::ptrdiff_t>(from), n, values.begin());
    const std::size_t e0 = static_cast<std::size_t>(firstRow * shape_.width);
    const std::size_t m = std::min(locked.size(), static_cast<std::size_t>(rowCount * shape_.width));
    for (std::size_t i = 0; i < m; ++i) locked[i] = !alpha_.empty() && alpha_[e0 + i] == 0;
    return true;
}

bool MemoryElements::apply(std::span<const Change> changes) {
    const std::uint64_t c = static_cast<std::uint64_t>(shape_.channels);
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const Change &x = changes[i];
        if (x.element >= shape_.elements() || (i > 0 && changes[i - 1].element >= x.element)) return false;
        for (std::uint64_t ch = 0; ch < c; ++ch) {
            const std::int64_t v = std::int64_t{values_[x.element * c + ch]} + x.delta;
            if (v < shape_.minValue || v > shape_.maxValue) return false;
        }
    }
    for (const Change &x : changes)
        for (std::uint64_t ch = 0; ch < c; ++ch) values_[x.element * c + ch] += x.delta;
    return true;
}

} // namespace kalmira::stealth
