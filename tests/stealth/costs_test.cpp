// Costs of adaptive embedding: wet rules, independence from stripe
// boundaries, texture cheaper than smooth areas, the effective resolution of
// sound, and the JPEG grid meter on pictures quantised in 8x8 blocks.
#include "stealth/costs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

using namespace kalmira::stealth;

namespace {

struct Pic {
    int w, h, c;
    std::vector<std::int32_t> v;
    std::int32_t &at(int y, int x, int ch) { return v[(static_cast<std::size_t>(y) * w + x) * c + ch]; }
};

// Left half noisy texture, right half a gentle ramp; a flat grey block, a
// saturated white field with one 254 inside, a transparent pixel.
Pic Scene(int w, int h, int channels, std::int32_t scale = 1) {
    Pic p{w, h, channels, std::vector<std::int32_t>(static_cast<std::size_t>(w) * h * channels)};
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> noise(-25, 25);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c) {
                const int base = 60 + 10 * c + (x + 2 * y) / 3;
                p.at(y, x, c) = (x < w / 2 ? base + noise(rng) : base + ((x * y) % 7 == 0)) * scale;
            }
    for (int y = 2; y < 8; ++y)
        for (int x = w - 10; x < w - 4; ++x)
            for (int c = 0; c < channels; ++c) p.at(y, x, c) = 128 * scale;
    for (int y = h - 8; y < h - 2; ++y)
        for (int x = w - 10; x < w - 4; ++x)
            for (int c = 0; c < channels; ++c) p.at(y, x, c) = 255 * scale;
    for (int c = 0; c < channels; ++c) p.at(h - 5, w - 7, c) = 254 * scale;
    return p;
}

// Picture rows [from, from + rows) with the halo, mirrored at the edges.
std::vector<std::int32_t> StripeOf(const Pic &p, int from, int rows) {
    std::vector<std::int32_t> out;
    for (int r = from - kPictureHalo; r < from + rows + kPictureHalo; ++r) {
        const auto *row = p.v.data() + static_cast<std::size_t>(MirrorIndex(r, p.h)) * p.w * p.c;
        out.insert(out.end(), row, row + static_cast<std::size_t>(p.w) * p.c);
    }
    return out;
}

std::vector<float> Costs(const Pic &p, int stripeRows, bool perChannel, std::int32_t maxValue = 255,
                         const std::vector<std::uint8_t> &locked = {}) {
    const std::size_t per = perChannel ? p.c : 1;
    std::vector<float> all(static_cast<std::size_t>(p.w) * p.h * per);
    for (int y = 0; y < p.h; y += stripeRows) {
        const int rows = std::min(stripeRows, p.h - y);
        const std::vector<std::int32_t> samples = StripeOf(p, y, rows);
        std::span<const std::uint8_t> lock;
        if (!locked.empty())
            lock = std::span(locked).subspan(static_cast<std::size_t>(y) * p.w, static_cast<std::size_t>(rows) * p.w);
        PictureStripe s{samples, lock, p.w, rows, p.c, maxValue};
        std::span<float> out(all.data() + static_cast<std::size_t>(y) * p.w * per,
                             static_cast<std::size_t>(rows) * p.w * per);
        perChannel ? ChannelCosts(s, out) : PictureCosts(s, out);
    }
    return all;
}

