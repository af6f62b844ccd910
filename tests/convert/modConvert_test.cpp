#include "convert/modConvert.h"
#include "hide/payload.h"

#include "fakes.h"
#include "test_images.h"

#include <QImage>
#include <gtest/gtest.h>

#include <filesystem>

using namespace kalmira;
using namespace kalmira::convert;
using kalmira::test::ReadAll;
using kalmira::test::TempDir;
using kalmira::test::WriteAll;

namespace {

std::uint32_t u32(const std::vector<std::uint8_t> &v, std::size_t at) {
    return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (static_cast<std::uint32_t>(v[at + 3]) << 24);
}
std::uint16_t u16(const std::vector<std::uint8_t> &v, std::size_t at) {
    return static_cast<std::uint16_t>(v[at] | (v[at + 1] << 8));
}

// Picture with a pattern that differs in every pixel.
Picture Pattern(int w, int h) {
    Picture p{w, h, {}};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.pixels.push_back(static_cast<std::uint32_t>((x * 7) << 16 | (y * 5) << 8 | ((x + y) & 0xFF)));
    return p;
}

std::string SavePng(const TempDir &dir, const std::string &name, int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(QColor(10, 200, 30));
    const std::string path = dir.file(name);
    EXPECT_TRUE(img.save(QString::fromStdString(path), "PNG"));
    return path;
}

} // namespace

TEST(OptimisedSize, WidthBecomesMultipleOfFourAndHeightFollows) {
    EXPECT_EQ(OptimisedSize(101, 80), (PixelSize{100, 79}));
    EXPECT_EQ(OptimisedSize(102, 80), (PixelSize{100, 78}));
    EXPECT_EQ(OptimisedSize(103, 80), (PixelSize{104, 81}));
    EXPECT_EQ(OptimisedSize(100, 80), (PixelSize{100, 80}));
    EXPECT_EQ(OptimisedSize(2, 2), (PixelSize{4, 4}));
    EXPECT_EQ(OptimisedSize(7, 1), (PixelSize{8, 5}));
}

TEST(ElimPadbytes, RedrawsThePictureAtTheOptimisedSize) {
    TempDir dir;
    for (auto [w, h, ew, eh] : {std::array{101, 80, 100, 79}, std::array{103, 80, 104, 81},
                                std::array{2, 2, 4, 4}}) {
        const std::string path = SavePng(dir, "p.png", w, h);
        auto pic = LoadPicture(path);
        ASSERT_TRUE(pic);
        ASSERT_TRUE(elim_padbytes(*pic, path));
        EXPECT_EQ(pic->width, ew);
        EXPECT_EQ(pic->height, eh);
        ASSERT_EQ(pic->pixels.size(), static_cast<std::size_t>(ew * eh));
        // A uniform picture stays uniform through the smooth stretch.
        for (auto c : pic->pixels) ASSERT_EQ(c, 0x0AC81Eu);
    }
    Picture keep = Pattern(5, 5);
    EXPECT_FALSE(elim_padbytes(keep, dir.file("fehlt.png")));
    EXPECT_EQ(keep.width, 5);
}

TEST(SaveBitmap, TwentyFourBitHeaderAndPaddedRows) {
    TempDir dir;
    const std::string path = dir.file("out.bmp");
    const Picture pic = Pattern(101, 3);
    const std::int32_t r = save_bitmap(pic, 24, path, nullptr, "");
    const auto v = ReadAll(path);
    ASSERT_EQ(r, static_cast<std::int32_t>(v.size()));
    EXPECT_EQ(u16(v, 0), 0x4D42);
    // file size, reserved, offset, header size, width, height
    const std::vector<std::uint32_t> head = {54 + 304 * 3, 0, 54, 40, 101, 3};
    for (std::size_t i = 0; i < head.size(); ++i) EXPECT_EQ(u32(v, 2 + 4 * i), head[i]) << i;
    EXPECT_EQ(u16(v, 26), 1);
    EXPECT_EQ(u16(v, 28), 24);
    // compression, image size, resolutions, colours used and important
    const std::vector<std::uint32_t> info = {0, 304 * 3, 0, 0, 0, 0};
    for (std::size_t i = 0; i < info.size(); ++i) EXPECT_EQ(u32(v, 30 + 4 * i), info[i]) << i;
    // Bottom-up BGR rows, one zero pad byte each.
    for (int y = 0; y < 3; ++y) {
        const std::size_t row = 54 + 304 * static_cast<std::size_t>(2 - y);
        for (int x = 0; x < 101; x += 25) {
            const std::uint32_t c = pic.at(x, y);
            ASSERT_EQ(v[row + 3 * x], c & 0xFF);
            ASSERT_EQ(v[row + 3 * x + 1], (c >> 8) & 0xFF);
            ASSERT_EQ(v[row + 3 * x + 2], (c >> 16) & 0xFF);
        }
        EXPECT_EQ(v[row + 303], 0);
    }
}

