#include "crypto/cRijndael.h"
#include "crypto/keys.h"
#include "fakes.h"
#include "openssl_ref.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kalmira::crypto;
using namespace kalmira::test;
using Bytes_ = std::vector<std::uint8_t>;

namespace {

Bytes_ Iota(std::size_t n) {
    Bytes_ v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i);
    return v;
}

Bytes_ Key256() {
    const std::string k = CipherKeyText(PadPassword("geheim"));
    return Bytes_(k.begin(), k.end());
}

// Both implementations: the table code and, where the processor has it, AES-NI.
class AesPaths : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        aes.SetHardwareAcceleration(GetParam());
        if (GetParam() && !aes.HardwareAccelerated()) GTEST_SKIP() << "no AES-NI";
    }
    FakeMessages messages;
    cRijndael aes{&messages};
};

} // namespace

TEST(Aes, Fips197AppendixCBothDirections) {
    const Bytes_ plain = Bytes("00112233445566778899aabbccddeeff");
    const struct {
        int bits;
        const char *cipher;
    } vectors[] = {{128, "69c4e0d86a7b0430d8cdb78070b4c55a"},
                   {192, "dda97ca4864cdfe06eaf70a0ec0d7191"},
                   {256, "8ea2b7ca516745bfeafc49904b496089"}};
    cRijndael aes;
    for (const auto &v : vectors) {
        const Bytes_ key = Iota(static_cast<std::size_t>(v.bits / 8));
        EXPECT_EQ(aes.SetCipherKey(key.data(), key.size(), v.bits), 0);
        Bytes_ block(plain.size());
        aes.BlockEncrypt(plain.data(), block.data());
        EXPECT_EQ(Hex(block), Hex(Bytes(v.cipher))) << v.bits;
        aes.BlockDecrypt(block.data(), block.data()); // in place
        EXPECT_EQ(block, plain) << v.bits;
    }
}

TEST(Aes, BlockOperationsWithOffsetsInOneArray) {
    cRijndael aes;
    const Bytes_ key = Iota(32);
    aes.SetCipherKey(key, 256);
    Bytes_ buf(40, 0);
    const Bytes_ plain = Bytes("00112233445566778899aabbccddeeff");
    std::copy(plain.begin(), plain.end(), buf.begin() + 3);
    aes.BlockEncrypt(buf, buf, 3, 3);
    EXPECT_EQ(Hex(Bytes_(buf.begin() + 3, buf.begin() + 19)), "8EA2B7CA516745BFEAFC49904B496089");
    aes.BlockDecrypt(buf, buf, 3, 20);
    EXPECT_EQ(Bytes_(buf.begin() + 20, buf.begin() + 36), plain);
    EXPECT_THROW(aes.BlockEncrypt(buf, buf, 25, 0), std::out_of_range);
}

TEST(Aes, KeySizesAndKeyStrings) {
    cRijndael aes;
    const Bytes_ key = Iota(32);
    try {
        aes.SetCipherKey(key.data(), key.size(), 100);
        FAIL() << "no error";
    } catch (const CipherError &e) {
        EXPECT_EQ(e.number(), 1);
        EXPECT_EQ(e.description(), "cRijndael.SetCipherKey - Illegal KeyBits Value");
    }
    EXPECT_THROW(aes.SetCipherKey(key.data(), 16, 256), std::invalid_argument);

    Bytes_ a, b;
    const Bytes_ plain = RandomBytes(64);
    Bytes_ padded(32, 0);
    padded[0] = 'a', padded[1] = 'b', padded[2] = 'c';
    aes.SetCipherKeyString("abc", 256);
    aes.ArrayEncrypt(plain, a, 0);
    aes.SetCipherKey(padded, 256);
    aes.ArrayEncrypt(plain, b, 0);
    EXPECT_EQ(a, b);
    const std::string longer = std::string(32, 'x') + "tail";
    aes.SetCipherKeyString(longer, 256);
    aes.ArrayEncrypt(plain, a, 0);
    aes.SetCipherKeyString(std::string(32, 'x'), 256);
    aes.ArrayEncrypt(plain, b, 0);
    EXPECT_EQ(a, b);

    cRijndael fresh;
    EXPECT_THROW(fresh.ArrayEncrypt(plain, a, 0), std::logic_error);
}

TEST_P(AesPaths, ArrayEncryptWithoutSizeFillsTheLastBlockWithZeros) {
    aes.SetCipherKey(Key256(), 256);
    Bytes_ c;
    aes.ArrayEncrypt(RandomBytes(16), c, 0);
    EXPECT_EQ(c.size(), 16u);

    const Bytes_ plain = RandomBytes(17);
    EXPECT_EQ(aes.ArrayEncrypt(plain, c, 0), 0);
    ASSERT_EQ(c.size(), 32u);
    Bytes_ tail(16, 0), expected(16);
    tail[0] = plain[16];
    aes.BlockEncrypt(tail.data(), expected.data());
    EXPECT_EQ(Bytes_(c.begin() + 16, c.end()), expected);

    Bytes_ same(48);
    for (std::size_t i = 0; i < 48; ++i) same[i] = static_cast<std::uint8_t>(i % 16);
    aes.ArrayEncrypt(same, c, 0);
    EXPECT_EQ(Bytes_(c.begin(), c.begin() + 16), Bytes_(c.begin() + 16, c.begin() + 32));
    EXPECT_EQ(Bytes_(c.begin(), c.begin() + 16), Bytes_(c.begin() + 32, c.end()));

    aes.ArrayEncrypt(Bytes_{}, c, 0);
    EXPECT_TRUE(c.empty());

    Bytes_ p;
    aes.ArrayEncrypt(plain, c, 0);
    EXPECT_EQ(aes.ArrayDecrypt(p, c, 0), 0);
    Bytes_ zeroFilled = plain;
    zeroFilled.resize(32, 0);
    EXPECT_EQ(p, zeroFilled);
}

