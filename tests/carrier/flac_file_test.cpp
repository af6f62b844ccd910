#include "carrier/flac_file.h"

#include "codec_tools.h"
#include "fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

using namespace kalmira::carrier;
using namespace kalmira::test;

namespace {

constexpr std::uint64_t kLimit = std::uint64_t{64} << 20;
constexpr std::size_t kStreamInfo = 8; // data of the first block, after "fLaC" and its header

// The samples as the flac program decodes them: an independent decoder.
std::vector<std::int32_t> FlacDecoded(const std::string &path, unsigned bits) {
    Bytes raw;
    EXPECT_EQ(Shell("flac -d -c -s --force-raw-format --endian=little --sign=signed '" + path + "'", &raw), 0);
    const unsigned width = (bits + 7) / 8;
    std::vector<std::int32_t> samples;
    for (std::size_t i = 0; i + width <= raw.size(); i += width) {
        std::uint32_t v = 0;
        for (unsigned b = 0; b < width; ++b) v |= std::uint32_t{raw[i + b]} << (8 * b);
        const unsigned shift = 32 - 8 * width;
        samples.push_back(static_cast<std::int32_t>(v << shift) >> shift);
    }
    return samples;
}

std::vector<std::uint8_t> BlockTypes(const FlacFacts &f) {
    std::vector<std::uint8_t> types;
    for (const FlacBlockFact &b : f.blocks) types.push_back(b.type);
    return types;
}

CodecProblem Read(const Bytes &flac, std::uint64_t limit = kLimit) {
    FlacAudio audio;
    return ReadFlac(flac, limit, audio);
}

class FlacRoundTrip : public ::testing::TestWithParam<const char *> {};

} // namespace

// Read, compare with the flac program's decoding, change about a tenth of the
// samples (by one step of the effective resolution), write, test with
// `flac -t` (frame CRCs and MD5), decode again: only the changed samples
// differ; parameters and metadata blocks are as they were.
TEST_P(FlacRoundTrip, ChangesOnlyTheGivenSamples) {
    const std::string in = CarrierData(GetParam());
    FlacAudio audio;
    ASSERT_EQ(ReadFlacFile(in, kLimit, audio), CodecProblem::None);
    std::vector<std::int32_t> expected = FlacDecoded(in, audio.bitsPerSample);
    EXPECT_EQ(audio.samples, expected);

    Bytes unchanged;
    MemorySink sink(unchanged);
    ASSERT_EQ(WriteFlac(audio, sink), CodecProblem::None);
    EXPECT_LE(unchanged.size(), std::filesystem::file_size(in) * 102 / 100) << "costlier than the input";

    const auto changes = RandomChanges(audio.samples.size(), 0.1, std::int32_t{1} << audio.wastedBits,
                                       [&](std::uint64_t e, std::int32_t d) { return audio.changeAllowed(e, d); });
    ASSERT_FALSE(changes.empty());
    ASSERT_EQ(ApplyChanges(audio, changes), CodecProblem::None);
    for (const ElementChange &c : changes) expected[c.element] += c.delta;
    TempDir dir;
    const std::string out = dir.file("out.flac");
    ASSERT_EQ(WriteFlacFile(audio, out), CodecProblem::None);
    EXPECT_EQ(Shell("flac -t -s '" + out + "'"), 0);
    EXPECT_EQ(FlacDecoded(out, audio.bitsPerSample), expected);

    FlacFacts before, after;
    ASSERT_EQ(ReadFlacFacts(ReadAll(in), before), CodecProblem::None);
    ASSERT_EQ(ReadFlacFacts(ReadAll(out), after), CodecProblem::None);
    EXPECT_EQ(BlockTypes(after), BlockTypes(before));
    EXPECT_EQ(after.sampleRate, before.sampleRate);
    EXPECT_EQ(after.channels, before.channels);
    EXPECT_EQ(after.bitsPerSample, before.bitsPerSample);
    EXPECT_EQ(after.totalSamples, before.totalSamples);
    EXPECT_EQ(after.maxBlockSize, before.maxBlockSize);
    FlacAudio back;
    ASSERT_EQ(ReadFlacFile(out, kLimit, back), CodecProblem::None);
    ASSERT_EQ(back.blocks.size(), audio.blocks.size());
    for (std::size_t i = 0; i < back.blocks.size(); ++i) EXPECT_EQ(back.blocks[i].data, audio.blocks[i].data);
    EXPECT_EQ(back.encoding.seekPoints, audio.encoding.seekPoints);
    EXPECT_EQ(back.encoding.seekPlaceholders, audio.encoding.seekPlaceholders);
}

INSTANTIATE_TEST_SUITE_P(Files, FlacRoundTrip,
                         ::testing::Values("mono8.flac", "mono16.flac", "stereo16_sox.flac", "stereo24.flac",
                                           "padded24.flac", "multi16.flac", "meta.flac"));

