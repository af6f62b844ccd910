// The lock and the journal around stealth runs: a busy carrier is left alone,
// and a hide that dies while writing is undone before the next run reads.
#include "fakes.h"
#include "platform/file_lock.h"
#include "platform/journal.h"
#include "stealth/guarded.h"
#include "stealth/stealth_texts.h"
#include "stealth_carriers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <unistd.h>

using namespace kalmira;
using namespace kalmira::stealth;
using namespace kalmira::test;

namespace {

const std::string kPassword = "Sesam";

struct Guarded : ::testing::Test {
    TempDir dir;
    std::string carrier = dir.file("c.bmp");
    std::vector<std::uint8_t> original = StealthBmp(256, 640, 24).bytes;
    std::vector<std::uint8_t> data = RandomBytes(3000, 2);
    void SetUp() override { WriteAll(carrier, original); }
    // Three windows of 64 Ki pixels: the carrier is written three times.
    static Tuning2 Windowed() {
        Tuning2 t = FastKdf();
        t.windowElements = 65536;
        return t;
    }
    HideResult hide(Safety &safety, const Progress &progress = {}, Tuning2 tuning = FastKdf()) {
        HideSource src;
        src.bytes = data;
        return GuardedHide(carrier, kPassword, Kind::File, "a.bin", src, safety, progress, tuning);
    }
};

// Round trips through the guard run in stealth_test.
TEST_F(Guarded, ABusyCarrierIsLeftAlone) {
    platform::FileLock other;
    ASSERT_EQ(other.acquire(carrier, platform::FileLock::Kind::Shared), platform::FileLock::Result::Locked);
    Safety busy;
    hide(busy);
    EXPECT_EQ(busy.problem, Safety::Problem::NoAccess);
    EXPECT_EQ(busy.access, carrier::CarrierAccess::Busy);
    EXPECT_EQ(ReadAll(carrier), original);
    ASSERT_TRUE(SafetyWording(busy, "c.bmp"));
    EXPECT_NE(SafetyWording(busy, "c.bmp")->text.find("anderen Kalmira-Vorgang"), std::string::npos);
}

// The tool's two steps: the fit is known before the password, the carrier
// stays locked in between, and the write is the guarded one.
TEST_F(Guarded, APreparedHideHoldsTheCarrierFromItsSurveyToItsWrite) {
    const CapacityResult expected = Capacity(carrier);
    HideSource src;
    src.bytes = data;
    {
        PreparedStealthHide prepared(carrier, FastKdf());
        ASSERT_EQ(prepared.safety().problem, Safety::Problem::None);
        EXPECT_EQ(prepared.capacity().outcome, CapacityResult::Outcome::Ok);
        EXPECT_EQ(prepared.capacity().largestPayload, expected.largestPayload);
        EXPECT_EQ(prepared.capacity().recommendedPayload, expected.recommendedPayload);
        Safety other;
        hide(other);
        EXPECT_EQ(other.access, carrier::CarrierAccess::Busy);
        ASSERT_EQ(prepared.run(kPassword, Kind::File, "a.bin", src).outcome, HideResult::Outcome::Written);
        EXPECT_GT(prepared.safety().journalBytes, 0);
        EXPECT_EQ(prepared.run(kPassword, Kind::File, "a.bin", src).outcome, HideResult::Outcome::IoError);
    }
    EXPECT_FALSE(std::filesystem::exists(platform::JournalPathFor(carrier)));
    Safety safety;
    MemorySink sink(1 << 20);
    ASSERT_EQ(GuardedExtract(carrier, kPassword, sink, safety, {}, FastKdf()).outcome,
              ExtractResult::Outcome::Extracted);
    EXPECT_EQ(sink.data(), data);

    // Held by another run: nothing surveyed, nothing written.
    const auto written = ReadAll(carrier);
    platform::FileLock lock;
    ASSERT_EQ(lock.acquire(carrier, platform::FileLock::Kind::Shared), platform::FileLock::Result::Locked);
    PreparedStealthHide busy(carrier, FastKdf());
    EXPECT_EQ(busy.safety().access, carrier::CarrierAccess::Busy);
    EXPECT_NE(busy.capacity().outcome, CapacityResult::Outcome::Ok);
    EXPECT_EQ(busy.run(kPassword, Kind::File, "a.bin", src).outcome, HideResult::Outcome::IoError);
    EXPECT_EQ(ReadAll(carrier), written);

    // Not a carrier of the format: refused as Capacity refuses it.
    auto palette = original;
    palette[28] = 8;
    WriteAll(dir.file("p.bmp"), palette);
    PreparedStealthHide unsuitable(dir.file("p.bmp"), FastKdf());
    EXPECT_EQ(unsuitable.capacity().outcome, CapacityResult::Outcome::CarrierUnsuitable);
    EXPECT_EQ(unsuitable.capacity().reason, Capacity(dir.file("p.bmp")).reason);
}

TEST_F(Guarded, AHideThatDiesWhileWritingIsUndoneBeforeTheNextRun) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Die after the first window is written, while the second is read.
        Safety safety;
        hide(
            safety,
            [](double f) {
                if (f > 0.6) _exit(0);
                return true;
            },
            Windowed());
        _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child did not die while writing";
    ASSERT_NE(ReadAll(carrier), original);
    ASSERT_TRUE(std::filesystem::exists(platform::JournalPathFor(carrier)));

