#include "platform/platform.h"

#include "fakes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>

using namespace kalmira;
using namespace kalmira::platform;

TEST(CodePage, RoundTripsEveryDefinedByte) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    std::string utf8 = Utf8FromAnsi(all);
    EXPECT_EQ(AnsiFromUtf8(utf8), all);
    EXPECT_EQ(Utf8FromAnsi("\x80"), "\xE2\x82\xAC");     // euro sign
    EXPECT_EQ(AnsiFromUtf8("äöüß"), "\xE4\xF6\xFC\xDF");
}

TEST(CodePage, UnrepresentableAndMalformedBecomeQuestionMarks) {
    EXPECT_EQ(AnsiFromUtf8("a\xE2\x86\x92" "b"), "a?b");   // arrow
    EXPECT_EQ(AnsiFromUtf8("\xF0\x9F\x98\x80"), "?");      // emoji
    EXPECT_EQ(AnsiFromUtf8("x\xC3"), "x?");                // truncated sequence
    EXPECT_EQ(AnsiFromUtf8("\xFF"), "?");
}

TEST(TempFiles, AreCreatedEmptyWithThreeCharacterPrefix) {
    std::string a = MakeTempFile("Message");
    std::string b = MakeTempFile("Message");
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    EXPECT_EQ(FileSize(a), 0);
    std::string name = a.substr(a.find_last_of('/') + 1);
    EXPECT_EQ(name.substr(0, 3), "Mes");
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    std::remove(a.c_str());
    std::remove(b.c_str());
}

TEST(Attributes, ReadOnlyIsTheAbsenceOfWriteBits) {
    test::TempDir dir;
    std::string f = dir.file("a.bin");
    test::WriteAll(f, std::string("x"));
    EXPECT_EQ(GetFileAttributes(f), AttrNormal);
    ASSERT_TRUE(SetFileAttributes(f, AttrReadOnly));
    EXPECT_EQ(GetFileAttributes(f) & AttrReadOnly, AttrReadOnly);
    ASSERT_TRUE(SetFileAttributes(f, AttrNormal));
    EXPECT_EQ(GetFileAttributes(f), AttrNormal);
    std::string hidden = dir.file(".secret");
    test::WriteAll(hidden, std::string("y"));
    EXPECT_EQ(GetFileAttributes(hidden), AttrHidden);
    EXPECT_EQ(GetFileAttributes(dir.file("missing")), -1);
}

TEST(Program, FolderEndsWithSeparatorAndPlatformIsNT) {
    std::string f = ProgramFolder();
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(f.back(), '/');
    EXPECT_EQ(WindowsPlatform(), "NT");
    EXPECT_EQ(SharedLibraryFileName("ZorbZlib"), "libZorbZlib.so");
}
