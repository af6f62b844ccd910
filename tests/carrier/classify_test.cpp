#include "carrier/carrier_texts.h"
#include "carrier/classify.h"

#include "fakes.h"

#include <gtest/gtest.h>

using namespace kalmira;
using namespace kalmira::carrier;

// The name says what a carrier must be, the first bytes whether it is; the
// windows and the tool refuse the others with the same words.
TEST(Classify, NameThenFirstBytes) {
    test::TempDir dir;
    test::WriteAll(dir.file("one.bmp"), std::string("B"));
    test::WriteAll(dir.file("OK.BMP"), std::string("BMxxxx"));
    test::WriteAll(dir.file("short.wav"), std::string("RIFF1234WAV"));
    test::WriteAll(dir.file("ok.Wav"), test::MakeWav(100));
    test::WriteAll(dir.file("fake.wav"), std::string("RIFF1234AVI LIST"));
    test::WriteAll(dir.file("wave.bmp"), test::MakeWav(100));
    test::WriteAll(dir.file("bild.png"), std::string("BMxxxx"));
    test::WriteAll(dir.file("echt.PNG"), std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16));
    test::WriteAll(dir.file("ton.flac"), std::string("fLaC\0\0\0\x22xxxx", 12));
    test::WriteAll(dir.file("tag.flac"), std::string("ID3\x04\0\0\0\0\0\0xx", 12));
    test::WriteAll(dir.file("bild.jpg"), std::string("\xff\xd8\xff\xe0xxxxxxxx"));
    const std::pair<const char *, CarrierKind> cases[] = {
        {"one.bmp", CarrierKind::NotBmp},      {"OK.BMP", CarrierKind::Bmp},      {"short.wav", CarrierKind::NotWav},
        {"ok.Wav", CarrierKind::Wav},          {"fake.wav", CarrierKind::NotWav}, {"wave.bmp", CarrierKind::NotBmp},
        {"bild.png", CarrierKind::NotPng},     {"echt.PNG", CarrierKind::Png},    {"ton.flac", CarrierKind::Flac},
        {"tag.flac", CarrierKind::Flac},       {"ok.Wav", CarrierKind::Wav},      {"bild.jpg", CarrierKind::OtherName},
        {"missing.bmp", CarrierKind::Missing}, {"", CarrierKind::NotRegular}};
    for (const auto &[name, kind] : cases) EXPECT_EQ(Classify(dir.file(name)), kind) << name;

    EXPECT_EQ(RefusalNotice(CarrierKind::NotBmp, "x")->text,
              "Die ausgewählte Datei ist keine gültige BMP-Datei, oder sie ist fehlerhaft!");
    const auto wav = RefusalNotice(CarrierKind::NotWav, dir.file("fake.wav"));
    EXPECT_EQ(wav->title, "Kalmira-Fehlernachricht");
    EXPECT_EQ(wav->text, "Die Datei: " + dir.file("fake.wav") + " ist keine gültige WAV-Datei.");
    EXPECT_EQ(wav->icon, Icon::Critical);
    EXPECT_FALSE(RefusalNotice(CarrierKind::Wav, "x"));
    // PNG and FLAC: the stealth format only.
    EXPECT_FALSE(RefusalNotice(CarrierKind::Png, "x", true));
    EXPECT_NE(RefusalNotice(CarrierKind::Flac, "x")->text.find("nur im Tarnformat"), std::string::npos);
    EXPECT_TRUE(HasCarrierName("a.FLAC", true) && !HasCarrierName("a.png"));
    EXPECT_TRUE(HasCarrierName("a.b/C.WAV") && !HasCarrierName("a.bmp/c") && !HasCarrierName("bmp"));
}
