// Carriers for the stealth tests, with the file offsets that may change
// worked out independently of the engine's parser.
#pragma once

#include "stealth/stealth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace kalmira::test {

struct TestCarrier {
    std::vector<std::uint8_t> bytes;
    std::vector<bool> usable; // per file byte
};

// Cheap argon2 so that the suite stays fast; the golden carrier uses the real cost.
inline stealth::Tuning FastKdf() {
    stealth::Tuning t;
    t.kdfOps = 1;
    t.kdfMemBytes = 8192;
    return t;
}

namespace detail {
inline void Put(std::vector<std::uint8_t> &v, std::size_t at, std::uint64_t x, int n) {
    for (int i = 0; i < n; ++i) v[at + i] = static_cast<std::uint8_t>(x >> (8 * i));
}
inline void Tag(std::vector<std::uint8_t> &v, std::size_t at, const char *t) { std::memcpy(&v[at], t, 4); }
} // namespace detail

// A photo-like image: smooth shading plus a little noise.
inline std::uint8_t Shade(int x, int y, int c, std::mt19937 &gen) {
    const double v =
        128 + 60 * std::sin(x * 0.05 + c) + 40 * std::cos(y * 0.07 - c) + std::normal_distribution<double>(0, 3)(gen);
    return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
}

// dib: 40, 108, 124 (12 for the old core header); 32-bit with dib 40 uses bit fields.
inline TestCarrier StealthBmp(int w, int h, int bpp, std::uint32_t dib = 40, bool topDown = false,
                              std::uint32_t seed = 3) {
    using detail::Put;
    const std::size_t masks = (bpp == 32 && dib == 40) ? 12 : 0;
    const std::size_t off = 14 + dib + masks, stride = (static_cast<std::size_t>(w) * bpp / 8 + 3) / 4 * 4;
    TestCarrier c;
    c.bytes.assign(off + stride * h, 0);
    c.usable.assign(c.bytes.size(), false);
    c.bytes[0] = 'B';
    c.bytes[1] = 'M';
    Put(c.bytes, 2, c.bytes.size(), 4);
    Put(c.bytes, 10, off, 4);
    Put(c.bytes, 14, dib, 4);
    Put(c.bytes, 18, static_cast<std::uint32_t>(w), 4);
    Put(c.bytes, 22, static_cast<std::uint32_t>(topDown ? -h : h), 4);
    Put(c.bytes, 26, 1, 2);
    Put(c.bytes, 28, bpp, 2);
    if (bpp == 32) {
        Put(c.bytes, 30, 3, 4); // bit fields
        Put(c.bytes, 54, 0x00FF0000, 4);
        Put(c.bytes, 58, 0x0000FF00, 4);
        Put(c.bytes, 62, 0x000000FF, 4);
    }
    std::mt19937 gen(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int b = 0; b < bpp / 8; ++b) {
                const std::size_t at = off + y * stride + x * (bpp / 8) + b;
                c.bytes[at] = b < 3 ? Shade(x, y, b, gen) : 0xFF;
                c.usable[at] = b < 3;
            }
    for (std::size_t i = off; i < c.bytes.size(); ++i)
        if (!c.usable[i] && (i - off) % stride >= static_cast<std::size_t>(w) * bpp / 8) c.bytes[i] = 0xA5; // padding
    return c;
}

// PCM WAV; optionally an odd-sized chunk and a LIST chunk before "data".
inline TestCarrier StealthWav(std::size_t frames, int channels, int bits, bool extraChunks = false,
                              std::uint32_t seed = 4) {
    using detail::Put;
    using detail::Tag;
    const int bytes = bits / 8;
    const std::size_t dataLen = frames * channels * bytes;
    const std::size_t extra = extraChunks ? (8 + 3 + 1) + (8 + 10) : 0;
    TestCarrier c;
    c.bytes.assign(12 + 24 + extra + 8 + dataLen, 0);
    c.usable.assign(c.bytes.size(), false);
    Tag(c.bytes, 0, "RIFF");
    Put(c.bytes, 4, c.bytes.size() - 8, 4);
    Tag(c.bytes, 8, "WAVE");
    Tag(c.bytes, 12, "fmt ");
    Put(c.bytes, 16, 16, 4);
    Put(c.bytes, 20, 1, 2);
    Put(c.bytes, 22, channels, 2);
    Put(c.bytes, 24, 44100, 4);
    Put(c.bytes, 28, 44100 * channels * bytes, 4);
    Put(c.bytes, 32, channels * bytes, 2);
    Put(c.bytes, 34, bits, 2);
    std::size_t at = 36;
    if (extraChunks) {
        Tag(c.bytes, at, "junk");
        Put(c.bytes, at + 4, 3, 4);
        std::memset(&c.bytes[at + 8], 0x5A, 4); // three bytes and the pad byte
        at += 12;
        Tag(c.bytes, at, "LIST");
        Put(c.bytes, at + 4, 10, 4);
        std::memcpy(&c.bytes[at + 8], "INFOISFT\x02\x00", 10);
        at += 18;
    }
    Tag(c.bytes, at, "data");
    Put(c.bytes, at + 4, dataLen, 4);
    at += 8;
    std::mt19937 gen(seed);
    for (std::size_t i = 0; i < frames * channels; ++i) {
        const double s = 0.3 * std::sin(i * 0.01) + std::normal_distribution<double>(0, 0.01)(gen);
        const auto v = static_cast<std::int32_t>(s * ((1 << (bits - 1)) - 1));
        Put(c.bytes, at + i * bytes, bits == 8 ? static_cast<std::uint32_t>(v + 128) : static_cast<std::uint32_t>(v),
            bytes);
        c.usable[at + i * bytes] = true;
    }
    return c;
}

} // namespace kalmira::test
