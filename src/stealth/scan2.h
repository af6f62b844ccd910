// Reading a carrier's windows for the version-2 format: the effective shift
// of a sound (one pass), and per window the parity, the allowed directions
// and (writer) the cost of every element, stripe by stripe on every core.
#pragma once

#include "stealth/elements.h"
#include "stealth/format2.h"
#include "stealth/stealth2.h"

#include <cstdint>
#include <functional>
#include <memory>
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

// An array whose elements start uninitialised: a window's arrays are first
// written by the stripes on every core, so their pages are touched there
// rather than cleared on one.
template <class T>
class WindowArray {
public:
    void resize(std::size_t n) {
        if (n > capacity_) {
            p_.reset(new T[n]);
            capacity_ = n;
        }
        n_ = n;
    }
    std::size_t size() const { return n_; }
    T *data() { return p_.get(); }
    T &operator[](std::size_t i) { return p_[i]; }
    const T &operator[](std::size_t i) const { return p_[i]; }
    T *begin() { return p_.get(); }
    T *end() { return p_.get() + n_; }

private:
    std::unique_ptr<T[]> p_;
    std::size_t n_ = 0, capacity_ = 0;
};

// Per element of a window, in local order.
// kRise / kFall: the writer's decision to change the element.
enum ElementFlag : std::uint8_t {
    kParity = 1,
    kMayRise = 2,
    kMayFall = 4,
    kRise = 8,
    kFall = 16
};
struct WindowState {
    WindowArray<std::uint8_t> flags;
    WindowArray<float> costs; // writer only: +infinity for wet elements
    std::uint64_t dry = 0;    // finite costs
};

class WindowScanner {
public:
    // Without a cost model (reader) only the parities are of use.
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
    bool readRows(std::uint64_t r0, std::uint64_t r1, std::uint64_t halo, Buffers &buf);
    bool stripe(std::uint64_t j, std::uint64_t k, WindowState &out, Buffers &buf, std::uint64_t &dry);
    void elements(const std::int32_t *values, const std::uint8_t *locked, std::uint64_t firstElement, std::size_t count,
                  std::uint8_t *flags, float *costs) const;

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
