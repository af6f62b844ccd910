#include "crypto/clsRC4.h"
#include "crypto/keys.h"
#include "fakes.h"
#include "openssl_ref.h"

#include <gtest/gtest.h>

using namespace kalmira::crypto;
using namespace kalmira::test;
using Data = std::vector<std::uint8_t>;

namespace {
Data Cipher(const std::string &key, Data data) {
    clsRC4().EncryptByte(data, key);
    return data;
}
std::string Text(const Data &v) { return std::string(v.begin(), v.end()); }
} // namespace

TEST(Rc4, Rfc6229KeyStreamAtSeveralOffsets) {
    const std::string k5 = "0102030405", k16 = "0102030405060708090a0b0c0d0e0f10", k32 = k16 + "1112131415161718191a1b1c1d1e1f20";
    const struct { const std::string &key; std::size_t offset; const char *stream; } vectors[] = {
        {k5, 0, "B2396305F03DC027CCC3524A0A1118A8"},     {k5, 16, "6982944F18FC82D589C403A47A0D0919"},
        {k5, 240, "28CB1132C96CE286421DCAADB8B69EAE"},   {k5, 4096, "FF25B58995996707E51FBDF08B34D875"},
        {k16, 0, "9AC7CC9A609D1EF7B2932899CDE41B97"},    {k16, 1520, "B40110C4190B5622A96116B0017ED297"},
        {k16, 4080, "FF38265C1642C1ABE8D3C2FE5E572BF8"}, {k32, 0, "EAA6BD25880BF93D3F5D1E4CA2611D91"},
        {k32, 768, "E7A7B9E9EC540D5FF43BDB12792D1B35"},  {k32, 4096, "F3E4C0A2E02D1D01F7F0A74618AF2B48"},
    };
    for (const auto &v : vectors) {
        const Data stream = Cipher(Text(Bytes(v.key)), Data(4112, 0));
        EXPECT_EQ(Hex(stream.data() + v.offset, 16), v.stream) << v.key << " @" << v.offset;
    }
    const char *classic[][3] = {{"Key", "Plaintext", "BBF316E8D940AF0AD3"},
                                {"Wiki", "pedia", "1021BF0420"},
                                {"Secret", "Attack at dawn", "45A01F645FC35B383552544B9BF5"}};
    for (const auto &c : classic) {
        const std::string plain = c[1];
        EXPECT_EQ(Hex(Cipher(c[0], Data(plain.begin(), plain.end()))), c[2]) << c[0];
    }
}

TEST(Rc4, MatchesOpensslAndEveryCallStartsAtTheFirstKeyStreamByte) {
    const std::string keyText = CipherKeyText(PadPassword("Passwort"));
    const Data key(keyText.begin(), keyText.end());
    if (!OpensslEncrypt("RC4", key, {1})) GTEST_SKIP() << "OpenSSL has no RC4 here";
    clsRC4 rc4;
    std::vector<std::size_t> sizes;
    for (std::size_t n = 0; n <= 4096; n += (n < 300 ? 1 : 61)) sizes.push_back(n);
    sizes.push_back(3 * 1024 * 1024 + 7);
    for (std::size_t n : sizes) {
        const Data data = RandomBytes(n, static_cast<std::uint32_t>(n) + 1);
        Data mine = data;
        rc4.EncryptByte(mine, keyText); // same object each time: no state carried over
        ASSERT_EQ(mine, *OpensslEncrypt("RC4", key, data)) << n;
        rc4.EncryptByte(mine, keyText);
        ASSERT_EQ(mine, data) << n;
    }
}

TEST(Rc4, KeyRulesAndPasswordPadding) {
    clsRC4 rc4;
    Data data(8, 0);
    EXPECT_THROW(rc4.Key(""), std::invalid_argument);
    EXPECT_THROW(rc4.EncryptByte(data, ""), std::logic_error); // nothing to encrypt with yet
    rc4.Key("Key");
    Data kept(9, 0);
    rc4.EncryptByte(kept, ""); // the key set before stays
    EXPECT_EQ(kept, Cipher("Key", Data(9, 0)));
    rc4.Key("key"); // case matters: a new schedule
    Data other(9, 0);
    rc4.EncryptByte(other, "");
    EXPECT_EQ(other, Cipher("key", Data(9, 0)));
    EXPECT_NE(other, kept);

    EXPECT_EQ(PadPassword(""), PasswordPadding());
    EXPECT_EQ(PadPassword("a"), "a" + PasswordPadding().substr(0, 15));
    EXPECT_EQ(PadPassword("0123456789abcdef"), "0123456789abcdef");
    EXPECT_EQ(PadPassword("0123456789abcdefX"), "0123456789abcdef");
    EXPECT_EQ(CipherKeyText(PadPassword("x")).size(), 32u);
}

TEST(Rc4, ProgressFollowsTheThresholdRule) {
    clsRC4 rc4;
    std::vector<int> seen;
    rc4.Progress = [&](int p) { seen.push_back(p); };
    for (std::size_t n : {0u, 10u, 1000u, 123457u}) {
        seen.clear();
        Data data(n, 0);
        rc4.EncryptByte(data, "Key");
        const int step = n == 0 ? 100 : n == 10 ? 10 : 1; // every step that is reached, from 0 to 100
        ASSERT_EQ(seen.size(), static_cast<std::size_t>(100 / step + (n ? 1 : 0))) << n;
        for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], (n ? 0 : 100) + static_cast<int>(i) * step) << n;
    }
}