    Safety safety;
    MemorySink sink(1 << 20);
    EXPECT_EQ(GuardedExtract(carrier, kPassword, sink, safety, {}, Windowed()).outcome,
              ExtractResult::Outcome::NoDataOrWrongPassword);
    EXPECT_TRUE(safety.recovered);
    EXPECT_TRUE(SafetyNote(safety, "c.bmp"));
    EXPECT_EQ(ReadAll(carrier), original);
}

// The kill sweep of the classic format, for the stealth write: killed at
// points spread over a whole run, or with writes failing from a point on
// (a file-size limit), the next run finds the old carrier or the new payload.
TEST_F(Guarded, KilledOrFailingAnywhereLeavesOldOrNew) {
    // One thread: only the calling thread reports progress, so with helpers
    // the number of points would follow the scheduler.
    Tuning2 tuning = Windowed();
    tuning.threads = 1;
    int points = 0;
    {
        Safety safety;
        ASSERT_EQ(hide(
                      safety, [&](double) { return ++points > 0; }, tuning)
                      .outcome,
                  HideResult::Outcome::Written);
        WriteAll(carrier, original);
    }
    ASSERT_GT(points, 15);
    int olds = 0, news = 0;
    for (int k = 1; k <= points; k += std::max(1, points / 12)) {
        for (bool failWrites : {false, true}) {
            SCOPED_TRACE(std::to_string(k) + (failWrites ? ": writes fail" : ": killed"));
            WriteAll(carrier, original);
            const pid_t child = fork();
            if (child == 0) {
                signal(SIGXFSZ, SIG_IGN);
                Safety safety;
                int seen = 0;
                hide(
                    safety,
                    [&](double) {
                        if (++seen != k) return true;
                        if (!failWrites) _exit(0);
                        const rlimit low{100, RLIM_INFINITY}; // every carrier write fails from here on
                        setrlimit(RLIMIT_FSIZE, &low);
                        return true;
                    },
                    tuning);
                _exit(0);
            }
            int status = 0;
            waitpid(child, &status, 0);
            Safety safety;
            MemorySink sink(1 << 20);
            const ExtractResult r = GuardedExtract(carrier, kPassword, sink, safety, {}, tuning);
            if (r.outcome == ExtractResult::Outcome::Extracted) {
                EXPECT_EQ(sink.data(), data);
                ++news;
            } else {
                EXPECT_EQ(ReadAll(carrier), original);
                ++olds;
            }
            for (const auto &e : std::filesystem::directory_iterator(dir.path()))
                EXPECT_NE(e.path().filename().string().rfind(".~", 0), 0u) << e.path();
        }
    }
    EXPECT_GT(olds, 0);
}

} // namespace
