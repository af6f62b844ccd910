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
// Reads the file back after every pass and records what the run reports.
struct Recorder : WipeObserver {
    std::vector<int> percents;
    std::vector<std::vector<std::uint8_t>> passes;
    int truncations = 0, notFound = 0, attrsAtTruncate = -2;
    std::int64_t sizeAtTruncate = -2;

    void progress(int percent) override { percents.push_back(percent); }
    void passWritten(int pass, const std::string &path) override {
        EXPECT_EQ(pass, static_cast<int>(passes.size()) + 1);
        passes.push_back(test::ReadAll(path));
    }
    void beforeTruncate(const std::string &path) override {
        ++truncations;
        attrsAtTruncate = platform::GetFileAttributes(path);
        sizeAtTruncate = platform::FileSize(path);
    }
    void fileNotFound() override { ++notFound; }
};
} // namespace

// Each pass covers the file and one block more, grows by a block, and uses
// its pattern; nothing (no ".del") is left behind.
TEST(Wipe, PassesSizesAndPatterns) {
    // Progress steps: the running block number over all passes, step 1 (3+4+...+9 = 42).
    const struct {
        std::size_t size;
        Method method;
        int firstBlocks;
        std::size_t steps;
    } cases[] = {{0, Method::Normal, 1, 1}, {8192, Method::Normal, 3, 3}, {10000, Method::Intensiv, 3, 42}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        test::TempDir dir;
        const std::string path = dir.file("geheim.doc");
        test::WriteAll(path, test::RandomBytes(c.size));
        Recorder r;
        EXPECT_EQ(wipe(path, c.method, r), WipeResult::Destroyed);
        const std::size_t n = c.method == Method::Normal ? 1 : 7;
        ASSERT_EQ(r.passes.size(), n);
        for (std::size_t p = 0; p < n; ++p) {
            EXPECT_EQ(r.passes[p].size(), static_cast<std::size_t>((c.firstBlocks + p) * 4096)) << p;
            const std::uint8_t fill = n == 1 ? 0x00 : kIntensivPatterns[p];
            EXPECT_TRUE(std::all_of(r.passes[p].begin(), r.passes[p].end(), [&](auto b) { return b == fill; }));
        }
        EXPECT_EQ(r.sizeAtTruncate, static_cast<std::int64_t>(r.passes.back().size()));
        EXPECT_EQ(r.percents.size(), c.steps);
        EXPECT_TRUE(fs::is_empty(dir.path()));
    }
}

