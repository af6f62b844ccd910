#include "inspect/bmp_info.h"

#include "fakes.h"

#include <gtest/gtest.h>

using namespace kalmira::inspect;
using kalmira::test::MakeBmp;
using kalmira::test::TempDir;
using kalmira::test::WriteAll;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::array<std::string, 8>;

void Put(Bytes &v, std::size_t at, std::uint32_t x, int n) {
    for (int i = 0; i < n; ++i) v[at + i] = static_cast<std::uint8_t>(x >> (8 * i));
}

Lines LinesOf(const Bytes &file) {
    TempDir dir;
    WriteAll(dir.file("b.bmp"), file);
    kalmira::carrier::BmpHeader f;
    std::string error;
    EXPECT_TRUE(ReadBmpHeaderFacts(dir.file("b.bmp"), f, error));
    Lines lines;
    EXPECT_TRUE(BmpInfoLines(f, lines, error));
    return lines;
}

} // namespace

TEST(BmpInfo, TrueColourPicture) {
    EXPECT_EQ(LinesOf(MakeBmp(100, 50)),
              (Lines{"Breite : 100 pixels", "Höhe : 50 pixels", "Dateigröße : 15.054 bytes", "in 1 Ebene(n)",
                     "24 Bit  (16777216 Farben)", "Unkomprimierte Bitmap", "Verwendet maximale Anzahl an Farben",
                     "Alle 16777216 Farben werden zur Anzeige benötigt."}));
}

TEST(BmpInfo, PalettePictureTopDownAndCompressions) {
    Bytes bmp = MakeBmp(4, 4);
    Put(bmp, 28, 8, 2);
    Put(bmp, 46, 256, 4);
    Put(bmp, 50, 16, 4);
    Put(bmp, 22, static_cast<std::uint32_t>(-4), 4);
    Put(bmp, 30, 1, 4);
    Lines l = LinesOf(bmp);
    EXPECT_EQ(l[1], "Höhe : -4 pixels");
    EXPECT_EQ(l[4], "8 Bit  (256 Farben)");
    EXPECT_EQ(l[5], "RLE Komprimierte Grafik - 8Bit/Pixel ");
    EXPECT_EQ(l[6], "Die verwendete Farbanzahl ist :  256");
    EXPECT_EQ(l[7], "Die notwendige Farbanzahl ist :  16");

    Put(bmp, 30, 5, 4); // an unknown compression has no line
    Put(bmp, 46, static_cast<std::uint32_t>(-3), 4);
    l = LinesOf(bmp);
    EXPECT_EQ(l[5] + "|" + l[6], "|Die verwendete Farbanzahl ist : -3");
}

TEST(BmpInfo, AnyFileIsReadAsZerosPastItsEnd) {
    Lines l = LinesOf(Bytes{'B', 'M', 1, 2});
    EXPECT_EQ(l[0] + "|" + l[2] + "|" + l[4], "Breite : 0 pixels|Dateigröße : 4 bytes|0 Bit  (1 Farben)");
}

TEST(BmpInfo, FailuresAndPowers) {
    kalmira::carrier::BmpHeader f;
    std::string error = "x";
    EXPECT_FALSE(ReadBmpHeaderFacts("/nonexistent/b.bmp", f, error));
    EXPECT_EQ(error, "");

    f.bitsPerPixel = 1024;
    Lines lines;
    EXPECT_FALSE(BmpInfoLines(f, lines, error));
    EXPECT_EQ(error, "Überlauf");

    for (auto [bits, text] : {std::pair{64, "18446744073709551616"}, {-1, "0,5"}}) {
        std::string t;
        EXPECT_TRUE(PowerOfTwoText(bits, t));
        EXPECT_EQ(t, text);
    }
    EXPECT_EQ(SignedText(0), " 0");
}
