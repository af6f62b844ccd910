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
    const std::pair<const char *, CarrierKind> cases[] = {
        {"one.bmp", CarrierKind::NotBmp},   {"OK.BMP", CarrierKind::Bmp},      {"short.wav", CarrierKind::NotWav},
        {"ok.Wav", CarrierKind::Wav},       {"fake.wav", CarrierKind::NotWav}, {"wave.bmp", CarrierKind::NotBmp},
        {"bild.png", CarrierKind::OtherName}, {"missing.bmp", CarrierKind::Missing}, {"", CarrierKind::NotRegular}};
    for (const auto &[name, kind] : cases) EXPECT_EQ(Classify(dir.file(name)), kind) << name;

    EXPECT_EQ(RefusalNotice(CarrierKind::NotBmp, "x")->text,
              "Die ausgewählte Datei ist keine gültige BMP-Datei, oder sie ist fehlerhaft!");
    const auto wav = RefusalNotice(CarrierKind::NotWav, dir.file("fake.wav"));
    EXPECT_EQ(wav->title, "Kalmira-Fehlernachricht");
    EXPECT_EQ(wav->text, "Die Datei: " + dir.file("fake.wav") + " ist keine gültige WAV-Datei.");
    EXPECT_EQ(wav->icon, Icon::Critical);
    EXPECT_FALSE(RefusalNotice(CarrierKind::Wav, "x"));
    EXPECT_TRUE(HasCarrierName("a.b/C.WAV") && !HasCarrierName("a.bmp/c") && !HasCarrierName("bmp"));
}
