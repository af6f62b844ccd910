#include "crypto/password_text.h"

#include <gtest/gtest.h>

using namespace kalmira::crypto;
using Status = PasswordText::Status;

TEST(PasswordText, ReadsUtf8AndWindows1252Alike) {
    const std::string expected = "Gr\xFC\xDF"
                                 "e\x80\x96"; // "Grüße€–" in Windows-1252
    for (std::string file : {std::string("Gr\xC3\xBC\xC3\x9F"
                                         "e\xE2\x82\xAC\xE2\x80\x93\r\nzweite"),
                             std::string("\xEF\xBB\xBF"
                                         "Gr\xC3\xBC\xC3\x9F"
                                         "e\xE2\x82\xAC\xE2\x80\x93\n"),
                             expected + "\r\n", expected}) {
        PasswordText p = PasswordFromFile(file);
        EXPECT_EQ(p.status, Status::Ok) << file;
        EXPECT_EQ(p.ansi.view(), expected) << file;
    }
    EXPECT_EQ(PasswordFromFile("abc?\n").ansi.view(), "abc?");
    EXPECT_TRUE(PasswordFromFile("\r\n").ansi.empty());
    // Not valid UTF-8 without a mark: taken byte for byte, the undefined 0x81 included.
    EXPECT_EQ(PasswordFromFile("\xC3\x81\x81x").ansi.view(), "\xC3\x81\x81x");
}

TEST(PasswordText, RefusesOnlyWhatWindows1252CannotHold) {
    PasswordText arrow = PasswordFromFile("ab\xE2\x86\x92"
                                          "c\n"); // U+2192
    EXPECT_EQ(arrow.status, Status::Unrepresentable);
    EXPECT_EQ(arrow.refused, U'\x2192');
    EXPECT_EQ(arrow.refusedUtf8, "\xE2\x86\x92");
    EXPECT_EQ(arrow.refusedAt, 3u);
    EXPECT_TRUE(arrow.ansi.empty());

    PasswordText emoji = PasswordFromFile("\xEF\xBB\xBF\xF0\x9F\x98\x80");
    EXPECT_EQ(emoji.status, Status::Unrepresentable);
    EXPECT_EQ(emoji.refused, U'\x1F600');

    PasswordText broken = PasswordFromFile("\xEF\xBB\xBF"
                                           "a\xFF");
    EXPECT_EQ(broken.status, Status::InvalidUtf8);
    EXPECT_EQ(broken.refusedAt, 2u);
}
