#include "carrier/png_file.h"

#include "codec_tools.h"
#include "fakes.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>

using namespace kalmira::carrier;
using namespace kalmira::test;

namespace {

constexpr std::uint64_t kLimit = std::uint64_t{64} << 20;

// Samples widened to 16 bits, pixel by pixel, colour channels then alpha.
using Samples = std::vector<std::uint16_t>;

Samples Ours(const PngImage &im) {
    Samples s;
    for (std::uint64_t p = 0; p < im.pixelCount(); ++p)
        for (int c = 0; c < im.channels(); ++c)
            s.push_back(static_cast<std::uint16_t>(im.sample(p, c) * (im.bitDepth == 8 ? 257 : 1)));
    return s;
}

// The same as ImageMagick decodes the file: an independent decoder.
Samples Magick(const std::string &path, const PngImage &im) {
    Bytes rgba;
    EXPECT_EQ(Shell("convert '" + path + "' -depth 16 -endian MSB rgba:-", &rgba), 0);
    Samples s;
    for (std::size_t p = 0; p + 8 <= rgba.size(); p += 8) {
        for (int c = 0; c < im.colourChannels; ++c) s.push_back(Be16(rgba.data() + p + 2 * c));
        if (im.alpha) s.push_back(Be16(rgba.data() + p + 6));
    }
    return s;
}

std::string ChunkNames(const PngFacts &f, bool withImageData = true) {
    std::string names;
    for (const PngChunkFact &c : f.chunks)
        if (withImageData || std::string(c.type.data(), 4) != "IDAT") names += std::string(c.type.data(), 4) + " ";
    return names;
}

Bytes Chunk(const char *type, const Bytes &data) {
    Bytes c(12 + data.size());
    PutBe32(c.data(), static_cast<std::uint32_t>(data.size()));
    std::memcpy(c.data() + 4, type, 4);
    std::copy(data.begin(), data.end(), c.begin() + 8);
    PutBe32(c.data() + 8 + data.size(),
            static_cast<std::uint32_t>(crc32(0, c.data() + 4, static_cast<uInt>(data.size() + 4))));
    return c;
}

// Offset of the first chunk of `type`.
std::size_t Find(const Bytes &png, const char *type) {
    for (std::size_t at = 8; at + 8 <= png.size(); at += 12 + Be32(png.data() + at))
        if (std::memcmp(png.data() + at + 4, type, 4) == 0) return at;
    return 0;
}

Bytes InsertBefore(Bytes png, const char *before, const Bytes &chunk) {
    png.insert(png.begin() + static_cast<std::ptrdiff_t>(Find(png, before)), chunk.begin(), chunk.end());
    return png;
}

CodecProblem Read(const Bytes &png, std::uint64_t limit = kLimit) {
    PngImage image;
    return ReadPng(png, limit, image);
}

class PngRoundTrip : public ::testing::TestWithParam<const char *> {};

} // namespace

