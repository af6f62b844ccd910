#include "crypto/clsMD5.h"
#include "fakes.h"
#include "openssl_ref.h"

#include <gtest/gtest.h>

using namespace kalmira::crypto;
using namespace kalmira::test;

namespace {
std::string Text(const std::vector<std::uint8_t> &v) { return std::string(v.begin(), v.end()); }
} // namespace

TEST(Md5, Rfc1321SuiteInUpperCaseHex) {
    clsMD5 md5;
    EXPECT_EQ(md5.DigestStrToHexStr(""), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(md5.DigestStrToHexStr("a"), "0CC175B9C0F1B6A831C399E269772661");
    EXPECT_EQ(md5.DigestStrToHexStr("abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(md5.DigestStrToHexStr("message digest"), "F96B697D7CB7938D525A2F31AAF161D0");
    EXPECT_EQ(md5.DigestStrToHexStr("abcdefghijklmnopqrstuvwxyz"), "C3FCD3D76192E4007DFB496CCA67E13B");
    EXPECT_EQ(md5.DigestStrToHexStr("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "D174AB98D277D9F5A5611C2C9F419D9F");
    std::string eighty;
    for (int i = 0; i < 8; ++i) eighty += "1234567890";
    EXPECT_EQ(md5.DigestStrToHexStr(eighty), "57EDF4A22BE3C955AC49DA2E2107B67A");
}

TEST(Md5, PaddingBoundariesMatchOpenssl) {
    clsMD5 md5;
    for (std::size_t n : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u}) {
        const auto data = RandomBytes(n, static_cast<std::uint32_t>(n));
        EXPECT_EQ(md5.DigestStrToHexStr(Text(data)), OpensslMd5Hex(data.data(), n)) << n;
    }
}

TEST(Md5, RandomLengthsAndSplitUpdatesMatchOpenssl) {
    clsMD5 md5;
    const auto data = RandomBytes(4097, 3);
    for (std::size_t n = 0; n <= 4096; n += (n < 300 ? 1 : 37)) {
        const std::string want = OpensslMd5Hex(data.data(), n);
        ASSERT_EQ(md5.DigestStrToHexStr(std::string(data.begin(), data.begin() + n)), want) << n;
        // The same bytes fed in uneven pieces.
        md5.MD5Init();
        std::size_t pos = 0, step = 1;
        while (pos < n) {
            const std::size_t take = std::min(step, n - pos);
            md5.MD5Update(std::span(data.data() + pos, take));
            pos += take;
            step = step * 3 % 97 + 1;
        }
        md5.MD5Final();
        ASSERT_EQ(md5.GetValues(), want) << n;
    }
}

TEST(Md5, InputBeyond32767BytesGetsTheTrueDigest) {
    clsMD5 md5;
    const auto data = RandomBytes(3 * 1024 * 1024 + 5, 11);
    EXPECT_EQ(md5.DigestStrToHexStr(Text(data)), OpensslMd5Hex(data.data(), data.size()));
    md5.MD5Init();
    md5.MD5Update(std::span(data.data(), 40000));
    md5.MD5Update(std::span(data.data() + 40000, data.size() - 40000));
    md5.MD5Final();
    EXPECT_EQ(md5.GetValues(), OpensslMd5Hex(data.data(), data.size()));
}

TEST(Md5, UpdateWithCountTakesThatManyBytes) {
    clsMD5 md5;
    const std::vector<std::uint8_t> abcd = {'a', 'b', 'c', 'd'};
    md5.MD5Init();
    md5.MD5Update(3, abcd);
    md5.MD5Final();
    EXPECT_EQ(md5.GetValues(), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_THROW(md5.MD5Update(5, abcd), std::out_of_range);
}

TEST(Md5, DigestStringAndByteArrayAreTheRawDigest) {
    clsMD5 md5;
    const std::string padded = "geheimK7q#L2mZ!w"; // 16 characters
    const std::string raw = md5.DigestString(padded);
    ASSERT_EQ(raw.size(), 16u);
    const auto bytes = md5.DigestAsByteArray(padded);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), raw);
    EXPECT_EQ(Hex(bytes.data(), 16), md5.DigestStrToHexStr(padded));
    EXPECT_EQ(md5.ConvertStringFromHex(md5.DigestStrToHexStr(padded)), raw);
    // Bytes of 0x80 and above stay single bytes.
    EXPECT_EQ(md5.ConvertStringFromHex("00FF80"), std::string("\x00\xFF\x80", 3));
}

TEST(Md5, ConvertStringFromHexRefusesOddLengthAndLowerCase) {
    FakeMessages messages;
    clsMD5 md5(&messages);
    EXPECT_EQ(md5.ConvertStringFromHex("ABC"), "");
    EXPECT_EQ(md5.ConvertStringFromHex("0a"), "");
    EXPECT_EQ(md5.ConvertStringFromHex("0G"), "");
    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(messages.shown[0].text, "Falscher MD5 HexString");
    EXPECT_EQ(messages.shown[0].icon, kalmira::Icon::None);
    EXPECT_EQ(messages.shown[0].buttons, kalmira::Buttons::Ok);
    clsMD5 quiet;
    EXPECT_EQ(quiet.ConvertStringFromHex("ABC"), "");
}

TEST(Md5, FileDigestStreamsTheWholeFile) {
    TempDir dir;
    clsMD5 md5;
    for (std::size_t n : {0u, 64u, 128u, 1000u, 200000u}) {
        const auto data = RandomBytes(n, 5);
        WriteAll(dir.file("f"), data);
        EXPECT_EQ(md5.DigestFileToHexStr(dir.file("f")), md5.DigestStrToHexStr(Text(data))) << n;
    }
    EXPECT_EQ(md5.DigestFileToHexStr(dir.file("missing")), "");
    EXPECT_EQ(md5.DigestFileToHexStr(dir.path()), ""); // a folder cannot be read
}

TEST(Md5, RegistersAreSignedDecimalState) {
    clsMD5 md5;
    md5.MD5Init();
    EXPECT_EQ(md5.RegisterA(), "1732584193");
    EXPECT_EQ(md5.RegisterB(), "-271733879");
    EXPECT_EQ(md5.RegisterC(), "-1732584194");
    EXPECT_EQ(md5.RegisterD(), "271733878");
    EXPECT_EQ(md5.GetValues(), "0123456789ABCDEFFEDCBA9876543210");
}

TEST(Md5, LongLeftRotate) {
    EXPECT_EQ(clsMD5::LongLeftRotate(1, 1), 2);
    EXPECT_EQ(clsMD5::LongLeftRotate(INT32_MIN, 1), 1);
    EXPECT_EQ(clsMD5::LongLeftRotate(0x12345678, 8), 0x34567812);
    EXPECT_EQ(clsMD5::LongLeftRotate(1, 33), 2);
    EXPECT_EQ(clsMD5::LongLeftRotate(5, 0), 5);
    EXPECT_EQ(clsMD5::LongLeftRotate(5, 32), 5);
    EXPECT_EQ(clsMD5::LongLeftRotate(5, -3), 5);
}
