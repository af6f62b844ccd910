#include "carrier/payload.h"
#include "carrier/png_file.h"
#include "convert/convert_texts.h"
#include "convert/image_memory.h"
#include "convert/modConvert.h"

#include "fakes.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cerrno>

#include <filesystem>

using namespace kalmira;
using namespace kalmira::convert;
using kalmira::test::ReadAll;
using kalmira::test::TempDir;
using kalmira::test::WriteAll;

namespace {
std::uint32_t Le(const std::vector<std::uint8_t> &v, std::size_t at, int n = 4) {
    std::uint32_t x = 0;
    for (int i = n - 1; i >= 0; --i) x = x << 8 | v[at + i];
    return x;
}

std::string SavePng(const TempDir &dir, const std::string &name, int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(QColor(10, 200, 30));
    EXPECT_TRUE(img.save(QString::fromStdString(dir.file(name)), "PNG"));
    return dir.file(name);
}

std::uint32_t Rgb(const QImage &img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }
} // namespace

TEST(ElimPadbytes, RedrawsThePictureAtTheOptimisedSize) {
    TempDir dir;
    const std::array<int, 4> sizes[] = {{101, 80, 100, 79}, {103, 80, 104, 81}, {100, 80, 100, 80}, {7, 1, 8, 5}};
    for (auto [w, h, ew, eh] : sizes) {
        EXPECT_EQ(OptimisedSize(w, h), (PixelSize{ew, eh})) << w << "x" << h;
        const std::string path = SavePng(dir, "p.png", w, h);
        auto pic = LoadPicture(path);
        ASSERT_TRUE(pic && elim_padbytes(*pic, path));
        EXPECT_EQ((PixelSize{pic->width, pic->height}), (PixelSize{ew, eh}));
        ASSERT_EQ(pic->pixels.size(), static_cast<std::size_t>(ew * eh));
        for (auto c : pic->pixels) ASSERT_EQ(c, 0x0AC81Eu); // uniform through the smooth stretch
    }
    Picture keep{5, 5, std::vector<std::uint32_t>(25, 1)};
    EXPECT_FALSE(elim_padbytes(keep, dir.file("fehlt.png")));
    EXPECT_EQ(keep.width, 5); // left as it was
}

TEST(SaveBitmap, TwentyFourBitHeaderAndPaddedRows) {
    TempDir dir;
    Picture pic{101, 3, {}};
    for (int i = 0; i < 303; ++i) pic.pixels.push_back(static_cast<std::uint32_t>(i * 0x010307) & 0xFFFFFF);
    const std::int32_t r = save_bitmap(pic, 24, dir.file("out.bmp"));
    const auto v = ReadAll(dir.file("out.bmp"));
    ASSERT_EQ(r, static_cast<std::int32_t>(v.size()));
    EXPECT_EQ(Le(v, 0, 2), 0x4D42u);
    // size, offset, width, height, planes + bits, image size
    EXPECT_EQ(std::tuple(Le(v, 2), Le(v, 10), Le(v, 18), Le(v, 22), Le(v, 26), Le(v, 34)),
              std::tuple(54u + 304 * 3, 54u, 101u, 3u, 1u | 24 << 16, 304u * 3));
    for (int y = 0; y < 3; ++y) { // bottom-up BGR rows, one zero pad byte each
        const std::size_t row = 54 + 304 * static_cast<std::size_t>(2 - y);
        for (int x = 0; x < 101; x += 25) ASSERT_EQ(Le(v, row + 3 * x, 3), pic.at(x, y)) << x << "," << y;
        EXPECT_EQ(v[row + 303], 0);
    }
}

