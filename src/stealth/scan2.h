// Reading a carrier's windows for the version-2 format: the effective shift
// of a sound (one pass), and per window the parity, the allowed directions
// and (writer) the cost of every element, stripe by stripe on every core.
#pragma once

#include "stealth/elements.h"
#include "stealth/format2.h"
#include "stealth/stealth2.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace kalmira::stealth {

// t = min over samples s != 0 of their trailing zero bits, capped at bits - 8
// (0 for silence); the anchor is the first sample with exactly t trailing
// zeros, kept unchanged so the reader finds the same t (none when the cap hit).
struct Shift {
    int t = 0;
    std::optional<std::uint64_t> anchor;
};
// False on a read error or cancel (the caller tells them apart by its progress).
bool FindShift(ElementReader &reader, const format2::Geometry &g, Shift &out,
               const std::function<bool(double)> &progress = {});

// Per element of a window, in local order.
enum ElementFlag : std::uint8_t { kParity = 1, kMayRise = 2, kMayFall = 4 };
struct WindowState {
    std::vector<std::uint8_t> flags;
    std::vector<float> costs; // writer only: +infinity for wet elements
    std::uint64_t dry = 0;    // finite costs
};

class WindowScanner {
public:
    // Without costs (reader) only the parities are of use.
    WindowScanner(ElementReader &reader, const format2::Geometry &g, const Shift &shift, const CostModel *costs,
                  unsigned threads);
    // False on a read error or cancel.
    bool scan(std::uint64_t j, WindowState &out, const std::function<bool(double)> &progress = {});
    bool cancelled() const { return cancelled_; }

private:
    struct Buffers {
        std::vector<std::int32_t> values;
        std::vector<std::uint8_t> locked;
    };
    bool stripe(std::uint64_t j, std::uint64_t k, WindowState &out, Buffers &buf, std::uint64_t &dry);
    void elements(const std::int32_t *values, const std::uint8_t *locked, std::uint64_t firstElement,
                  std::size_t count, std::uint8_t *flags, float *costs) const;

    ElementReader &reader_;
    const format2::Geometry &g_;
    const ElementShape &shape_;
    Shift shift_;
    const CostModel *costs_;
    unsigned threads_;
    std::mutex readLock_;
    bool cancelled_ = false;
};

} // namespace kalmira::stealth
