// Sound costs: the level of a high-pass residual (second difference) over a
// short window, inverted, then smoothed over a longer one, so that changes go
// where the recording is loud and busy. Silence and near silence are wet: a
// lone step there is plainly visible in the histogram around zero.
#include "stealth/costs.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace kalmira::stealth {

int StepProbe::shift(int sampleBits) const {
    if (bits_ == 0) return 0;
    return std::min(std::countr_zero(bits_), sampleBits - 1);
}

namespace {

constexpr int kLevelRadius = 16;
constexpr int kSmoothRadius = 64;
constexpr int kQuietRadius = 64;
static_assert(kSoundHalo == 1 + kLevelRadius + kSmoothRadius && kQuietRadius <= kSoundHalo);
// Floor (in steps) under the residual level: bounds the cost of a still passage.
constexpr double kLevelFloor = 0.05;
// Inverse levels are summed in fixed point so that sums are exact whatever the stripe.
constexpr double kFixedOne = 1 << 20;

struct Channel {
    std::vector<std::int32_t> v;      // samples in steps
    std::vector<std::int64_t> prefix; // prefix sums of |residual|, then of the fixed-point inverse level
};

void Load(const SoundStripe &s, int c, int inFrames, Channel &ch) {
    ch.v.resize(inFrames);
    for (int f = 0; f < inFrames; ++f) ch.v[f] = s.samples[static_cast<std::size_t>(f) * s.channels + c] >> s.shift;
}

// Fixed-point inverse residual level at frames kLevelRadius+1 .. inFrames-kLevelRadius-2.
std::vector<std::int64_t> InverseLevel(Channel &ch, int inFrames) {
    ch.prefix.assign(inFrames + 1, 0);
    for (int f = 0; f < inFrames; ++f) {
        const std::int64_t r = (f == 0 || f == inFrames - 1)
                                   ? 0
                                   : std::llabs(std::int64_t{ch.v[f - 1]} - 2 * std::int64_t{ch.v[f]} + ch.v[f + 1]);
        ch.prefix[f + 1] = ch.prefix[f] + r;
    }
    std::vector<std::int64_t> inv(inFrames, 0);
    const double width = 2 * kLevelRadius + 1;
    for (int f = kLevelRadius + 1; f < inFrames - kLevelRadius - 1; ++f) {
        const double level = (ch.prefix[f + kLevelRadius + 1] - ch.prefix[f - kLevelRadius]) / width;
        inv[f] = std::llround(kFixedOne / (level + kLevelFloor));
    }
    return inv;
}

// Whether no sample within kQuietRadius of each output frame is louder than kQuietSteps.
std::vector<bool> Quiet(const Channel &ch, int frames) {
    const int n = static_cast<int>(ch.v.size());
    std::vector<int> lastLoud(n);
    int last = -(1 << 30);
    for (int f = 0; f < n; ++f) {
        if (std::abs(ch.v[f]) > kQuietSteps) last = f;
        lastLoud[f] = last;
    }
    std::vector<bool> quiet(frames);
    for (int o = 0; o < frames; ++o) {
        const int f = o + kSoundHalo;
        quiet[o] = lastLoud[f + kQuietRadius] < f - kQuietRadius;
    }
    return quiet;
}

} // namespace

void SoundCosts(const SoundStripe &s, std::span<float> costs) {
    const int inFrames = s.frames + 2 * kSoundHalo, C = s.channels;
    assert(s.frames > 0 && C > 0 && (s.sampleBits == 8 || s.sampleBits == 16 || s.sampleBits == 24));
    assert(s.samples.size() == static_cast<std::size_t>(inFrames) * C);
    assert(costs.size() == static_cast<std::size_t>(s.frames) * C);
    const std::int32_t lowest = (-(1 << (s.sampleBits - 1))) >> s.shift;
    const std::int32_t highest = ((1 << (s.sampleBits - 1)) - 1) >> s.shift;
    Channel ch;
    for (int c = 0; c < C; ++c) {
        Load(s, c, inFrames, ch);
        const std::vector<std::int64_t> inv = InverseLevel(ch, inFrames);
        std::vector<std::int64_t> &prefix = ch.prefix;
        prefix.assign(inFrames + 1, 0);
        for (int f = 0; f < inFrames; ++f) prefix[f + 1] = prefix[f] + inv[f];
        const std::vector<bool> quiet = Quiet(ch, s.frames);
        const double norm = 1.0 / (kFixedOne * (2 * kSmoothRadius + 1));
        for (int o = 0; o < s.frames; ++o) {
            const int f = o + kSoundHalo;
            const std::int32_t v = ch.v[f];
            const bool clipped = (v <= lowest || v >= highest) && (ch.v[f - 1] == v || ch.v[f + 1] == v);
            float &out = costs[static_cast<std::size_t>(o) * C + c];
            if (quiet[o] || clipped)
                out = kWet;
            else
                out = static_cast<float>((prefix[f + kSmoothRadius + 1] - prefix[f - kSmoothRadius]) * norm);
        }
    }
}

} // namespace kalmira::stealth