TEST(SaveBitmap, PaletteDepthsWriteTheirTable) {
    TempDir dir;
    const Picture pic{3, 2, {0xFF0000, 0x000000, 0xFFFFFF, 0x0000FF, 0xFE0101, 0x000000}};
    // 16-entry palette given as 0x00BBGGRR: red, black, white, blue, the rest grey.
    std::vector<std::uint32_t> palette(16, 0x808080);
    palette[0] = 0x0000FF, palette[1] = 0x000000, palette[2] = 0xFFFFFF, palette[3] = 0xFF0000;
    const std::string path = dir.file("p.bmp");
    ASSERT_GT(save_bitmap(pic, 4, path, &palette), 0);
    QImage back(QString::fromStdString(path));
    EXPECT_EQ(Rgb(back, 0, 0), 0xFF0000u); // indices refer to the written table
    EXPECT_EQ(Rgb(back, 1, 1), 0xFF0000u); // nearest table colour

    for (int depth : {1, 8, 16, 32}) {
        ASSERT_GT(save_bitmap(pic, depth, path), 0) << depth;
        QImage img(QString::fromStdString(path));
        ASSERT_FALSE(img.isNull()) << depth;
        EXPECT_EQ(Rgb(img, 1, 0), 0u) << depth;
        if (depth <= 8)
            EXPECT_EQ(Rgb(img, 2, 0), 0xFFFFFFu) << depth;
        else
            EXPECT_EQ(Rgb(img, 0, 1), depth == 16 ? 0xF8u : 0xFFu) << depth; // 5 bits in 16
    }
}

TEST(ImageMemory, LimitFollowsTheMachinesMemory) {
    constexpr std::uint64_t GB = 1ull << 30;
    const std::pair<std::uint64_t, int> cases[] = {{0, 256}, {4 * GB, 1024}, {64 * GB, 4096}};
    for (auto [memory, mb] : cases) EXPECT_EQ(ImageMemoryLimitMb(memory), mb) << memory;
}

TEST(SaveBitmap, RefusesAndReportsFailures) {
    TempDir dir;
    const Picture pic{4, 4, std::vector<std::uint32_t>(16, 7)};
    for (int depth : {2, 12}) {
        const std::int32_t r = save_bitmap(pic, depth, dir.file("x.bmp"));
        EXPECT_EQ(r, -1);
        EXPECT_EQ(SaveFailureText(r, 0), "Fehler!\r\nDieses Bildformat wird nicht unterstützt!");
    }
    EXPECT_EQ(save_bitmap(Picture{}, 24, dir.file("x.bmp")), -2);
    EXPECT_EQ(save_bitmap(Picture{4, 4, {1, 2}}, 24, dir.file("x.bmp")), -3);
    EXPECT_EQ(SavePng(Picture{4, 4, {1, 2}}, dir.file("x.png")), -3);
    EXPECT_FALSE(SaveFailureText(-3, 0));
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.bmp")));

    int error = 0;
    const std::int32_t r = save_bitmap(pic, 24, dir.file("kein/ordner.bmp"), nullptr, &error);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(SaveFailureText(r, error), "Fehler!\r\nDer Ordner wurde nicht gefunden.");
    EXPECT_EQ(SavePng(pic, dir.file("kein/ordner.png"), &error), 0);
    EXPECT_EQ(error, ENOENT);
    EXPECT_FALSE(std::filesystem::exists(dir.file("kein")));
    // The common reasons read in German whatever the system's language is.
    EXPECT_EQ(ErrorText(ENOSPC), "Auf dem Datenträger ist nicht genügend Speicherplatz frei.");
    EXPECT_EQ(ErrorText(EBUSY).rfind("Systemfehler 16: ", 0), 0u);
}

// Fixtures: palette4.rle, 5 x 2 RLE4 with the palette below (bottom row a run
// of 1 2 1 2 1, top row absolute 4..8); two_pixels.gif, 0x123456 and 0xFEDCBA.
TEST(Decoding, RleBitmapUnderItsOwnExtension) {
    const std::uint32_t pal[] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00,
                                 0x00FFFF, 0xFF00FF, 0x808080, 0xFFFFFF};
    auto pic = LoadPicture(KALMIRA_TEST_DATA "/convert/palette4.rle");
    ASSERT_TRUE(pic && pic->width == 5 && pic->height == 2);
    const int want[2][5] = {{4, 5, 6, 7, 8}, {1, 2, 1, 2, 1}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(pic->at(x, y), pal[want[y][x]]) << x << "," << y;
}