// Read, compare with ImageMagick, change about a tenth of the pixels, write,
// check the file with pngcheck, and compare again: only the changed pixels
// differ, by their change; header, chunks and trailer are as they were.
TEST_P(PngRoundTrip, ChangesOnlyTheGivenPixels) {
    const std::string in = CarrierData(GetParam());
    PngImage image;
    ASSERT_EQ(ReadPngFile(in, kLimit, image), CodecProblem::None);
    const Samples original = Ours(image);
    EXPECT_EQ(original, Magick(in, image));

    Bytes unchanged;
    MemorySink sink(unchanged);
    ASSERT_EQ(WritePng(image, sink), CodecProblem::None);
    EXPECT_LE(unchanged.size(), std::filesystem::file_size(in) * 103 / 100 + 16) << "costlier than the input";

    const auto changes = RandomChanges(image.pixelCount(), 0.1, 1,
                                       [&](std::uint64_t p, std::int32_t d) { return image.changeAllowed(p, d); });
    ASSERT_FALSE(changes.empty());
    ASSERT_EQ(ApplyChanges(image, changes), CodecProblem::None);
    TempDir dir;
    const std::string out = dir.file("out.png");
    ASSERT_EQ(WritePngFile(image, out), CodecProblem::None);
    EXPECT_EQ(Shell("pngcheck -q '" + out + "'"), 0);

    const Samples changed = Magick(out, image);
    ASSERT_EQ(changed.size(), original.size());
    const int ch = image.channels(), scale = image.bitDepth == 8 ? 257 : 1;
    std::size_t next = 0;
    for (std::uint64_t p = 0; p < image.pixelCount(); ++p) {
        const bool isChanged = next < changes.size() && changes[next].element == p;
        for (int c = 0; c < ch; ++c) {
            const int delta = isChanged && c < image.colourChannels ? changes[next].delta * scale : 0;
            ASSERT_EQ(changed[p * ch + c], original[p * ch + c] + delta) << "pixel " << p << " channel " << c;
        }
        next += isChanged;
    }

    PngImage back;
    ASSERT_EQ(ReadPngFile(out, kLimit, back), CodecProblem::None);
    EXPECT_EQ(back.interlaced, image.interlaced);
    ASSERT_EQ(back.chunks.size(), image.chunks.size());
    for (std::size_t i = 0; i < back.chunks.size(); ++i) {
        EXPECT_EQ(back.chunks[i].type, image.chunks[i].type);
        EXPECT_EQ(back.chunks[i].data, image.chunks[i].data);
        EXPECT_EQ(back.chunks[i].afterImageData, image.chunks[i].afterImageData);
    }
    PngFacts before, after;
    ASSERT_EQ(ReadPngFacts(ReadAll(in), before), CodecProblem::None);
    ASSERT_EQ(ReadPngFacts(ReadAll(out), after), CodecProblem::None);
    std::string expected = ChunkNames(before, false);
    for (const ChunkType &t : image.dropped) expected.erase(expected.find(std::string(t.data(), 4) + " "), 5);
    EXPECT_EQ(ChunkNames(after, false), expected);
    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(after.height, before.height);
    EXPECT_EQ(after.bitDepth, before.bitDepth);
    EXPECT_EQ(after.colourType, before.colourType);
}

INSTANTIATE_TEST_SUITE_P(Files, PngRoundTrip,
                         ::testing::Values("im_ct0_8.png", "im_ct0_8_i.png", "im_ct0_16.png", "im_ct0_16_i.png",
                                           "im_ct2_8.png", "im_ct2_8_i.png", "im_ct2_16.png", "im_ct2_16_i.png",
                                           "im_ct4_8.png", "im_ct4_8_i.png", "im_ct4_16.png", "im_ct4_16_i.png",
                                           "im_ct6_8.png", "im_ct6_8_i.png", "im_ct6_16.png", "im_ct6_16_i.png",
                                           "im_tiny_i.png", "im_column_i.png", "pil_chunks.png", "pil_grey_srgb.png",
                                           "pil_photo.png", "screenshot.png"));