float Median(std::vector<float> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

TEST(PictureCosts, DoNotDependOnStripesAndFollowTheWetRules) {
    const Pic p = Scene(48, 40, 3);
    std::vector<std::uint8_t> locked(static_cast<std::size_t>(p.w) * p.h, 0);
    locked[5 * p.w + 3] = 1;
    const std::vector<float> whole = Costs(p, p.h, false, 255, locked);
    for (int rows : {1, 7, 16}) {
        EXPECT_EQ(0, std::memcmp(whole.data(), Costs(p, rows, false, 255, locked).data(), whole.size() * sizeof(float)))
            << rows;
        const std::vector<float> a = Costs(p, p.h, true), b = Costs(p, rows, true);
        EXPECT_EQ(0, std::memcmp(a.data(), b.data(), a.size() * sizeof(float))) << rows;
    }
    auto cost = [&](int y, int x) { return whole[static_cast<std::size_t>(y) * p.w + x]; };
    EXPECT_EQ(kWet, cost(5, 3));                        // locked
    EXPECT_EQ(kWet, cost(4, p.w - 7));                  // inside the flat grey block
    EXPECT_EQ(kWet, cost(p.h - 4, p.w - 9));            // saturated plateau
    EXPECT_TRUE(std::isfinite(cost(p.h - 5, p.w - 7))); // the 254 inside it may move
    EXPECT_TRUE(std::isfinite(cost(5, 4)));
    // A lone saturated channel in a busy area only forbids one direction; with 0
    // and 255 in one pixel no direction is left.
    Pic q = p;
    q.at(20, 10, 0) = 255;
    q.at(20, 12, 0) = 255;
    q.at(20, 12, 1) = 0;
    const std::vector<float> cq = Costs(q, q.h, false);
    EXPECT_TRUE(std::isfinite(cq[20 * q.w + 10]));
    EXPECT_EQ(kWet, cq[20 * q.w + 12]);
}

TEST(PictureCosts, TextureIsCheaperThanSmoothAreasAtAnyDepth) {
    for (int channels : {1, 3}) {
        const Pic p = Scene(64, 48, channels);
        const std::vector<float> c = Costs(p, 13, false);
        std::vector<float> noisy, smooth;
        for (int y = 10; y < 38; ++y)
            for (int x = 8; x < 24; ++x) {
                noisy.push_back(c[y * p.w + x]);
                smooth.push_back(c[y * p.w + x + 32]);
            }
        EXPECT_LT(10 * Median(noisy), Median(smooth)) << channels;
        // The same picture in 16-bit samples costs the same.
        const std::vector<float> deep = Costs(Scene(64, 48, channels, 257), 13, false, 65535);
        for (std::size_t i = 0; i < c.size(); ++i)
            if (std::isfinite(c[i]))
                ASSERT_NEAR(c[i], deep[i], 1e-4f * c[i]) << i;
            else
                ASSERT_EQ(kWet, deep[i]) << i;
    }
}

// A recording: digital silence, near silence, quiet noise, loud noise, a clipped run.
std::vector<std::int32_t> Recording(int channels, int shift) {
    std::mt19937 rng(9);
    std::vector<std::int32_t> v;
    for (int f = 0; f < 2400; ++f)
        for (int c = 0; c < channels; ++c) {
            int s = 0;
            if (f >= 400 && f < 800) s = static_cast<int>(rng() % 7) - 3;
            if (f >= 800 && f < 1400) s = static_cast<int>(rng() % 61) - 30;
            if (f >= 1400) s = static_cast<int>(rng() % 6001) - 3000;
            if (f >= 2000 && f < 2010) s = 32767;
            v.push_back(s * (1 << shift));
        }
    return v;
}

std::vector<float> SoundCostsIn(const std::vector<std::int32_t> &v, int channels, int bits, int shift, int stripe) {
    const int frames = static_cast<int>(v.size()) / channels;
    std::vector<float> all(v.size());
    for (int f = 0; f < frames; f += stripe) {
        const int n = std::min(stripe, frames - f);
        std::vector<std::int32_t> in;
        for (int g = f - kSoundHalo; g < f + n + kSoundHalo; ++g)
            for (int c = 0; c < channels; ++c)
                in.push_back(v[static_cast<std::size_t>(MirrorIndex(g, frames)) * channels + c]);
        SoundCosts({in, n, channels, bits, shift}, std::span(all).subspan(static_cast<std::size_t>(f) * channels,
                                                                          static_cast<std::size_t>(n) * channels));
    }
    return all;
}

TEST(SoundCosts, SilenceIsWetLoudnessIsCheapAndStripesDoNotMatter) {
    const std::vector<std::int32_t> v = Recording(2, 0);
    const std::vector<float> whole = SoundCostsIn(v, 2, 16, 0, 2400);
    EXPECT_EQ(0, std::memcmp(whole.data(), SoundCostsIn(v, 2, 16, 0, 333).data(), whole.size() * sizeof(float)));
    auto cost = [&](int frame) { return whole[static_cast<std::size_t>(frame) * 2 + 1]; };
    EXPECT_EQ(kWet, cost(200));  // digital silence
    EXPECT_EQ(kWet, cost(600));  // never louder than 3 steps
    EXPECT_EQ(kWet, cost(2005)); // clipped
    ASSERT_TRUE(std::isfinite(cost(1100)));
    EXPECT_LT(20 * cost(1700), cost(1100));

    // A 24-bit file made from 16-bit sound: steps of 256, the same costs.
    const std::vector<std::int32_t> wide = Recording(2, 8);
    StepProbe probe;
    probe.add(wide);
    ASSERT_EQ(8, probe.shift(24));
    const std::vector<float> w = SoundCostsIn(wide, 2, 24, 8, 500);
    EXPECT_EQ(0, std::memcmp(whole.data(), w.data(), w.size() * sizeof(float)));
}

TEST(SoundCosts, EffectiveResolutionIsTheCommonTrailingZeroBits) {
    StepProbe silent;
    silent.add(std::vector<std::int32_t>(100, 0));
    EXPECT_EQ(0, silent.shift(16));
    StepProbe mixed;
    mixed.add(std::vector<std::int32_t>{-512, 1024, 0});
    EXPECT_EQ(9, mixed.shift(16));
    mixed.add(std::vector<std::int32_t>{-6});
    EXPECT_EQ(1, mixed.shift(16));
    StepProbe high;
    high.add(std::vector<std::int32_t>{-32768});
    EXPECT_EQ(15, high.shift(16)); // never the whole sample
}

// A textured picture whose 8x8 blocks went through DCT quantisation with
// JPEG's luminance table at about quality 75 (or not, when !quantise), cropped
// so that blocks begin at column ox and row oy (mod 8).
Pic Blocky(int w, int h, bool quantise, int ox, int oy) {
    static const int table[8][8] = {{16, 11, 10, 16, 24, 40, 51, 61},     {12, 12, 14, 19, 26, 58, 60, 55},
                                    {14, 13, 16, 24, 40, 57, 69, 56},     {14, 17, 22, 29, 51, 87, 80, 62},
                                    {18, 22, 37, 56, 68, 109, 103, 77},   {24, 35, 55, 64, 81, 104, 113, 92},
                                    {49, 64, 78, 87, 103, 121, 120, 101}, {72, 92, 95, 98, 112, 100, 103, 99}};
    const int cropX = (8 - ox) % 8, cropY = (8 - oy) % 8;
    w += 8;
    h += 8;
    Pic p{w, h, 1, std::vector<std::int32_t>(static_cast<std::size_t>(w) * h)};
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0, 6);
    std::vector<double> f(p.v.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) f[y * w + x] = 120 + 40 * std::sin(x * 0.11) * std::cos(y * 0.07) + noise(rng);
    const double pi = std::acos(-1.0);
    auto basis = [&](int k, int n) {
        return (k ? std::sqrt(2.0 / 8) : std::sqrt(1.0 / 8)) * std::cos((2 * n + 1) * k * pi / 16);
    };
    for (int by = 0; quantise && by + 8 <= h; by += 8)
        for (int bx = 0; bx + 8 <= w; bx += 8) {
            double c[8][8] = {}, out[8][8] = {};
            for (int u = 0; u < 8; ++u)
                for (int v = 0; v < 8; ++v) {
                    for (int y = 0; y < 8; ++y)
                        for (int x = 0; x < 8; ++x) c[u][v] += basis(u, y) * basis(v, x) * f[(by + y) * w + bx + x];
                    const double q = table[u][v] / 2.0;
                    c[u][v] = q * std::round(c[u][v] / q);
                }
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    for (int u = 0; u < 8; ++u)
                        for (int v = 0; v < 8; ++v) out[y][x] += basis(u, y) * basis(v, x) * c[u][v];
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) f[(by + y) * w + bx + x] = out[y][x];
        }
    Pic crop{w - 8, h - 8, 1, {}};
    for (int y = cropY; y < cropY + crop.h; ++y)
        for (int x = cropX; x < cropX + crop.w; ++x)
            crop.v.push_back(std::clamp(static_cast<int>(std::lround(f[y * w + x])), 0, 255));
    return crop;
}

