#include "inspect/modWAV.h"

#include "fakes.h"

#include <gtest/gtest.h>

using namespace kalmira::inspect;
using kalmira::test::MakeWav;
using kalmira::test::TempDir;
using kalmira::test::WriteAll;

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes &v, std::size_t at, std::uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = static_cast<std::uint8_t>(x >> (8 * i));
}

// Inserts a chunk right after the canonical "fmt " chunk (offset 36).
Bytes WithChunkAfterFmt(Bytes wav, const std::string &id, const Bytes &body) {
    Bytes chunk(id.begin(), id.end());
    chunk.resize(8);
    Put32(chunk, 4, static_cast<std::uint32_t>(body.size()));
    chunk.insert(chunk.end(), body.begin(), body.end());
    wav.insert(wav.begin() + 36, chunk.begin(), chunk.end());
    return wav;
}

struct WavFile {
    TempDir dir;
    std::string path = dir.file("t.wav");
    explicit WavFile(const Bytes &b) { WriteAll(path, b); }
    WavChunks read(WavRead expect = WavRead::Ok) {
        WavChunks c;
        EXPECT_EQ(ReadWavChunks(path, c), expect);
        return c;
    }
};

} // namespace

TEST(WavChunks, ChunkWalkInFileOrder) {
    using Ids = std::vector<std::string>;
    const Bytes bare = WithChunkAfterFmt(MakeWav(8), "odd ", {1, 2, 3});
    Bytes padded = bare;
    padded.insert(padded.begin() + 36 + 8 + 3, 0);
    Bytes huge = MakeWav(16);
    Put32(huge, 40, 0x7FFFFFFF); // jumps past the end
    Bytes tail = MakeWav(4);
    tail.push_back('Z');
    const std::pair<Bytes, Ids> cases[] = {
        {WithChunkAfterFmt(MakeWav(100), "LIST", Bytes(26, 'x')), {"fmt ", "LIST", "data"}},
        // An odd size is followed by a pad byte; writers that leave it out are read too.
        {padded, {"fmt ", "odd ", "data"}},
        {bare, {"fmt ", "odd ", "data"}},
        {WithChunkAfterFmt(MakeWav(4), std::string("a\x01\x1f\x7f", 4), {}), {"fmt ", "a  \x7f", "data"}},
        {huge, {"fmt ", "data"}},
        {tail, {"fmt ", "data", "Z   "}}, // too short for a chunk header, still a line
    };
    for (const auto &[wav, ids] : cases) EXPECT_EQ(WavFile(wav).read().ids, ids);
    // Sizes that would stand still or run backwards end after their line.
    for (std::uint32_t size : {0xFFFFFFF8u, 0xFFFFFFFFu, 0x80000000u}) {
        Bytes wav = MakeWav(16);
        Put32(wav, 16, size);
        EXPECT_EQ(WavFile(wav).read().ids, Ids{"fmt "}) << size;
    }
    Bytes wav = MakeWav(10);
    wav[8] = 'X';
    WavFile(wav).read(WavRead::NotRiffWave);
    WavChunks c;
    EXPECT_EQ(ReadWavChunks("/nonexistent/x.wav", c), WavRead::CannotOpen);
}

TEST(WavChunks, TruncatedFileReadsZerosPastTheEnd) {
    Bytes wav = MakeWav(0);
    wav.resize(24); // cut inside the format record
    WavChunks c = WavFile(wav).read();
    EXPECT_EQ(c.ids, std::vector<std::string>{"fmt "});
    EXPECT_EQ(std::tuple(c.format.channels, c.format.sampleRate), std::tuple(2, 0));
}

TEST(WavTexts, UnknownTagsChannelsAndFileNames) {
    EXPECT_EQ(FormatTagName(static_cast<std::int16_t>(0xFFFE)), "Unbekannt (FFFEh)");
    EXPECT_EQ(FormatTagName(3), "Unbekannt (3h)");
    EXPECT_EQ(ChannelText(6), "6-Kanal-Sound");
    EXPECT_EQ(BitsPerSampleText(0), "Unbekannt");
    EXPECT_EQ(Nurdatei("C:\\daten\\klang.wav") + Nurdatei("/tmp/a b/k.wav"), "klang.wavk.wav");
}

TEST(WavSeconds, DataBytesOverBytesPerSecond) {
    EXPECT_DOUBLE_EQ(WavSeconds(WavFile(MakeWav(176400 / 2)).path), 0.5);
    // A data size beyond the file's end counts only the bytes present.
    Bytes cut = MakeWav(4000, 1, 8000, 8);
    Put32(cut, 40, 1000000);
    EXPECT_DOUBLE_EQ(WavSeconds(WavFile(cut).path), 0.5);
    // A padded odd chunk before "data" keeps the playing time known.
    Bytes padded = WithChunkAfterFmt(MakeWav(8000, 1, 8000, 8), "odd ", {7});
    padded.insert(padded.begin() + 36 + 8 + 1, 0);
    EXPECT_DOUBLE_EQ(WavSeconds(WavFile(padded).path), 1.0);
    Bytes noRate = MakeWav(100);
    Put32(noRate, 28, 0);
    EXPECT_EQ(WavSeconds(WavFile(noRate).path), -1);
    EXPECT_EQ(WavSeconds("/nonexistent.wav"), -1);
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
