// The lock and the journal around stealth runs: a busy carrier is left alone,
// and a hide that dies while writing is undone before the next run reads.
#include "fakes.h"
#include "platform/file_lock.h"
#include "platform/journal.h"
#include "stealth/guarded.h"
#include "stealth_carriers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

using namespace kalmira;
using namespace kalmira::stealth;
using namespace kalmira::test;

namespace {

const std::string kPassword = "Sesam";

struct Guarded : ::testing::Test {
    TempDir dir;
    std::string carrier = dir.file("c.bmp");
    std::vector<std::uint8_t> original = StealthBmp(200, 100, 24).bytes;
    std::vector<std::uint8_t> data = RandomBytes(3000, 2);
    void SetUp() override { WriteAll(carrier, original); }
    HideResult hide(Safety &safety, const Progress &progress = {}) {
        HideSource src;
        src.bytes = data;
        return GuardedHide(carrier, kPassword, Kind::File, "a.bin", src, safety, progress, FastKdf());
    }
};

TEST_F(Guarded, RoundTripLeavesNoJournalAndABusyCarrierIsLeftAlone) {
    Safety safety;
    ASSERT_EQ(hide(safety).outcome, HideResult::Outcome::Written);
    EXPECT_FALSE(std::filesystem::exists(platform::CarrierJournal::PathFor(carrier)));
    MemorySink sink(1 << 20);
    ASSERT_EQ(GuardedExtract(carrier, kPassword, sink, safety, {}, FastKdf()).outcome,
              ExtractResult::Outcome::Extracted);
    EXPECT_EQ(sink.data(), data);

    const auto written = ReadAll(carrier);
    platform::FileLock other;
    ASSERT_EQ(other.acquire(carrier, platform::FileLock::Kind::Shared), platform::FileLock::Result::Locked);
    Safety busy;
    hide(busy);
    EXPECT_EQ(busy.problem, Safety::Problem::NoAccess);
    EXPECT_EQ(busy.access, carrier::CarrierAccess::Busy);
    EXPECT_EQ(ReadAll(carrier), written);
    ASSERT_TRUE(SafetyWording(busy, "c.bmp"));
    EXPECT_NE(SafetyWording(busy, "c.bmp")->text.find("anderen Kalmira-Vorgang"), std::string::npos);
}

TEST_F(Guarded, AHideThatDiesWhileWritingIsUndoneBeforeTheNextRun) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Past the read pass the rewrite pass reports after writing: die there.
        Safety safety;
        hide(safety, [](double f) {
            if (f > 0.95) _exit(0);
            return true;
        });
        _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child did not die while writing";
    ASSERT_NE(ReadAll(carrier), original);
    ASSERT_TRUE(std::filesystem::exists(platform::CarrierJournal::PathFor(carrier)));

    Safety safety;
    MemorySink sink(1 << 20);
    EXPECT_EQ(GuardedExtract(carrier, kPassword, sink, safety, {}, FastKdf()).outcome,
              ExtractResult::Outcome::NoDataOrWrongPassword);
    EXPECT_TRUE(safety.recovered);
    EXPECT_TRUE(SafetyNote(safety, "c.bmp"));
    EXPECT_EQ(ReadAll(carrier), original);
}

} // namespace