JpegGridVerdict Measure(const Pic &p) {
    JpegGridMeter meter(p.w, p.c);
    for (int y = 0; y < p.h; ++y)
        meter.addRow({p.v.data() + static_cast<std::size_t>(y) * p.w * p.c, static_cast<std::size_t>(p.w) * p.c});
    return meter.verdict();
}

TEST(JpegGridMeter, FindsTheBlockGridAtAnyPhaseAndNothingWithout) {
    const JpegGridVerdict jpeg = Measure(Blocky(160, 120, true, 3, 5));
    EXPECT_TRUE(jpeg.jpeg);
    EXPECT_EQ(3, jpeg.phaseX);
    EXPECT_EQ(5, jpeg.phaseY);
    const JpegGridVerdict plain = Measure(Blocky(160, 120, false, 0, 0));
    EXPECT_FALSE(plain.jpeg);
    EXPECT_LT(std::max(plain.ratioX, plain.ratioY), JpegGridMeter::kThreshold);
    EXPECT_FALSE(Measure(Blocky(24, 120, true, 0, 0)).jpeg); // too narrow to say

    // A window screenshot: flat panels whose few sharp edges fall on one
    // phase of the grid. Strong at that phase, but only where an edge is.
    Pic shot{160, 120, 1, std::vector<int>(160 * 120, 230)};
    for (int y = 0; y < shot.h; ++y)
        for (int x = 0; x < shot.w; ++x)
            if ((x >= 16 && x < 96 && y >= 24 && y < 40) || (x >= 48 && x < 136 && y >= 64 && y < 104))
                shot.v[static_cast<std::size_t>(y * shot.w + x)] = 40 + (x * 7 + y * 13) % 5;
    const JpegGridVerdict ui = Measure(shot);
    EXPECT_GE(std::min(ui.ratioX, ui.ratioY), JpegGridMeter::kThreshold);
    EXPECT_FALSE(ui.jpeg);
}

} // namespace
