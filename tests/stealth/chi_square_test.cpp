// The Westfeld-Pfitzmann chi-square attack on pairs of values over the pixel
// bytes: it must see plain LSB replacement, and not the stealth format.
#include "fakes.h"
#include "stealth/guarded.h"
#include "stealth_carriers.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace kalmira;
using namespace kalmira::test;

namespace {

// Probability of embedding: pairs (2i, 2i+1) with equal counts mean replaced
// lowest bits. Chi-square via the Wilson-Hilferty normal approximation.
double EmbeddingProbability(const std::vector<std::uint8_t> &bytes) {
    double hist[256] = {};
    for (std::uint8_t b : bytes) ++hist[b];
    double chi = 0;
    int pairs = 0;
    for (int i = 0; i < 128; ++i) {
        const double expected = (hist[2 * i] + hist[2 * i + 1]) / 2;
        if (expected < 5) continue;
        chi += (hist[2 * i] - expected) * (hist[2 * i] - expected) / expected;
        ++pairs;
    }
    const double df = pairs - 1, v = 2 / (9 * df);
    const double z = (std::cbrt(chi / df) - (1 - v)) / std::sqrt(v);
    return 0.5 * std::erfc(z / std::sqrt(2.0)); // P(chi-square >= chi)
}

// A photo after a levels adjustment: some values never occur, so the pairs
// differ, as in many real pictures.
TestCarrier StretchedPhoto() {
    TestCarrier c = StealthBmp(256, 256, 24, 40, false, 17);
    for (std::size_t i = 0; i < c.bytes.size(); ++i)
        if (c.usable[i]) c.bytes[i] = static_cast<std::uint8_t>(std::round(std::round(c.bytes[i] * 0.6) * 1.5));
    return c;
}

std::vector<std::uint8_t> Pixels(const TestCarrier &c, const std::vector<std::uint8_t> &bytes) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (c.usable[i]) out.push_back(bytes[i]);
    return out;
}

TEST(StealthChiSquare, SeesLsbReplacementButNotTheStealthFormatAtFullCapacity) {
    const TestCarrier cover = StretchedPhoto();
    EXPECT_LT(EmbeddingProbability(Pixels(cover, cover.bytes)), 0.01);

    // Control: every lowest bit replaced, as the classic layout does.
    auto replaced = cover.bytes;
    const auto bits = RandomBytes(replaced.size(), 4);
    for (std::size_t i = 0; i < replaced.size(); ++i)
        if (cover.usable[i]) replaced[i] = static_cast<std::uint8_t>((replaced[i] & 0xFE) | (bits[i] & 1));
    EXPECT_GT(EmbeddingProbability(Pixels(cover, replaced)), 0.99);

    TempDir dir;
    WriteAll(dir.file("c.bmp"), cover.bytes);
    const auto cap = stealth::Capacity(dir.file("c.bmp"));
    const auto data = RandomBytes(cap.largestPayload, 8);
    stealth::Safety safety;
    ASSERT_EQ(stealth::GuardedHide(dir.file("c.bmp"), "pw", stealth::Kind::File, "", {"", data}, safety, {}, FastKdf())
                  .outcome,
              stealth::HideResult::Outcome::Written);
    EXPECT_LT(EmbeddingProbability(Pixels(cover, ReadAll(dir.file("c.bmp")))), 0.01);
}

} // namespace
