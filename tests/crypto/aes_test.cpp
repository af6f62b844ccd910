#include "crypto/cRijndael.h"
#include "crypto/keys.h"
#include "fakes.h"
#include "openssl_ref.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace kalmira::crypto;
using namespace kalmira::test;
using Data = std::vector<std::uint8_t>;

namespace {
const Data kPlain = Bytes("00112233445566778899aabbccddeeff");

Data Iota(std::size_t n) {
    Data v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i);
    return v;
}
Data Slice(const Data &v, std::size_t from, std::size_t n) { return Data(v.begin() + from, v.begin() + from + n); }

// Both implementations: the table code and, where the processor has it, AES-NI.
class AesPaths : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        aes.SetHardwareAcceleration(GetParam());
        if (GetParam() && !aes.HardwareAccelerated()) GTEST_SKIP() << "no AES-NI";
        const std::string k = CipherKeyText(PadPassword("geheim"));
        aes.SetCipherKey(Data(k.begin(), k.end()), 256);
    }
    cRijndael aes;
};
} // namespace

TEST(Aes, Fips197AppendixCBlocksAndOffsets) {
    const std::pair<int, const char *> vectors[] = {{128, "69C4E0D86A7B0430D8CDB78070B4C55A"},
                                                    {192, "DDA97CA4864CDFE06EAF70A0EC0D7191"},
                                                    {256, "8EA2B7CA516745BFEAFC49904B496089"}};
    cRijndael aes;
    for (const auto &[bits, cipher] : vectors) {
        const Data key = Iota(static_cast<std::size_t>(bits / 8));
        EXPECT_EQ(aes.SetCipherKey(key.data(), key.size(), bits), 0);
        Data block(16);
        aes.BlockEncrypt(kPlain.data(), block.data());
        EXPECT_EQ(Hex(block), cipher) << bits;
        aes.BlockDecrypt(block.data(), block.data()); // in place
        EXPECT_EQ(block, kPlain) << bits;
    }
    Data buf(40, 0);
    std::copy(kPlain.begin(), kPlain.end(), buf.begin() + 3);
    aes.BlockEncrypt(buf, buf, 3, 3);
    EXPECT_EQ(Hex(Slice(buf, 3, 16)), vectors[2].second);
    aes.BlockDecrypt(buf, buf, 3, 20);
    EXPECT_EQ(Slice(buf, 20, 16), kPlain);
    EXPECT_THROW(aes.BlockEncrypt(buf, buf, 25, 0), std::out_of_range);
}

TEST(Aes, KeySizesAndKeyStrings) {
    cRijndael aes;
    const Data key = Iota(32);
    try {
        aes.SetCipherKey(key.data(), key.size(), 100);
        FAIL() << "no error";
    } catch (const CipherError &e) {
        EXPECT_EQ(e.number(), 1);
        EXPECT_EQ(e.description(), "cRijndael.SetCipherKey - Illegal KeyBits Value");
    }
    EXPECT_THROW(aes.SetCipherKey(key.data(), 16, 256), std::invalid_argument);
    Data out;
    EXPECT_THROW(cRijndael().ArrayEncrypt(key, out, 0), std::logic_error); // no key yet

    // Key strings are cut or zero-filled to the key size.
    const Data plain = RandomBytes(64);
    auto with = [&](const std::string &text) {
        Data c;
        aes.SetCipherKeyString(text, 256);
        aes.ArrayEncrypt(plain, c, 0);
        return c;
    };
    Data padded(32, 0), c;
    std::copy_n("abc", 3, padded.begin());
    aes.SetCipherKey(padded, 256);
    aes.ArrayEncrypt(plain, c, 0);
    EXPECT_EQ(with("abc"), c);
    EXPECT_EQ(with(std::string(32, 'x') + "tail"), with(std::string(32, 'x')));
}

TEST_P(AesPaths, ArrayDecryptFailures) {
    Data p = {7, 7};
    EXPECT_EQ(aes.ArrayDecrypt(p, RandomBytes(20), 0), -1);
    EXPECT_EQ(p, (Data{7, 7}));
    EXPECT_EQ(aes.lastWarning(), "ciphertext size not a multiple of block size");

    // A last byte of 16 or more cannot be a length: all bytes are kept.
    Data plain = RandomBytes(32), c;
    plain[31] = 0xF0;
    aes.ArrayEncrypt(plain, c, 0);
    EXPECT_EQ(aes.ArrayDecrypt(p, c, 1), 1);
    EXPECT_EQ(p, plain);
    EXPECT_EQ(aes.lastWarning(), "warning - incorrect length field");
    EXPECT_EQ(aes.ArrayDecrypt(p, Data{}, 1), 1); // no length byte at all
    EXPECT_TRUE(p.empty());
}

