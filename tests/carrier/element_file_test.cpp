// BMP and WAV files as elements: what is read matches the bytes decoded
// independently, changes land on exactly their bytes (with carries), go
// through the journal first, and nothing out of range is written.
#include "../stealth/stealth_carriers.h"
#include "carrier/element_file.h"
#include "fakes.h"
#include "platform/journal.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kalmira;
using namespace kalmira::carrier;
using namespace kalmira::test;

namespace {

struct Case {
    std::string name;
    TestCarrier (*make)();
    int width, rows, bpp; // pictures: bits per pixel; sound: width = channels, rows = frames, bpp = bits
    bool sound, topDown;
    std::size_t headerBytes;
};

const Case kCases[] = {
    {"Bmp24Padded", [] { return StealthBmp(61, 37, 24); }, 61, 37, 24, false, false, 54},
    {"Bmp24TopDownV5", [] { return StealthBmp(45, 40, 24, 124, true); }, 45, 40, 24, false, true, 138},
    {"Bmp32BitFields", [] { return StealthBmp(50, 41, 32); }, 50, 41, 32, false, false, 66},
    {"Wav8Mono", [] { return StealthWav(3001, 1, 8); }, 1, 3001, 8, true, false, 44},
    {"Wav16StereoChunks", [] { return StealthWav(1500, 2, 16, true); }, 2, 1500, 16, true, false, 74},
    {"Wav24Stereo", [] { return StealthWav(1200, 2, 24); }, 2, 1200, 24, true, false, 44},
};
void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

// File offset of the first byte of element e, and its values, from the test's own reading.
std::size_t OffsetOf(const Case &c, std::uint64_t e) {
    if (c.sound) return c.headerBytes + e * (c.bpp / 8);
    const std::size_t stride = (static_cast<std::size_t>(c.width) * c.bpp / 8 + 3) / 4 * 4;
    const std::size_t row = e / c.width, col = e % c.width;
    return c.headerBytes + (c.topDown ? row : c.rows - 1 - row) * stride + col * (c.bpp / 8);
}
std::vector<std::int32_t> ValuesOf(const Case &c, const std::vector<std::uint8_t> &bytes, std::uint64_t e) {
    const std::uint8_t *p = bytes.data() + OffsetOf(c, e);
    if (!c.sound) return {p[2], p[1], p[0]};
    switch (c.bpp) {
    case 8: return {p[0] - 128};
    case 16: return {static_cast<std::int16_t>(p[0] | p[1] << 8)};
    default: return {(p[0] | p[1] << 8 | p[2] << 16) - (p[2] >= 128 ? 1 << 24 : 0)};
    }
}

class ElementFileCase : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        cover = GetParam().make().bytes;
        WriteAll(path, cover);
    }
    TempDir dir;
    std::string path = dir.file("c");
    std::vector<std::uint8_t> cover;
};

TEST_P(ElementFileCase, ReadsEveryRowRangeAsTheBytesSay) {
    const Case &c = GetParam();
    ElementFile f = OpenElementFile(path, ElementAccess::Read);
    ASSERT_EQ(f.outcome, ElementFile::Outcome::Ready);
    const ElementShape &shape = f.elements->shape();
    EXPECT_EQ(shape.width, static_cast<std::uint64_t>(c.width));
    EXPECT_EQ(shape.rows, static_cast<std::uint64_t>(c.rows));
    EXPECT_EQ(shape.medium, c.sound ? Medium::Sound : Medium::Picture);
    EXPECT_EQ(shape.bits, c.sound ? c.bpp : 8);
    // Bands of uneven size, the last one ending at the bottom row.
    for (std::uint64_t first = 0, band = 1; first < shape.rows; first += band, band = band * 3 + 1) {
        const std::uint64_t n = std::min(band, shape.rows - first);
        std::vector<std::int32_t> values(n * shape.rowValues());
        std::vector<std::uint8_t> locked(n * shape.width, 7);
        ASSERT_TRUE(f.elements->read(first, n, values, locked));
        EXPECT_EQ(std::count(locked.begin(), locked.end(), 0), static_cast<std::ptrdiff_t>(locked.size()));
        for (std::uint64_t e = first * shape.width; e < (first + n) * shape.width; ++e)
            for (int ch = 0; ch < shape.channels; ++ch)
                ASSERT_EQ(values[(e - first * shape.width) * shape.channels + ch], ValuesOf(c, cover, e)[ch])
                    << "element " << e << " channel " << ch;
    }
    std::vector<std::int32_t> one(shape.rowValues());
    EXPECT_FALSE(f.elements->read(shape.rows, 1, one, {}));
    EXPECT_FALSE(f.elements->apply(std::vector<Change>{{0, 1}})); // opened for reading only
    EXPECT_EQ(ReadAll(path), cover);
}

