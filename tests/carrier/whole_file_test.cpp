// PNG and FLAC as version-2 carriers, file to file: a hide changes only
// usable values by one step, keeps everything else, and is read back; what
// cannot be taken is refused with nothing written.
#include "carrier/flac_elements.h"
#include "carrier/png_elements.h"
#include "stealth/standard_costs.h"
#include "stealth/stealth2.h"

#include "codec_tools.h"
#include "fakes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <filesystem>

using namespace kalmira;
using namespace kalmira::carrier;
using namespace kalmira::test;

namespace {

const std::string kPassword = "Gr\xFCn-Tee!";

stealth::Tuning2 Fast() {
    stealth::Tuning2 t;
    t.kdfOps = 1;
    t.kdfMemBytes = 8192;
    t.threads = 1;
    return t;
}

// Hides as much as the carrier takes, up to `most` bytes of data.
Bytes HideInto(WholeFileElements &c, std::uint64_t most = 200) {
    const stealth::CostModel costs = stealth::StandardCosts(c.shape());
    const stealth::Capacity2Result cap = stealth::Capacity2(c, costs, Fast());
    EXPECT_EQ(cap.outcome, stealth::CapacityResult::Outcome::Ok);
    const std::uint64_t room = cap.recommendedPayload > 5 ? cap.recommendedPayload - 5 : 0; // stored name "x.bin"
    const Bytes data = RandomBytes(static_cast<std::size_t>(std::min(room, most)), 3);
    EXPECT_GT(data.size(), 0u) << cap.largestPayload << " " << cap.dryElements;
    const stealth::Hide2Result r =
        stealth::Hide2(c, c, kPassword, stealth::Kind::File, "x.bin", {"", data}, costs, {}, Fast());
    EXPECT_EQ(r.outcome, stealth::HideResult::Outcome::Written) << static_cast<int>(c.problem().codec);
    return data;
}

Bytes ExtractFrom(ElementReader &c) {
    stealth::MemorySink sink(1 << 20);
    const stealth::Extract2Result r = stealth::Extract2(c, kPassword, sink, {}, {}, Fast());
    EXPECT_EQ(r.outcome, stealth::ExtractResult::Outcome::Extracted);
    return sink.data();
}

// Carriers made by the programs that write them in the wild, large enough
// for the format (window 0 needs 40,960 elements): ImageMagick pictures of
// every colour type, a GIMP-like export with its chunks, a picture with a
// colour key, a flat screenshot-like picture; FLAC encoded by flac (with tags,
// picture, cue sheet, seek table and padding) and by sox.
class Made {
public:
    static const Made &Get() {
        static const Made made;
        return made;
    }
    std::string path(const std::string &name) const { return dir_.file(name); }

private:
    Made() {
        const std::string base = path("base.png");
        Run("convert -size 256x180 -seed 7 plasma:fractal -blur 0x1 \\( -size 180x256 gradient:black-white -rotate 90 "
            "-level 10%,100% \\) -alpha off -compose copy_opacity -composite '" + base + "'");
        for (int ct : {0, 2, 4, 6})
            for (int depth : {8, 16})
                for (bool il : {false, true})
                    Run("convert '" + base + "' " + (ct == 0 || ct == 4 ? "-colorspace gray " : "") + "-depth " +
                        std::to_string(depth) + " -interlace " + (il ? "PNG" : "none") + " -define png:color-type=" +
                        std::to_string(ct) + " -define png:bit-depth=" + std::to_string(depth) + " '" +
                        path("ct" + std::to_string(ct) + "_" + std::to_string(depth) + (il ? "_i" : "") + ".png") + "'");
        Run("convert '" + base + "' -alpha off -depth 8 -set comment 'Created with GIMP' -density 72 "
            "-define png:include-chunk=bKGD,pHYs,tIME,tEXt,gAMA,cHRM,sRGB '" + path("gimp.png") + "'");
        Run("convert '" + base + "' -alpha off -depth 8 -fill '#808080' -draw 'rectangle 10,10 60,60' "
            "-transparent '#808080' -define png:color-type=2 '" + path("key.png") + "'");
        Run("convert -size 320x200 xc:'#ececec' -fill '#3070c0' -draw 'rectangle 0,0 320,24' -fill black "
            "-draw 'line 12,50 200,50' -draw 'rectangle 12,60 30,70' '" + base + "' -geometry 240x150+70+40 "
            "-composite -alpha off -depth 8 -define png:color-type=2 '" + path("screen.png") + "'");
        Run("convert -size 320x200 xc:'#ececec' -depth 8 -define png:color-type=2 '" + path("flat.png") + "'");
        MakeWav(path("cd.wav"), 2, 44100, 16, 88200, 0);
        WriteAll(path("cd.cue"), std::string("FILE \"cd.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                             "  TRACK 02 AUDIO\n    INDEX 01 00:01:00\n"));
        Run("flac -s -f --tag=TITLE=Kalmira --picture='" + path("ct2_8.png") + "' --cuesheet='" + path("cd.cue") +
            "' -o '" + path("cd.flac") + "' '" + path("cd.wav") + "'");
        MakeWav(path("m24.wav"), 1, 48000, 24, 48000, 0);
        Run("flac -s -f -8 -o '" + path("m24.flac") + "' '" + path("m24.wav") + "'");
        MakeWav(path("p24.wav"), 2, 48000, 24, 24000, 8); // 16-bit material in 24-bit samples
        Run("flac -s -f -o '" + path("p24.flac") + "' '" + path("p24.wav") + "'");
        MakeWav(path("s6.wav"), 6, 48000, 16, 9000, 0);
        Run("sox '" + path("s6.wav") + "' '" + path("sox6.flac") + "'");
    }

    static void Run(const std::string &command) { ASSERT_EQ(Shell(command), 0) << command; }

    // A sum of tones with a little noise; `zeros` low bits left 0.
    static void MakeWav(const std::string &file, int channels, int rate, int bits, int frames, int zeros) {
        Bytes d;
        std::mt19937 gen(11);
        const double top = std::ldexp(0.3, bits - 1);
        for (int f = 0; f < frames; ++f)
            for (int c = 0; c < channels; ++c) {
                auto v = static_cast<std::int32_t>(top * std::sin(f * (0.01 + 0.003 * c)) +
                                                   top / 8 * std::sin(f * 0.21) + static_cast<int>(gen() % 64) * 8);
                v &= ~((1 << zeros) - 1);
                for (int b = 0; b < bits / 8; ++b) d.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
            }
        Bytes w;
        auto put = [&](std::uint32_t x, int n) {
            for (int i = 0; i < n; ++i) w.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
        };
        auto tag = [&](const char *t) { w.insert(w.end(), t, t + 4); };
        const auto align = static_cast<std::uint32_t>(channels * bits / 8);
        tag("RIFF");
        put(36 + static_cast<std::uint32_t>(d.size()), 4);
        tag("WAVE");
        tag("fmt ");
        put(16, 4);
        put(1, 2);
        put(static_cast<std::uint32_t>(channels), 2);
        put(static_cast<std::uint32_t>(rate), 4);
        put(static_cast<std::uint32_t>(rate) * align, 4);
        put(align, 2);
        put(static_cast<std::uint32_t>(bits), 2);
        tag("data");
        put(static_cast<std::uint32_t>(d.size()), 4);
        w.insert(w.end(), d.begin(), d.end());
        WriteAll(file, w);
    }

    TempDir dir_;
};

std::string Copy(const TempDir &dir, const std::string &name) {
    const std::string path = dir.file(name);
    WriteAll(path, ReadAll(Made::Get().path(name)));
    ::chmod(path.c_str(), 0640);
    return path;
}

mode_t ModeOf(const std::string &path) {
    struct stat st{};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

class PngHide : public ::testing::TestWithParam<const char *> {};
class FlacHide : public ::testing::TestWithParam<const char *> {};

} // namespace

// Hide, check the file with pngcheck, compare pixel by pixel with the input:
// a changed pixel moved all its colour values by the same +-1 and was not
// transparent; alpha, chunks, trailer and interlacing are as they were.
TEST_P(PngHide, ChangesOnlyUsablePixelsByOneStep) {
    TempDir dir;
    const std::string path = Copy(dir, GetParam());
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
    EXPECT_EQ(after.bitDepth, before.bitDepth);
    EXPECT_EQ(after.interlaced, before.interlaced);
    EXPECT_EQ(after.trailer, before.trailer);
    ASSERT_EQ(after.chunks.size(), before.chunks.size());
    for (std::size_t i = 0; i < before.chunks.size(); ++i) {
        EXPECT_EQ(after.chunks[i].type, before.chunks[i].type);
        EXPECT_EQ(after.chunks[i].data, before.chunks[i].data);
        EXPECT_EQ(after.chunks[i].afterImageData, before.chunks[i].afterImageData);
    }
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
                         ::testing::Values("ct0_8.png", "ct0_16_i.png", "ct2_8_i.png", "ct2_16.png", "ct4_8.png",
                                           "ct4_16_i.png", "ct6_8.png", "ct6_16_i.png", "ct6_16.png", "gimp.png",
                                           "key.png", "screen.png"));

// Hide, `flac -t`, compare sample by sample: changes of one step (2^t for a
// recording whose low bits are all zero); metadata and tags kept.
TEST_P(FlacHide, ChangesSamplesByOneStepKeepsMetadata) {
    TempDir dir;
    const std::string path = Copy(dir, GetParam());
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
    EXPECT_EQ(after.sampleRate, before.sampleRate);
    EXPECT_EQ(after.channels, before.channels);
    EXPECT_EQ(after.bitsPerSample, before.bitsPerSample);
    EXPECT_EQ(after.leadingTag, before.leadingTag);
    EXPECT_EQ(after.trailingTag, before.trailingTag);
    ASSERT_EQ(after.blocks.size(), before.blocks.size());
    for (std::size_t i = 0; i < before.blocks.size(); ++i) {
        EXPECT_EQ(after.blocks[i].type, before.blocks[i].type);
        EXPECT_EQ(after.blocks[i].data, before.blocks[i].data);
    }
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

INSTANTIATE_TEST_SUITE_P(Files, FlacHide,
                         ::testing::Values("cd.flac", "m24.flac", "p24.flac", "sox6.flac"));
