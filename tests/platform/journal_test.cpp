#include "platform/binary_file.h"
#include "platform/journal.h"

#include "child.h"
#include "fakes.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

using namespace kalmira;
using namespace kalmira::platform;
using test::SteppedChild;
namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kMiB = 1 << 20;

// A carrier rewritten either in two regions known up front (the classic
// format) or in sparse batches of one-byte steps (the stealth format).
struct Scene {
    test::TempDir dir;
    std::string carrier = dir.file("bild.bmp");
    std::vector<std::uint8_t> oldBytes = test::RandomBytes(3 * kMiB + 512 * 1024, 1);
    std::vector<std::uint8_t> newBytes = oldBytes;
    std::vector<JournalRegion> regions;
    std::vector<ByteChange> sparse;
    bool batches = false;

    explicit Scene(bool sparseBatches = false) : batches(sparseBatches) {
        test::WriteAll(carrier, oldBytes);
        if (batches) {
            for (std::int64_t at = 7; at < std::int64_t(oldBytes.size()); at += 997) {
                ByteChange c{at, 1, {oldBytes[at]}, {static_cast<std::uint8_t>(oldBytes[at] + (at % 2 ? 1 : -1))}};
                if (at % 3 == 0) c = {at, 3, {oldBytes[at], oldBytes[at + 1], oldBytes[at + 2]}, {1, 2, 3}};
                for (int k = 0; k < c.length; ++k) newBytes[at + k] = c.after[k];
                sparse.push_back(c);
            }
            return;
        }
        auto fresh = test::RandomBytes(newBytes.size(), 2);
        for (auto [offset, length] :
             {std::pair<std::int64_t, std::int64_t>{4096, kMiB + 300000}, {3 * kMiB, 512 * 1024}}) {
            std::copy_n(fresh.begin() + offset, length, newBytes.begin() + offset);
            regions.push_back(
                {offset, length, [this](std::int64_t at, const std::uint8_t *, std::uint8_t *out, std::size_t n) {
                     std::copy_n(newBytes.begin() + at, n, out);
                 }});
        }
    }
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (auto &e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // The hide side through `path`: journal, write in blocks (each sparse
    // batch journaled before its bytes), flush, commit.
    int journaledWrite(SteppedChild *c, const std::string &path) {
        FileLock lock;
        if (LockAndRecover(path, FileLock::Kind::Exclusive, lock).result != RecoverResult::Nothing) return 10;
        CarrierJournal j(path);
        auto step = [c] {
            if (c) c->step();
        };
        if (j.begin(regions, [&](std::int64_t, std::int64_t) { step(); }) != JournalError::None) return 11;
        step();
        BinaryFile f;
        if (!f.open(path, BinaryFile::Mode::ReadWrite)) return 12;
        if (batches) {
            for (std::size_t i = 0; i < sparse.size(); i += 700) {
                const std::size_t n = std::min<std::size_t>(700, sparse.size() - i);
                if (j.append(std::span(sparse).subspan(i, n)) != JournalError::None) return 13;
                step();
                for (std::size_t k = i; k < i + n; ++k)
                    if (!f.writeAt(sparse[k].offset, sparse[k].after.data(), sparse[k].length)) return 13;
                step();
            }
        } else {
            for (std::size_t pos = 0; pos < newBytes.size(); pos += 256 * 1024) {
                std::size_t n = std::min<std::size_t>(256 * 1024, newBytes.size() - pos);
                if (!f.writeAt(pos, newBytes.data() + pos, n)) return 13;
                step();
            }
        }
        if (!f.flush()) return 14;
        step();
        if (!j.commit()) return 15;
        step();
        return 0;
    }
    // Runs the write in a child killed at step `killAt` (0: not at all).
    void killAt(int k, const std::string &path) {
        SteppedChild c([&](SteppedChild &self) { return journaledWrite(&self, path); });
        for (int i = 1; i < k; ++i) {
            ASSERT_TRUE(c.nextStep());
            c.go();
        }
        ASSERT_TRUE(c.nextStep());
        c.kill();
    }
};

Recovery recoverNow(const std::string &carrier) {
    FileLock lock;
    return LockAndRecover(carrier, FileLock::Kind::Exclusive, lock);
}

bool Contains(const std::vector<std::uint8_t> &hay, const std::uint8_t *needle, std::size_t n) {
    return std::search(hay.begin(), hay.end(), needle, needle + n) != hay.end();
}

} // namespace

