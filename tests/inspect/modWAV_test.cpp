#include "inspect/modWAV.h"

#include "fakes.h"

#include <gtest/gtest.h>

using namespace kalmira::inspect;
using kalmira::test::MakeWav;
using kalmira::test::TempDir;
using kalmira::test::WriteAll;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct WavFile {
    TempDir dir;
    std::string path = dir.file("t.wav");
    explicit WavFile(const Bytes &b) { WriteAll(path, b); }
};

} // namespace

TEST(WavTexts, UnknownTagsChannelsAndFileNames) {
    EXPECT_EQ(FormatTagName(static_cast<std::int16_t>(0xFFFE)), "Unbekannt (FFFEh)");
    EXPECT_EQ(FormatTagName(3), "Unbekannt (3h)");
    EXPECT_EQ(ChannelText(6), "6-Kanal-Sound");
    EXPECT_EQ(BitsPerSampleText(0), "Unbekannt");
    EXPECT_EQ(Nurdatei("C:\\daten\\klang.wav") + Nurdatei("/tmp/a b/k.wav"), "klang.wavk.wav");
}

TEST(WavPlayback, OnlyPcmOfEightOrSixteenBitsPlays) {
    auto status = [](const Bytes &wav) { return CheckPlayback(WavFile(wav).path).status; };
    EXPECT_EQ(status(MakeWav(1000, 1, 8000, 8)), WavPlayback::Playable);
    EXPECT_DOUBLE_EQ(CheckPlayback(WavFile(MakeWav(88200)).path).seconds, 0.5);
    EXPECT_EQ(status(MakeWav(600, 2, 44100, 24)), WavPlayback::UnsupportedFormat);
    Bytes extensible = MakeWav(400);
    extensible[20] = 0xFE, extensible[21] = 0xFF;
    Bytes alaw = MakeWav(400, 1, 8000, 8);
    alaw[20] = 6;
    for (const Bytes &wav : {extensible, alaw}) EXPECT_EQ(status(wav), WavPlayback::UnsupportedFormat);
    EXPECT_EQ(status(MakeWav(0)), WavPlayback::NoSound);
    EXPECT_EQ(CheckPlayback("/nonexistent.wav").status, WavPlayback::NotWav);
}

TEST(ExternalPlayer, OnlyForBigFilesWhenThePlayerExists) {
    TempDir windir, media;
    const std::string small = media.file("small.wav"), big = media.file("big.wav");
    WriteAll(small, Bytes(2000000));
    WriteAll(big, Bytes(2000001));
    EXPECT_EQ(ExternalPlayerFor(windir.path(), big), "");
    WriteAll(windir.file("mplayer.exe"), "MZ");
    EXPECT_EQ(ExternalPlayerFor(windir.path(), small), "");
    EXPECT_EQ(ExternalPlayerFor(windir.path(), big), windir.file("mplayer.exe"));
}
