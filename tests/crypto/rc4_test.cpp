#include "crypto/clsRC4.h"
#include "crypto/keys.h"
#include "fakes.h"
#include "openssl_ref.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace kalmira::crypto;
using namespace kalmira::test;

namespace {

std::string KeyText(const std::vector<std::uint8_t> &k) { return std::string(k.begin(), k.end()); }

std::vector<std::uint8_t> Cipher(const std::string &key, std::vector<std::uint8_t> data) {
    clsRC4 rc4;
    rc4.EncryptByte(data, key);
    return data;
}

} // namespace

TEST(Rc4, Rfc6229KeyStreamAtSeveralOffsets) {
    struct Vector {
        const char *key;
        std::size_t offset;
        const char *stream;
    };
    const Vector vectors[] = {
        {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
        {"0102030405", 16, "6982944f18fc82d589c403a47a0d0919"},
        {"0102030405", 240, "28cb1132c96ce286421dcaadb8b69eae"},
        {"0102030405", 4096, "ff25b58995996707e51fbdf08b34d875"},
        {"0102030405060708090a0b0c0d0e0f10", 0, "9ac7cc9a609d1ef7b2932899cde41b97"},
        {"0102030405060708090a0b0c0d0e0f10", 1520, "b40110c4190b5622a96116b0017ed297"},
        {"0102030405060708090a0b0c0d0e0f10", 4080, "ff38265c1642c1abe8d3c2fe5e572bf8"},
        {"0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20", 0,
         "eaa6bd25880bf93d3f5d1e4ca2611d91"},
        {"0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20", 768,
         "e7a7b9e9ec540d5ff43bdb12792d1b35"},
        {"0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20", 4096,
         "f3e4c0a2e02d1d01f7f0a74618af2b48"},
    };
    for (const auto &v : vectors) {
        const auto stream = Cipher(KeyText(Bytes(v.key)), std::vector<std::uint8_t>(4112, 0));
        EXPECT_EQ(Hex(std::vector<std::uint8_t>(stream.begin() + v.offset, stream.begin() + v.offset + 16)),
                  Hex(Bytes(v.stream)))
            << v.key << " @" << v.offset;
    }
}

TEST(Rc4, ClassicTextVectors) {
    auto text = [](const char *s) { return std::vector<std::uint8_t>(s, s + std::strlen(s)); };
    EXPECT_EQ(Hex(Cipher("Key", text("Plaintext"))), "BBF316E8D940AF0AD3");
    EXPECT_EQ(Hex(Cipher("Wiki", text("pedia"))), "1021BF0420");
    EXPECT_EQ(Hex(Cipher("Secret", text("Attack at dawn"))), "45A01F645FC35B383552544B9BF5");
}

TEST(Rc4, TwiceRestoresAndEveryCallStartsAtTheFirstKeyStreamByte) {
    const std::string key = CipherKeyText(PadPassword("geheim"));
    clsRC4 rc4;
    for (std::size_t n : {1u, 2u, 255u, 256u, 257u, 10000u}) {
        const auto original = RandomBytes(n, static_cast<std::uint32_t>(n));
        auto data = original;
        rc4.EncryptByte(data, key);
        if (n > 8) {
            EXPECT_NE(data, original);
        }
        rc4.EncryptByte(data, key);
        EXPECT_EQ(data, original) << n;
    }
    std::vector<std::uint8_t> a(100, 0), b(100, 0), both(200, 0);
    rc4.EncryptByte(a, key);
    rc4.EncryptByte(b, key);
    rc4.EncryptByte(both, key);
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::vector<std::uint8_t>(both.begin(), both.begin() + 100), a);
    EXPECT_NE(std::vector<std::uint8_t>(both.begin() + 100, both.end()), b);
}

TEST(Rc4, KeyRules) {
    clsRC4 rc4;
    std::vector<std::uint8_t> data(8, 0);
    EXPECT_THROW(rc4.Key(""), std::invalid_argument);
    EXPECT_THROW(rc4.EncryptByte(data, ""), std::logic_error); // nothing to encrypt with yet
    rc4.Key("Key");
    auto kept = std::vector<std::uint8_t>(9, 0);
    rc4.EncryptByte(kept, ""); // the key set before stays
    EXPECT_EQ(kept, Cipher("Key", std::vector<std::uint8_t>(9, 0)));
    rc4.Key("key"); // case matters: a new schedule
    auto other = std::vector<std::uint8_t>(9, 0);
    rc4.EncryptByte(other, "");
    EXPECT_NE(other, kept);
    EXPECT_EQ(other, Cipher("key", std::vector<std::uint8_t>(9, 0)));
}

TEST(Rc4, ProgressFollowsTheThresholdRule) {
    clsRC4 rc4;
    std::vector<int> seen;
    rc4.Progress = [&](int p) { seen.push_back(p); };
    std::vector<std::uint8_t> data(1000);
    rc4.EncryptByte(data, "Key");
    std::vector<int> want;
    for (int i = 0; i <= 100; ++i) want.push_back(i);
    EXPECT_EQ(seen, want);

    seen.clear();
    data.assign(10, 0);
    rc4.EncryptByte(data, "Key");
    EXPECT_EQ(seen, (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));

    seen.clear();
    data.clear();
    rc4.EncryptByte(data, "Key");
    EXPECT_EQ(seen, std::vector<int>{100});

    seen.clear();
    data.assign(123457, 0);
    rc4.EncryptByte(data, "Key");
    ASSERT_EQ(seen.size(), 101u);
    for (int i = 0; i <= 100; ++i) EXPECT_EQ(seen[i], i);
}

TEST(Rc4, MatchesOpensslOnRandomData) {
    const std::string keyText = CipherKeyText(PadPassword("Passwort"));
    const std::vector<std::uint8_t> key(keyText.begin(), keyText.end());
    if (!OpensslCipher("RC4", key, {1}, true)) GTEST_SKIP() << "OpenSSL has no RC4 here";
    clsRC4 rc4;
    std::vector<std::size_t> sizes;
    for (std::size_t n = 0; n <= 4096; n += (n < 300 ? 1 : 61)) sizes.push_back(n);
    sizes.push_back(3 * 1024 * 1024 + 7);
    for (std::size_t n : sizes) {
        const auto data = RandomBytes(n, static_cast<std::uint32_t>(n) + 1);
        auto mine = data;
        rc4.EncryptByte(mine, keyText);
        ASSERT_EQ(mine, *OpensslCipher("RC4", key, data, true)) << n;
    }
}