TEST(Journal, KilledAtEveryStepLeavesOldOrNew) {
    for (bool batches : {false, true}) {
        int steps = 0;
        {
            Scene s(batches);
            SteppedChild c([&](SteppedChild &self) { return s.journaledWrite(&self, s.carrier); });
            while (c.nextStep()) {
                ++steps;
                c.go();
            }
            ASSERT_EQ(c.wait(), 0);
            EXPECT_EQ(test::ReadAll(s.carrier), s.newBytes);
        }
        ASSERT_GT(steps, 10);
        for (int k = 1; k <= steps; ++k) {
            SCOPED_TRACE((batches ? "batches, killed at step " : "regions, killed at step ") + std::to_string(k));
            Scene s(batches);
            s.killAt(k, s.carrier);
            const Recovery r = recoverNow(s.carrier);
            EXPECT_TRUE(r.result == RecoverResult::Nothing || r.result == RecoverResult::RolledBack);
            EXPECT_TRUE(test::ReadAll(s.carrier) == (k < steps ? s.oldBytes : s.newBytes));
            EXPECT_EQ(s.files(), std::vector<std::string>{"bild.bmp"});
            EXPECT_EQ(recoverNow(s.carrier).result, RecoverResult::Nothing);
        }
    }
}

TEST(Journal, ReaderNeverRollsBackARunningWriter) {
    Scene s;
    SteppedChild c([&](SteppedChild &self) { return s.journaledWrite(&self, s.carrier); });
    for (int k = 0; k < 6; ++k) {
        ASSERT_TRUE(c.nextStep());
        c.go();
    }
    ASSERT_TRUE(c.nextStep()); // half the carrier written, journal in place
    FileLock reader;
    EXPECT_EQ(LockAndRecover(s.carrier, FileLock::Kind::Shared, reader, std::chrono::milliseconds(100)).result,
              RecoverResult::Busy);
    EXPECT_FALSE(reader.held());
    c.go();
    EXPECT_EQ(c.finish(), 0);
    EXPECT_EQ(LockAndRecover(s.carrier, FileLock::Kind::Shared, reader).result, RecoverResult::Nothing);
    EXPECT_TRUE(reader.held());
    EXPECT_TRUE(test::ReadAll(s.carrier) == s.newBytes);
}

// Killed through one path, recovered through another: a symbolic link, a
// hard link beside it, and a hard link in another folder (the per-user index).
TEST(Journal, EveryPathToTheFileFindsItsJournal) {
    Scene s;
    fs::create_directory(s.dir.file("woanders"));
    fs::create_directory(s.dir.file("state"));
    ::setenv("XDG_STATE_HOME", s.dir.file("state").c_str(), 1);
    const std::string symlink = s.dir.file("verweis.bmp"), hard = s.dir.file("zweit.bmp"),
                      far = s.dir.file("woanders/dritt.bmp");
    fs::create_symlink(s.carrier, symlink);
    fs::create_hard_link(s.carrier, hard);
    fs::create_hard_link(s.carrier, far);
    const std::pair<std::string, std::string> runs[] = {
        {symlink, s.carrier}, {s.carrier, symlink}, {hard, s.carrier}, {s.carrier, far}, {far, hard}};
    for (const auto &[killedThrough, recoveredThrough] : runs) {
        SCOPED_TRACE(killedThrough + " then " + recoveredThrough);
        test::WriteAll(s.carrier, s.oldBytes);
        s.killAt(8, killedThrough);
        ASSERT_FALSE(test::ReadAll(s.carrier) == s.oldBytes);
        FileLock reader; // a reader (info, extract) recovers too
        EXPECT_EQ(LockAndRecover(recoveredThrough, FileLock::Kind::Shared, reader).result, RecoverResult::RolledBack);
        EXPECT_TRUE(test::ReadAll(s.carrier) == s.oldBytes);
    }
    EXPECT_EQ(s.files(), (std::vector<std::string>{"bild.bmp", "state", "verweis.bmp", "woanders", "zweit.bmp"}));
    EXPECT_EQ(fs::directory_iterator(s.dir.file("woanders"))->path().filename(), "dritt.bmp");
    ::unsetenv("XDG_STATE_HOME");
}