TEST_P(ElementFileCase, ChangesGoIntoTheJournalFirstAndOnlyTheirBytesMove) {
    const Case &c = GetParam();
    platform::CarrierJournal journal(path);
    bool journalFailed = false;
    ElementFile f = OpenElementFile(path, ElementAccess::Write, &journal, &journalFailed);
    ASSERT_EQ(f.outcome, ElementFile::Outcome::Ready);
    const ElementShape &shape = f.elements->shape();
    // Every seventh element, up or down as its values allow; two windows.
    std::vector<Change> first, second;
    for (std::uint64_t e = 3; e < shape.elements(); e += 7) {
        const auto v = ValuesOf(c, cover, e);
        const bool up = *std::max_element(v.begin(), v.end()) < shape.maxValue && e % 2;
        (e < shape.elements() / 2 ? first : second).push_back({e, up ? 1 : -1});
    }
    ASSERT_TRUE(f.elements->apply(first));
    ASSERT_TRUE(journal.active());
    ASSERT_TRUE(f.elements->apply(second));
    ASSERT_TRUE(f.elements->commit());
    EXPECT_FALSE(journalFailed);
    // Offsets, old and new bytes of each change, sealed: bounded by the changes.
    const std::size_t changes = first.size() + second.size();
    EXPECT_LT(journal.size(), static_cast<std::int64_t>(4096 + 32 * changes));

    const auto now = ReadAll(path);
    std::vector<bool> expected(cover.size(), false);
    for (const auto *list : {&first, &second})
        for (const Change &x : *list) {
            const auto was = ValuesOf(c, cover, x.element), is = ValuesOf(c, now, x.element);
            for (std::size_t ch = 0; ch < was.size(); ++ch) EXPECT_EQ(is[ch], was[ch] + x.delta) << x.element;
            const std::size_t at = OffsetOf(c, x.element);
            for (int b = 0; b < (c.sound ? c.bpp / 8 : 3); ++b) expected[at + b] = true;
        }
    for (std::size_t i = 0; i < cover.size(); ++i)
        if (!expected[i]) {
            ASSERT_EQ(now[i], cover[i]) << "byte " << i << " is no changed element's";
        }

    // What the journal holds puts the old carrier back.
    ASSERT_TRUE(journal.rollback());
    EXPECT_EQ(ReadAll(path), cover);
    EXPECT_FALSE(std::filesystem::exists(platform::JournalPathFor(path)));
}

TEST_P(ElementFileCase, AChangeOutOfRangeWritesNothingOfItsWindow) {
    const Case &c = GetParam();
    ElementFile f = OpenElementFile(path, ElementAccess::Write);
    ASSERT_EQ(f.outcome, ElementFile::Outcome::Ready);
    const ElementShape shape = f.elements->shape(); // a copy: f is opened again below
    // Raise an element to the top of the range, then ask for one more.
    std::vector<std::uint8_t> top = cover;
    const std::uint64_t e = shape.elements() / 3;
    const std::size_t at = OffsetOf(c, e);
    const int bytes = c.sound ? c.bpp / 8 : 3;
    for (int b = 0; b < bytes; ++b) top[at + b] = 0xFF;
    if (c.sound) top[at + bytes - 1] = c.bpp == 8 ? 0xFF : 0x7F;
    WriteAll(path, top);
    f = OpenElementFile(path, ElementAccess::Write);
    EXPECT_FALSE(f.elements->apply(std::vector<Change>{{1, 1}, {e, 1}}));
    EXPECT_FALSE(f.elements->apply(std::vector<Change>{{shape.elements(), 1}}));
    EXPECT_EQ(ReadAll(path), top);
}

INSTANTIATE_TEST_SUITE_P(Carriers, ElementFileCase, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return info.param.name; });

// Sound changes by +-2^t with a carry across the sample's bytes.
TEST(ElementFile, SampleChangesCarryAcrossBytes) {
    TempDir dir;
    for (int bits : {8, 16, 24}) {
        SCOPED_TRACE(bits);
        auto wav = StealthWav(8, 1, bits).bytes;
        const std::size_t b = bits / 8;
        const std::vector<std::vector<std::uint8_t>> before = {{0x7F}, {0xFF, 0x00}, {0xFF, 0xFF, 0xFF}},
                                                     after = {{0x80}, {0x00, 0x01}, {0x00, 0x00, 0x00}};
        std::copy(before[b - 1].begin(), before[b - 1].end(), wav.begin() + 44 + 2 * b);
        WriteAll(dir.file("s.wav"), wav);
        ElementFile f = OpenElementFile(dir.file("s.wav"), ElementAccess::Write);
        ASSERT_EQ(f.outcome, ElementFile::Outcome::Ready);
        ASSERT_TRUE(f.elements->apply(std::vector<Change>{{2, 1}}));
        ASSERT_TRUE(f.elements->commit());
        const auto now = ReadAll(dir.file("s.wav"));
        EXPECT_TRUE(std::equal(after[b - 1].begin(), after[b - 1].end(), now.begin() + 44 + 2 * b));
    }
}

// Each unsuitable kind of file, with its reason, is refused in stealth_test.
TEST(ElementFile, MissingFilesAreRefused) {
    TempDir dir;
    EXPECT_EQ(OpenElementFile(dir.file("none.bmp"), ElementAccess::Read).outcome, ElementFile::Outcome::IoError);
}

} // namespace