TEST(SaveBitmap, PaletteDepthsWriteTheirTable) {
    TempDir dir;
    Picture pic{3, 2, {0xFF0000, 0x000000, 0xFFFFFF, 0x0000FF, 0xFE0101, 0x000000}};
    // 16-entry palette given as 0x00BBGGRR: red, black, white, blue, the rest grey.
    std::vector<std::uint32_t> palette(16, 0x808080);
    palette[0] = 0x0000FF, palette[1] = 0x000000, palette[2] = 0xFFFFFF, palette[3] = 0xFF0000;
    const std::string path = dir.file("p4.bmp");
    ASSERT_GT(save_bitmap(pic, 4, path, nullptr, "", &palette), 0);
    auto v = ReadAll(path);
    EXPECT_EQ(u32(v, 10), 54u + 64);
    EXPECT_EQ(u32(v, 46), 16u);
    EXPECT_EQ(u32(v, 54), 0x00FF0000u); // red as blue, green, red, 0
    EXPECT_EQ(u32(v, 2), v.size());
    // Pixel indices refer to the written table: reading back gives the colours.
    QImage back(QString::fromStdString(path));
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.pixel(0, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(back.pixel(1, 1) & 0xFFFFFF, 0xFF0000u); // nearest table colour

    for (int depth : {1, 8}) {
        const std::string p = dir.file("d.bmp");
        ASSERT_GT(save_bitmap(pic, depth, p, nullptr, ""), 0) << depth;
        v = ReadAll(p);
        EXPECT_EQ(u32(v, 46), depth == 1 ? 2u : 256u);
        QImage img(QString::fromStdString(p));
        ASSERT_FALSE(img.isNull());
        EXPECT_EQ(img.pixel(2, 0) & 0xFFFFFF, 0xFFFFFFu) << depth;
        EXPECT_EQ(img.pixel(1, 0) & 0xFFFFFF, 0u) << depth;
    }
    for (int depth : {16, 32}) {
        const std::string p = dir.file("t.bmp");
        ASSERT_EQ(save_bitmap(pic, depth, p, nullptr, ""), static_cast<std::int32_t>(54 + DibRowSize(3, depth) * 2));
        QImage img(QString::fromStdString(p));
        ASSERT_FALSE(img.isNull());
        EXPECT_EQ(img.pixel(0, 1) & 0xFFFFFF, depth == 16 ? 0xF8u : 0xFFu) << depth; // 5 bits in 16
    }
}

TEST(SaveBitmap, RefusesAndReportsFailures) {
    TempDir dir;
    test::FakeMessages messages;
    const Picture pic = Pattern(4, 4);
    for (int depth : {2, 12}) {
        EXPECT_EQ(save_bitmap(pic, depth, dir.file("x.bmp"), &messages, "KalmiraB"), -1);
        EXPECT_EQ(messages.last(), "Fehler!\r\nDieses Bildformat wird nicht unterstützt!");
    }
    EXPECT_EQ(messages.shown[0].icon, Icon::None);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.bmp")));

    EXPECT_EQ(save_bitmap(Picture{}, 24, dir.file("x.bmp"), &messages, ""), -2);
    EXPECT_EQ(save_bitmap(Picture{4, 4, {1, 2}}, 24, dir.file("x.bmp"), &messages, ""), -3);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.bmp")));

    messages.shown.clear();
    EXPECT_EQ(save_bitmap(pic, 24, dir.file("kein/ordner.bmp"), &messages, "KalmiraB"), 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.last().rfind("Fehler!\r\n", 0), 0u);
    EXPECT_GT(messages.last().size(), 9u);
    EXPECT_FALSE(std::filesystem::exists(dir.file("kein")));
}

TEST(Decoding, PaletteAndRleBitmaps) {
    TempDir dir;
    const std::vector<std::uint32_t> pal = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF,
                                            0xFFFF00, 0x00FFFF, 0xFF00FF, 0x808080, 0xFFFFFF};
    // 5 x 2: top row 0 1 2 3 3, bottom row 1 1 1 2 2.
    const std::vector<std::vector<int>> expected = {{0, 1, 2, 3, 3}, {1, 1, 1, 2, 2}};
    auto check = [&](const std::string &name, const std::vector<std::uint8_t> &file,
                     const std::vector<std::vector<int>> &want) {
        WriteAll(dir.file(name), file);
        auto pic = LoadPicture(dir.file(name));
        ASSERT_TRUE(pic) << name;
        ASSERT_EQ(pic->width, 5) << name;
        ASSERT_EQ(pic->height, 2) << name;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 5; ++x) EXPECT_EQ(pic->at(x, y), pal[want[y][x]]) << name << x << y;
    };
    check("rle8.bmp",
          test::PaletteBmp(5, 2, 8, 1, pal,
                           {3, 1, 2, 2, 0, 0,                  // bottom row, encoded runs
                            0, 3, 0, 1, 2, 0, 2, 3, 0, 1}),    // absolute run, a run, end
          expected);
    check("rle4.rle",
          test::PaletteBmp(5, 2, 4, 2, pal,
                           {5, 0x12, 0, 0,                     // 1 2 1 2 1
                            0, 5, 0x45, 0x67, 0x80, 0, 0, 1}), // absolute 4 5 6 7 8
          {{4, 5, 6, 7, 8}, {1, 2, 1, 2, 1}});
    check("pal8.bmp",
          test::PaletteBmp(5, 2, 8, 0, pal, {1, 1, 1, 2, 2, 0, 0, 0, 0, 1, 2, 3, 3, 0, 0, 0}),
          expected);
}

