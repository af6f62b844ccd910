#include "stealth/scan2.h"

#include "stealth/coder2.h"
#include "stealth/parallel2.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace kalmira::stealth {

bool FindShift(ElementReader &reader, const format2::Geometry &g, Shift &out,
               const std::function<bool(double)> &progress) {
    const ElementShape &shape = reader.shape();
    const int cap = std::max(0, shape.bits - 8);
    int least = 32; // trailing zeros of the samples so far (32: all silent)
    std::uint64_t first = 0;
    std::vector<std::int32_t> v;
    for (std::uint64_t u = 0; u < g.stripes(); ++u) {
        const std::uint64_t r0 = u * g.stripeRows(), rows = std::min(g.stripeRows(), shape.rows - r0);
        v.resize(static_cast<std::size_t>(rows * shape.width));
        if (!reader.read(r0, rows, v, {})) return false;
        for (std::size_t i = 0; i < v.size() && least > 0; ++i) {
            if (v[i] == 0) continue;
            const int z = std::countr_zero(static_cast<std::uint32_t>(v[i]));
            if (z < least) {
                least = z;
                first = r0 * shape.width + i;
            }
        }
        if (progress && !progress(double(u + 1) / double(g.stripes()))) return false;
        if (least == 0) break; // nothing can go lower, and the anchor is found
    }
    out.t = least == 32 ? 0 : std::min(least, cap);
    out.anchor.reset();
    if (least <= cap) out.anchor = first;
    return true;
}

WindowScanner::WindowScanner(ElementReader &reader, const format2::Geometry &g, const Shift &shift,
                             const CostModel *costs, unsigned threads)
    : reader_(reader), g_(g), shape_(reader.shape()), shift_(shift), costs_(costs), threads_(WorkerThreads(threads)) {}

bool WindowScanner::scan(std::uint64_t j, WindowState &out, const std::function<bool(double)> &progress) {
    const std::uint64_t n = g_.windowSize(j), stripes = g_.windowStripes(j);
    out.flags.resize(static_cast<std::size_t>(n));
    out.costs.resize(costs_ ? static_cast<std::size_t>(n) : 0);
    std::vector<Buffers> buffers(threads_);
    std::vector<std::uint64_t> dry(static_cast<std::size_t>(stripes), 0);
    cancelled_ = false;
    const bool ok = ParallelFor(
        static_cast<std::size_t>(stripes), threads_,
        [&](std::size_t k, unsigned slot) { return stripe(j, k, out, buffers[slot], dry[k]); },
        [&](std::size_t done) {
            cancelled_ = progress && !progress(double(done) / double(stripes));
            return !cancelled_;
        });
    out.dry = 0;
    for (const std::uint64_t d : dry) out.dry += d;
    return ok;
}

namespace {

// Row i of a carrier of `count` rows, mirrored about the first and last row when outside.
std::uint64_t Mirror(std::int64_t i, std::int64_t count) {
    if (count <= 1) return 0;
    const std::int64_t period = 2 * (count - 1);
    i %= period;
    if (i < 0) i += period;
    return static_cast<std::uint64_t>(i < count ? i : period - i);
}

} // namespace

// Reads rows [r0 - halo, r1 + halo) into the buffer, those beyond the edges mirrored.
bool WindowScanner::readRows(std::uint64_t r0, std::uint64_t r1, std::uint64_t halo, Buffers &buf) {
    const std::uint64_t rows = shape_.rows, rv = shape_.rowValues(), w = shape_.width;
    const std::uint64_t first = r0 >= halo ? r0 - halo : 0, last = std::min(rows, r1 + halo);
    const std::uint64_t at = first + halo - r0; // buffer row of carrier row `first`
    buf.values.resize(static_cast<std::size_t>((r1 - r0 + 2 * halo) * rv));
    buf.locked.resize(shape_.hasAlpha ? static_cast<std::size_t>((r1 - r0 + 2 * halo) * w) : 0);
    {
        std::lock_guard<std::mutex> lock(readLock_);
        const std::span<std::uint8_t> locked =
            buf.locked.empty() ? std::span<std::uint8_t>{} : std::span(buf.locked).subspan(at * w, (last - first) * w);
        if (!reader_.read(first, last - first, std::span(buf.values).subspan(at * rv, (last - first) * rv), locked))
            return false;
    }
    for (std::uint64_t b = 0; b < r1 - r0 + 2 * halo; ++b) {
        if (b >= at && b < at + (last - first)) continue;
        const std::uint64_t src = Mirror(static_cast<std::int64_t>(r0 + b) - static_cast<std::int64_t>(halo),
                                         static_cast<std::int64_t>(rows)) +
                                  halo - r0;
        std::copy_n(buf.values.begin() + static_cast<std::ptrdiff_t>(src * rv), rv,
                    buf.values.begin() + static_cast<std::ptrdiff_t>(b * rv));
        if (!buf.locked.empty())
            std::copy_n(buf.locked.begin() + static_cast<std::ptrdiff_t>(src * w), w,
                        buf.locked.begin() + static_cast<std::ptrdiff_t>(b * w));
    }
    return true;
}

