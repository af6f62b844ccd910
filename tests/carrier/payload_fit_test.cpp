#include "carrier/payload_fit.h"

#include "carriers.h"

#include <gtest/gtest.h>

using namespace kalmira;
using namespace kalmira::test;

// The bound is what random data really compresses to, away from the block
// boundaries, and never below it anywhere.
TEST(CompressedBound, MatchesZorbZlibOnRandomData) {
    TempDir dir;
    const std::int64_t B = payload::kSymbolsPerBlock;
    for (std::int64_t n : {0L, 1L, 31L, 5000L, B - 1, B, B + 1, 2 * B + 3, 3 * B - 500}) {
        for (std::uint32_t seed = 1; seed <= 2; ++seed) {
            const auto real =
                static_cast<std::int64_t>(Compressed(dir, RandomBytes(static_cast<std::size_t>(n), seed)).size());
            EXPECT_LE(real, payload::CompressedBound(n)) << n;
            const std::int64_t tail = n % B;
            if (n > 0 && tail > 200 && tail < B - 200) {
                EXPECT_EQ(real, payload::CompressedBound(n)) << n;
            }
        }
    }
}

// The tool's end-to-end test pins the exact capacity of whole carriers.
TEST(Capacity, FollowsTheCarrierStructure) {
    TempDir dir;
    WriteAll(dir.file("c.bmp"), MakeBmp(10, 5)); // too small for anything
    EXPECT_EQ(payload::Capacity(dir.file("c.bmp"), payload::Mode::Plain), -1);

    // A WAV whose data chunk is followed by another chunk: the data end, not
    // the file length, limits it; AES needs whole blocks inside the data.
    auto wav = MakeWav(20000);
    const std::vector<std::uint8_t> list(4000, 'x');
    wav.insert(wav.end(), {'L', 'I', 'S', 'T', 0xA0, 0x0F, 0, 0});
    wav.insert(wav.end(), list.begin(), list.end());
    const std::string w = dir.file("c.wav");
    WriteAll(w, wav);
    const std::int64_t plain = payload::MaxCompressed(w, payload::Mode::Plain);
    EXPECT_LE(payload::CarrierBytesFor(plain), 44 + 20000);
    EXPECT_GT(payload::CarrierBytesFor(plain + 1), 44 + 20000);
    EXPECT_EQ(payload::MaxCompressed(w, payload::Mode::Aes) % 16, 0);
    EXPECT_LE(payload::Capacity(w, payload::Mode::Aes), payload::Capacity(w, payload::Mode::Plain));
}