TEST(FlacFile, FactsAndTagsAroundTheStream) {
    FlacFacts f;
    ASSERT_EQ(ReadFlacFacts(ReadAll(CarrierData("meta.flac")), f), CodecProblem::None);
    EXPECT_EQ(BlockTypes(f), (std::vector<std::uint8_t>{FlacStreamInfo, FlacSeekTable, FlacCueSheet, FlacVorbisComment,
                                                        FlacApplication, FlacPicture, FlacPadding}));
    EXPECT_EQ(f.sampleRate, 44100u);
    EXPECT_EQ(f.totalSamples, 12425u);
    EXPECT_NEAR(f.seconds, 12425.0 / 44100, 1e-9);
    EXPECT_EQ(f.maxBlockSize, 4096u);
    EXPECT_EQ(f.vorbisComments, 2u);
    EXPECT_GT(f.audioBytes, 0u);

    // A comment count beyond the block counts what is there.
    Bytes meta = ReadAll(CarrierData("meta.flac"));
    const std::size_t vendorAt = std::search(meta.begin(), meta.end(), "reference", "reference" + 9) - meta.begin();
    ASSERT_LT(vendorAt, meta.size());
    const std::size_t countAt = vendorAt + meta[vendorAt - 4];
    ASSERT_EQ(meta[countAt], 2);
    meta[countAt] = 9;
    ASSERT_EQ(ReadFlacFacts(meta, f), CodecProblem::None);
    EXPECT_EQ(f.vorbisComments, 2u);

    // An ID3v2 tag in front and an ID3v1 tag behind stay where they are, also
    // when STREAMINFO does not state the length.
    Bytes file = ReadAll(CarrierData("mono16.flac"));
    Bytes id3v2 = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 5, 'h', 'e', 'l', 'l', 'o'};
    Bytes id3v1(128, ' ');
    std::memcpy(id3v1.data(), "TAG", 3);
    file.insert(file.begin(), id3v2.begin(), id3v2.end());
    file.insert(file.end(), id3v1.begin(), id3v1.end());
    const std::size_t total = id3v2.size() + kStreamInfo + 13;
    file[total] &= 0xF0;
    std::memset(file.data() + total + 1, 0, 4);
    FlacFacts plain, tagged;
    ASSERT_EQ(ReadFlacFacts(ReadAll(CarrierData("mono16.flac")), plain), CodecProblem::None);
    ASSERT_EQ(ReadFlacFacts(file, tagged), CodecProblem::None);
    EXPECT_EQ(tagged.audioBytes, plain.audioBytes);
    EXPECT_EQ(tagged.vorbisComments, plain.vorbisComments);
    FlacAudio audio;
    ASSERT_EQ(ReadFlac(file, kLimit, audio), CodecProblem::None);
    EXPECT_EQ(audio.frames, 13230u);
    Bytes out;
    MemorySink sink(out);
    ASSERT_EQ(WriteFlac(audio, sink), CodecProblem::None);
    EXPECT_TRUE(std::equal(id3v2.begin(), id3v2.end(), out.begin()));
    EXPECT_TRUE(std::equal(id3v1.begin(), id3v1.end(), out.end() - 128));
    FlacAudio back;
    ASSERT_EQ(ReadFlac(out, kLimit, back), CodecProblem::None);
    EXPECT_EQ(back.samples, audio.samples);
}

TEST(FlacFile, RefusesDamagedAndUnsuitableFiles) {
    const Bytes good = ReadAll(CarrierData("stereo24.flac"));
    EXPECT_EQ(Read(ReadAll(CarrierData("im_ct2_8.png"))), CodecProblem::NotThisFormat);
    EXPECT_EQ(Read(Bytes(good.begin(), good.begin() + 30)), CodecProblem::Truncated);
    EXPECT_EQ(Read(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() * 2 / 3))),
              CodecProblem::Truncated);
    EXPECT_EQ(Read(good, 1000), CodecProblem::TooLarge);

    Bytes bad = good;
    bad[good.size() / 2] ^= 0x01;
    EXPECT_EQ(Read(bad), CodecProblem::ChecksumMismatch);
    bad = good;
    bad[kStreamInfo + 20] ^= 0x01; // MD5 of the samples
    EXPECT_EQ(Read(bad), CodecProblem::ChecksumMismatch);
    bad = good;
    bad.insert(bad.end(), {'x', 'y', 'z'});
    EXPECT_EQ(Read(bad), CodecProblem::Malformed);
    bad = good;
    bad[kStreamInfo + 12] |= 0x01; // 32 bits per sample
    bad[kStreamInfo + 13] |= 0xF0;
    EXPECT_EQ(Read(bad), CodecProblem::Unsupported);
    bad = good;
    bad[kStreamInfo + 2] = 0; // largest block below 16 samples
    bad[kStreamInfo + 3] = 8;
    EXPECT_EQ(Read(bad), CodecProblem::Malformed);
    // 2^36 - 1 samples stated: refused before anything is allocated.
    bad = good;
    bad[kStreamInfo + 13] |= 0x0F;
    std::memset(bad.data() + kStreamInfo + 14, 0xFF, 4);
    EXPECT_EQ(Read(bad, std::uint64_t{1} << 30), CodecProblem::TooLarge);

    FlacAudio audio;
    EXPECT_EQ(ReadFlacFile(CarrierData("absent.flac"), kLimit, audio), CodecProblem::ReadFailed);
}

TEST(FlacFile, ChangesAndWritesThatFail) {
    FlacAudio audio;
    ASSERT_EQ(ReadFlacFile(CarrierData("mono8.flac"), kLimit, audio), CodecProblem::None);
    const auto before = audio.samples;
    audio.samples[3] = audio.maxSample();
    EXPECT_FALSE(audio.changeAllowed(3, 1));
    EXPECT_TRUE(audio.changeAllowed(3, -1));
    EXPECT_FALSE(audio.changeAllowed(audio.samples.size(), 1));
    const ElementChange overflow[] = {{1, 1}, {3, 1}};
    const ElementChange unsorted[] = {{5, 1}, {4, 1}};
    EXPECT_EQ(ApplyChanges(audio, overflow), CodecProblem::InvalidChange);
    EXPECT_EQ(ApplyChanges(audio, unsorted), CodecProblem::InvalidChange);
    EXPECT_EQ(audio.samples[1], before[1]);
    for (std::size_t limit : {std::size_t{0}, std::size_t{200}, std::size_t{5000}}) {
        FailingSink sink(limit);
        EXPECT_EQ(WriteFlac(audio, sink), CodecProblem::WriteFailed) << limit;
    }
}
