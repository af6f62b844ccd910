#include "shredder/modDestroyFile.h"
#include "shredder/wipe.h"

#include "fakes.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

using namespace kalmira;
using namespace kalmira::shredder;
namespace fs = std::filesystem;

namespace {

struct Pass {
    std::int64_t size;
    std::vector<std::uint8_t> bytes;
};

// Reads the file back after every pass and records what the run reports.
struct Recorder : WipeObserver {
    std::vector<int> percents;
    std::vector<Pass> passes;
    int truncations = 0, notFound = 0;
    int attrsAtTruncate = -2;
    std::int64_t sizeAtTruncate = -2;

    void progress(int percent) override { percents.push_back(percent); }
    void passWritten(int pass, const std::string &path) override {
        EXPECT_EQ(pass, static_cast<int>(passes.size()) + 1);
        passes.push_back({platform::FileSize(path), test::ReadAll(path)});
    }
    void beforeTruncate(const std::string &path) override {
        ++truncations;
        attrsAtTruncate = platform::GetFileAttributes(path);
        sizeAtTruncate = platform::FileSize(path);
    }
    void fileNotFound() override { ++notFound; }
};

bool AllBytes(const std::vector<std::uint8_t> &v, std::uint8_t b) {
    return std::all_of(v.begin(), v.end(), [b](std::uint8_t x) { return x == b; });
}

bool FolderEmpty(const std::string &dir) { return fs::is_empty(dir); }

} // namespace

TEST(WipeArithmetic, BlockCountAndProgressStep) {
    EXPECT_EQ(BlockCount(0), 1);
    EXPECT_EQ(BlockCount(4095), 1);
    EXPECT_EQ(BlockCount(4096), 2);
    EXPECT_EQ(BlockCount(8192), 3);
    EXPECT_EQ(ProgressStep(Method::Normal, 250), 2);
    EXPECT_EQ(ProgressStep(Method::Intensiv, 14), 1);   // 15 * 7 / 100
    EXPECT_EQ(ProgressStep(Method::Intensiv, 299), 21); // 300 * 7 / 100
}

TEST(WipeArithmetic, ProgressBarWidth) {
    EXPECT_EQ(ProgressBarWidth(200, 0), 0);
    EXPECT_EQ(ProgressBarWidth(200, -5), 0);
    EXPECT_EQ(ProgressBarWidth(200, 50), 97);      // 100 px less 50 twips
    EXPECT_EQ(ProgressBarWidth(200, 150), 97);     // wraps modulo full
    EXPECT_EQ(ProgressBarWidth(200, 1), 0);        // shorter than the margin
    EXPECT_EQ(ProgressBarWidth(200, 25, 0), 47);   // full 0 means 100
}

TEST(Wipe, EmptyFileIsWrittenWithOneBlockThenDeleted) {
    test::TempDir dir;
    const std::string path = dir.file("leer.txt");
    test::WriteAll(path, std::string());
    Recorder r;
    EXPECT_EQ(wipe(path, Method::Normal, r), WipeResult::Destroyed);
    ASSERT_EQ(r.passes.size(), 1u);
    EXPECT_EQ(r.passes[0].size, 4096);
    EXPECT_TRUE(AllBytes(r.passes[0].bytes, 0x00));
    EXPECT_EQ(r.percents, std::vector<int>{1});
    EXPECT_EQ(r.sizeAtTruncate, 4096);
    EXPECT_FALSE(platform::FileExists(path));
    EXPECT_TRUE(FolderEmpty(dir.path())); // no ".del" left behind
}

TEST(Wipe, NormalWritesExactMultipleWithOneBlockMore) {
    test::TempDir dir;
    const std::string path = dir.file("geheim.doc");
    test::WriteAll(path, test::RandomBytes(8192));
    Recorder r;
    EXPECT_EQ(wipe(path, Method::Normal, r), WipeResult::Destroyed);
    ASSERT_EQ(r.passes.size(), 1u);
    EXPECT_EQ(r.passes[0].size, 3 * 4096);
    EXPECT_TRUE(AllBytes(r.passes[0].bytes, 0x00));
    EXPECT_TRUE(FolderEmpty(dir.path()));
}

TEST(Wipe, IntensivGrowsByABlockPerPassAndEndsWithF6) {
    test::TempDir dir;
    const std::string path = dir.file("geheim.zip");
    test::WriteAll(path, test::RandomBytes(10000));
    Recorder r;
    EXPECT_EQ(wipe(path, Method::Intensiv, r), WipeResult::Destroyed);
    ASSERT_EQ(r.passes.size(), 7u);
    for (int p = 0; p < 7; ++p) {
        SCOPED_TRACE(p + 1);
        EXPECT_EQ(r.passes[p].size, (3 + p) * 4096);
        EXPECT_TRUE(AllBytes(r.passes[p].bytes, kIntensivPatterns[p]));
    }
    EXPECT_EQ(r.sizeAtTruncate, 9 * 4096);
    // Running block number over all passes: 3+4+...+9 = 42 blocks, step 1 in
    // every pass (at most (10 * 7) \ 100 = 0 -> 1).
    EXPECT_EQ(r.percents.size(), 42u);
    EXPECT_TRUE(FolderEmpty(dir.path()));
}

