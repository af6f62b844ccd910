// In-memory element carriers and stand-in costs for the version-2 tests.
#pragma once

#include "stealth/memory_elements.h"
#include "stealth/stealth2.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace kalmira::test {

struct ElementCarrier {
    stealth::ElementShape shape;
    std::vector<std::int32_t> values, alpha;
    stealth::MemoryElements make() const { return stealth::MemoryElements(shape, values, alpha); }
};

// A photo-like picture: smooth shading and noise over the whole value range.
// With alpha: a fully transparent block at the top left. Always a few pixels
// that can move in neither direction (one channel at 0, another at the top).
inline ElementCarrier Picture(std::uint64_t w, std::uint64_t h, int channels, int bits, bool alpha,
                              std::uint32_t seed = 5) {
    ElementCarrier c{stealth::PictureShape(w, h, channels, bits, alpha), {}, {}};
    const double top = c.shape.maxValue;
    std::mt19937 gen(seed);
    std::normal_distribution<double> noise(0, top / 80);
    c.values.resize(static_cast<std::size_t>(w * h * channels));
    for (std::uint64_t y = 0; y < h; ++y)
        for (std::uint64_t x = 0; x < w; ++x)
            for (int ch = 0; ch < channels; ++ch) {
                const double v =
                    top * (0.5 + 0.3 * std::sin(x * 0.05 + ch) + 0.15 * std::cos(y * 0.07 - ch)) + noise(gen);
                c.values[(y * w + x) * channels + ch] = static_cast<std::int32_t>(std::clamp(v, 0.0, top));
            }
    if (channels == 3)
        for (std::uint64_t x = 0; x < 8; ++x) {
            c.values[(5 * w + x) * 3] = 0;
            c.values[(5 * w + x) * 3 + 1] = c.shape.maxValue;
        }
    if (alpha) {
        c.alpha.assign(static_cast<std::size_t>(w * h), c.shape.maxValue);
        for (std::uint64_t y = 0; y < h / 4; ++y)
            for (std::uint64_t x = 0; x < w / 3; ++x) c.alpha[y * w + x] = 0;
    }
    return c;
}

// Music-like sound with an optional silent stretch; `zeroBits` low bits of
// every sample stay zero (a 16-bit recording stored in 24 bits: 8).
inline ElementCarrier Sound(std::uint64_t frames, std::uint64_t channels, int bits, double silentFrom = 1.0,
                            int zeroBits = 0, std::uint32_t seed = 6) {
    ElementCarrier c{stealth::SoundShape(channels, frames, bits), {}, {}};
    std::mt19937 gen(seed);
    std::normal_distribution<double> noise(0, 0.02);
    const double amp = std::ldexp(1.0, bits - 1 - zeroBits) - 1;
    c.values.resize(static_cast<std::size_t>(frames * channels));
    for (std::uint64_t i = 0; i < c.values.size(); ++i) {
        const bool silent = i / channels >= silentFrom * frames;
        const double s = silent ? 0 : amp * (0.4 * std::sin(i * 0.013) + noise(gen));
        c.values[i] = static_cast<std::int32_t>(std::lround(std::clamp(s, -amp - 1, amp))) * (1 << zeroBits);
    }
    return c;
}

// Stand-in costs: cheap where the neighbours above and below differ much
// (needs one halo row), silence wet. Checks that every stripe arrives with the
// right context rows of the live carrier, mirrored at its edges; `faults`
// counts the ones that did not.
struct CheckedCosts {
    const stealth::MemoryElements *live = nullptr;
    std::atomic<int> faults{0}, calls{0};

    stealth::CostModel model(std::uint64_t halo = 1) {
        stealth::CostModel m;
        m.haloRows = halo;
        m.costs = [this, halo](const stealth::CostStripe &s, std::span<float> out) { fill(s, halo, out); };
        return m;
    }

private:
    static std::uint64_t Mirror(std::int64_t i, std::int64_t n) {
        if (n <= 1) return 0;
        while (i < 0 || i >= n) i = i < 0 ? -i : 2 * (n - 1) - i;
        return static_cast<std::uint64_t>(i);
    }
    void fill(const stealth::CostStripe &s, std::uint64_t halo, std::span<float> out) {
        ++calls;
        const std::uint64_t rv = s.shape.rowValues(), rows = 2 * halo + s.rows;
        bool ok = s.halo == halo && s.values.size() == rows * rv && out.size() == s.rows * s.shape.width &&
                  (s.locked.empty() || s.locked.size() == out.size());
        for (std::uint64_t b = 0; ok && live && b < rows; ++b) {
            const std::uint64_t src =
                Mirror(static_cast<std::int64_t>(s.firstRow + b) - static_cast<std::int64_t>(halo),
                       static_cast<std::int64_t>(s.shape.rows));
            ok = std::equal(s.values.begin() + b * rv, s.values.begin() + (b + 1) * rv,
                            live->values().begin() + src * rv);
        }
        faults += !ok;
        const int c = s.shape.channels;
        for (std::uint64_t r = 0; r < s.rows; ++r) {
            const std::uint64_t y = halo + r;
            const std::uint64_t up = y - 1, down = y + 1;
            for (std::uint64_t x = 0; x < s.shape.width; ++x) {
                const std::int32_t *v = &s.values[(y * s.shape.width + x) * c];
                if (s.shape.medium == stealth::Medium::Sound && v[0] == 0) {
                    out[r * s.shape.width + x] = std::numeric_limits<float>::infinity();
                    continue;
                }
                double d = 0;
                for (int ch = 0; ch < c; ++ch)
                    d += std::abs(v[ch] - s.values[(up * s.shape.width + x) * c + ch]) +
                         std::abs(v[ch] - s.values[(down * s.shape.width + x) * c + ch]);
                out[r * s.shape.width + x] = static_cast<float>(1.0 / (1.0 + d));
            }
        }
    }
};

} // namespace kalmira::test
