#include "shell/helpers.h"


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

TEST(FormatThousands, UsesGermanSeparator) {
    EXPECT_EQ(FormatThousands(9999999), "9.999.999");
    EXPECT_EQ(FormatThousands(562), "562");
    EXPECT_EQ(FormatThousands(1000), "1.000");
    EXPECT_EQ(FormatThousands(0), "");
}
