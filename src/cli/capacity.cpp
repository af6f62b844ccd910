#include "cli/capacity.h"

#include "hide/carrier_check.h"
#include "platform/platform.h"

namespace kalmira::cli {

std::int64_t CompressedBound(std::int64_t n) {
    const std::int64_t blocks = n <= 0 ? 1 : (n + kSymbolsPerBlock - 1) / kSymbolsPerBlock;
    return n + 6 + 5 * blocks;
}

Fit CheckFit(const std::string &carrier, std::int64_t carrierLength, payload::Mode mode,
             std::int64_t compressed) {
    if (payload::RoundedForDisplay(compressed) > payload::kMaxDataLength - 1) return Fit::TooLarge;
    if (carrierLength < payload::MinCarrierForRun(compressed)) return Fit::TooSmall;
    if (hide::CheckCarrierStructure(carrier, payload::StoredDataLength(mode, compressed)) !=
        hide::CarrierStructure::Ok)
        return Fit::Structure;
    return Fit::Ok;
}

namespace {

// Largest x in [lo, hi) with fits(x), given fits(lo) and fits is monotone.
template <class F> std::int64_t Largest(std::int64_t lo, std::int64_t hi, F fits) {
    while (hi - lo > 1) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        (fits(mid) ? lo : hi) = mid;
    }
    return lo;
}

} // namespace

std::int64_t MaxCompressed(const std::string &carrier, payload::Mode mode) {
    const std::int64_t length = platform::FileSize(carrier);
    auto fits = [&](std::int64_t c) { return CheckFit(carrier, length, mode, c) == Fit::Ok; };
    if (length < 0 || !fits(1)) return -1;
    return Largest(1, length + 1, fits);
}

std::int64_t Capacity(const std::string &carrier, payload::Mode mode) {
    const std::int64_t length = platform::FileSize(carrier);
    auto fits = [&](std::int64_t n) {
        return CheckFit(carrier, length, mode, CompressedBound(n)) == Fit::Ok;
    };
    if (length < 0 || !fits(0)) return -1;
    return Largest(0, length + 1, fits);
}

} // namespace kalmira::cli
