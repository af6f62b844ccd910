// DecompFile on arbitrary data, and CompFile/DecompFile round trips.
// Byte 0 chooses: even = decompress the rest, odd = compress the rest at
// level (byte0 >> 1) % 10 and expect it back exactly.
#include "fuzz_common.h"

#include "compress/zorbzlib.h"

#include <cstdlib>
#include <cstring>

extern "C" int32_t CompFile(const char *, const char *, int32_t, ZorbProgress);
extern "C" int32_t DecompFile(const char *, const char *, ZorbProgress);

namespace {
int32_t Progress(int32_t percent) {
    if (percent < 0 || percent > 100) std::abort();
    return 0;
}
std::vector<std::uint8_t> Read(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static kalmira::fuzz::Scratch scratch;
    if (size == 0) return 0;
    const std::string in = scratch.file("in"), out = scratch.file("out"), back = scratch.file("back");
    kalmira::fuzz::Write(in, data + 1, size - 1);
    if (data[0] & 1) {
        if (CompFile(out.c_str(), in.c_str(), (data[0] >> 1) % 10, &Progress) != zorb::kOk) std::abort();
        // AES pads with up to 15 zero bytes; they must be ignored.
        std::ofstream(out, std::ios::binary | std::ios::app).write("\0\0\0\0\0\0\0", (data[0] >> 4) % 8);
        if (DecompFile(back.c_str(), out.c_str(), &Progress) != zorb::kOk) std::abort();
        const auto got = Read(back);
        if (got.size() != size - 1 || (size > 1 && std::memcmp(got.data(), data + 1, size - 1) != 0)) std::abort();
    } else {
        const int32_t rc = DecompFile(out.c_str(), in.c_str(), &Progress);
        // A failure leaves no output file behind.
        if (rc != zorb::kOk && std::filesystem::exists(out)) std::abort();
    }
    scratch.clear();
    return 0;
}