TEST(Decoding, GifJpegMetafileAndUnreadableFiles) {
    TempDir dir;
    auto gif = LoadPicture(KALMIRA_TEST_DATA "/convert/two_pixels.gif");
    EXPECT_TRUE(gif && gif->pixels == (std::vector<std::uint32_t>{0x123456, 0xFEDCBA}));

    QImage img(40, 20, QImage::Format_RGB32);
    img.fill(QColor(200, 40, 90));
    ASSERT_TRUE(img.save(QString::fromStdString(dir.file("f.jpg")), "JPG", 100));
    std::filesystem::rename(dir.file("f.jpg"), dir.file("jpeg.gif"));
    auto jpg = LoadPicture(dir.file("jpeg.gif")); // named like a GIF, decoded by content
    ASSERT_TRUE(jpg && jpg->width == 40);
    for (int shift : {16, 8, 0})
        EXPECT_NEAR(int(jpg->at(20, 10) >> shift & 0xFF), (200 << 16 | 40 << 8 | 90) >> shift & 0xFF, 6);

    // Placeable metafile, 100 x 50 at 96 units per inch: white, with
    // [20, 60) x [10, 40) filled in 0xCC2211 without outline.
    const std::string rectangle = KALMIRA_TEST_DATA "/convert/rectangle.wmf";
    auto wmf = ReadAll(rectangle);
    auto pic = LoadPicture(rectangle);
    ASSERT_TRUE(pic && pic->width == 100 && pic->height == 50);
    const std::array<int, 3> points[] = {
        {40, 25, 0xCC2211}, {21, 11, 0xCC2211}, {80, 25, 0xFFFFFF}, {40, 45, 0xFFFFFF}};
    for (auto [x, y, want] : points) EXPECT_EQ(pic->at(x, y), static_cast<std::uint32_t>(want)) << x << "," << y;
    auto big = LoadPictureStretched(rectangle, 200, 100); // drawn again at the new size
    ASSERT_TRUE(big && big->width == 200 && big->at(80, 50) == 0xCC2211u);

    wmf.resize(30);
    WriteAll(dir.file("kaputt.wmf"), wmf);
    WriteAll(dir.file("text.bmp"), std::string("kein Bild, nur Text"));
    WriteAll(dir.file("leer.jpg"), std::string());
    for (const char *name : {"kaputt.wmf", "text.bmp", "leer.jpg", "fehlt.bmp"})
        EXPECT_FALSE(LoadPicture(dir.file(name))) << name;
}

TEST(ConvertImage, OptimisedAndPlainResultsServeAsCarriers) {
    TempDir dir;
    const std::string src = SavePng(dir, "q.png", 101, 80);
    ConvertResult r = ConvertImage({src, dir.file("opt.bmp")});
    ASSERT_EQ(r.status, ConvertStatus::Ok);
    EXPECT_EQ(r.written, (PixelSize{100, 79}));
    // Headers end before the payload starts, so the hide engine takes it.
    EXPECT_LT(Le(ReadAll(dir.file("opt.bmp")), 10), static_cast<std::uint32_t>(payload::kLeadOffset));
    r = ConvertImage({src, dir.file("plain.bmp"), OutputType::Bmp, false});
    ASSERT_EQ(r.status, ConvertStatus::Ok);
    EXPECT_EQ(r.written, (PixelSize{101, 80}));

    WriteAll(dir.file("x.jpg"), std::string("nichts"));
    EXPECT_EQ(ConvertImage({dir.file("x.jpg"), dir.file("x.bmp")}).status, ConvertStatus::CannotDecode);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.bmp")));
    r = ConvertImage({src, dir.file("kein/x.bmp"), OutputType::Bmp, false});
    EXPECT_EQ(r.status, ConvertStatus::SaveFailed);
    EXPECT_EQ(r.error, ENOENT);
}

