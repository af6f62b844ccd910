#include "compress/ZorbComprFile.h"
#include "compress/zlib_memory.h"

#include "fakes.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace kalmira;

namespace {
int32_t run(bool compress, const std::string &in, const std::string &out) {
    ZorbComprFile z;
    z.InputFile = in;
    z.OutputFile = out;
    compress ? z.Compress() : z.Decompress();
    return z.ResultStatus();
}
} // namespace

// Padding zeros after the stream are ignored; each run reports progress
// rising from 0 to 100 (memory on big files is measured by bench/compress);
// the in-memory pair makes and reads the same bytes as the library's files.
TEST(ZorbComprFile, RoundTripsWithProgressAndIgnoresTrailingZeroBytes) {
    test::TempDir dir;
    auto inflated = [](const std::vector<uint8_t> &z, std::int64_t limit, std::vector<uint8_t> &out) {
        out.clear();
        return InflateMemory(
            z.data(), z.size(),
            [&](const uint8_t *b, std::size_t k) {
                out.insert(out.end(), b, b + k);
                return true;
            },
            limit);
    };
    std::vector<int> seen;
    SetCompressionProgressHook([&](int p) { seen.push_back(p); });
    for (size_t n : {0u, 1u, 4096u, 3000000u}) {
        auto data = test::RandomBytes(n, static_cast<uint32_t>(n));
        for (size_t i = 0; i < n / 2; ++i) data[i] = 'a'; // compressible half
        test::WriteAll(dir.file("in"), data);
        seen.clear();
        ASSERT_EQ(run(true, dir.file("in"), dir.file("z")), 0);
        auto z = test::ReadAll(dir.file("z"));
        const auto inMemory = DeflateMemory(data.data(), data.size());
        ASSERT_TRUE(inMemory);
        EXPECT_TRUE(std::equal(z.begin(), z.end(), inMemory->begin(), inMemory->end())) << n;
        for (int pad = 0; pad <= 15; pad += 15) {
            auto padded = z;
            padded.resize(z.size() + pad, 0);
            test::WriteAll(dir.file("zp"), padded);
            ASSERT_EQ(run(false, dir.file("zp"), dir.file("out")), 0) << n << " " << pad;
            EXPECT_EQ(test::ReadAll(dir.file("out")), data);
            std::vector<uint8_t> out;
            EXPECT_EQ(inflated(padded, -1, out), InflateStatus::Ok);
            EXPECT_EQ(out, data);
        }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 100), 3) << n;
        for (size_t i = 1; i < seen.size(); ++i)
            EXPECT_TRUE(seen[i] == 0 || seen[i - 1] <= seen[i]) << n << " at " << i;
        std::vector<uint8_t> out;
        if (n > 1000) {
            EXPECT_EQ(inflated(z, 1000, out), InflateStatus::TooLarge);
        }
        if (n > 0) {
            EXPECT_EQ(inflated({z.begin(), z.begin() + z.size() / 2}, -1, out), InflateStatus::Truncated);
        }
    }
    SetCompressionProgressHook(nullptr);
    std::vector<uint8_t> out;
    EXPECT_EQ(inflated(test::RandomBytes(500, 1), -1, out), InflateStatus::Corrupt);
}

TEST(ZorbComprFile, ReportsEveryFailure) {
    test::TempDir dir;
    EXPECT_EQ(run(true, "", ""), -1501);
    EXPECT_EQ(run(true, "x", "   "), -1501);
    EXPECT_EQ(run(false, "  ", dir.file("o")), -1500);
    EXPECT_EQ(run(true, dir.file("missing"), dir.file("o")), -200);
    EXPECT_EQ(run(false, dir.file("missing"), dir.file("o")), -200);

    auto unpack = [&](const std::vector<uint8_t> &packed) {
        test::WriteAll(dir.file("packed"), packed);
        return run(false, dir.file("packed"), dir.file("o"));
    };
    EXPECT_LT(unpack(test::RandomBytes(5000)), 0);
    EXPECT_LT(unpack({}), 0);
    // A stream cut short, or damaged in the middle, must not pass as success.
    test::WriteAll(dir.file("in"), test::RandomBytes(20000));
    ASSERT_EQ(run(true, dir.file("in"), dir.file("z")), 0);
    const auto z = test::ReadAll(dir.file("z"));
    EXPECT_LT(unpack(std::vector<uint8_t>(z.begin(), z.begin() + z.size() / 2)), 0);
    auto flipped = z;
    flipped[z.size() - 2] ^= 0x55; // inside the Adler-32 check
    EXPECT_LT(unpack(flipped), 0);
    // Unwritable destination.
    EXPECT_LT(run(true, dir.file("in"), dir.path() + "/no/such/dir/o"), 0);
}

