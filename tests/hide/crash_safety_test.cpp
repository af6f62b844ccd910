// Old or new, never neither: hides killed at every point, failing writes,
// locks between processes (the tool's tests refuse links and pipes).
#include "carrier/carrier_texts.h"
#include "hide/hide_engine.h"

#include "carriers.h"
#include "child.h"
#include "platform/journal.h"
#include "platform/platform.h"
#include "run_fakes.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <utime.h>

#include <csignal>
#include <filesystem>

using namespace kalmira;
using namespace kalmira::test;
using carrier::CarrierAccess;
using extract::ExtractOutcome;
using hide::HideOutcome;

namespace {

// Every point a run reports to its window becomes a step the test can kill at.
struct SteppingView : FakeHideProgress {
    explicit SteppingView(SteppedChild &c) : child(c) {}
    void processEvents() override { child.step(); }
    void pause(double) override { child.step(); }
    SteppedChild &child;
};

// A carrier holding an old payload, and what it holds after the new one.
struct Scene {
    TempDir dir, work;
    std::string carrier = dir.file("bild.bmp");
    std::string backup = dir.file("bild-Kopie.bmp");
    std::vector<std::uint8_t> oldPlain = RandomBytes(3000, 1), newPlain = RandomBytes(40000, 2);
    std::vector<std::uint8_t> newData = Compressed(work, newPlain);
    std::vector<std::uint8_t> oldCarrier, newCarrier;
    FakePasswords passwords;

    Scene() {
        WriteAll(carrier, MakeBmp(500, 300));
        FakeHideProgress v;
        EXPECT_EQ(hide(v, Compressed(work, oldPlain), false).outcome, HideOutcome::Written);
        oldCarrier = ReadAll(carrier);
        EXPECT_EQ(hide(v, newData, false).outcome, HideOutcome::Written);
        newCarrier = ReadAll(carrier);
        WriteAll(carrier, oldCarrier);
    }
    hide::HideResult hide(FakeHideProgress &v, const std::vector<std::uint8_t> &data, bool withBackup) {
        hide::HideEngine engine(KeepBackups());
        engine.setLeadByteForTesting(7);
        hide::FileHideInput in;
        in.carrierPath = carrier;
        in.sourcePath = "geheim.bin";
        in.nameField = *payload::NameField("geheim.bin");
        in.backup = withBackup;
        in.backupPath = backup;
        return HideAsWindow(engine, v, passwords, in, data);
    }
    extract::FileExtractResult extract() {
        extract::ExtractEngine engine;
        FakeExtractView v;
        v.destination = work.file("out");
        return ExtractAsWindow(engine, v, passwords, carrier);
    }
    std::vector<std::string> leftovers() const {
        std::vector<std::string> names;
        for (auto &e : std::filesystem::directory_iterator(dir.path()))
            if (e.path().filename().string().rfind(".~", 0) == 0) names.push_back(e.path().string());
        return names;
    }
};

} // namespace

TEST(CrashSafety, KilledAtEveryPointLeavesOldOrNew) {
    Scene s;
    int olds = 0, news = 0, points = 0;
    for (int k = 0;; ++k) {
        WriteAll(s.carrier, s.oldCarrier);
        std::filesystem::remove(s.backup);
        SteppedChild c([&](SteppedChild &self) {
            SteppingView v(self);
            return s.hide(v, s.newData, true).outcome == HideOutcome::Written ? 0 : 1;
        });
        bool ended = false;
        for (int step = 0;; ++step) {
            if (!c.nextStep()) {
                ended = true;
                break;
            }
            if (step == k) {
                c.kill();
                break;
            }
            c.go();
        }
        if (ended) {
            EXPECT_EQ(c.wait(), 0);
            break;
        }
        ++points; // killed at step k: early, in the backup, the journal, the data blocks, the flush, the end
        const auto r = s.extract();
        ASSERT_EQ(r.outcome, ExtractOutcome::Extracted) << "step " << k;
        const auto out = ReadAll(s.work.file("out"));
        const auto now = ReadAll(s.carrier);
        ASSERT_TRUE(out == s.oldPlain || out == s.newPlain) << "step " << k;
        ASSERT_TRUE(now == (out == s.oldPlain ? s.oldCarrier : s.newCarrier)) << "step " << k;
        (out == s.oldPlain ? olds : news)++;
        if (std::filesystem::exists(s.backup)) {
            ASSERT_TRUE(ReadAll(s.backup) == s.oldCarrier) << "step " << k; // never a part copy
        }
    }
    RecordProperty("points", points);
    RecordProperty("old", olds);
    EXPECT_GT(points, 10);
    EXPECT_GT(olds, 0);
    EXPECT_GT(news, 0);

    // Staged backups and unfinished journals of killed runs go with the next
    // run, an extraction too. Later kills of the sweep may already have
    // cleared older ones, so one is planted as a killed run leaves it.
    WriteAll(s.dir.file(".~k1Ll3dAbCd.part"), std::vector<std::uint8_t>{1, 2, 3});
    ASSERT_GE(s.leftovers().size(), 1u);
    WriteAll(s.carrier, s.oldCarrier);
    EXPECT_EQ(s.extract().outcome, ExtractOutcome::Extracted);
    EXPECT_TRUE(s.leftovers().empty());
}

