// The whole-file rewrite keeps the old file's extended attributes and ACL,
// and gives the new file none it did not have.
#include "platform/rewrite.h"

#include "fakes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

using namespace kalmira;
using namespace kalmira::platform;

namespace {

std::string Attribute(const std::string &path, const char *name) {
    char buf[256];
    const ssize_t n = ::getxattr(path.c_str(), name, buf, sizeof buf);
    return n < 0 ? "<none>" : std::string(buf, static_cast<std::size_t>(n));
}

// A POSIX ACL in the kernel's attribute form: version 2, then entries of
// tag, permissions and id, sorted by tag.
std::string Acl(std::uint32_t namedUser, std::uint16_t userPerms) {
    std::string out;
    auto put = [&out](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out += static_cast<char>(v >> (8 * i));
    };
    put(2, 4);
    const std::uint32_t none = 0xFFFFFFFF;
    const std::uint32_t entries[][3] = {
        {0x01, 6, none}, {0x02, userPerms, namedUser}, {0x04, 4, none}, {0x10, 6, none}, {0x20, 0, none}};
    for (const auto &e : entries) {
        put(e[0], 2);
        put(e[1], 2);
        put(e[2], 4);
    }
    return out;
}

bool Set(const std::string &path, const char *name, const std::string &value) {
    return ::setxattr(path.c_str(), name, value.data(), value.size(), 0) == 0;
}

bool Rewrite(const std::string &path, const std::string &content) {
    FileRewrite r(path);
    return r.ok() && r.write(reinterpret_cast<const std::uint8_t *>(content.data()), content.size()) &&
           r.commit() == FileRewrite::Problem::None;
}

} // namespace

TEST(Rewrite, KeepsExtendedAttributesAndAcl) {
    test::TempDir dir;
    const std::string path = dir.file("bild.png");
    test::WriteAll(path, std::string("alt"));
    if (!Set(path, "user.kalmira.test", "Wert")) GTEST_SKIP() << "no user attributes here (errno " << errno << ")";
    ASSERT_TRUE(Set(path, "user.leer", ""));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

    ASSERT_TRUE(Rewrite(path, "neu"));
    EXPECT_EQ(Attribute(path, "user.kalmira.test"), "Wert");
    EXPECT_EQ(Attribute(path, "user.leer"), "");
    EXPECT_EQ(Attribute(path, "system.posix_acl_access"), "<none>");

    // The access ACL carries over with the mode; a default ACL of the folder
    // (inherited by the staging file) does not reach a file that had none.
    const std::string acl = Acl(12345, 6);
    if (!Set(path, "system.posix_acl_access", acl)) GTEST_SKIP() << "no ACLs here (errno " << errno << ")";
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    ASSERT_TRUE(Rewrite(path, "neuer"));
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(Attribute(path, "system.posix_acl_access"), acl);
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
    EXPECT_EQ(test::ReadAll(path).size(), 5u);

    const std::string plain = dir.file("ohne.flac");
    test::WriteAll(plain, std::string("alt"));
    ASSERT_EQ(::chmod(plain.c_str(), 0600), 0);
    ASSERT_TRUE(Set(dir.path(), "system.posix_acl_default", Acl(12345, 7)));
    ASSERT_TRUE(Rewrite(plain, "neu"));
    EXPECT_EQ(Attribute(plain, "system.posix_acl_access"), "<none>");
    struct stat st {};
    ASSERT_EQ(::stat(plain.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}
