#include "platform/platform.h"
#include "platform/temp_file.h"

#include "fakes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fcntl.h>
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

TEST(TempFiles, ArePrivateEmptyAndStayInTheirFolder) {
    std::string a = MakeTempFile("Message");
    std::string b = MakeTempFile("../Geheim Plan");
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    EXPECT_EQ(FileSize(a), 0);
    std::string name = a.substr(a.find_last_of('/') + 1);
    EXPECT_EQ(name.substr(0, 3), "Mes");
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    EXPECT_EQ(b.substr(0, TempFolder().size()), TempFolder());   // no way out of the folder
    EXPECT_EQ(b.find('/', TempFolder().size()), std::string::npos);
    struct stat st{};
    ASSERT_EQ(::stat(a.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::remove(a.c_str());
    std::remove(b.c_str());
}

TEST(TempFiles, WipedOrStagedFilesLeaveNothingBehind) {
    test::TempDir dir;
    std::string wiped;
    {
        TempFile t(dir.path(), TempFile::Removal::Wipe);
        wiped = t.path();
        test::WriteAll(wiped, test::RandomBytes(100000));
        platform::SetFileAttributes(wiped, platform::AttrReadOnly);
    }
    EXPECT_FALSE(FileExists(wiped));

    const std::string dest = dir.file("ziel.txt");
    test::WriteAll(dest, std::string("alt"));
    {
        StagedFile staged(dest);
        test::WriteAll(staged.path(), std::string("neu"));
        EXPECT_EQ(staged.commit(false), StagedFile::Commit::Exists);
    } // uncommitted: removed
    EXPECT_EQ(test::ReadAll(dest), (std::vector<std::uint8_t>{'a', 'l', 't'}));
    StagedFile staged(dest);
    test::WriteAll(staged.path(), std::string("neu"));
    EXPECT_EQ(staged.commit(true), StagedFile::Commit::Done);
    EXPECT_EQ(test::ReadAll(dest), (std::vector<std::uint8_t>{'n', 'e', 'u'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(TempFiles, StagedOutputFollowsTheUmaskNeverWidened) {
    test::TempDir dir;
    const mode_t old = ::umask(027);
    auto modeAfterCommit = [&](const std::string &dest) {
        StagedFile staged(dest);
        EXPECT_EQ(staged.path().rfind(dir.path() + "/" + StagedFile::kPrefix, 0), 0u);
        EXPECT_EQ(staged.commit(true), StagedFile::Commit::Done);
        struct stat st{};
        ::stat(dest.c_str(), &st);
        return st.st_mode & 0777;
    };
    EXPECT_EQ(modeAfterCommit(dir.file("neu")), 0640u);
    ::umask(022);
    test::WriteAll(dir.file("privat"), std::string("x"));
    ::chmod(dir.file("privat").c_str(), 0600);
    EXPECT_EQ(modeAfterCommit(dir.file("privat")), 0600u);
    ::umask(old);
}

// A staging file of a killed run goes with the next staging in its folder
// once it is stale; one whose run still holds it stays.
TEST(TempFiles, LeftoversOfEndedRunsAreRemoved) {
    test::TempDir dir;
    const std::string stale = dir.file(std::string(StagedFile::kPrefix) + "abc123.tmp");
    test::WriteAll(stale, std::string("geheim"));
    StagedFile live(dir.file("a"));
    for (const std::string &f : {stale, live.path()}) {
        struct timespec times[2] = {{100, 0}, {100, 0}};
        ::utimensat(AT_FDCWD, f.c_str(), times, 0);
    }
    StagedFile next(dir.file("b"));
    EXPECT_FALSE(FileExists(stale));
    EXPECT_TRUE(FileExists(live.path()));
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