TEST(Decoding, GifJpegAndUnreadableFiles) {
    TempDir dir;
    std::vector<std::uint8_t> idx;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 50; ++x) idx.push_back(static_cast<std::uint8_t>(x < 25 ? 1 : 2));
    WriteAll(dir.file("b.gif"), test::MakeGif(50, 30, {0, 0x123456, 0xFEDCBA}, idx));
    auto gif = LoadPicture(dir.file("b.gif"));
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->width, 50);
    EXPECT_EQ(gif->height, 30);
    EXPECT_EQ(gif->at(3, 29), 0x123456u);
    EXPECT_EQ(gif->at(49, 0), 0xFEDCBAu);

    QImage img(40, 20, QImage::Format_RGB32);
    img.fill(QColor(200, 40, 90));
    ASSERT_TRUE(img.save(QString::fromStdString(dir.file("f.jpg")), "JPG", 100));
    auto jpg = LoadPicture(dir.file("f.jpg"));
    ASSERT_TRUE(jpg);
    EXPECT_EQ(jpg->width, 40);
    const std::uint32_t c = jpg->at(20, 10);
    EXPECT_NEAR(static_cast<int>(c >> 16), 200, 6);
    EXPECT_NEAR(static_cast<int>((c >> 8) & 0xFF), 40, 6);
    EXPECT_NEAR(static_cast<int>(c & 0xFF), 90, 6);

    // Named like a GIF, decoded by content.
    WriteAll(dir.file("jpeg.gif"), ReadAll(dir.file("f.jpg")));
    EXPECT_TRUE(LoadPicture(dir.file("jpeg.gif")));

    WriteAll(dir.file("text.bmp"), std::string("kein Bild, nur Text"));
    WriteAll(dir.file("leer.jpg"), std::string());
    for (const char *name : {"text.bmp", "leer.jpg", "fehlt.bmp"})
        EXPECT_FALSE(LoadPicture(dir.file(name))) << name;
}

