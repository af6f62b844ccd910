#include "crypto/clsMD5.h"
#include "fakes.h"
#include "openssl_ref.h"

#include <gtest/gtest.h>

using namespace kalmira::crypto;
using namespace kalmira::test;

TEST(Md5, Rfc1321SuiteInUpperCaseHex) {
    const std::pair<const char *, const char *> vectors[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"a", "0CC175B9C0F1B6A831C399E269772661"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"},
    };
    clsMD5 md5;
    for (const auto &[in, want] : vectors) EXPECT_EQ(md5.DigestStrToHexStr(in), want) << in;
}

// Every length across the padding boundaries, then inputs beyond 32767 bytes
// (where a 16-bit count would go wrong), whole and fed in uneven pieces.
TEST(Md5, WholeAndSplitInputsMatchOpenssl) {
    clsMD5 md5;
    const auto data = RandomBytes(3 * 1024 * 1024 + 5, 3);
    std::vector<std::size_t> sizes;
    for (std::size_t n = 0; n <= 4096; n += (n < 300 ? 1 : 37)) sizes.push_back(n);
    sizes.insert(sizes.end(), {40000, data.size()});
    for (std::size_t n : sizes) {
        const std::string want = OpensslMd5Hex(data.data(), n);
        ASSERT_EQ(md5.DigestStrToHexStr(std::string(data.begin(), data.begin() + n)), want) << n;
        md5.MD5Init();
        for (std::size_t pos = 0, step = 1; pos < n; pos += step, step = step * 3 % 97 + 1)
            md5.MD5Update(std::span(data.data() + pos, std::min(step, n - pos)));
        md5.MD5Final();
        ASSERT_EQ(md5.GetValues(), want) << n;
    }
}

TEST(Md5, CountedUpdateRawDigestAndHexConversion) {
    clsMD5 md5;
    const std::vector<std::uint8_t> abcd = {'a', 'b', 'c', 'd'};
    md5.MD5Init();
    md5.MD5Update(3, abcd);
    md5.MD5Final();
    EXPECT_EQ(md5.GetValues(), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_THROW(md5.MD5Update(5, abcd), std::out_of_range);

    const std::string padded = "geheimK7q#L2mZ!w";
    const auto bytes = md5.DigestAsByteArray(padded);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), md5.DigestString(padded));
    EXPECT_EQ(Hex(bytes.data(), 16), md5.DigestStrToHexStr(padded));
    EXPECT_EQ(md5.ConvertStringFromHex("00FF80"), std::string("\x00\xFF\x80", 3)); // single bytes

    for (const char *bad : {"ABC", "0a", "0G"}) EXPECT_EQ(md5.ConvertStringFromHex(bad), "") << bad;
}

TEST(Md5, FileDigestStreamsTheWholeFile) {
    TempDir dir;
    clsMD5 md5;
    for (std::size_t n : {0u, 64u, 1000u, 200000u}) {
        const auto data = RandomBytes(n, 5);
        WriteAll(dir.file("f"), data);
        EXPECT_EQ(md5.DigestFileToHexStr(dir.file("f")), OpensslMd5Hex(data.data(), n)) << n;
    }
    EXPECT_EQ(md5.DigestFileToHexStr(dir.file("missing")), "");
    EXPECT_EQ(md5.DigestFileToHexStr(dir.path()), ""); // a folder cannot be read
}