TEST_P(AesPaths, AppendedSizeRoundTrips) {
    aes.SetCipherKey(Key256(), 256);
    for (std::size_t n = 0; n <= 70; ++n) {
        const Bytes_ plain = RandomBytes(n, static_cast<std::uint32_t>(n));
        Bytes_ c, p;
        aes.ArrayEncrypt(plain, c, 1);
        ASSERT_EQ(c.size(), n / 16 * 16 + 16) << n;
        ASSERT_EQ(aes.ArrayDecrypt(p, c, 1), 0) << n;
        EXPECT_EQ(p, plain) << n;
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_P(AesPaths, ArrayDecryptFailures) {
    aes.SetCipherKey(Key256(), 256);
    Bytes_ p = {7, 7};
    EXPECT_EQ(aes.ArrayDecrypt(p, RandomBytes(20), 0), -1);
    EXPECT_EQ(p, (Bytes_{7, 7}));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.last(), "ciphertext size not a multiple of block size");
    EXPECT_EQ(messages.shown[0].icon, kalmira::Icon::None);

    // A last byte of 16 or more cannot be a length: all bytes are kept.
    Bytes_ plain = RandomBytes(32);
    plain[31] = 0xF0;
    Bytes_ c;
    aes.ArrayEncrypt(plain, c, 0);
    EXPECT_EQ(aes.ArrayDecrypt(p, c, 1), 1);
    EXPECT_EQ(p, plain);
    EXPECT_EQ(messages.last(), "warning - incorrect length field");

    EXPECT_EQ(aes.ArrayDecrypt(p, Bytes_{}, 1), 1); // no length byte at all
    EXPECT_TRUE(p.empty());
}

TEST_P(AesPaths, Aes256EcbMatchesOpenssl) {
    const Bytes_ key = Key256();
    aes.SetCipherKey(key, 256);
    std::vector<std::size_t> sizes;
    for (std::size_t n = 0; n <= 4096; n += 16) sizes.push_back(n);
    sizes.push_back(3 * 1024 * 1024);
    for (std::size_t n : sizes) {
        const Bytes_ plain = RandomBytes(n, static_cast<std::uint32_t>(n) + 9);
        Bytes_ c, p;
        aes.ArrayEncrypt(plain, c, 0);
        ASSERT_EQ(c, *OpensslCipher("AES-256-ECB", key, plain, true)) << n;
        ASSERT_EQ(aes.ArrayDecrypt(p, c, 0), 0);
        ASSERT_EQ(p, plain) << n;
    }
    for (int bits : {128, 192}) {
        const Bytes_ k = RandomBytes(static_cast<std::size_t>(bits / 8), static_cast<std::uint32_t>(bits));
        aes.SetCipherKey(k, bits);
        const Bytes_ plain = RandomBytes(1600, 4);
        Bytes_ c;
        aes.ArrayEncrypt(plain, c, 0);
        EXPECT_EQ(c, *OpensslCipher(bits == 128 ? "AES-128-ECB" : "AES-192-ECB", k, plain, true));
    }
}

TEST_P(AesPaths, FilesMatchArraysWithAppendedSize) {
    TempDir dir;
    aes.SetCipherKey(Key256(), 256);
    for (std::size_t n : {0u, 1u, 16u, 4000u, 3999999u, 4000000u, 8000017u}) {
        const Bytes_ plain = RandomBytes(n, static_cast<std::uint32_t>(n));
        WriteAll(dir.file("plain"), plain);
        ASSERT_EQ(aes.FileEncrypt(dir.file("plain"), dir.file("cipher")), 0);
        Bytes_ c;
        aes.ArrayEncrypt(plain, c, 1);
        ASSERT_EQ(ReadAll(dir.file("cipher")), c) << n;
        ASSERT_EQ(aes.FileDecrypt(dir.file("back"), dir.file("cipher")), 0);
        ASSERT_EQ(ReadAll(dir.file("back")), plain) << n;
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_P(AesPaths, FileDecryptFailures) {
    TempDir dir;
    aes.SetCipherKey(Key256(), 256);
    for (std::size_t n : {0u, 20u}) {
        WriteAll(dir.file("cipher"), RandomBytes(n));
        EXPECT_EQ(aes.FileDecrypt(dir.file("out"), dir.file("cipher")), 1);
        EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
        EXPECT_EQ(messages.last(), "File Size Error - ciphertext file not a multiple of block size");
    }
    Bytes_ plain = RandomBytes(48);
    plain[47] = 0x20;
    Bytes_ c;
    aes.ArrayEncrypt(plain, c, 0);
    WriteAll(dir.file("cipher"), c);
    EXPECT_EQ(aes.FileDecrypt(dir.file("out"), dir.file("cipher")), 0);
    EXPECT_EQ(ReadAll(dir.file("out")), plain);
    EXPECT_EQ(messages.last(), "warning - incorrect length field in decrypted file.\nWrong key or keysize?");

    EXPECT_THROW(aes.FileEncrypt(dir.file("missing"), dir.file("x")), std::runtime_error);
    EXPECT_THROW(aes.FileEncrypt(dir.file("cipher"), dir.file("cipher")), std::invalid_argument);
    EXPECT_EQ(ReadAll(dir.file("cipher")), c);
}

INSTANTIATE_TEST_SUITE_P(Paths, AesPaths, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "AesNi" : "Tables"; });
