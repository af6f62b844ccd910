#include "platform/platform.h"
#include "platform/temp_file.h"

#include "fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kalmira;
using namespace kalmira::platform;

// Every defined byte round-trips; what Windows-1252 lacks, or broken UTF-8, is a '?'.
TEST(CodePage, RoundTripsEveryByteAndMarksTheRest) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(AnsiFromUtf8(Utf8FromAnsi(all)), all);
    EXPECT_EQ(Utf8FromAnsi("\x80"), "\xE2\x82\xAC"); // euro sign
    EXPECT_EQ(AnsiFromUtf8("a\xE2\x86\x92"
                           "b\xF0\x9F\x98\x80x\xC3"),
              "a?b?x?");
}

namespace {

std::vector<std::string> Names(const std::string &folder) {
    std::vector<std::string> names;
    for (auto &e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Text(const std::string &path) {
    const auto bytes = test::ReadAll(path);
    return std::string(bytes.begin(), bytes.end());
}

mode_t ModeOf(const std::string &path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

} // namespace

// Temporary and staging files: private, named without a trace of the
// program, wiped and gone when their run ends without committing them.
TEST(TempFiles, ArePrivateNeutralAndLeaveNothingBehind) {
    test::TempDir dir;
    std::string wiped;
    {
        TempFile t(dir.path(), TempFile::Removal::Wipe);
        wiped = t.path();
        EXPECT_EQ(ModeOf(wiped), 0600u);
        EXPECT_EQ(std::filesystem::path(wiped).filename().string().find("kal"), std::string::npos);
        test::WriteAll(wiped, test::RandomBytes(100000));
    }
    EXPECT_FALSE(FileExists(wiped));
    {
        StagedFile staged(dir.file("ziel.txt"));
        ASSERT_TRUE(staged.valid());
        EXPECT_EQ(staged.path().rfind(dir.path() + "/.~", 0), 0u);
        test::WriteAll(staged.path(), std::string("neu"));
    } // uncommitted: removed
    EXPECT_TRUE(Names(dir.path()).empty());
}

// Every destination the programs write follows the same rules: mode from the
// umask, never wider than the file replaced (or a backup's original); no
// folder, FIFO, device or dangling link is replaced; a link to a file
// replaces the file it names; control characters leave the name.
TEST(TempFiles, StagingRulesHoldForEveryDestination) {
    test::TempDir dir;
    const mode_t old = ::umask(027);
    auto commit = [&](const std::string &dest, const std::string &limit = "", bool replace = true) {
        StagedFile staged(dest, limit);
        test::WriteAll(staged.path(), std::string("neu"));
        return staged.commit(replace);
    };
    EXPECT_EQ(commit(dir.file("neu")), StagedFile::Commit::Done);
    EXPECT_EQ(ModeOf(dir.file("neu")), 0640u);
    ::umask(0);
    test::WriteAll(dir.file("privat"), std::string("x"));
    ::chmod(dir.file("privat").c_str(), 0600);
    EXPECT_EQ(commit(dir.file("privat")), StagedFile::Commit::Done);
    EXPECT_EQ(ModeOf(dir.file("privat")), 0600u);
    EXPECT_EQ(commit(dir.file("kopie"), dir.file("privat")), StagedFile::Commit::Done); // a backup
    EXPECT_EQ(ModeOf(dir.file("kopie")), 0600u);
    EXPECT_EQ(commit(dir.file("kopie"), "", false), StagedFile::Commit::Exists);
    ::umask(old);

    ::mkfifo(dir.file("fifo").c_str(), 0600);
    std::filesystem::create_directory(dir.file("ordner"));
    std::filesystem::create_symlink(dir.file("fehlt"), dir.file("lose"));
    for (const char *name : {"fifo", "ordner", "lose"}) {
        StagedFile staged(dir.file(name));
        EXPECT_TRUE(staged.refused()) << name;
        EXPECT_EQ(staged.commit(true), StagedFile::Commit::Failed) << name;
    }
    EXPECT_EQ(KindOf(dir.file("lose"), false), PathKind::Link);

    std::filesystem::create_directory(dir.file("echt"));
    test::WriteAll(dir.file("echt/ziel"), std::string("alt"));
    std::filesystem::create_symlink(dir.file("echt/ziel"), dir.file("verweis"));
    EXPECT_EQ(commit(dir.file("verweis")), StagedFile::Commit::Done);
    EXPECT_EQ(KindOf(dir.file("verweis"), false), PathKind::Link);
    EXPECT_EQ(Text(dir.file("echt/ziel")), "neu");

    StagedFile odd(dir.file("a\nb\x1B[2J\x7F"
                            "c\xC2\x9D"
                            "d\xC3\xA4"));
    EXPECT_EQ(odd.destination(), dir.file("a_b_[2J_c_d\xC3\xA4"));
}

// A staging file of a killed run (unlocked) goes with the next run in its
// folder, wiped; one whose run still holds it stays.
TEST(TempFiles, LeftoversOfEndedRunsAreRemoved) {
    test::TempDir dir;
    StagedFile live(dir.file("a"));
    const std::string stale = dir.file(".~abcDEF1234.part");
    test::WriteAll(stale, std::string("geheim"));
    const std::string foreign = dir.file(".~abc.part"); // not the pattern: never touched
    test::WriteAll(foreign, std::string("x"));
    EXPECT_EQ(StagedFile::RemoveLeftovers(dir.path() + "/"), 1);
    EXPECT_FALSE(FileExists(stale));
    EXPECT_TRUE(FileExists(live.path()));
    EXPECT_TRUE(FileExists(foreign));
}

// Read-only round trips are in the hide engine's tests.
TEST(Attributes, DotFilesAreHiddenAndMissingFilesHaveNone) {
    test::TempDir dir;
    test::WriteAll(dir.file(".secret"), std::string("y"));
    EXPECT_EQ(GetFileAttributes(dir.file(".secret")), AttrHidden);
    EXPECT_EQ(GetFileAttributes(dir.file("missing")), -1);
}

// Every program's first call: a file-size limit gives EFBIG instead of death
// by SIGXFSZ, and nothing can dump the process's memory.
TEST(Process, HardeningIgnoresFileSizeSignalsAndForbidsDumps) {
    const pid_t child = ::fork();
    if (child == 0) {
        HardenProcess();
        rlimit core{}, size{4096, 4096};
        ::getrlimit(RLIMIT_CORE, &core);
        ::setrlimit(RLIMIT_FSIZE, &size);
        test::TempDir dir;
        const int fd = ::open(dir.file("x").c_str(), O_WRONLY | O_CREAT, 0600);
        const std::vector<char> block(4096, 'x');
        const bool efbig = ::write(fd, block.data(), block.size()) == 4096 &&
                           ::write(fd, block.data(), block.size()) < 0 && errno == EFBIG;
        ::_exit(::prctl(PR_GET_DUMPABLE) == 0 && core.rlim_cur == 0 && core.rlim_max == 0 && efbig ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
