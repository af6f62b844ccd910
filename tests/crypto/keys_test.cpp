#include "crypto/keys.h"

#include <gtest/gtest.h>

using namespace kalmira::crypto;

TEST(Keys, PaddingAndSuffixHaveTheirFixedShape) {
    ASSERT_EQ(PasswordPadding().size(), 16u);
    for (char c : PasswordPadding()) EXPECT_TRUE(c > 32 && c < 127);
    ASSERT_EQ(KeySuffix().size(), 16u);
    for (char c : KeySuffix()) EXPECT_TRUE(c >= 'a' && c <= 'z');
    EXPECT_EQ(PadPassword("a"), "a" + PasswordPadding().substr(0, 15));
    EXPECT_EQ(PadPassword(""), PasswordPadding());
    EXPECT_EQ(PadPassword("0123456789abcdef"), "0123456789abcdef");
    EXPECT_EQ(CipherKeyText(PadPassword("x")).size(), 32u);
}