TEST(Wipe, PercentRisesByOneAndStopsAt99) {
    test::TempDir dir;
    const std::string path = dir.file("gross.bin");
    // 501 blocks, step 5: 100 progress steps, one more than the percent can take.
    test::WriteAll(path, std::vector<std::uint8_t>(500 * 4096, 0x55));
    Recorder r;
    EXPECT_EQ(wipe(path, Method::Normal, r), WipeResult::Destroyed);
    ASSERT_EQ(r.percents.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(r.percents[i], std::min(i + 1, 99));
}

TEST(WipeTotal, ReadOnlyHiddenMissingAndLinkedFiles) {
    test::TempDir dir;
    const std::string path = dir.file("nurlesen.txt"), hidden = dir.file(".versteckt");
    test::WriteAll(path, std::string("abc"));
    test::WriteAll(hidden, std::string("abc"));
    ASSERT_TRUE(platform::SetFileAttributes(path, platform::AttrReadOnly));
    ASSERT_FALSE(is_plain_file(path));
    Recorder r;
    wipe_total(path, r); // reaches truncation writable
    EXPECT_EQ(std::tuple(r.truncations, r.attrsAtTruncate, r.sizeAtTruncate), std::tuple(1, platform::AttrNormal, 3));
    EXPECT_EQ(wipe(hidden, Method::Normal, r), WipeResult::Destroyed);
    EXPECT_TRUE(fs::is_empty(dir.path()));

    Recorder missing;
    wipe_total(dir.file("fehlt.txt"), missing);
    EXPECT_EQ(std::pair(missing.notFound, missing.truncations), std::pair(1, 0));
    // wipe cannot open either: a folder is not overwritten, and nothing is created.
    const std::string folder = dir.file("ordner");
    fs::create_directory(folder);
    test::WriteAll(folder + "/inhalt", std::string("x"));
    EXPECT_EQ(wipe(folder, Method::Intensiv, missing), WipeResult::OpenFailed);
    EXPECT_EQ(wipe(dir.file("fehlt.txt"), Method::Normal, missing), WipeResult::OpenFailed);
    EXPECT_TRUE(missing.passes.empty());
    EXPECT_EQ(test::ReadAll(folder + "/inhalt").size(), 1u);
    EXPECT_FALSE(platform::FileExists(dir.file("fehlt.txt")));
    // A symbolic link is refused with link and target whole: frmWipe_test.
}

TEST(RenameAndKill, NeverOverwritesAnExistingDelFile) {
    test::TempDir dir;
    const std::string path = dir.file("a.txt");
    test::WriteAll(path, std::string());
    std::tm t{};
    t.tm_mday = 31, t.tm_mon = 11, t.tm_hour = 23, t.tm_min = 59, t.tm_sec = 58;
    EXPECT_EQ(DelFileName(t), "31125958.del"); // day, month, minute, second
    const std::string taken = dir.file(DelFileName(t));
    test::WriteAll(taken, std::string("fremd"));
    EXPECT_EQ(FreeDelPath(path, t), dir.file("31125959.del"));
    EXPECT_TRUE(rename_and_kill(path, t) && !platform::FileExists(path));
    EXPECT_EQ(test::ReadAll(taken).size(), 5u);
    // All sixty seconds taken: frmWipe_test, with what the user is told.
}

// Runs as an unprivileged user: root could rename in a read-only folder.
TEST(Wipe, FileInReadOnlyFolderIsReportedNotDeleted) {
    test::TempDir dir;
    const std::string folder = dir.file("ro");
    fs::create_directory(folder);
    const std::string path = folder + "/datei.txt";
    test::WriteAll(path, test::RandomBytes(5000));
    auto run = [&] { // truncated, but left under its own name
        Recorder r;
        return ::chmod(folder.c_str(), 0555) == 0 && wipe(path, Method::Normal, r) == WipeResult::NotDeleted &&
                       platform::FileSize(path) == 0 &&
                       std::distance(fs::directory_iterator(folder), fs::directory_iterator()) == 1
                   ? 0
                   : 3;
    };
    if (::geteuid() != 0) {
        EXPECT_EQ(run(), 0);
        return;
    }
    const uid_t nobody = 65534;
    for (const std::string &p : {dir.path(), folder, path}) ASSERT_EQ(::chown(p.c_str(), nobody, nobody), 0);
    EXPECT_EXIT(
        {
            if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) std::_Exit(2);
            std::_Exit(run());
        },
        testing::ExitedWithCode(0), "");
}

// A symbolic link swapped in for the file between two passes: the run stops
// there, and neither the link's target nor the link is touched.
TEST(Wipe, LinkSwappedInMidwayStopsTheRun) {
    test::TempDir dir;
    const std::string path = dir.file("geheim.doc"), other = dir.file("anderswo.txt");
    test::WriteAll(path, test::RandomBytes(10000, 1));
    const auto otherBytes = test::RandomBytes(5000, 2);
    test::WriteAll(other, otherBytes);
    struct Swapper : Recorder {
        std::string path, other;
        void passWritten(int pass, const std::string &p) override {
            Recorder::passWritten(pass, p);
            if (pass != 2) return;
            fs::rename(path, path + ".weg");
            fs::create_symlink(other, path);
        }
    } r;
    r.path = path;
    r.other = other;
    EXPECT_EQ(wipe(path, Method::Intensiv, r), WipeResult::Replaced);
    EXPECT_EQ(r.passes.size(), 2u);
    EXPECT_EQ(test::ReadAll(other), otherBytes);
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(r.truncations, 0);
}
