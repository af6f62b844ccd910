// Carriers written once with the real key-derivation cost pin the format:
// version 1's slot order, segments and stream (it must stay readable), and
// version 2's orders, code blocks, stream and key derivation, in a picture
// and in a sound.
#include "fakes.h"
#include "stealth/guarded.h"
#include "stealth/stealth_texts.h"
#include "stealth_carriers.h"

#include <gtest/gtest.h>

using namespace kalmira;
using namespace kalmira::stealth;
using namespace kalmira::test;

namespace {

const std::string kData = std::string(KALMIRA_TEST_DATA) + "/stealth/";
const std::string kPassword = "Tarnkappe\xE4"; // Windows-1252
const std::string kMessage = "Tarnformat: Pr\xC3\xBC"
                             "fnachricht f\xC3\xBCr den goldenen Tr\xC3\xA4ger.";

// The covers the golden carriers were made from.
TestCarrier Cover(const std::string &name) {
    if (name == "golden.bmp") return StealthBmp(48, 32, 24, 40, false, 2026);
    if (name == "golden2.bmp") return StealthBmp(256, 170, 24, 40, false, 2027);
    return StealthWav(24000, 2, 16, false, 2028);
}

ExtractResult Open(const std::string &name, const std::string &password, MemorySink &sink) {
    Safety safety;
    return GuardedExtract(kData + name, password, sink, safety);
}

TEST(StealthGolden, EachVersionOpensWithTheRealCostAndOnlyWithItsPassword) {
    for (const char *name : {"golden.bmp", "golden2.bmp", "golden2.wav"}) {
        SCOPED_TRACE(name);
        MemorySink sink(1024);
        const ExtractResult r = Open(name, kPassword, sink);
        ASSERT_EQ(r.outcome, ExtractResult::Outcome::Extracted);
        EXPECT_EQ(r.facts.kind, Kind::Message);
        EXPECT_EQ(r.facts.storedName, "gold.txt");
        EXPECT_EQ(std::string(sink.data().begin(), sink.data().end()), kMessage);

        MemorySink other(1024);
        const ExtractResult wrong = Open(name, "Tarnkappe", other);
        EXPECT_EQ(wrong.outcome, ExtractResult::Outcome::NoDataOrWrongPassword);
        EXPECT_NE(ExtractWording(wrong, name).text.find("Passwort"), std::string::npos);
    }
}

// The version-1 carrier is too small for version 2, and still counts as one
// that may hold data (the extract windows try the format only then).
TEST(StealthGolden, ASmallOlderCarrierMayStillHoldData) {
    EXPECT_EQ(Capacity(kData + "golden.bmp").largestPayload, 0u);
    EXPECT_TRUE(MayHoldData(kData + "golden.bmp"));
    EXPECT_TRUE(MayHoldData(kData + "golden2.wav"));
}

// A version-1 carrier with one changed sample byte: damage or no data,
// never wrong data.
TEST(StealthGolden, VersionOneDamageIsCaught) {
    TempDir dir;
    const auto golden = ReadAll(kData + "golden.bmp"), cover = Cover("golden.bmp").bytes;
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < golden.size(); ++i)
        if (golden[i] != cover[i]) changed.push_back(i);
    ASSERT_GT(changed.size(), 100u);
    for (std::size_t trial = 0; trial < 4; ++trial) {
        auto bad = golden;
        bad[changed[changed.size() / 3 + trial * changed.size() / 5]] ^= 1;
        WriteAll(dir.file("g.bmp"), bad);
        MemorySink sink(1024);
        Safety safety;
        const auto r = GuardedExtract(dir.file("g.bmp"), kPassword, sink, safety).outcome;
        EXPECT_TRUE(r == ExtractResult::Outcome::Damaged || r == ExtractResult::Outcome::NoDataOrWrongPassword);
        EXPECT_TRUE(sink.data().empty());
    }
}

// Run by hand (--gtest_also_run_disabled_tests) only when version 2 changes
// on purpose, with a new version number.
TEST(StealthGolden, DISABLED_WriteVersionTwoGoldenCarriers) {
    for (const char *name : {"golden2.bmp", "golden2.wav"}) {
        WriteAll(kData + name, Cover(name).bytes);
        const std::vector<std::uint8_t> text(kMessage.begin(), kMessage.end());
        Safety safety;
        const HideResult h = GuardedHide(kData + name, kPassword, Kind::Message, "gold.txt", {"", text}, safety);
        ASSERT_EQ(h.outcome, HideResult::Outcome::Written);
        std::printf("%s: %llu values changed\n", name, static_cast<unsigned long long>(h.changedBytes));
    }
}

} // namespace
