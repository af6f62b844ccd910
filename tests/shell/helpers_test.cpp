#include "shell/helpers.h"

#include "fakes.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

using namespace kalmira;

TEST(PathHelpers, SplitWindowsAndPosixPaths) {
    EXPECT_EQ(FileNameOf("C:\\Daten\\bild.bmp"), "bild.bmp");
    EXPECT_EQ(FolderOf("C:\\Daten\\bild.bmp"), "C:\\Daten\\");
    EXPECT_EQ(ExtensionOf("C:\\Daten\\bild.bmp"), ".bmp");
    EXPECT_EQ(BaseNameOf("C:\\Daten\\bild.bmp"), "bild");
    EXPECT_EQ(FileNameOf("bild.bmp"), "bild.bmp");
    EXPECT_EQ(FolderOf("bild.bmp"), "");
    EXPECT_EQ(FileNameOf(""), "");
    EXPECT_EQ(BaseNameOf("C:\\Daten\\README"), "");
    EXPECT_EQ(ExtensionOf("C:\\Daten\\README"), ".C:\\Daten\\README");
    EXPECT_EQ(BaseNameOf("C:\\a.b\\README"), "");   // dot before the last separator
    EXPECT_EQ(FolderOf("/home/u/x.wav"), "/home/u/");
    EXPECT_EQ(BaseNameOf("/home/u/x.tar.gz"), "x.tar");
}

TEST(CarrierProbes, LookAtTheFirstBytes) {
    test::TempDir dir;
    test::FakeMessages msg;
    test::WriteAll(dir.file("one.bmp"), std::string("B"));
    test::WriteAll(dir.file("ok.bmp"), std::string("BMxxxx"));
    test::WriteAll(dir.file("short.wav"), std::string("RIFF1234WAV"));
    test::WriteAll(dir.file("ok.wav"), test::MakeWav(100));
    test::WriteAll(dir.file("fake.wav"), std::string("RIFF1234AVI LIST"));
    EXPECT_FALSE(IsBmpFile(dir.file("one.bmp")));
    EXPECT_TRUE(IsBmpFile(dir.file("ok.bmp")));
    EXPECT_FALSE(IsBmpFile(dir.file("missing.bmp")));
    EXPECT_TRUE(IsWavFile(dir.file("ok.wav"), msg));
    EXPECT_TRUE(msg.shown.empty());
    EXPECT_FALSE(IsWavFile(dir.file("short.wav"), msg));
    EXPECT_FALSE(IsWavFile(dir.file("fake.wav"), msg));
    ASSERT_EQ(msg.shown.size(), 2u);
    EXPECT_EQ(msg.shown[1].title, "Kalmira-Fehlernachricht");
    EXPECT_EQ(msg.shown[1].text, "Die Datei: " + dir.file("fake.wav") + " ist keine gültige WAV-Datei.");
    EXPECT_EQ(msg.shown[1].icon, Icon::Critical);
    EXPECT_FALSE(IsWavFile(dir.file("missing.wav"), msg));
    EXPECT_EQ(msg.shown.size(), 2u);   // unreadable: no message
}

TEST(FormatThousands, UsesGermanSeparator) {
    EXPECT_EQ(FormatThousands(9999999), "9.999.999");
    EXPECT_EQ(FormatThousands(562), "562");
    EXPECT_EQ(FormatThousands(1000), "1.000");
    EXPECT_EQ(FormatThousands(0), "");
}
