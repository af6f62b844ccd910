#include "platform/binary_file.h"
#include "platform/journal.h"

#include "child.h"
#include "fakes.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <filesystem>

using namespace kalmira;
using namespace kalmira::platform;
using test::SteppedChild;

namespace {

constexpr std::int64_t kMiB = 1 << 20;

// A carrier with two regions to rewrite: one contiguous range and the tail.
struct Scene {
    test::TempDir dir;
    std::string carrier = dir.file("bild.bmp");
    std::vector<std::uint8_t> oldBytes = test::RandomBytes(3 * kMiB + 512 * 1024, 1);
    std::vector<std::uint8_t> newBytes = oldBytes;
    std::vector<JournalRegion> regions{{4096, kMiB + 300000}, JournalRegion::From(3 * kMiB)};

    Scene() {
        test::WriteAll(carrier, oldBytes);
        auto fresh = test::RandomBytes(newBytes.size(), 2);
        for (auto r : regions) {
            std::int64_t len = r.length < 0 ? std::int64_t(newBytes.size()) - r.offset : r.length;
            std::copy_n(fresh.begin() + r.offset, len, newBytes.begin() + r.offset);
        }
    }
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (auto &e : std::filesystem::directory_iterator(dir.path()))
            names.push_back(e.path().filename().string());
        return names;
    }
    // The hide side: journal, write the new bytes in blocks, flush, commit.
    int journaledWrite(SteppedChild *c) {
        FileLock lock;
        if (LockAndRecover(carrier, FileLock::Kind::Exclusive, lock) != RecoverResult::Nothing)
            return 10;
        CarrierJournal j(carrier);
        auto step = [c] { if (c) c->step(); };
        if (j.begin(regions, [&](std::int64_t, std::int64_t) { step(); }) != JournalError::None)
            return 11;
        step();
        BinaryFile f;
        if (!f.open(carrier, BinaryFile::Mode::ReadWrite)) return 12;
        for (std::size_t pos = 0; pos < newBytes.size(); pos += 256 * 1024) {
            std::size_t n = std::min<std::size_t>(256 * 1024, newBytes.size() - pos);
            if (!f.writeAt(pos, newBytes.data() + pos, n)) return 13;
            step();
        }
        if (!f.flush()) return 14;
        step();
        if (!j.commit()) return 15;
        step();
        return 0;
    }
};

RecoverResult recoverNow(const std::string &carrier) {
    FileLock lock;
    return LockAndRecover(carrier, FileLock::Kind::Exclusive, lock);
}

} // namespace

TEST(Journal, KilledAtEveryStepLeavesOldOrNew) {
    int steps = 0;
    {
        Scene s;
        SteppedChild c([&](SteppedChild &self) { return s.journaledWrite(&self); });
        while (c.nextStep()) { ++steps; c.go(); }
        ASSERT_EQ(c.wait(), 0);
        EXPECT_EQ(test::ReadAll(s.carrier), s.newBytes);
    }
    ASSERT_GT(steps, 15);
    for (int killAt = 1; killAt <= steps; ++killAt) {
        SCOPED_TRACE("killed at step " + std::to_string(killAt));
        Scene s;
        SteppedChild c([&](SteppedChild &self) { return s.journaledWrite(&self); });
        for (int k = 1; k < killAt; ++k) { ASSERT_TRUE(c.nextStep()); c.go(); }
        ASSERT_TRUE(c.nextStep());
        c.kill();
        // Steps 1 to 3 fall inside the journal write, the last one after the commit.
        RecoverResult r = recoverNow(s.carrier);
        if (killAt <= 3) {
            EXPECT_EQ(r, RecoverResult::Nothing);
        } else if (killAt < steps) {
            EXPECT_EQ(r, RecoverResult::RolledBack);
        }
        EXPECT_TRUE(test::ReadAll(s.carrier) == (killAt < steps ? s.oldBytes : s.newBytes));
        EXPECT_EQ(s.files(), std::vector<std::string>{"bild.bmp"});
        EXPECT_EQ(recoverNow(s.carrier), RecoverResult::Nothing);
    }
}

TEST(Journal, ReaderNeverRollsBackARunningWriter) {
    Scene s;
    SteppedChild c([&](SteppedChild &self) { return s.journaledWrite(&self); });
    for (int k = 0; k < 6; ++k) { ASSERT_TRUE(c.nextStep()); c.go(); }
    ASSERT_TRUE(c.nextStep()); // half the carrier written, journal in place
    FileLock reader;
    EXPECT_EQ(LockAndRecover(s.carrier, FileLock::Kind::Shared, reader,
                             std::chrono::milliseconds(100)),
              RecoverResult::Busy);
    EXPECT_FALSE(reader.held());
    c.go();
    EXPECT_EQ(c.finish(), 0);
    EXPECT_EQ(LockAndRecover(s.carrier, FileLock::Kind::Shared, reader), RecoverResult::Nothing);
    EXPECT_TRUE(reader.held());
    EXPECT_TRUE(test::ReadAll(s.carrier) == s.newBytes);
}

