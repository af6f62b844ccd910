#include "compress/zlib_memory.h"

#include "platform/secure_memory.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace kalmira {

namespace {
constexpr std::size_t kChunk = 256 * 1024;
constexpr std::size_t kInStep = 1 << 20; // bounds a step and paces the progress
} // namespace

InflateStatus InflateMemory(const std::uint8_t *data, std::size_t size,
                            const std::function<bool(const std::uint8_t *, std::size_t)> &sink,
                            std::int64_t maxOutput, const std::function<void(int)> &progress) {
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return InflateStatus::Corrupt;
    platform::SecureBytes out(kChunk); // holds plaintext: wiped when freed
    InflateStatus status = InflateStatus::Truncated;
    std::size_t fed = 0;
    std::int64_t produced = 0;
    int zr = Z_OK;
    while (zr != Z_STREAM_END && fed < size) {
        const std::size_t n = std::min(kInStep, size - fed);
        zs.next_in = const_cast<Bytef *>(data + fed);
        zs.avail_in = static_cast<uInt>(n);
        fed += n;
        do {
            zs.next_out = out.data();
            zs.avail_out = static_cast<uInt>(kChunk);
            zr = inflate(&zs, Z_NO_FLUSH);
            if (zr == Z_NEED_DICT || zr == Z_DATA_ERROR || zr == Z_MEM_ERROR || zr == Z_STREAM_ERROR) {
                inflateEnd(&zs);
                return InflateStatus::Corrupt;
            }
            const std::size_t have = kChunk - zs.avail_out;
            produced += static_cast<std::int64_t>(have);
            if (maxOutput >= 0 && produced > maxOutput) status = InflateStatus::TooLarge;
            else if (have > 0 && !sink(out.data(), have)) status = InflateStatus::SinkFailed;
            if (status == InflateStatus::TooLarge || status == InflateStatus::SinkFailed) {
                inflateEnd(&zs);
                return status;
            }
        } while (zs.avail_out == 0 && zr != Z_STREAM_END);
        if (progress) progress(static_cast<int>(static_cast<double>(fed) * 99 / static_cast<double>(size)));
    }
    inflateEnd(&zs);
    return zr == Z_STREAM_END ? InflateStatus::Ok : InflateStatus::Truncated;
}

std::optional<platform::SecureBytes> DeflateMemory(const std::uint8_t *data, std::size_t size, int level) {
    platform::SecureBytes out(compressBound(static_cast<uLong>(size)));
    uLongf length = static_cast<uLongf>(out.size());
    if (compress2(out.data(), &length, data, static_cast<uLong>(size), level) != Z_OK) return std::nullopt;
    out.resize(length);
    return out;
}

} // namespace kalmira
