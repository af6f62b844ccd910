// What a whole-file carrier refuses (nothing written, nothing left beside
// it), what carries over to the new file, and runs killed while the file is
// replaced: the old file or the new one, and the next run sweeps the rest.
#include "carrier/carrier_texts.h"
#include "carrier/flac_elements.h"
#include "carrier/png_elements.h"
#include "platform/file_lock.h"
#include "platform/temp_file.h"
#include "stealth/stealth_texts.h"

#include "whole_file_tools.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

using namespace kalmira;
using namespace kalmira::carrier;
using namespace kalmira::test;
using Problem = platform::FileRewrite::Problem;

namespace {

template <class Elements>
WholeFileProblem OpenProblem(const std::string &path, std::uint64_t limit = kWholeFileMemoryLimit) {
    Elements c(path, true, limit);
    return c.problem();
}

Bytes Damaged(const std::string &path, std::size_t at) {
    Bytes b = ReadAll(path);
    b[at] ^= 0x40;
    return b;
}

int killAt = 0;
void KillAtStep(int step) {
    if (step == killAt) ::raise(SIGKILL);
}

} // namespace

// Codec refusals through the element carrier, and the file-level ones: the
// file keeps its bytes and no staging file stays beside it.
TEST(WholeFileRefusal, NothingWrittenNothingLeft) {
    TempDir dir;
    const std::string png = CopyMade(dir, "ct2_8.png"), flac = CopyMade(dir, "cd.flac");
    const Bytes pngBytes = ReadAll(png), flacBytes = ReadAll(flac);
    struct Case {
        std::string name;
        WholeFileProblem problem, expected;
    };
    const std::string palette = dir.file("p.png"), cut = dir.file("cut.png"), crc = dir.file("crc.png"),
                      frame = dir.file("frame.flac");
    WriteAll(palette, ReadAll(CarrierData("im_palette.png")));
    WriteAll(cut, Bytes(pngBytes.begin(), pngBytes.end() - 300));
    WriteAll(crc, Damaged(png, 42)); // data of the chunk after IHDR
    WriteAll(frame, Damaged(flac, flacBytes.size() / 2));
    const std::string linked = dir.file("linked.png");
    WriteAll(linked, pngBytes);
    ASSERT_EQ(::link(linked.c_str(), dir.file("other-name.png").c_str()), 0);
    const std::vector<Case> cases = {
        {"palette", OpenProblem<PngElements>(palette), {CodecProblem::PalettePicture}},
        {"truncated", OpenProblem<PngElements>(cut), {CodecProblem::Truncated}},
        {"crc", OpenProblem<PngElements>(crc), {CodecProblem::ChecksumMismatch}},
        {"png over the limit", OpenProblem<PngElements>(png, 100'000), {CodecProblem::TooLarge}},
        {"flac frame", OpenProblem<FlacElements>(frame), {CodecProblem::ChecksumMismatch}},
        {"flac over the limit", OpenProblem<FlacElements>(flac, 200'000), {CodecProblem::TooLarge}},
        {"hard link", OpenProblem<PngElements>(linked), {CodecProblem::None, Problem::HardLinked}},
        {"folder", OpenProblem<PngElements>(dir.path()), {CodecProblem::None, Problem::NotRegular}},
        {"missing", OpenProblem<FlacElements>(dir.file("none.flac")), {CodecProblem::None, Problem::OpenFailed}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.problem.codec, c.expected.codec) << c.name;
        EXPECT_EQ(c.problem.file, c.expected.file) << c.name;
    }
    EXPECT_EQ(ReadAll(linked), pngBytes);
    EXPECT_EQ(ReadAll(png), pngBytes);
    EXPECT_EQ(ReadAll(flac), flacBytes);
    EXPECT_EQ(FilesIn(dir.path()), 8u); // the files made above, no staging file
}

// A hide that finds no room (a flat picture: every pixel wet) and a reader
// opened only to read never touch the file.
TEST(WholeFileRefusal, NoCommitNoChange) {
    TempDir dir;
    const std::string flat = CopyMade(dir, "flat.png");
    const Bytes before = ReadAll(flat);
    {
        PngElements c(flat, true);
        ASSERT_FALSE(c.problem());
        EXPECT_EQ(c.shape().elements(), 320u * 200u);
    }
    {
        PngElements c(flat, false);
        ASSERT_FALSE(c.problem());
        EXPECT_FALSE(c.commit());
    }
    EXPECT_EQ(ReadAll(flat), before);
    EXPECT_EQ(FilesIn(dir.path()), 1u);
}

// Owner, group and mode carry over (owner only where the process may give
// files away); a symbolic link stays a link and its target is replaced.
TEST(WholeFileRewrite, KeepsOwnerModeAndLinks) {
    TempDir dir;
    const std::string path = CopyMade(dir, "m24.flac");
    ::chmod(path.c_str(), 0604);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path.c_str(), 1234, 2345), 0);
    }
    const std::string link = dir.file("link.flac");
    ASSERT_EQ(::symlink("m24.flac", link.c_str()), 0);
    {
        FlacElements c(link, true);
        ASSERT_FALSE(c.problem());
        HideInto(c);
    }
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    if (root) {
        EXPECT_EQ(st.st_uid, 1234u);
        EXPECT_EQ(st.st_gid, 2345u);
    }
    FlacElements readBack(path, false);
    EXPECT_FALSE(readBack.problem());
    EXPECT_EQ(FilesIn(dir.path()), 2u);
}

// A run killed after the staging file is flushed leaves the old file (and a
// leftover the next run sweeps); killed after the rename, the new one. Kills
// at random moments of whole runs leave one of the two as well.
TEST(WholeFileRewrite, KilledRunLeavesOldOrNew) {
    TempDir dir;
    const std::string path = CopyMade(dir, "ct6_8.png");
    const Bytes original = ReadAll(path);
    auto run = [&](int step, std::chrono::microseconds delay) {
        WriteAll(path, original);
        const pid_t pid = ::fork();
        if (pid == 0) {
            killAt = step;
            platform::FileRewrite::stepHook = KillAtStep;
            PngElements c(path, true);
            HideInto(c);
            ::_exit(0);
        }
        if (delay.count() > 0) {
            std::this_thread::sleep_for(delay);
            ::kill(pid, SIGKILL);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFSIGNALED(status);
    };
    auto isNew = [&] {
        PngElements c(path, false);
        return !c.problem() && ReadAll(path) != original && ExtractFrom(c).size() > 0;
    };
    for (int step : {1, 2, 3}) {
        ASSERT_TRUE(run(step, {})) << step;
        EXPECT_EQ(ReadAll(path) == original, step == 1) << step;
        EXPECT_TRUE(step == 1 || isNew()) << step;
        EXPECT_EQ(FilesIn(dir.path()), step == 1 ? 2u : 1u) << step;
        EXPECT_EQ(platform::StagedFile::RemoveLeftovers(dir.path()), step == 1 ? 1 : 0);
        EXPECT_EQ(FilesIn(dir.path()), 1u);
    }
    const auto start = std::chrono::steady_clock::now();
    ASSERT_FALSE(run(0, {}));
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    for (int i = 1; i <= 8; ++i) {
        run(0, whole * i / 9);
        EXPECT_TRUE(ReadAll(path) == original || isNew()) << i;
        platform::StagedFile::RemoveLeftovers(dir.path());
        EXPECT_EQ(FilesIn(dir.path()), 1u);
    }
}

// A run waiting for the lock while another replaces the file whole gets the
// lock of the new file, not of the old one it opened first.
TEST(WholeFileRewrite, WaitingLockFollowsTheReplacement) {
    TempDir dir;
    const std::string path = dir.file("c.png"), next = dir.file("next.png");
    WriteAll(path, std::string("old"));
    WriteAll(next, std::string("new"));
    platform::FileLock writer;
    ASSERT_EQ(writer.acquire(path, platform::FileLock::Kind::Exclusive), platform::FileLock::Result::Locked);
    std::thread replace([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ::rename(next.c_str(), path.c_str());
        writer.release();
    });
    platform::FileLock reader;
    EXPECT_EQ(reader.acquire(path, platform::FileLock::Kind::Shared), platform::FileLock::Result::Locked);
    replace.join();
    platform::FileLock other;
    EXPECT_EQ(other.acquire(path, platform::FileLock::Kind::Exclusive, std::chrono::milliseconds(0)),
              platform::FileLock::Result::Busy);
}

// `info` and the stealth format's refusals word damage and size alike.
TEST(WholeFileRefusal, WordsOfInfoAndStealthFormat) {
    EXPECT_EQ(CodecProblemText(CodecProblem::Truncated, "a.flac"),
              "Die Containerdatei \"a.flac\" ist beschädigt oder unvollständig (sie endet vorzeitig). Es wurde "
              "nichts verändert.");
    EXPECT_EQ(CodecProblemText(CodecProblem::TooLarge, "b.png"),
              "Die Containerdatei \"b.png\" ist zu gross: Entpackt bräuchte sie mehr als " +
                  std::to_string(kWholeFileMemoryLimit >> 30) + " GiB Arbeitsspeicher. Es wurde nichts verändert.");
    EXPECT_EQ(stealth::UnsuitableText(Unsuitable::Malformed), "Die Datei ist beschädigt oder unvollständig.");
    EXPECT_EQ(stealth::UnsuitableText(Unsuitable::TooLarge), "Die Datei ist zu gross: Entpackt bräuchte sie mehr als " +
                                                                 std::to_string(kWholeFileMemoryLimit >> 30) +
                                                                 " GiB Arbeitsspeicher.");
}