TEST(ZorbComprFile, MissingLibraryIsReported) {
    EXPECT_TRUE(ZorbLibraryPresent());
    EXPECT_EQ(ZorbMissingMessage(), "Die Datei libZorbZlib.so wurde nicht gefunden! ");
    test::TempDir dir;
    test::WriteAll(dir.file("in"), std::string("abc"));
    ZorbComprFile::SetLibraryPathOverride(dir.file("nowhere.so"));
    EXPECT_FALSE(ZorbLibraryPresent());
    EXPECT_NE(run(true, dir.file("in"), dir.file("z")), 0);
    ZorbComprFile::SetLibraryPathOverride("");
    EXPECT_EQ(run(true, dir.file("in"), dir.file("z")), 0);
}

TEST(ZorbComprFile, StopsOnceTheOutputExceedsTheLimit) {
    test::TempDir dir;
    auto limited = [&](const std::string &in, std::int64_t max) {
        ZorbComprFile z;
        z.InputFile = in;
        z.OutputFile = dir.file("z");
        z.MaxOutput = max;
        z.Compress();
        return z.ResultStatus();
    };
    // Zeros come close to deflate's best ratio; the early refusal must not bite.
    const std::string zeros = dir.file("zeros");
    test::WriteAll(zeros, std::string());
    std::filesystem::resize_file(zeros, 20 << 20);
    ASSERT_EQ(run(true, zeros, dir.file("z")), 0);
    const auto exact = static_cast<std::int64_t>(platform::FileSize(dir.file("z")));
    EXPECT_EQ(limited(zeros, exact), 0);
    EXPECT_EQ(limited(zeros, exact - 1), ZorbComprFile::kTooLarge);
    EXPECT_FALSE(platform::FileExists(dir.file("z")));

    test::WriteAll(dir.file("random"), test::RandomBytes(4 << 20));
    EXPECT_EQ(limited(dir.file("random"), 64 * 1024), ZorbComprFile::kTooLarge);
    EXPECT_FALSE(platform::FileExists(dir.file("z")));
    // 10 GB that no deflate stream could fit into 1 MB: refused unread.
    const std::string huge = dir.file("huge");
    test::WriteAll(huge, std::string());
    std::filesystem::resize_file(huge, 10LL << 30);
    EXPECT_EQ(limited(huge, 1 << 20), ZorbComprFile::kTooLarge);
}

// The tool's classic hide compresses in memory: the same bytes as the
// library's file (256 KiB reads, the last one finishing the stream, also when
// the file ends on a block boundary), the same early stop, nothing in the
// temporary folder.
TEST(DeflateFile, SameBytesAsTheLibraryWithoutAnyFile) {
    test::TempDir dir;
    std::string text;
    while (text.size() < 700'000) text += "Kalmira versteckt Dateien. " + std::to_string(text.size() % 977);
    for (std::size_t size : {std::size_t{0}, std::size_t{1000}, std::size_t{256 * 1024}, text.size()}) {
        test::WriteAll(dir.file("in"), text.substr(0, size));
        ASSERT_EQ(run(true, dir.file("in"), dir.file("z")), 0);
        std::vector<int> shown;
        const DeflatedFile d = DeflateFile(dir.file("in"), -1, [&](int p) { shown.push_back(p); });
        ASSERT_EQ(d.status, DeflateStatus::Ok) << size;
        EXPECT_EQ(std::vector<std::uint8_t>(d.bytes.begin(), d.bytes.end()), test::ReadAll(dir.file("z"))) << size;
        EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()) && shown.front() == 0 && shown.back() == 100);
    }
    test::WriteAll(dir.file("random"), test::RandomBytes(1 << 20));
    EXPECT_EQ(DeflateFile(dir.file("random"), 64 * 1024).status, DeflateStatus::TooLarge);
    EXPECT_EQ(DeflateFile(dir.file("fehlt"), -1).status, DeflateStatus::ReadFailed);
    EXPECT_EQ(DeflateFile(dir.path(), -1).status, DeflateStatus::ReadFailed); // a folder
}
