// PNG and FLAC as version-2 carriers, file to file: a hide changes only
// usable values by one step, keeps everything else, and is read back; what
// cannot be taken is refused with nothing written.
#include "carrier/flac_elements.h"
#include "carrier/png_elements.h"

#include "whole_file_tools.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace kalmira;
using namespace kalmira::carrier;
using namespace kalmira::test;

namespace {

mode_t ModeOf(const std::string &path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

class PngHide : public ::testing::TestWithParam<const char *> {};
class FlacHide : public ::testing::TestWithParam<const char *> {};

} // namespace

// Hide, check the file with pngcheck, compare pixel by pixel with the input:
// a changed pixel moved all its colour values by the same +-1 and was not
// transparent, alpha stayed. That the writer keeps chunks, trailer and
// interlacing is pinned by png_file_test.
TEST_P(PngHide, ChangesOnlyUsablePixelsByOneStep) {
    TempDir dir;
    const std::string path = CopyMade(dir, GetParam());
    PngImage before;
    ASSERT_EQ(ReadPngFile(path, kWholeFileMemoryLimit, before), CodecProblem::None);
    Bytes data;
    {
        PngElements c(path, true);
        ASSERT_FALSE(c.problem());
        data = HideInto(c);
        EXPECT_TRUE(c.oldContentWiped()); // Hide2 committed
    }
    EXPECT_EQ(Shell("pngcheck -q '" + path + "'"), 0);
    EXPECT_EQ(ModeOf(path), 0640u);
    EXPECT_EQ(FilesIn(dir.path()), 1u);
    PngImage after;
    ASSERT_EQ(ReadPngFile(path, kWholeFileMemoryLimit, after), CodecProblem::None);
    ASSERT_EQ(after.width, before.width);
    ASSERT_EQ(after.height, before.height);
    std::uint64_t changed = 0;
    for (std::uint64_t p = 0; p < before.pixelCount(); ++p) {
        const std::int32_t d = after.sample(p, 0) - before.sample(p, 0);
        for (int c = 1; c < before.colourChannels; ++c) ASSERT_EQ(after.sample(p, c) - before.sample(p, c), d) << p;
        if (before.alpha) {
            ASSERT_EQ(after.sample(p, before.colourChannels), before.sample(p, before.colourChannels));
        }
        if (d == 0) continue;
        ASSERT_TRUE(d == 1 || d == -1) << p;
        ASSERT_FALSE(before.transparent(p)) << p;
        ++changed;
    }
    EXPECT_GT(changed, 0u);
    PngElements readBack(path, false);
    ASSERT_FALSE(readBack.problem());
    EXPECT_EQ(ExtractFrom(readBack), data);
}

INSTANTIATE_TEST_SUITE_P(Files, PngHide,
                         ::testing::Values("ct0_16_i.png", "ct2_8_i.png", "ct4_8.png", "ct6_16.png", "gimp.png",
                                           "key.png", "screen.png"));

// Hide, `flac -t`, compare sample by sample: changes of one step (2^t for a
// recording whose low bits are all zero). Metadata and tags: flac_file_test.
TEST_P(FlacHide, ChangesSamplesByOneStep) {
    TempDir dir;
    const std::string path = CopyMade(dir, GetParam());
    FlacAudio before;
    ASSERT_EQ(ReadFlacFile(path, kWholeFileMemoryLimit, before), CodecProblem::None);
    Bytes data;
    {
        FlacElements c(path, true);
        ASSERT_FALSE(c.problem());
        data = HideInto(c, 2000);
    }
    EXPECT_EQ(Shell("flac -t -s '" + path + "'"), 0);
    EXPECT_EQ(ModeOf(path), 0640u);
    FlacAudio after;
    ASSERT_EQ(ReadFlacFile(path, kWholeFileMemoryLimit, after), CodecProblem::None);
    ASSERT_EQ(after.samples.size(), before.samples.size());
    const std::int32_t step = std::int32_t{1} << before.wastedBits;
    std::uint64_t changed = 0;
    for (std::size_t i = 0; i < before.samples.size(); ++i) {
        const std::int32_t d = after.samples[i] - before.samples[i];
        ASSERT_TRUE(d == 0 || d == step || d == -step) << i << ": " << d;
        changed += d != 0;
    }
    EXPECT_GT(changed, 0u);
    FlacElements readBack(path, false);
    ASSERT_FALSE(readBack.problem());
    EXPECT_EQ(ExtractFrom(readBack), data);
}

INSTANTIATE_TEST_SUITE_P(Files, FlacHide, ::testing::Values("cd.flac", "m24.flac", "p24.flac", "sox6.flac"));
