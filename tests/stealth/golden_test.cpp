// A carrier written once with the real key-derivation cost pins the format:
// the slot order, the segments, the stream layout and the key derivation.
#include "fakes.h"
#include "stealth/stealth.h"
#include "stealth/stealth_texts.h"
#include "stealth_carriers.h"

#include <gtest/gtest.h>

using namespace kalmira;
using namespace kalmira::stealth;
using namespace kalmira::test;

namespace {

const std::string kGolden = std::string(KALMIRA_TEST_DATA) + "/stealth/golden.bmp";
const std::string kPassword = "Tarnkappe\xE4"; // Windows-1252
const std::string kMessage = "Tarnformat: Pr\xC3\xBC" "fnachricht f\xC3\xBCr den goldenen Tr\xC3\xA4ger.";

TEST(StealthGolden, OpensWithTheRealCostAndOnlyWithItsPassword) {
    MemorySink sink(1024);
    const ExtractResult r = Extract(kGolden, kPassword, sink);
    ASSERT_EQ(r.outcome, ExtractResult::Outcome::Extracted);
    EXPECT_EQ(r.facts.kind, Kind::Message);
    EXPECT_EQ(r.facts.storedName, "gold.txt");
    EXPECT_EQ(std::string(sink.data().begin(), sink.data().end()), kMessage);

    MemorySink other(1024);
    const ExtractResult wrong = Extract(kGolden, "Tarnkappe", other);
    EXPECT_EQ(wrong.outcome, ExtractResult::Outcome::NoDataOrWrongPassword);
    EXPECT_NE(ExtractWording(wrong, "golden.bmp").text.find("Passwort"), std::string::npos);
}

// Run by hand (--gtest_also_run_disabled_tests) only when the format changes
// on purpose, with a new version number.
TEST(StealthGolden, DISABLED_WriteGoldenCarrier) {
    WriteAll(kGolden, StealthBmp(48, 32, 24, 40, false, 2026).bytes);
    const std::vector<std::uint8_t> text(kMessage.begin(), kMessage.end());
    const HideResult h = Hide(kGolden, kPassword, Kind::Message, "gold.txt", {"", text});
    ASSERT_EQ(h.outcome, HideResult::Outcome::Written);
    std::printf("k = %d, %llu bytes changed\n", h.hammingK, static_cast<unsigned long long>(h.changedBytes));
}

} // namespace