// A read-only carrier killed mid-write is read-only again after the roll-back;
// its backup copy is never readable by more users than the carrier.
TEST(CrashSafety, PermissionsComeBackWithTheBytes) {
    Scene s;
    ::chmod(s.carrier.c_str(), 0400);
    SteppedChild c([&](SteppedChild &self) {
        SteppingView v(self);
        return s.hide(v, s.newData, true).outcome == HideOutcome::Written ? 0 : 1;
    });
    for (int after = 0; after < 3;) { // three steps past the backup: in the data blocks
        ASSERT_TRUE(c.nextStep());
        if (std::filesystem::exists(s.backup)) ++after;
        if (after < 3) c.go();
    }
    c.kill();
    struct stat st {};
    ASSERT_EQ(::stat(s.backup.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u); // group and others: as the carrier
    EXPECT_EQ(s.extract().recovered.kind, carrier::Recovered::Kind::RolledBack);
    EXPECT_TRUE(ReadAll(s.carrier) == s.oldCarrier);
    ASSERT_EQ(::stat(s.carrier.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0400u);
}

TEST(CrashSafety, FailingWriteIsRolledBackNowOrByTheNextRun) {
    Scene s;
    std::signal(SIGXFSZ, SIG_IGN);
    // The journal itself cannot be written: nothing changes.
    {
        rlimit old{}, low{};
        getrlimit(RLIMIT_FSIZE, &old);
        low = old;
        low.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &low);
        FakeHideProgress v;
        const auto r = s.hide(v, s.newData, false);
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(r.outcome, HideOutcome::WriteFailed);
        EXPECT_TRUE(r.carrierIntact);
        const std::string text = hide::HideNotice(r)->text;
        EXPECT_NE(text.find("unverändert"), std::string::npos);
        EXPECT_EQ(text.find("beschädigt"), std::string::npos);
        EXPECT_TRUE(ReadAll(s.carrier) == s.oldCarrier);
        EXPECT_FALSE(v.sawCaption("FERTIG"));
        EXPECT_TRUE(v.pauses.empty());
    }
    // Writes fail after the first carrier bytes changed, and so does the
    // roll-back: the next run puts the old bytes back and says so.
    SteppedChild c([&](SteppedChild &) {
        struct FailingView : FakeHideProgress {
            void processEvents() override {
                if (++events != 2) return; // the first data block comes next
                rlimit low{1000, RLIM_INFINITY};
                setrlimit(RLIMIT_FSIZE, &low);
            }
        } v;
        const auto r = s.hide(v, s.newData, false);
        return r.outcome == HideOutcome::WriteFailed && !r.carrierIntact ? 0 : 1;
    });
    ASSERT_EQ(c.wait(), 0);
    EXPECT_TRUE(std::filesystem::exists(platform::JournalPathFor(s.carrier)));
    const auto r = s.extract();
    EXPECT_EQ(r.recovered.kind, carrier::Recovered::Kind::RolledBack);
    EXPECT_EQ(r.outcome, ExtractOutcome::Extracted);
    EXPECT_TRUE(ReadAll(s.carrier) == s.oldCarrier);
    EXPECT_NE(carrier::RecoveredText(r.recovered, s.carrier).find("rückgängig gemacht"), std::string::npos);
    EXPECT_FALSE(s.extract().recovered); // said once
}

TEST(CrashSafety, RunsOfTwoProcessesExcludeEachOther) {
    Scene s;
    // A hide in another process, stopped in its backup, holds the carrier.
    SteppedChild hider([&](SteppedChild &self) {
        SteppingView v(self);
        return s.hide(v, s.newData, true).outcome == HideOutcome::Written ? 0 : 1;
    });
    ASSERT_TRUE(hider.nextStep());
    const auto e = s.extract();
    EXPECT_EQ(e.outcome, ExtractOutcome::NoAccess);
    EXPECT_EQ(e.access, CarrierAccess::Busy);
    EXPECT_TRUE(ReadAll(s.carrier) == s.oldCarrier);
    hider.go();
    EXPECT_EQ(hider.finish(), 0);
    EXPECT_TRUE(ReadAll(s.carrier) == s.newCarrier);
}

// A read-only mount (a private mount namespace; needs root).
TEST(CrashSafety, CarrierOnAReadOnlyMountIsNotWritableNotDamaged) {
    TempDir mountPoint;
    SteppedChild c([&](SteppedChild &) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", mountPoint.path().c_str(), "tmpfs", 0, "size=4m") != 0)
            return 77;
        const std::string carrier = mountPoint.file("bild.bmp");
        WriteAll(carrier, MakeBmp(100, 100));
        if (::mount(nullptr, mountPoint.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) return 77;
        FakePasswords passwords;
        hide::HideEngine engine(KeepBackups());
        hide::FileHideInput in;
        in.carrierPath = carrier;
        in.sourcePath = "x";
        in.nameField = *payload::NameField("x");
        FakeHideProgress v;
        const auto r = HideAsWindow(engine, v, passwords, in, std::vector<std::uint8_t>(100, 1));
        const std::string text = hide::HideNotice(r)->text;
        return r.access == CarrierAccess::NotWritable &&
                       text.find("kann nicht geschrieben werden") != std::string::npos &&
                       text.find("beschädigt") == std::string::npos
                   ? 0
                   : 1;
    });
    const int code = c.wait();
    if (code == 77) GTEST_SKIP() << "cannot mount here";
    EXPECT_EQ(code, 0);
}