TEST(PngFile, FactsOfAnyPictureAndWhatIsKept) {
    PngFacts f;
    ASSERT_EQ(ReadPngFacts(ReadAll(CarrierData("pil_chunks.png")), f), CodecProblem::None);
    EXPECT_EQ(ChunkNames(f), "IHDR iCCP gAMA cHRM sBIT tIME tEXt zTXt iTXt prVt PLTE tRNS pHYs eXIf unSF IDAT prVt "
                             "tEXt IEND ");
    EXPECT_EQ(f.colourType, 2);
    ASSERT_EQ(ReadPngFacts(ReadAll(CarrierData("im_palette.png")), f), CodecProblem::None);
    EXPECT_EQ(f.colourType, 3);
    ASSERT_EQ(ReadPngFacts(ReadAll(CarrierData("im_ct6_16_i.png")), f), CodecProblem::None);
    EXPECT_TRUE(f.interlaced);
    EXPECT_EQ(f.bitDepth, 16);
    EXPECT_EQ(f.width, 40u);
    EXPECT_EQ(f.height, 28u);

    // The unknown unsafe-to-copy chunk is left out; bytes after IEND stay.
    Bytes file = ReadAll(CarrierData("pil_chunks.png"));
    file.insert(file.end(), {'z', 'i', 'p'});
    PngImage image;
    ASSERT_EQ(ReadPng(file, kLimit, image), CodecProblem::None);
    ASSERT_EQ(image.dropped.size(), 1u);
    EXPECT_EQ(std::string(image.dropped[0].data(), 4), "unSF");
    Bytes out;
    MemorySink sink(out);
    ASSERT_EQ(WritePng(image, sink), CodecProblem::None);
    EXPECT_EQ(std::string(out.end() - 11, out.end()), std::string("IEND\xAE\x42\x60\x82zip"));
}

TEST(PngFile, RefusesWhatItCannotCarry) {
    const Bytes good = ReadAll(CarrierData("im_ct2_8.png"));
    EXPECT_EQ(Read({}), CodecProblem::NotThisFormat);
    EXPECT_EQ(Read(ReadAll(CarrierData("screenshot.png")), 1000), CodecProblem::TooLarge);
    EXPECT_EQ(Read(ReadAll(CarrierData("im_palette.png"))), CodecProblem::PalettePicture);
    EXPECT_EQ(Read(ReadAll(CarrierData("im_grey4.png"))), CodecProblem::LowBitDepth);
    EXPECT_EQ(Read(InsertBefore(good, "IDAT", Chunk("acTL", Bytes(8)))), CodecProblem::Animated);
    EXPECT_EQ(Read(InsertBefore(good, "IDAT", Chunk("CgBI", Bytes(4)))), CodecProblem::Unsupported);

    for (std::size_t cut : {std::size_t{4}, std::size_t{20}, good.size() / 2, good.size() - 1})
        EXPECT_EQ(Read(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut))),
                  cut < 8 ? CodecProblem::NotThisFormat : CodecProblem::Truncated)
            << cut;

    Bytes damaged = good;
    damaged[Find(good, "IDAT") + 100] ^= 0x10;
    EXPECT_EQ(Read(damaged), CodecProblem::ChecksumMismatch);
    damaged = good;
    damaged[Find(good, "tEXt") + 9] ^= 0x01;
    EXPECT_EQ(Read(damaged), CodecProblem::ChecksumMismatch);

    // Compressed data damaged under a correct CRC.
    const std::size_t idat = Find(good, "IDAT");
    const Bytes data(good.begin() + idat + 8, good.begin() + idat + 8 + Be32(good.data() + idat));
    Bytes bad = data;
    for (std::size_t i = 2; i < bad.size(); i += 7) bad[i] = static_cast<std::uint8_t>(~bad[i]);
    damaged = good;
    const Bytes replaced = Chunk("IDAT", bad);
    std::copy(replaced.begin(), replaced.end(), damaged.begin() + idat);
    EXPECT_EQ(Read(damaged), CodecProblem::Malformed);

    // Header fields, and the order of the critical chunks.
    auto withHeader = [&](std::uint32_t w, std::uint32_t h, std::uint8_t depth, std::uint8_t type) {
        Bytes header(13);
        PutBe32(header.data(), w);
        PutBe32(header.data() + 4, h);
        header[8] = depth;
        header[9] = type;
        Bytes png(good.begin(), good.begin() + 8);
        const Bytes c = Chunk("IHDR", header);
        png.insert(png.end(), c.begin(), c.end());
        png.insert(png.end(), good.begin() + 33, good.end());
        return png;
    };
    EXPECT_EQ(Read(withHeader(40, 28, 7, 2)), CodecProblem::Malformed);
    EXPECT_EQ(Read(withHeader(0, 28, 8, 2)), CodecProblem::Malformed);
    // Refused before anything is allocated: 2^31-1 squared pixels of 8 bytes.
    EXPECT_EQ(Read(withHeader(0x7FFFFFFF, 0x7FFFFFFF, 16, 6), std::uint64_t{1} << 40), CodecProblem::TooLarge);
    EXPECT_EQ(Read(InsertBefore(good, "IHDR", Chunk("tEXt", {'a', 0, 'b'}))), CodecProblem::Malformed);
    EXPECT_EQ(Read(InsertBefore(good, "IEND", Chunk("IDAT", data))), CodecProblem::Malformed);

    PngImage image;
    EXPECT_EQ(ReadPngFile(CarrierData("absent.png"), kLimit, image), CodecProblem::ReadFailed);
    EXPECT_EQ(ReadPngFile(CarrierData("im_ct2_8.png"), 100, image), CodecProblem::TooLarge);
}