TEST(Wipe, PercentRisesByOneAndStopsAt99) {
    test::TempDir dir;
    const std::string path = dir.file("gross.bin");
    // 501 blocks, step 5: 100 progress steps, one more than the percent can take.
    test::WriteAll(path, std::vector<std::uint8_t>(500 * 4096, 0x55));
    Recorder r;
    EXPECT_EQ(wipe(path, Method::Normal, r), WipeResult::Destroyed);
    ASSERT_EQ(r.percents.size(), 100u);
    for (int i = 0; i < 99; ++i) EXPECT_EQ(r.percents[i], i + 1);
    EXPECT_EQ(r.percents.back(), 99);

}

TEST(WipeTotal, ReadOnlyFileReachesTruncationWritable) {
    test::TempDir dir;
    const std::string path = dir.file("nurlesen.txt");
    test::WriteAll(path, std::string("abc"));
    ASSERT_TRUE(platform::SetFileAttributes(path, platform::AttrReadOnly));
    ASSERT_FALSE(is_plain_file(path));
    Recorder r;
    wipe_total(path, r);
    EXPECT_EQ(r.truncations, 1);
    EXPECT_EQ(r.attrsAtTruncate, platform::AttrNormal);
    EXPECT_EQ(r.sizeAtTruncate, 3);
    EXPECT_FALSE(platform::FileExists(path));
    EXPECT_TRUE(FolderEmpty(dir.path()));
}

TEST(WipeTotal, HiddenFileIsDestroyedToo) {
    test::TempDir dir;
    const std::string path = dir.file(".versteckt");
    test::WriteAll(path, std::string("abc"));
    Recorder r;
    EXPECT_EQ(wipe(path, Method::Normal, r), WipeResult::Destroyed);
    EXPECT_TRUE(FolderEmpty(dir.path()));
}

TEST(WipeTotal, MissingFileOrFolderIsLeftAlone) {
    test::TempDir dir;
    Recorder r;
    wipe_total(dir.file("fehlt.txt"), r);
    EXPECT_EQ(r.notFound, 1);
    EXPECT_EQ(r.truncations, 0);

    // wipe cannot open either: a folder is not overwritten, and nothing is created.
    const std::string folder = dir.file("ordner");
    fs::create_directory(folder);
    test::WriteAll(folder + "/inhalt", std::string("x"));
    Recorder r2;
    EXPECT_EQ(wipe(folder, Method::Intensiv, r2), WipeResult::OpenFailed);
    EXPECT_EQ(wipe(dir.file("fehlt.txt"), Method::Normal, r2), WipeResult::OpenFailed);
    EXPECT_TRUE(r2.passes.empty());
    EXPECT_EQ(test::ReadAll(folder + "/inhalt").size(), 1u);
    EXPECT_FALSE(platform::FileExists(dir.file("fehlt.txt")));
}

TEST(RenameAndKill, NeverOverwritesAnExistingDelFile) {
    test::TempDir dir;
    const std::string path = dir.file("a.txt");
    test::WriteAll(path, std::string());
    std::tm t{};
    t.tm_mday = 31;
    t.tm_mon = 11;
    t.tm_hour = 23;
    t.tm_min = 59;
    t.tm_sec = 58;
    EXPECT_EQ(DelFileName(t), "31125958.del"); // day, month, minute, second
    const std::string taken = dir.file(DelFileName(t));
    test::WriteAll(taken, std::string("fremd"));
    EXPECT_EQ(FreeDelPath(path, t), dir.file("31125959.del"));
    EXPECT_TRUE(rename_and_kill(path, t));
    EXPECT_FALSE(platform::FileExists(path));
    EXPECT_EQ(test::ReadAll(taken).size(), 5u);

    // All sixty seconds taken: the rename fails and the file stays.
    test::WriteAll(path, std::string());
    for (int s = 0; s < 60; ++s) {
        t.tm_sec = s;
        test::WriteAll(dir.file(DelFileName(t)), std::string("fremd"));
    }
    EXPECT_EQ(FreeDelPath(path, t), "");
    EXPECT_FALSE(rename_and_kill(path, t));
    EXPECT_TRUE(platform::FileExists(path));
}

// Runs as an unprivileged user: root could rename in a read-only folder.
TEST(Wipe, FileInReadOnlyFolderIsReportedNotDeleted) {
    test::TempDir dir;
    const std::string folder = dir.file("ro");
    fs::create_directory(folder);
    const std::string path = folder + "/datei.txt";
    test::WriteAll(path, test::RandomBytes(5000));
    auto run = [&] {
        if (::chmod(folder.c_str(), 0555) != 0) return 3;
        Recorder r;
        if (wipe(path, Method::Normal, r) != WipeResult::NotDeleted) return 4;
        // Truncated, but under its own name.
        if (platform::FileSize(path) != 0) return 5;
        if (std::distance(fs::directory_iterator(folder), fs::directory_iterator()) != 1) return 6;
        return 0;
    };
    if (::geteuid() != 0) {
        EXPECT_EQ(run(), 0);
        return;
    }
    const uid_t nobody = 65534;
    for (const std::string &p : {dir.path(), folder, path})
        ASSERT_EQ(::chown(p.c_str(), nobody, nobody), 0);
    EXPECT_EXIT(
        {
            if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) std::_Exit(2);
            std::_Exit(run());
        },
        testing::ExitedWithCode(0), "");
}
