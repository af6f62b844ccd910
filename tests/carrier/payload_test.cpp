#include "carrier/payload.h"

#include "fakes.h"

#include <gtest/gtest.h>

using namespace kalmira::payload;

TEST(Header, ComposesTheWorkedLayoutAndParsesItBack) {
    auto name = NameField("Bericht.pdf");
    ASSERT_TRUE(name);
    std::string h = ComposeHeader(Mode::Plain, "", 1000, *name);
    ASSERT_EQ(h.size(), kHeaderSize);
    EXPECT_EQ(h, "yesn0000000000000000"
                 "0000999"
                 "Bericht.pdf              "
                 "res");
    ParsedHeader p = ParseHeader(h);
    EXPECT_EQ(p.mode, Mode::Plain);
    EXPECT_EQ(p.dataLength, 1000);
    EXPECT_EQ(StoredFileName(p), "Bericht.pdf");
    EXPECT_EQ(p.endTag, "res");

    std::string digest;
    for (int i = 0; i < 16; ++i) digest += static_cast<char>(i * 17); // 0x00 .. 0xFF
    std::string a = ComposeHeader(Mode::Aes, digest, 1008, *name);
    EXPECT_EQ(a.substr(0, 4), "yesa");
    EXPECT_EQ(a.substr(4, 16), digest);
    EXPECT_EQ(a.substr(20, 7), "0001007");
    EXPECT_EQ(ParseHeader(a).digest, digest);
}

TEST(Header, TagsAreCaseSensitiveAndLengthMustBeDigits) {
    EXPECT_FALSE(ModeFromTag("YESN"));
    EXPECT_FALSE(ModeFromTag("yesx"));
    EXPECT_EQ(ModeFromTag("yesp"), Mode::Rc4);
    std::string h = ComposeHeader(Mode::Plain, "", 10, "x");
    h[22] = ' ';
    EXPECT_FALSE(ParseHeader(h).dataLength);
    h[22] = '-';
    EXPECT_FALSE(ParseHeader(h).dataLength);
    EXPECT_FALSE(ParseHeader("short").mode);
}

// What the user is told is stored: exactly what extraction gives back.
TEST(ChangedStoredName, SaysWhenTheStoredNameDiffers) {
    EXPECT_FALSE(ChangedStoredName("Übersicht.doc"));
    const struct {
        const char *file, *stored;
    } changed[] = {{"日本語.txt", "???.txt"},
                   {"bad\xff.txt", "bad?.txt"},
                   {"ein_sehr_langer_dateiname_fuer_ein_archiv.tar.gz", "ein_sehr_langer_date~1.gz"},
                   {"trailing.txt ", "trailing.txt"}};
    for (const auto &c : changed) {
        ParsedHeader h;
        h.nameField = *NameField(c.file);
        EXPECT_EQ(ChangedStoredName(c.file).value_or("(unchanged)"), c.stored);
        EXPECT_EQ(PlainFileName(StoredFileName(h)), c.stored);
    }
    EXPECT_FALSE(ChangedStoredName(std::string(26, 'x'))); // cannot be stored at all
}

TEST(NameField, PadsShortensOrRefuses) {
    EXPECT_EQ(*NameField("Jahresabschluss-Entwurf-2004.xls"), "Jahresabschluss-Ent~1.xls");
    std::string exact25(21, 'a');
    exact25 += ".txt";
    EXPECT_EQ(*NameField(exact25), exact25);
    std::string n26 = "b" + exact25;
    auto s = NameField(n26);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->size(), 25u);
    EXPECT_EQ(*s, std::string(19, 'b').replace(1, 18, std::string(18, 'a')) + "~1.txt");
    EXPECT_FALSE(NameField(std::string(26, 'x')));                                      // no dot
    EXPECT_FALSE(NameField("ab." + std::string(23, 'e')));                              // extension too long
    EXPECT_EQ(*NameField("abc." + std::string(22, 'e')), "~1." + std::string(22, 'e')); // 23 fits
    EXPECT_EQ(*NameField("Übersicht.doc"), "\xDC"
                                           "bersicht.doc            "); // ANSI bytes
    EXPECT_EQ(std::string(kTypedMessageName).size(), 25u);
}

TEST(Bits, ChangeOnlyTheLowestBitAndNeverWrap) {
    auto carrier = kalmira::test::RandomBytes(8 * 256);
    carrier[0] = 0;   // must hold 0 (bit 7 of 0x00): stays
    carrier[8] = 255; // must hold 0 (bit 7 of 0x01): decreases
    auto original = carrier;
    std::vector<uint8_t> data(256);
    for (int i = 0; i < 256; ++i) data[i] = static_cast<uint8_t>(i);
    EmbedBytes(data.data(), data.size(), carrier.data());
    for (size_t i = 0; i < carrier.size(); ++i) ASSERT_LE(std::abs(int(carrier[i]) - int(original[i])), 1) << i;
    EXPECT_EQ(carrier[0], 0);
    EXPECT_EQ(carrier[8], 254);
    std::vector<uint8_t> back(256);
    ReadBytes(carrier.data(), back.size(), back.data());
    EXPECT_EQ(back, data);
}

// Every path against the byte loop: all 256 values, odd counts and offsets
// (the header sits at 99, unaligned), and carrier bytes outside the range kept.
class BitPaths : public testing::TestWithParam<BitPath> {};

TEST_P(BitPaths, GiveTheByteLoopsBits) {
    if (!BitPathAvailable(GetParam())) GTEST_SKIP() << "processor lacks this path";
    auto data = kalmira::test::RandomBytes(1000, 7);
    for (int i = 0; i < 256; ++i) data[i] = static_cast<uint8_t>(i);
    const auto carrier = kalmira::test::RandomBytes(8 * data.size() + 16, 9);
    for (size_t offset : {0, 3}) {
        for (size_t count : {0, 1, 5, 1000}) {
            auto expected = carrier, actual = carrier;
            EmbedBytes(BitPath::ByteLoop, data.data(), count, expected.data() + offset);
            EmbedBytes(GetParam(), data.data(), count, actual.data() + offset);
            ASSERT_EQ(actual, expected) << "offset " << offset << ", count " << count;
            std::vector<uint8_t> back(count + 1, 0xAA);
            ReadBytes(GetParam(), carrier.data() + offset, count, back.data());
            for (size_t i = 0; i < count; ++i) ASSERT_EQ(back[i], ReadByte(carrier.data() + offset + 8 * i)) << i;
            EXPECT_EQ(back[count], 0xAA);
        }
    }
}

namespace kalmira::payload {
void PrintTo(BitPath path, std::ostream *os) { *os << (path == BitPath::Bmi2 ? "Bmi2" : "Word"); }
} // namespace kalmira::payload
std::string PathName(const testing::TestParamInfo<BitPath> &info) { return testing::PrintToString(info.param); }
INSTANTIATE_TEST_SUITE_P(, BitPaths, testing::Values(BitPath::Word, BitPath::Bmi2), PathName);