TEST(PngFile, ChangesThatThePictureCannotTake) {
    PngImage image;
    ASSERT_EQ(ReadPngFile(CarrierData("im_ct6_8.png"), kLimit, image), CodecProblem::None);
    const Bytes before = image.pixels;
    const std::uint64_t clear = image.width - 1; // the right edge has alpha 0
    ASSERT_TRUE(image.transparent(clear));
    EXPECT_FALSE(image.changeAllowed(clear, 1));
    EXPECT_FALSE(image.changeAllowed(image.pixelCount(), 1));
    const std::uint64_t p = 20;
    ASSERT_TRUE(image.changeAllowed(p, 1) && image.changeAllowed(p + 1, -1));
    const ElementChange unsorted[] = {{p + 1, -1}, {p, 1}};
    EXPECT_EQ(ApplyChanges(image, unsorted), CodecProblem::InvalidChange);
    const ElementChange repeated[] = {{p, 1}, {p, 1}};
    EXPECT_EQ(ApplyChanges(image, repeated), CodecProblem::InvalidChange);
    const ElementChange onTransparent[] = {{p, 1}, {clear, 1}};
    EXPECT_EQ(ApplyChanges(image, onTransparent), CodecProblem::InvalidChange);
    EXPECT_EQ(image.pixels, before);
    image.pixels[p * 4] = 255;
    EXPECT_FALSE(image.changeAllowed(p, 1));
    EXPECT_TRUE(image.changeAllowed(p, -1));
    std::vector<std::int32_t> row(image.width * 3);
    image.colourRow(0, row.data());
    EXPECT_EQ(row[3 * p], 255);
    EXPECT_EQ(row[3 * p + 2], image.sample(p, 2));

    // A colour key: its pixels are transparent and no pixel may take its colour.
    ASSERT_EQ(ReadPngFile(CarrierData("pil_chunks.png"), kLimit, image), CodecProblem::None);
    ASSERT_TRUE(image.hasColourKey);
    for (int c = 0; c < 3; ++c) image.pixels[c] = static_cast<std::uint8_t>(image.colourKey[c]);
    for (int c = 0; c < 3; ++c) image.pixels[3 + c] = static_cast<std::uint8_t>(image.colourKey[c] + 1);
    EXPECT_TRUE(image.transparent(0));
    EXPECT_FALSE(image.changeAllowed(0, 1));
    EXPECT_FALSE(image.changeAllowed(1, -1));
}

TEST(PngFile, WriteFailureIsReported) {
    PngImage image;
    ASSERT_EQ(ReadPngFile(CarrierData("im_ct2_16_i.png"), kLimit, image), CodecProblem::None);
    for (std::size_t limit : {std::size_t{0}, std::size_t{100}, std::size_t{3000}}) {
        FailingSink sink(limit);
        EXPECT_EQ(WritePng(image, sink), CodecProblem::WriteFailed) << limit;
    }
}
