// The stealth format on real BMP and WAV files, as the programs run it:
// round trips, what changes in a carrier, capacity, damage and refusals.
#include "fakes.h"
#include "platform/journal.h"
#include "stealth/guarded.h"
#include "stealth_carriers.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kalmira;
using namespace kalmira::stealth;
using namespace kalmira::test;

namespace {

const std::string kPassword = "Gr\xFCn-Tee!"; // Windows-1252, with a u-umlaut

// Which bytes of these files move, and by how much, is pinned on the same
// carriers by element_file_test; here the whole run on a file, one picture
// and one sound with the layouts most likely to be misread.
struct Case {
    std::string name;
    TestCarrier (*make)();
    std::string ext;
};

const Case kCases[] = {
    {"Bmp32BitFields", [] { return StealthBmp(250, 170, 32); }, ".bmp"},
    {"Wav16StereoListChunk", [] { return StealthWav(30000, 2, 16, true); }, ".wav"},
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

HideResult HideBytes(const std::string &carrier, const std::vector<std::uint8_t> &data, Kind kind = Kind::File,
                     const Progress &progress = {}) {
    Safety safety;
    const HideResult r = GuardedHide(carrier, kPassword, kind, kind == Kind::File ? "x.bin" : "", {"", data}, safety,
                                     progress, FastKdf());
    EXPECT_EQ(safety.problem, Safety::Problem::None);
    return r;
}

ExtractResult ExtractTo(const std::string &carrier, Sink &sink, const std::string &password = kPassword) {
    Safety safety;
    return GuardedExtract(carrier, password, sink, safety, {}, FastKdf());
}

class StealthRoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(StealthRoundTrip, FileAndMessageComeBackWithoutAJournal) {
    TempDir dir;
    const TestCarrier cover = GetParam().make();
    const std::string carrier = dir.file("c" + GetParam().ext);
    WriteAll(carrier, cover.bytes);
    const CapacityResult cap = Capacity(carrier);
    ASSERT_EQ(cap.outcome, CapacityResult::Outcome::Ok);
    ASSERT_GT(cap.recommendedPayload, 100u);
    EXPECT_LT(cap.recommendedPayload, cap.largestPayload);
    EXPECT_FALSE(cap.jpegOrigin);

    // A file at the recommended payload, from a path, into a staged destination.
    const auto data = RandomBytes(cap.recommendedPayload - 16, 11);
    WriteAll(dir.file("secret.bin"), data);
    Safety safety;
    const HideResult h = GuardedHide(carrier, kPassword, Kind::File, "Geheim \xC3\xA4.bin",
                                     {dir.file("secret.bin"), {}}, safety, {}, FastKdf());
    ASSERT_EQ(h.outcome, HideResult::Outcome::Written);
    EXPECT_FALSE(std::filesystem::exists(platform::JournalPathFor(carrier)));
    EXPECT_EQ(ReadAll(carrier).size(), cover.bytes.size());

    StagedFileSink sink(dir.file("out.bin"));
    const ExtractResult e = ExtractTo(carrier, sink);
    ASSERT_EQ(e.outcome, ExtractResult::Outcome::Extracted);
    EXPECT_EQ(e.facts.kind, Kind::File);
    EXPECT_EQ(e.facts.storedName, "Geheim \xC3\xA4.bin");
    EXPECT_EQ(ReadAll(dir.file("out.bin")), data);

    // A message from memory over the file, at the largest payload.
    const auto text = RandomBytes(cap.largestPayload, 12);
    ASSERT_EQ(HideBytes(carrier, text, Kind::Message).outcome, HideResult::Outcome::Written);
    MemorySink memory(1 << 22);
    const ExtractResult m = ExtractTo(carrier, memory);
    ASSERT_EQ(m.outcome, ExtractResult::Outcome::Extracted);
    EXPECT_EQ(m.facts.kind, Kind::Message);
    EXPECT_EQ(memory.data(), text);
}

INSTANTIATE_TEST_SUITE_P(Carriers, StealthRoundTrip, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return info.param.name; });

class StealthCarrier : public ::testing::Test {
protected:
    void SetUp() override {
        WriteAll(carrier, cover);
        data = RandomBytes(Capacity(carrier).largestPayload / 2, 21);
        ASSERT_EQ(HideBytes(carrier, data).outcome, HideResult::Outcome::Written);
        stego = ReadAll(carrier);
    }
    ExtractResult extract(const std::string &password = kPassword) {
        StagedFileSink sink(dir.file("out.bin"));
        return ExtractTo(carrier, sink, password);
    }
    // Nothing but the carrier itself is left in the folder.
    bool nothingWritten() const { return std::distance(std::filesystem::directory_iterator(dir.path()), {}) == 1; }
    TempDir dir;
    std::string carrier = dir.file("c.bmp");
    std::vector<std::uint8_t> cover = StealthBmp(256, 192, 24).bytes, data, stego;
};

TEST_F(StealthCarrier, WrongPasswordAndEmptyCarrierGiveOneAnswer) {
    EXPECT_EQ(extract("Gruen-Tee!").outcome, ExtractResult::Outcome::NoDataOrWrongPassword);
    WriteAll(carrier, cover);
    EXPECT_EQ(extract().outcome, ExtractResult::Outcome::NoDataOrWrongPassword);
    EXPECT_TRUE(nothingWritten());
    EXPECT_EQ(extract("").outcome, ExtractResult::Outcome::BadPassword);
    EXPECT_EQ(extract(std::string(17, 'a')).outcome, ExtractResult::Outcome::BadPassword);
}

// Which changed parities are caught is pinned in memory by stealth2_test;
// here that data found damaged never reach the destination file.
TEST_F(StealthCarrier, ChangedPixelsOrACutAreCaughtAndNothingIsWritten) {
    std::size_t at = stego.size() / 2;
    while (stego[at] == cover[at]) ++at;
    auto bad = stego;
    bad[at] = cover[at]; // one colour of a changed pixel back: its parity flips
    WriteAll(carrier, bad);
    const auto damaged = extract().outcome;
    EXPECT_TRUE(damaged == ExtractResult::Outcome::Damaged || damaged == ExtractResult::Outcome::NoDataOrWrongPassword);
    EXPECT_TRUE(nothingWritten());
    for (std::size_t cut : {std::size_t{1}, stego.size() / 2}) {
        WriteAll(carrier, std::vector<std::uint8_t>(stego.begin(), stego.end() - static_cast<std::ptrdiff_t>(cut)));
        const auto r = extract().outcome;
        EXPECT_TRUE(r == ExtractResult::Outcome::Damaged || r == ExtractResult::Outcome::NoDataOrWrongPassword)
            << "cut " << cut;
        EXPECT_TRUE(nothingWritten());
    }
}

TEST_F(StealthCarrier, CapacityIsExactAndATooLargePayloadLeavesTheCarrier) {
    const CapacityResult cap = Capacity(carrier);
    const auto tooBig = HideBytes(carrier, RandomBytes(cap.largestPayload - 4, 2)); // "x.bin" and one byte more
    EXPECT_EQ(tooBig.outcome, HideResult::Outcome::TooSmall);
    EXPECT_EQ(tooBig.largestPayload, cap.largestPayload);
    EXPECT_EQ(ReadAll(carrier), stego);
    EXPECT_EQ(CheckFit(carrier, cap.largestPayload).outcome, FitCheck::Outcome::Fits);
    EXPECT_EQ(CheckFit(carrier, cap.largestPayload + 1).outcome, FitCheck::Outcome::TooSmall);
    EXPECT_TRUE(nothingWritten());
}

TEST(StealthRefusal, UnsuitableTinyAndCancelledRunsLeaveTheCarrierAlone) {
    TempDir dir;
    auto palette = StealthBmp(16, 16, 24).bytes;
    palette[28] = 8;
    auto bmp16 = StealthBmp(16, 16, 24).bytes;
    bmp16[28] = 16;
    auto adpcm = StealthWav(1000, 1, 16).bytes;
    adpcm[20] = 2;
    auto wav32 = StealthWav(1000, 1, 16).bytes;
    wav32[34] = 32;
    const auto wav = StealthWav(1000, 1, 16).bytes;
    const std::vector<std::pair<std::vector<std::uint8_t>, Unsuitable>> cases = {
        {palette, Unsuitable::PaletteBmp},
        {bmp16, Unsuitable::UnsupportedBmp},
        {adpcm, Unsuitable::CompressedWav},
        {wav32, Unsuitable::UnsupportedWav},
        {RandomBytes(5000), Unsuitable::NotBmpOrWav},
        {std::vector<std::uint8_t>(wav.begin(), wav.begin() + 1000), Unsuitable::Malformed},
        {StealthBmp(100000, 1, 24).bytes, Unsuitable::UnsupportedBmp}, // rows too long to stream
    };
    for (const auto &[bytes, why] : cases) {
        WriteAll(dir.file("c"), bytes);
        const auto r = HideBytes(dir.file("c"), bytes, Kind::Message);
        EXPECT_EQ(r.outcome, HideResult::Outcome::CarrierUnsuitable);
        EXPECT_EQ(r.reason, why);
        EXPECT_EQ(Capacity(dir.file("c")).reason, why);
        EXPECT_EQ(ReadAll(dir.file("c")), bytes);
    }
    // Too small for the format: a fit question, not the wrong kind of file.
    WriteAll(dir.file("tiny.bmp"), StealthBmp(8, 8, 24).bytes);
    const CapacityResult tiny = Capacity(dir.file("tiny.bmp"));
    EXPECT_EQ(tiny.outcome, CapacityResult::Outcome::Ok);
    EXPECT_EQ(tiny.largestPayload, 0u);
    EXPECT_EQ(CheckFit(tiny, 1).outcome, FitCheck::Outcome::TooSmall);
    const HideResult tinyHide = HideBytes(dir.file("tiny.bmp"), {1}, Kind::Message);
    EXPECT_EQ(tinyHide.outcome, HideResult::Outcome::TooSmall);
    EXPECT_EQ(tinyHide.payloadBytes, 1u);
    EXPECT_EQ(ReadAll(dir.file("tiny.bmp")), StealthBmp(8, 8, 24).bytes);

    const auto photo = StealthBmp(256, 192, 24).bytes;
    WriteAll(dir.file("c.bmp"), photo);
    EXPECT_EQ(
        HideBytes(dir.file("c.bmp"), std::vector<std::uint8_t>(40, 'x'), Kind::Message, [](double) { return false; })
            .outcome,
        HideResult::Outcome::Cancelled);
    EXPECT_EQ(ReadAll(dir.file("c.bmp")), photo);
    EXPECT_FALSE(std::filesystem::exists(platform::JournalPathFor(dir.file("c.bmp"))));
}

} // namespace