TEST(Decoding, MetafileWithFilledRectangle) {
    TempDir dir;
    WriteAll(dir.file("r.wmf"), test::MakeWmf(100, 50, 20, 10, 60, 40, 0xCC2211));
    auto pic = LoadPicture(dir.file("r.wmf"));
    ASSERT_TRUE(pic);
    EXPECT_EQ(pic->width, 100);
    EXPECT_EQ(pic->height, 50);
    EXPECT_EQ(pic->at(40, 25), 0xCC2211u);
    EXPECT_EQ(pic->at(21, 11), 0xCC2211u);
    EXPECT_EQ(pic->at(80, 25), 0xFFFFFFu);
    EXPECT_EQ(pic->at(40, 45), 0xFFFFFFu);

    // Stretched, the metafile is drawn again at the new size.
    auto big = LoadPictureStretched(dir.file("r.wmf"), 200, 100);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->width, 200);
    EXPECT_EQ(big->at(80, 50), 0xCC2211u);
    EXPECT_EQ(big->at(150, 50), 0xFFFFFFu);

    auto broken = test::MakeWmf(100, 50, 20, 10, 60, 40, 0);
    broken.resize(30);
    WriteAll(dir.file("kaputt.wmf"), broken);
    EXPECT_FALSE(LoadPicture(dir.file("kaputt.wmf")));
}

TEST(ConvertImageToBmp, OptimisedAndPlainResults) {
    TempDir dir;
    const std::string src = SavePng(dir, "q.png", 101, 80);
    PixelSize size;
    ASSERT_EQ(ConvertImageToBmp(src, dir.file("opt.bmp"), true, &size), ConvertStatus::Ok);
    EXPECT_EQ(size, (PixelSize{100, 79}));
    EXPECT_EQ(ReadAll(dir.file("opt.bmp")).size(), 54u + 300 * 79);

    ASSERT_EQ(ConvertImageToBmp(src, dir.file("plain.bmp"), false, &size), ConvertStatus::Ok);
    EXPECT_EQ(size, (PixelSize{101, 80}));
    EXPECT_EQ(ReadAll(dir.file("plain.bmp")).size(), 54u + 304 * 80);

    WriteAll(dir.file("x.jpg"), std::string("nichts"));
    EXPECT_EQ(ConvertImageToBmp(dir.file("x.jpg"), dir.file("x.bmp"), true), ConvertStatus::CannotDecode);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.bmp")));
    EXPECT_EQ(ConvertImageToBmp(src, dir.file("kein/x.bmp"), false), ConvertStatus::SaveFailed);
}

// The converted file serves as a carrier: its headers end before the payload
// offset, and bits embedded from there read back unchanged.
TEST(ConvertImageToBmp, ResultCarriesAPayload) {
    TempDir dir;
    std::vector<std::uint8_t> idx(64 * 48);
    for (std::size_t i = 0; i < idx.size(); ++i) idx[i] = static_cast<std::uint8_t>(i % 3);
    WriteAll(dir.file("c.gif"), test::MakeGif(64, 48, {0x102030, 0xA0B0C0, 0x405060}, idx));
    ASSERT_EQ(ConvertImageToBmp(dir.file("c.gif"), dir.file("c.bmp"), true), ConvertStatus::Ok);
    auto carrier = ReadAll(dir.file("c.bmp"));
    ASSERT_LT(u32(carrier, 10), static_cast<std::uint32_t>(payload::kLeadOffset));

    const auto data = test::RandomBytes(1000, 3);
    ASSERT_LE(static_cast<std::size_t>(payload::kLeadOffset) + 8 * data.size(), carrier.size());
    payload::EmbedBytes(data.data(), data.size(), carrier.data() + payload::kLeadOffset);
    WriteAll(dir.file("c.bmp"), carrier);

    const auto stored = ReadAll(dir.file("c.bmp"));
    std::vector<std::uint8_t> back(data.size());
    payload::ReadBytes(stored.data() + payload::kLeadOffset, back.size(), back.data());
    EXPECT_EQ(back, data);
    auto pic = LoadPicture(dir.file("c.bmp"));
    ASSERT_TRUE(pic);
    EXPECT_EQ(pic->width, 64);
    EXPECT_EQ(pic->height, 48);
}
