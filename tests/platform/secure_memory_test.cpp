#include "platform/secure_file.h"
#include "platform/secure_memory.h"

#include "fakes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <new>

using namespace kalmira;
using namespace kalmira::platform;

// Every sized deallocation while watching is checked for leftover bytes.
namespace {
bool g_watch = false;
int g_freed = 0;
int g_dirty = 0;
} // namespace

void *operator new(std::size_t n) {
    if (void *p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t n) noexcept {
    if (g_watch && p) {
        ++g_freed;
        auto *b = static_cast<unsigned char *>(p);
        if (std::any_of(b, b + n, [](unsigned char c) { return c != 0; })) ++g_dirty;
    }
    std::free(p);
}

TEST(SecureMemory, BuffersAreWipedOnGrowthAndDestruction) {
    g_watch = true;
    {
        SecureString pw;
        for (int i = 0; i < 200; ++i) pw.push_back(static_cast<char>('a' + i % 26));
        SecureBytes key;
        for (int i = 0; i < 300; ++i) key.push_back(static_cast<std::uint8_t>(i | 1));
        SecureString copy = pw;
        EXPECT_EQ(copy.size(), 200u);
    }
    g_watch = false;
    EXPECT_GT(g_freed, 10);
    EXPECT_EQ(g_dirty, 0);
}

TEST(SecureMemory, WipeStringClearsTheWholeCapacity) {
    std::string plain = "kurz";
    plain.reserve(100);
    plain = "ein Passwort";
    WipeString(plain);
    EXPECT_TRUE(plain.empty());
    plain.resize(plain.capacity());
    EXPECT_EQ(plain.find_first_not_of('\0'), std::string::npos);
}

TEST(SecureFile, WipesRegularFilesAndNeverFollowsLinks) {
    test::TempDir dir;
    const std::string secret = dir.file("geheim.tmp");
    test::WriteAll(secret, std::string(100000, 's'));
    EXPECT_TRUE(WipeAndRemove(secret));
    EXPECT_FALSE(std::filesystem::exists(secret));
    EXPECT_TRUE(WipeAndRemove(secret)); // already gone

    const std::string target = dir.file("ziel.txt");
    test::WriteAll(target, std::string("bleibt"));
    std::filesystem::create_symlink(target, dir.file("link.tmp"));
    EXPECT_TRUE(WipeAndRemove(dir.file("link.tmp")));
    EXPECT_FALSE(std::filesystem::is_symlink(dir.file("link.tmp")));
    auto kept = test::ReadAll(target);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "bleibt");
}
