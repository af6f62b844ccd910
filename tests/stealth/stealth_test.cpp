// Round trips, what changes in a carrier, and damage, for the stealth format.
#include "fakes.h"
#include "stealth/stealth.h"
#include "stealth_carriers.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kalmira;
using namespace kalmira::stealth;
using namespace kalmira::test;

namespace {

const std::string kPassword = "Gr\xFCn-Tee!"; // Windows-1252, with a u-umlaut

struct Case {
    std::string name;
    TestCarrier (*make)();
    std::string ext;
};

const Case kCases[] = {
    {"Bmp24", [] { return StealthBmp(61, 40, 24); }, ".bmp"},
    {"Bmp32BitFields", [] { return StealthBmp(50, 40, 32); }, ".bmp"},
    {"Bmp24V5TopDown", [] { return StealthBmp(45, 40, 24, 124, true); }, ".bmp"},
    {"Bmp32V4", [] { return StealthBmp(50, 40, 32, 108); }, ".bmp"},
    {"Wav8Mono", [] { return StealthWav(6000, 1, 8); }, ".wav"},
    {"Wav16StereoListChunk", [] { return StealthWav(3000, 2, 16, true); }, ".wav"},
    {"Wav24Stereo", [] { return StealthWav(3000, 2, 24); }, ".wav"},
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

class StealthRoundTrip : public ::testing::TestWithParam<Case> {};

// Bytes from memory under the password; a file is stored as "x.bin".
HideResult HideBytes(const std::string &carrier, const std::vector<std::uint8_t> &data, Kind kind = Kind::File,
                     const Tuning &t = FastKdf()) {
    return Hide(carrier, kPassword, kind, kind == Kind::File ? "x.bin" : "", {"", data}, {}, t);
}

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t> &v, std::size_t from, std::size_t n) {
    return {v.begin() + from, v.begin() + from + n};
}

TEST_P(StealthRoundTrip, FileAndMessageComeBackAndOnlySampleBytesMoveByOne) {
    TempDir dir;
    const TestCarrier cover = GetParam().make();
    const std::string carrier = dir.file("c" + GetParam().ext);
    const auto cap = [&] { WriteAll(carrier, cover.bytes); return Capacity(carrier); }();
    ASSERT_EQ(cap.outcome, CapacityResult::Outcome::Ok);

    // A file at about half the capacity, from a path, into a staged destination.
    const auto data = RandomBytes(cap.largestPayload / 2, 11);
    WriteAll(dir.file("secret.bin"), data);
    const HideResult h = Hide(carrier, kPassword, Kind::File, "Geheim \xC3\xA4.bin", {dir.file("secret.bin"), {}},
                              {}, FastKdf());
    ASSERT_EQ(h.outcome, HideResult::Outcome::Written);
    // Salt, stream header, info block, name, data and tag: matrix embedding
    // changes fewer bytes than half the bits (plain LSB matching's rate).
    const std::size_t bits = 8 * (16 + 24 + 33 + 14 + data.size() + 17);
    EXPECT_LT(h.changedBytes, bits / 2 - bits / 16);

    const auto stego = ReadAll(carrier);
    ASSERT_EQ(stego.size(), cover.bytes.size());
    std::size_t changed = 0;
    for (std::size_t i = 0; i < stego.size(); ++i) {
        if (stego[i] == cover.bytes[i]) continue;
        ++changed;
        ASSERT_TRUE(cover.usable[i]) << "byte " << i << " is not a usable sample byte";
        ASSERT_EQ(std::abs(int(stego[i]) - int(cover.bytes[i])), 1) << "byte " << i;
    }
    EXPECT_EQ(changed, h.changedBytes);

    StagedFileSink sink(dir.file("out.bin"));
    const ExtractResult e = Extract(carrier, kPassword, sink, {}, FastKdf());
    ASSERT_EQ(e.outcome, ExtractResult::Outcome::Extracted);
    EXPECT_EQ(e.facts.kind, Kind::File);
    EXPECT_EQ(e.facts.storedName, "Geheim \xC3\xA4.bin");
    EXPECT_EQ(ReadAll(dir.file("out.bin")), data);

    // A message from memory over the file, at the full capacity.
    const auto text = RandomBytes(cap.largestPayload, 12);
    ASSERT_EQ(HideBytes(carrier, text, Kind::Message).outcome, HideResult::Outcome::Written);
    MemorySink memory(1 << 20);
    const ExtractResult m = Extract(carrier, kPassword, memory, {}, FastKdf());
    ASSERT_EQ(m.outcome, ExtractResult::Outcome::Extracted);
    EXPECT_EQ(m.facts.kind, Kind::Message);
    EXPECT_EQ(memory.data(), text);
}

INSTANTIATE_TEST_SUITE_P(Carriers, StealthRoundTrip, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return info.param.name; });

class StealthCarrier : public ::testing::Test {
protected:
    void SetUp() override {
        WriteAll(carrier, StealthBmp(64, 48, 24).bytes);
        const auto cap = Capacity(carrier);
        data = RandomBytes(cap.largestPayload - 5, 21); // full, k = 1: every slot carries a bit
        ASSERT_EQ(HideBytes(carrier, data).outcome, HideResult::Outcome::Written);
        stego = ReadAll(carrier);
    }
    ExtractResult extract(const std::string &password = kPassword, Tuning t = FastKdf()) {
        StagedFileSink sink(dir.file("out.bin"));
        return Extract(carrier, password, sink, {}, t);
    }
    // Nothing but the carrier itself is left in the folder.
    bool nothingWritten() const {
        return std::distance(std::filesystem::directory_iterator(dir.path()), {}) == 1;
    }
    TempDir dir;
    std::string carrier = dir.file("c.bmp");
    std::vector<std::uint8_t> data, stego;
};