// Without the size the last block is zero-filled (and compared with OpenSSL);
// with the size appended the length comes back exactly.
TEST_P(AesPaths, ArraysMatchOpensslAndRoundTrip) {
    const struct {
        int bits;
        const char *name;
        std::size_t size;
    } cases[] = {{128, "AES-128-ECB", 100}, {192, "AES-192-ECB", 100}, {256, "AES-256-ECB", 3 * 1024 * 1024}};
    for (const auto &k : cases) {
        const Data key = RandomBytes(static_cast<std::size_t>(k.bits / 8), static_cast<std::uint32_t>(k.bits));
        aes.SetCipherKey(key, k.bits);
        for (std::size_t n = 0; n <= k.size; n = n < 100 ? n + 1 : std::max(k.size, n + 1)) {
            const Data plain = RandomBytes(n, static_cast<std::uint32_t>(n) + 9);
            Data zeroFilled = plain, c, p;
            zeroFilled.resize((n + 15) / 16 * 16, 0);
            ASSERT_EQ(aes.ArrayEncrypt(plain, c, 0), 0);
            ASSERT_EQ(c, *OpensslEncrypt(k.name, key, zeroFilled)) << k.bits << " " << n;
            ASSERT_EQ(aes.ArrayDecrypt(p, c, 0), 0);
            ASSERT_EQ(p, zeroFilled) << k.bits << " " << n;
            aes.ArrayEncrypt(plain, c, 1);
            ASSERT_EQ(c.size(), n / 16 * 16 + 16) << n;
            ASSERT_EQ(aes.ArrayDecrypt(p, c, 1), 0) << n;
            ASSERT_EQ(p, plain) << k.bits << " " << n;
        }
    }
    EXPECT_EQ(aes.lastWarning(), "");
}

TEST_P(AesPaths, FilesMatchArraysWithAppendedSize) {
    TempDir dir;
    for (std::size_t n : {0u, 1u, 16u, 4000u, 3999999u, 4000000u, 8000017u}) {
        const Data plain = RandomBytes(n, static_cast<std::uint32_t>(n));
        WriteAll(dir.file("plain"), plain);
        ASSERT_EQ(aes.FileEncrypt(dir.file("plain"), dir.file("cipher")), 0);
        Data c;
        aes.ArrayEncrypt(plain, c, 1);
        ASSERT_EQ(ReadAll(dir.file("cipher")), c) << n;
        ASSERT_EQ(aes.FileDecrypt(dir.file("back"), dir.file("cipher")), 0);
        ASSERT_EQ(ReadAll(dir.file("back")), plain) << n;
    }
    EXPECT_EQ(aes.lastWarning(), "");
}

TEST_P(AesPaths, FileDecryptFailures) {
    TempDir dir;
    for (std::size_t n : {0u, 20u}) {
        WriteAll(dir.file("cipher"), RandomBytes(n));
        EXPECT_EQ(aes.FileDecrypt(dir.file("out"), dir.file("cipher")), 1);
        EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
        EXPECT_EQ(aes.lastWarning(), "File Size Error - ciphertext file not a multiple of block size");
    }
    Data plain = RandomBytes(48), c;
    plain[47] = 0x20;
    aes.ArrayEncrypt(plain, c, 0);
    WriteAll(dir.file("cipher"), c);
    EXPECT_EQ(aes.FileDecrypt(dir.file("out"), dir.file("cipher")), 0);
    EXPECT_EQ(ReadAll(dir.file("out")), plain);
    EXPECT_EQ(aes.lastWarning(), "warning - incorrect length field in decrypted file.\nWrong key or keysize?");

    EXPECT_THROW(aes.FileEncrypt(dir.file("missing"), dir.file("x")), std::runtime_error);
    EXPECT_THROW(aes.FileEncrypt(dir.file("cipher"), dir.file("cipher")), std::invalid_argument);
    EXPECT_EQ(ReadAll(dir.file("cipher")), c);
}

INSTANTIATE_TEST_SUITE_P(Paths, AesPaths, ::testing::Values(false, true),
                         [](const auto &info) { return info.param ? "AesNi" : "Tables"; });
