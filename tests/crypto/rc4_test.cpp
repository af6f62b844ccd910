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
    const std::string k5 = "0102030405", k32 = "0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20";
    const struct {
        const std::string &key;
        std::size_t offset;
        const char *stream;
    } vectors[] = {
        {k5, 0, "B2396305F03DC027CCC3524A0A1118A8"},
        {k5, 4096, "FF25B58995996707E51FBDF08B34D875"},
        {k32, 0, "EAA6BD25880BF93D3F5D1E4CA2611D91"},
        {k32, 768, "E7A7B9E9EC540D5FF43BDB12792D1B35"},
    };
    for (const auto &v : vectors) {
        const Data stream = Cipher(Text(Bytes(v.key)), Data(4112, 0));
        EXPECT_EQ(Hex(stream.data() + v.offset, 16), v.stream) << v.key << " @" << v.offset;
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
        for (std::size_t i = 0; i < seen.size(); ++i)
            EXPECT_EQ(seen[i], (n ? 0 : 100) + static_cast<int>(i) * step) << n;
    }
}