bool WindowScanner::stripe(std::uint64_t j, std::uint64_t k, WindowState &out, Buffers &buf, std::uint64_t &dry) {
    const std::uint64_t r0 = g_.stripeOf(j, k) * g_.stripeRows();
    const std::uint64_t r1 = std::min(r0 + g_.stripeRows(), shape_.rows);
    const std::uint64_t halo = costs_ ? costs_->haloRows : 0;
    if (!readRows(r0, r1, halo, buf)) return false;
    const std::size_t offset = static_cast<std::size_t>(k * g_.stripeElements());
    const std::size_t count = static_cast<std::size_t>((r1 - r0) * shape_.width);
    const std::span<const std::uint8_t> locked = buf.locked.empty()
                                                     ? std::span<const std::uint8_t>{}
                                                     : std::span(buf.locked).subspan(halo * shape_.width, count);
    float *costs = nullptr;
    if (costs_) {
        costs = out.costs.data() + offset;
        if (costs_->costs)
            costs_->costs(CostStripe{shape_, r0, r1 - r0, halo, buf.values, locked, shift_.t}, {costs, count});
        else
            std::fill_n(costs, count, 1.0f);
    }
    elements(buf.values.data() + halo * shape_.rowValues(), locked.empty() ? nullptr : locked.data(), r0 * shape_.width,
             count, out.flags.data() + offset, costs);
    if (costs)
        for (std::size_t i = 0; i < count; ++i) dry += costs[i] != coder::kWet;
    return true;
}

// Parity and directions of each element; costs made valid for the coder and
// wet where the format needs it.
void WindowScanner::elements(const std::int32_t *values, const std::uint8_t *locked, std::uint64_t firstElement,
                             std::size_t count, std::uint8_t *flags, float *costs) const {
    const int c = shape_.channels;
    const std::int32_t lo = shape_.minValue, hi = shape_.maxValue;
    const bool sound = shape_.medium == Medium::Sound;
    const std::int64_t step = std::int64_t{1} << shift_.t;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t f;
        if (sound) {
            const std::int64_t s = values[i];
            f = static_cast<std::uint8_t>(((s >> shift_.t) & 1) | (s + step <= hi ? kMayRise : 0) |
                                          (s - step >= lo ? kMayFall : 0));
        } else {
            const std::int32_t *v = values + i * c;
            std::int32_t sum = 0, top = v[0], bottom = v[0];
            for (int ch = 0; ch < c; ++ch) {
                sum += v[ch];
                top = std::max(top, v[ch]);
                bottom = std::min(bottom, v[ch]);
            }
            f = static_cast<std::uint8_t>((sum & 1) | (top < hi ? kMayRise : 0) | (bottom > lo ? kMayFall : 0));
        }
        flags[i] = f;
        if (!costs) continue;
        float &x = costs[i];
        const bool stuck = (f & (kMayRise | kMayFall)) == 0 || (locked && locked[i]) ||
                           (shift_.anchor && *shift_.anchor == firstElement + i);
        if (stuck || std::isnan(x) || x == coder::kWet)
            x = coder::kWet;
        else
            x = std::clamp(x, 0.0f, coder::kMaxCost);
    }
}

} // namespace kalmira::stealth