TEST_F(StealthCarrier, WrongPasswordAndEmptyCarrierGiveOneAnswer) {
    EXPECT_EQ(extract("Gruen-Tee!").outcome, ExtractResult::Outcome::NoDataOrWrongPassword);
    WriteAll(carrier, StealthBmp(64, 48, 24).bytes);
    EXPECT_EQ(extract().outcome, ExtractResult::Outcome::NoDataOrWrongPassword);
    EXPECT_TRUE(nothingWritten());
    EXPECT_EQ(extract("").outcome, ExtractResult::Outcome::BadPassword);
    EXPECT_EQ(extract(std::string(17, 'a')).outcome, ExtractResult::Outcome::BadPassword);
}

TEST_F(StealthCarrier, EveryFlippedSampleBitOrCutIsCaughtAndNothingIsWritten) {
    // Bytes the hide changed certainly carry a payload bit (salt, head or body);
    // unused bytes may stay as they are.
    const auto cover = StealthBmp(64, 48, 24).bytes;
    std::vector<std::size_t> carrying;
    for (std::size_t i = 0; i < stego.size(); ++i)
        if (stego[i] != cover[i]) carrying.push_back(i);
    ASSERT_GT(carrying.size(), 1000u);
    for (std::size_t trial = 0; trial < 12; ++trial) {
        auto bad = stego;
        const std::size_t at = carrying[trial * carrying.size() / 12]; // the first one in the salt
        bad[at] ^= 1;
        WriteAll(carrier, bad);
        const auto r = extract().outcome;
        EXPECT_TRUE(r == ExtractResult::Outcome::Damaged || r == ExtractResult::Outcome::NoDataOrWrongPassword)
            << "flip at " << at;
        EXPECT_TRUE(nothingWritten());
    }
    for (std::size_t cut : {std::size_t{1}, std::size_t{192}, stego.size() / 2}) {
        WriteAll(carrier, Slice(stego, 0, stego.size() - cut));
        const auto r = extract().outcome;
        EXPECT_TRUE(r == ExtractResult::Outcome::Damaged || r == ExtractResult::Outcome::NoDataOrWrongPassword)
            << "cut " << cut;
        EXPECT_TRUE(nothingWritten());
    }
}

TEST_F(StealthCarrier, SameDataTwiceGivesDifferentCarriers) {
    WriteAll(carrier, StealthBmp(64, 48, 24).bytes);
    ASSERT_EQ(HideBytes(carrier, data).outcome, HideResult::Outcome::Written);
    const auto again = ReadAll(carrier);
    std::size_t differ = 0;
    for (std::size_t i = 0; i < again.size(); ++i) differ += again[i] != stego[i];
    EXPECT_GT(differ, again.size() / 8);
}

TEST_F(StealthCarrier, CapacityIsExactAndSmallWindowsReadTheSame) {
    WriteAll(carrier, StealthBmp(64, 48, 24).bytes);
    const auto cap = Capacity(carrier);
    auto full = RandomBytes(cap.largestPayload - 5, 2); // less the stored name "x.bin"
    EXPECT_EQ(HideBytes(carrier, full).outcome, HideResult::Outcome::Written);
    full.push_back(0);
    const auto tooBig = HideBytes(carrier, full);
    EXPECT_EQ(tooBig.outcome, HideResult::Outcome::TooSmall);
    EXPECT_EQ(tooBig.largestPayload, cap.largestPayload);

    // Payload bits held in many small windows: the same carrier comes out.
    Tuning small = FastKdf();
    small.windowBytes = 100;
    WriteAll(carrier, StealthBmp(64, 48, 24).bytes);
    ASSERT_EQ(HideBytes(carrier, data, Kind::File, small).outcome, HideResult::Outcome::Written);
    EXPECT_EQ(extract(kPassword, small).outcome, ExtractResult::Outcome::Extracted);
    EXPECT_EQ(ReadAll(dir.file("out.bin")), data);
}

TEST(StealthRefusal, UnsuitableCarriersAndCancelledRunsAreLeftAlone) {
    TempDir dir;
    auto palette = StealthBmp(16, 16, 24).bytes;
    palette[28] = 8;
    auto bmp16 = StealthBmp(16, 16, 24).bytes;
    bmp16[28] = 16;
    auto adpcm = StealthWav(1000, 1, 16).bytes;
    adpcm[20] = 2;
    auto wav32 = StealthWav(1000, 1, 16).bytes;
    wav32[34] = 32;
    const std::vector<std::pair<std::vector<std::uint8_t>, Unsuitable>> cases = {
        {palette, Unsuitable::PaletteBmp},     {bmp16, Unsuitable::UnsupportedBmp},
        {adpcm, Unsuitable::CompressedWav},    {wav32, Unsuitable::UnsupportedWav},
        {RandomBytes(5000), Unsuitable::NotBmpOrWav},
        {Slice(StealthWav(1000, 1, 16).bytes, 0, 1000), Unsuitable::Malformed},
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
    // Cancelled before anything is written.
    const auto photo = StealthBmp(32, 32, 24).bytes;
    WriteAll(dir.file("c.bmp"), photo);
    const std::vector<std::uint8_t> some(40, 'x');
    EXPECT_EQ(Hide(dir.file("c.bmp"), kPassword, Kind::Message, "", {"", some}, [](double) { return false; },
                   FastKdf()).outcome,
              HideResult::Outcome::Cancelled);
    EXPECT_EQ(ReadAll(dir.file("c.bmp")), photo);

    WriteAll(dir.file("tiny.bmp"), StealthBmp(8, 8, 24).bytes);
    EXPECT_EQ(HideBytes(dir.file("tiny.bmp"), {1}, Kind::Message).outcome, HideResult::Outcome::TooSmall);
}

} // namespace