// A JPEG's 8 x 8 blocks: reduced by 2 with area averaging, every output
// pixel mixes four source pixels, so block edges fall inside output pixels.
TEST(ConvertImage, ReductionAveragesBlocksAndThenOptimises) {
    EXPECT_EQ(ReducedSize(101, 80, 2), (PixelSize{51, 40}));
    EXPECT_EQ(ReducedSize(3, 1, 4), (PixelSize{1, 1}));
    EXPECT_EQ(ReducedSize(101, 80, 1), (PixelSize{101, 80}));

    Picture p{4, 2, {0x000000, 0x0000FF, 0xFF0000, 0xFF0000, 0x0000FF, 0x000000, 0xFF0000, 0xFF0000}};
    Reduce(p, 2);
    ASSERT_EQ((PixelSize{p.width, p.height}), (PixelSize{2, 1}));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{0x000080, 0xFF0000}));

    TempDir dir;
    const std::string src = SavePng(dir, "r.png", 203, 160);
    const ConvertResult r = ConvertImage({src, dir.file("r.bmp"), OutputType::Bmp, true, 2});
    ASSERT_EQ(r.status, ConvertStatus::Ok);
    EXPECT_EQ(r.written, OptimisedSize(102, 80)); // 203 / 2 rounded, then the pad-free width
}

TEST(ConvertImage, PngOutputIsEightBitRgb) {
    TempDir dir;
    EXPECT_EQ(OutputTypeOf("a/Traeger.PNG"), OutputType::Png);
    EXPECT_EQ(OutputTypeOf("traeger.png.bmp"), OutputType::Bmp);
    EXPECT_EQ(OutputTypeOf("png"), OutputType::Bmp);
    const std::string src = SavePng(dir, "s.png", 33, 17);
    const ConvertResult r = ConvertImage({src, dir.file("t.png"), OutputType::Png, false});
    ASSERT_EQ(r.status, ConvertStatus::Ok);
    carrier::PngImage png;
    ASSERT_EQ(carrier::ReadPngFile(dir.file("t.png"), 1 << 20, png), carrier::CodecProblem::None);
    EXPECT_EQ(std::tuple(png.width, png.height, png.colourChannels, png.alpha, png.bitDepth),
              std::tuple(33u, 17u, 3, false, 8));
    EXPECT_EQ(png.sample(0, 0) << 16 | png.sample(0, 1) << 8 | png.sample(0, 2), 0x0AC81E);
}

// Regression inputs of the picture decoders found by fuzzing (tests/data/convert).
TEST(DecodeHostile, MetafileAskingForAHugeRecordBufferIsRefused) {
    // Placeable metafile whose header claims a largest record of 0x44000008
    // words: libwmf would allocate 2.2 GB before reading a single record.
    const std::string path = KALMIRA_TEST_DATA "/convert/huge_max_record.wmf";
    EXPECT_FALSE(LoadPicture(path));
    EXPECT_FALSE(LoadPictureStretched(path, 40, 40));
    TempDir dir;
    EXPECT_EQ(ConvertImage({path, dir.file("out.bmp")}).status, ConvertStatus::CannotDecode);
}

TEST(DecodeHostile, MetafileThatDrawsForeverIsStoppedAtTheTimeLimit) {
    // Small metafiles that keep libwmf's drawing busy for tens of seconds.
    SetMetafileTimeLimit(1);
    for (const char *name : {"slow_draw.wmf", "slow_draw2.wmf"})
        EXPECT_FALSE(LoadPicture(std::string(KALMIRA_TEST_DATA "/convert/") + name)) << name;
    SetMetafileTimeLimit(10);
}