// After a kill the carrier is replaced: copied over (same inode), removed and
// copied (the inode is often reused), moved over. None is touched; the
// journal is set aside under a name that says what it is.
TEST(Journal, ReplacedCarrierStaysByteIdentical) {
    const auto other = test::RandomBytes(3 * kMiB + 512 * 1024, 9);
    for (int how = 0; how < 3; ++how) {
        SCOPED_TRACE("replaced by way " + std::to_string(how));
        Scene s(how == 1);
        s.killAt(8, s.carrier);
        const std::string journal = JournalPathFor(s.carrier);
        ASSERT_TRUE(fs::exists(journal));
        if (how == 0) {
            test::WriteAll(s.carrier, other);
        } else if (how == 1) {
            fs::remove(s.carrier);
            test::WriteAll(s.carrier, other);
        } else {
            test::WriteAll(s.dir.file("b.bmp"), other);
            fs::rename(s.dir.file("b.bmp"), s.carrier);
        }
        const Recovery r = recoverNow(s.carrier);
        EXPECT_TRUE(test::ReadAll(s.carrier) == other);
        if (JournalPathFor(s.carrier) == journal) { // same inode: the journal was found and refused
            EXPECT_EQ(r.result, RecoverResult::SetAside);
            EXPECT_EQ(r.why, Recovery::Why::OtherFile);
            EXPECT_EQ(r.setAside.rfind(s.dir.file("Sicherung-nicht-angewandt-"), 0), 0u) << r.setAside;
            EXPECT_TRUE(fs::exists(r.setAside));
            EXPECT_FALSE(fs::exists(journal));
        } else {
            EXPECT_EQ(r.result, RecoverResult::Nothing);
        }
        // A hide on the new file is not blocked by the old journal.
        EXPECT_EQ(CarrierJournal(s.carrier).begin(), JournalError::None);
    }
}

TEST(Journal, DamagedJournalIsSetAsideNeverApplied) {
    for (int damage = 0; damage < 2; ++damage) {
        Scene s;
        s.killAt(8, s.carrier);
        const auto halfWritten = test::ReadAll(s.carrier);
        const std::string journal = JournalPathFor(s.carrier);
        auto bytes = test::ReadAll(journal);
        if (damage == 0)
            bytes[bytes.size() / 2] ^= 1;
        else
            bytes.resize(bytes.size() - 100);
        test::WriteAll(journal, bytes);
        const Recovery r = recoverNow(s.carrier);
        EXPECT_EQ(r.result, RecoverResult::SetAside);
        EXPECT_EQ(r.why, Recovery::Why::Damaged);
        EXPECT_EQ(r.setAside.rfind(s.dir.file("Sicherung-unlesbar-"), 0), 0u) << r.setAside;
        EXPECT_TRUE(test::ReadAll(r.setAside) == bytes);
        EXPECT_TRUE(test::ReadAll(s.carrier) == halfWritten);
    }
}

// No trace: neither the name nor the content names the program or holds the
// carrier's bytes in the clear; a small sparse hide costs a small journal; the
// permissions come back with the bytes.
// A crash after the commit may bring the journal's name back: its key is
// zeros on the disk already, so the new content stands.
TEST(Journal, CommittedJournalWhoseNameSurvivesIsVoid) {
    Scene s;
    const std::string journal = JournalPathFor(s.carrier), kept = s.dir.file("kept");
    {
        CarrierJournal j(s.carrier);
        ASSERT_EQ(j.begin(s.regions), JournalError::None);
        fs::create_hard_link(journal, kept);
        test::WriteAll(s.carrier, s.newBytes);
        ASSERT_TRUE(j.commit());
    }
    ASSERT_FALSE(fs::exists(journal));
    fs::rename(kept, journal);
    EXPECT_EQ(recoverNow(s.carrier).result, RecoverResult::Nothing);
    EXPECT_TRUE(test::ReadAll(s.carrier) == s.newBytes);
    EXPECT_EQ(s.files(), std::vector<std::string>{"bild.bmp"});
}

