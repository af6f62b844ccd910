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

// Every defined byte round-trips; what Windows-1252 lacks, or broken UTF-8, is a '?'.
TEST(CodePage, RoundTripsEveryByteAndMarksTheRest) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(AnsiFromUtf8(Utf8FromAnsi(all)), all);
    EXPECT_EQ(Utf8FromAnsi("\x80"), "\xE2\x82\xAC");     // euro sign
    EXPECT_EQ(AnsiFromUtf8("a\xE2\x86\x92" "b\xF0\x9F\x98\x80x\xC3"), "a?b?x?");
}

TEST(TempFiles, ArePrivateEmptyAndStayInTheirFolder) {
    std::string a = MakeTempFile("Message");
    std::string b = MakeTempFile("../Geheim Plan");
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    EXPECT_EQ(FileSize(a), 0);
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

    // Staged output without --force keeps the old file: in the tool's tests.
    const std::string dest = dir.file("ziel.txt");
    {
        StagedFile staged(dest);
        test::WriteAll(staged.path(), std::string("neu"));
    } // uncommitted: removed
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 0);
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

// Read-only round trips are in the hide engine's tests.
TEST(Attributes, DotFilesAreHiddenAndMissingFilesHaveNone) {
    test::TempDir dir;
    test::WriteAll(dir.file(".secret"), std::string("y"));
    EXPECT_EQ(GetFileAttributes(dir.file(".secret")), AttrHidden);
    EXPECT_EQ(GetFileAttributes(dir.file("missing")), -1);
}
