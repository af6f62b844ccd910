#include "carrier/wav.h"

#include "fakes.h"

#include <gtest/gtest.h>

using namespace kalmira::carrier;
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
        // ... also when the shifted id would be printable ("ata@": a data size of 64).
        {WithChunkAfterFmt(MakeWav(64), "LIST", Bytes(3, 'x')), {"fmt ", "LIST", "data"}},
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