TEST(Journal, HoldsOnlyWhatARollBackNeeds) {
    Scene s(true);
    ::chmod(s.carrier.c_str(), 0444);
    {
        CarrierJournal j(s.carrier);
        ASSERT_EQ(j.begin(), JournalError::None);
        ASSERT_EQ(j.append(std::span(s.sparse).first(100)), JournalError::None);
        EXPECT_LT(j.size(), 100 * 8 + 200);
        const std::string path = JournalPathFor(s.carrier);
        EXPECT_EQ(fs::path(path).filename().string().find("kalmira"), std::string::npos);
        const auto bytes = test::ReadAll(path);
        const std::string text(bytes.begin(), bytes.end());
        EXPECT_EQ(text.find("KALM"), std::string::npos);
        EXPECT_FALSE(Contains(bytes, s.oldBytes.data() + 4096, 8));
        ::chmod(s.carrier.c_str(), 0644);
        BinaryFile f;
        ASSERT_TRUE(f.open(s.carrier, BinaryFile::Mode::ReadWrite));
        for (std::size_t k = 0; k < 100; ++k)
            f.writeAt(s.sparse[k].offset, s.sparse[k].after.data(), s.sparse[k].length);
    } // dropped without commit: rolled back, bytes and permissions
    EXPECT_TRUE(test::ReadAll(s.carrier) == s.oldBytes);
    struct stat st {};
    ::stat(s.carrier.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_EQ(s.files(), std::vector<std::string>{"bild.bmp"});
}

TEST(Journal, FailedWriteRollsBackInProcessAndBadRegionsAreRefused) {
    Scene s;
    auto same = [](std::int64_t, const std::uint8_t *o, std::uint8_t *out, std::size_t n) { std::copy_n(o, n, out); };
    EXPECT_EQ(CarrierJournal(s.carrier).begin({{0, 4 * kMiB, same}}), JournalError::BadRegion);
    EXPECT_EQ(CarrierJournal(s.carrier).begin({{-1, 10, same}}), JournalError::BadRegion);
    EXPECT_EQ(CarrierJournal(s.dir.file("fehlt")).begin(s.regions), JournalError::CarrierUnreadable);
    {
        CarrierJournal j(s.carrier);
        ASSERT_EQ(j.begin(), JournalError::None);
        EXPECT_EQ(CarrierJournal(s.carrier).begin(), JournalError::JournalPresent);
        const ByteChange outside{4 * kMiB, 1, {}, {}};
        EXPECT_EQ(j.append(std::span(&outside, 1)), JournalError::BadRegion);
        EXPECT_TRUE(j.commit());
    }
    {
        CarrierJournal j(s.carrier);
        ASSERT_EQ(j.begin(s.regions), JournalError::None);
        test::WriteAll(s.carrier, s.newBytes);
        EXPECT_TRUE(j.rollback());
        EXPECT_TRUE(test::ReadAll(s.carrier) == s.oldBytes);
    }
    EXPECT_EQ(s.files(), std::vector<std::string>{"bild.bmp"});
}

// Writes beyond a file-size limit fail as on a full disk (EFBIG instead of
// ENOSPC): the carrier write and its roll-back fail, the next run rolls back.
// A journal that cannot be written is the hide engine's test.
TEST(Journal, WritesFailingPartWayLeaveTheOldCarrier) {
    Scene s;
    s.regions.resize(1);
    s.regions[0].offset = kMiB - 100000;
    s.regions[0].length = 200000;
    SteppedChild c([&](SteppedChild &) {
        ::signal(SIGXFSZ, SIG_IGN);
        CarrierJournal j(s.carrier);
        if (j.begin(s.regions) != JournalError::None) return 1;
        rlimit lim{static_cast<rlim_t>(kMiB), static_cast<rlim_t>(kMiB)};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        BinaryFile f;
        f.open(s.carrier, BinaryFile::Mode::ReadWrite);
        const JournalRegion &r = s.regions[0];
        if (f.writeAt(r.offset, s.newBytes.data() + r.offset, r.length)) return 2;
        return j.rollback() ? 3 : 0; // above the limit the roll-back fails too
    });
    EXPECT_EQ(c.wait(), 0);
    // The failed roll-back may still have put back what lay below the limit.
    const RecoverResult r = recoverNow(s.carrier).result;
    EXPECT_TRUE(r == RecoverResult::RolledBack || r == RecoverResult::Nothing);
    EXPECT_TRUE(test::ReadAll(s.carrier) == s.oldBytes);
    EXPECT_EQ(s.files(), std::vector<std::string>{"bild.bmp"});
}