TEST(Journal, DamagedJournalIsDiscardedAndForeignOneLeftAlone) {
    Scene s;
    const std::string journal = CarrierJournal::PathFor(s.carrier);
    EXPECT_EQ(journal, s.dir.file(".bild.bmp.kalmira-journal"));
    {
        CarrierJournal j(s.carrier);
        ASSERT_EQ(j.begin(s.regions), JournalError::None);
        std::filesystem::copy_file(journal, s.dir.file("saved"));
        test::WriteAll(s.carrier, s.newBytes);
        ASSERT_TRUE(j.commit());
    }
    auto saved = test::ReadAll(s.dir.file("saved"));
    std::filesystem::remove(s.dir.file("saved"));

    auto damaged = saved;
    damaged[damaged.size() / 2] ^= 1;
    auto truncated = saved;
    truncated.resize(saved.size() - 1);
    for (const auto &bad : {damaged, truncated}) {
        test::WriteAll(journal, bad);
        EXPECT_EQ(recoverNow(s.carrier), RecoverResult::DiscardedIncomplete);
        EXPECT_FALSE(std::filesystem::exists(journal));
        EXPECT_TRUE(test::ReadAll(s.carrier) == s.newBytes);
    }

    // Beside another file of the same size (another inode, other bytes).
    const std::string other = s.dir.file("andere.bmp");
    auto otherBytes = s.newBytes;
    otherBytes[0] ^= 1;
    test::WriteAll(other, otherBytes);
    test::WriteAll(CarrierJournal::PathFor(other), saved);
    EXPECT_EQ(recoverNow(other), RecoverResult::LeftAlone);
    EXPECT_TRUE(std::filesystem::exists(CarrierJournal::PathFor(other)));
    EXPECT_EQ(CarrierJournal(other).begin(s.regions), JournalError::JournalPresent);
    EXPECT_TRUE(test::ReadAll(other) == otherBytes);

    // The carrier under a new inode number, as FAT gives after a remount:
    // recognised by the bytes the write never touches.
    const std::string moved = s.dir.file("neu.bmp");
    std::filesystem::copy_file(s.carrier, moved);
    test::WriteAll(CarrierJournal::PathFor(moved), saved);
    EXPECT_EQ(recoverNow(moved), RecoverResult::RolledBack);
    EXPECT_TRUE(test::ReadAll(moved) == s.oldBytes);

    test::WriteAll(journal, saved);
    EXPECT_EQ(recoverNow(s.carrier), RecoverResult::RolledBack);
    EXPECT_TRUE(test::ReadAll(s.carrier) == s.oldBytes);
}

TEST(Journal, FailedWriteRollsBackInProcessAndBadRegionsAreRefused) {
    Scene s;
    EXPECT_EQ(CarrierJournal(s.carrier).begin({{0, 4 * kMiB}}), JournalError::BadRegion);
    EXPECT_EQ(CarrierJournal(s.carrier).begin({{-1, 10}}), JournalError::BadRegion);
    EXPECT_EQ(CarrierJournal(s.dir.file("fehlt")).begin(s.regions),
              JournalError::CarrierUnreadable);
    {
        CarrierJournal j(s.carrier);
        ASSERT_EQ(j.begin(s.regions), JournalError::None);
        test::WriteAll(s.carrier, s.newBytes);
        EXPECT_TRUE(j.rollback());
        EXPECT_TRUE(test::ReadAll(s.carrier) == s.oldBytes);
        ASSERT_EQ(j.begin(s.regions), JournalError::None);
        test::WriteAll(s.carrier, s.newBytes);
    } // dropped without commit: rolled back as well
    EXPECT_TRUE(test::ReadAll(s.carrier) == s.oldBytes);
    EXPECT_EQ(s.files(), std::vector<std::string>{"bild.bmp"});
}

// Writes beyond a file-size limit fail as on a full disk (EFBIG instead of
// ENOSPC): the carrier write and its roll-back fail, the next run rolls back.
// A journal that cannot be written is the hide engine's test.
TEST(Journal, WritesFailingPartWayLeaveTheOldCarrier) {
    Scene s;
    s.regions = {{kMiB - 100000, 200000}};
    SteppedChild c([&](SteppedChild &) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{static_cast<rlim_t>(kMiB), static_cast<rlim_t>(kMiB)};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        CarrierJournal j(s.carrier);
        if (j.begin(s.regions) != JournalError::None) return 1;
        BinaryFile f;
        f.open(s.carrier, BinaryFile::Mode::ReadWrite);
        const JournalRegion r = s.regions[0];
        if (f.writeAt(r.offset, s.newBytes.data() + r.offset, r.length)) return 2;
        return j.rollback() ? 3 : 0; // above the limit the roll-back fails too
    });
    EXPECT_EQ(c.wait(), 0);
    EXPECT_EQ(recoverNow(s.carrier), RecoverResult::RolledBack);
    EXPECT_TRUE(test::ReadAll(s.carrier) == s.oldBytes);
    EXPECT_EQ(s.files(), std::vector<std::string>{"bild.bmp"});
}
