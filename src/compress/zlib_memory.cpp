#include "compress/zlib_memory.h"

#include "platform/binary_file.h"
#include "platform/secure_memory.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace kalmira {

namespace {
constexpr std::size_t kChunk = 256 * 1024;
constexpr std::size_t kInStep = 1 << 20; // bounds a step and paces the progress
// Deflate turns at most 258 input bytes into one length/distance pair of at
// least two bits, so no output is shorter than a 1032nd of the input.
constexpr std::int64_t kMaxDeflateRatio = 1032;
// Output grows in these steps (zlib's stream does not depend on them); each
// step is zeroed once, so small payloads stay cheap.
constexpr std::size_t kOutStep = 64 * 1024;

struct Deflater {
    z_stream zs{};
    bool ready = false;
    explicit Deflater(int level) { ready = deflateInit(&zs, level) == Z_OK; }
    ~Deflater() {
        if (ready) deflateEnd(&zs);
    }
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;

    // Feeds one block; false once the output passes maxOutput.
    bool feed(std::uint8_t *in, std::size_t n, int flush, platform::SecureBytes &out, std::int64_t maxOutput) {
        zs.next_in = in;
        zs.avail_in = static_cast<uInt>(n);
        do {
            const std::size_t at = out.size();
            out.resize(at + kOutStep);
            zs.next_out = out.data() + at;
            zs.avail_out = static_cast<uInt>(kOutStep);
            deflate(&zs, flush);
            out.resize(at + kOutStep - zs.avail_out);
            if (maxOutput >= 0 && static_cast<std::int64_t>(out.size()) > maxOutput) return false;
        } while (zs.avail_out == 0);
        return true;
    }
};
} // namespace

InflateStatus InflateMemory(const std::uint8_t *data, std::size_t size,
                            const std::function<bool(const std::uint8_t *, std::size_t)> &sink, std::int64_t maxOutput,
                            const std::function<void(int)> &progress) {
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
            if (maxOutput >= 0 && produced > maxOutput)
                status = InflateStatus::TooLarge;
            else if (have > 0 && !sink(out.data(), have))
                status = InflateStatus::SinkFailed;
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

DeflatedFile DeflateFile(const std::string &path, std::int64_t maxOutput, const std::function<void(int)> &progress,
                         int level) {
    DeflatedFile result;
    platform::BinaryFile in;
    const std::int64_t total = in.open(path, platform::BinaryFile::Mode::Read) ? in.size() : -1;
    if (total < 0) {
        result.status = DeflateStatus::ReadFailed;
        return result;
    }
    if (maxOutput >= 0 && total / kMaxDeflateRatio > maxOutput) {
        result.status = DeflateStatus::TooLarge;
        return result;
    }
    Deflater d(level);
    if (!d.ready) return result;
    // The whole output is reserved once, so that growing never leaves a copy
    // of the payload in freed memory.
    std::int64_t most = static_cast<std::int64_t>(deflateBound(&d.zs, static_cast<uLong>(total)));
    if (maxOutput >= 0) most = std::min(most, maxOutput);
    result.bytes.reserve(static_cast<std::size_t>(most) + 2 * kOutStep);
    const auto blockSize = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(kChunk), total));
    platform::SecureBytes block(blockSize);
    std::int64_t done = 0;
    if (progress) progress(0);
    int flush = Z_NO_FLUSH;
    do { // as CompFile: a short read (end of file) finishes the stream
        const auto n =
            static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(kChunk), total - done));
        if (n > 0 && !in.readAt(done, block.data(), n)) {
            result.status = DeflateStatus::ReadFailed;
            return result;
        }
        done += static_cast<std::int64_t>(n);
        flush = n < kChunk ? Z_FINISH : Z_NO_FLUSH;
        if (!d.feed(block.data(), n, flush, result.bytes, maxOutput)) {
            result.status = DeflateStatus::TooLarge;
            result.bytes.clear();
            return result;
        }
        if (progress) progress(flush == Z_FINISH ? 99 : static_cast<int>(done * 99 / std::max<std::int64_t>(total, 1)));
    } while (flush != Z_FINISH);
    if (progress) progress(100);
    result.status = DeflateStatus::Ok;
    return result;
}

} // namespace kalmira
