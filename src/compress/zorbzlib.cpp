// ZorbZlib: file-to-file deflate / inflate in zlib format, streamed in blocks.
#include "compress/zorbzlib.h"

#include <zlib.h>

#include <cstdio>
#include <vector>

#define ZORB_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr size_t kChunk = 256 * 1024;

struct File {
    std::FILE *f = nullptr;
    ~File() {
        if (f) std::fclose(f);
    }
};

// The size of an open file from its end; the position goes back to the start.
long long sizeOf(std::FILE *f) {
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    const long long size = std::ftell(f);
    std::rewind(f);
    return size;
}

void report(ZorbProgress cb, int &last, int percent) {
    if (!cb || percent == last) return;
    last = percent;
    cb(percent);
}

int percentOf(long long done, long long total) {
    if (total <= 0) return 100;
    long long p = done * 100 / total;
    return static_cast<int>(p > 100 ? 100 : p);
}

// Closes the destination; a failed close (disk full on flush) is a write error.
int32_t finish(File &dest, const char *destPath, int32_t rc) {
    if (dest.f && std::fclose(dest.f) != 0 && rc == zorb::kOk) rc = zorb::kWriteError;
    dest.f = nullptr;
    if (rc != zorb::kOk) std::remove(destPath);
    return rc;
}

// Deflate turns at most 258 input bytes into one length/distance pair of at
// least two bits, so no output is shorter than a 1032nd of the input.
constexpr long long kMaxDeflateRatio = 1032;

int32_t compress(const char *dest, const char *src, int32_t level, ZorbProgress progress, long long maxOutput) {
    if (!dest || !src) return zorb::kInternal;
    File in{std::fopen(src, "rb")};
    if (!in.f) return zorb::kSourceNotOpened;
    if (level < -1 || level > 9) return zorb::kBadLevel;
    if (maxOutput >= 0 && sizeOf(in.f) / kMaxDeflateRatio > maxOutput) {
        std::remove(dest);
        return zorb::kOutputTooLarge;
    }
    File out{std::fopen(dest, "wb")};
    if (!out.f) return zorb::kDestNotOpened;

    z_stream zs{};
    if (deflateInit(&zs, level) != Z_OK) return finish(out, dest, zorb::kInternal);
    std::vector<unsigned char> inBuf(kChunk), outBuf(kChunk);
    const long long total = sizeOf(in.f);
    long long done = 0, written = 0;
    int last = -1;
    report(progress, last, 0);
    int32_t rc = zorb::kOk;
    int flush = Z_NO_FLUSH;
    do {
        size_t n = std::fread(inBuf.data(), 1, kChunk, in.f);
        if (std::ferror(in.f)) {
            rc = zorb::kReadError;
            break;
        }
        done += static_cast<long long>(n);
        flush = std::feof(in.f) ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = inBuf.data();
        zs.avail_in = static_cast<uInt>(n);
        do {
            zs.next_out = outBuf.data();
            zs.avail_out = static_cast<uInt>(kChunk);
            deflate(&zs, flush);
            size_t have = kChunk - zs.avail_out;
            written += static_cast<long long>(have);
            if (maxOutput >= 0 && written > maxOutput) {
                rc = zorb::kOutputTooLarge;
                break;
            }
            if (std::fwrite(outBuf.data(), 1, have, out.f) != have) {
                rc = zorb::kWriteError;
                break;
            }
        } while (zs.avail_out == 0);
        if (rc != zorb::kOk) break;
        report(progress, last, flush == Z_FINISH ? 99 : percentOf(done, total) * 99 / 100);
    } while (flush != Z_FINISH);
    deflateEnd(&zs);
    rc = finish(out, dest, rc);
    if (rc == zorb::kOk) report(progress, last, 100);
    return rc;
}

} // namespace

ZORB_EXPORT int32_t CompFile(const char *dest, const char *src, int32_t level, ZorbProgress progress) {
    return compress(dest, src, level, progress, -1);
}

ZORB_EXPORT int32_t CompFileLimited(const char *dest, const char *src, int32_t level, ZorbProgress progress,
                                    int64_t maxOutput) {
    return compress(dest, src, level, progress, maxOutput < 0 ? -1 : maxOutput);
}

ZORB_EXPORT int32_t DecompFile(const char *dest, const char *src, ZorbProgress progress) {
    if (!dest || !src) return zorb::kInternal;
    File in{std::fopen(src, "rb")};
    if (!in.f) return zorb::kSourceNotOpened;
    File out{std::fopen(dest, "wb")};
    if (!out.f) return zorb::kDestNotOpened;

    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return finish(out, dest, zorb::kInternal);
    std::vector<unsigned char> inBuf(kChunk), outBuf(kChunk);
    const long long total = sizeOf(in.f);
    long long done = 0;
    int last = -1;
    report(progress, last, 0);
    int32_t rc = zorb::kOk;
    int zr = Z_OK;
    // Bytes after the end of the stream (zero padding of AES blocks) are ignored.
    while (zr != Z_STREAM_END && rc == zorb::kOk) {
        size_t n = std::fread(inBuf.data(), 1, kChunk, in.f);
        if (std::ferror(in.f)) {
            rc = zorb::kReadError;
            break;
        }
        if (n == 0) {
            rc = zorb::kTruncatedData;
            break;
        }
        done += static_cast<long long>(n);
        zs.next_in = inBuf.data();
        zs.avail_in = static_cast<uInt>(n);
        do {
            zs.next_out = outBuf.data();
            zs.avail_out = static_cast<uInt>(kChunk);
            zr = inflate(&zs, Z_NO_FLUSH);
            if (zr == Z_NEED_DICT || zr == Z_DATA_ERROR || zr == Z_MEM_ERROR || zr == Z_STREAM_ERROR) {
                rc = zorb::kCorruptData;
                break;
            }
            size_t have = kChunk - zs.avail_out;
            if (std::fwrite(outBuf.data(), 1, have, out.f) != have) {
                rc = zorb::kWriteError;
                break;
            }
            if (zr == Z_BUF_ERROR && zs.avail_in == 0) break;
        } while (zs.avail_out == 0 && zr != Z_STREAM_END);
        report(progress, last, percentOf(done, total) * 99 / 100);
    }
    inflateEnd(&zs);
    rc = finish(out, dest, rc);
    if (rc == zorb::kOk) report(progress, last, 100);
    return rc;
}
