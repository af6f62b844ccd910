// zlib streams in memory, byte for byte as ZorbZlib's CompFile and DecompFile
// make and read them in files: for messages and decrypted payloads, which
// must not touch a temporary file.
#pragma once

#include "platform/secure_memory.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kalmira {

enum class InflateStatus {
    Ok,
    Corrupt,    // not a zlib stream, or damaged
    Truncated,  // the stream ends before its end marker
    SinkFailed, // the sink refused its bytes (disk full)
    TooLarge,   // more than maxOutput bytes would come out
};

// Hands the output to `sink` in pieces; bytes after the stream's end (the
// zero padding of AES blocks) are ignored. `progress` gets 0..100 by input.
InflateStatus InflateMemory(const std::uint8_t *data, std::size_t size,
                            const std::function<bool(const std::uint8_t *, std::size_t)> &sink,
                            std::int64_t maxOutput = -1, const std::function<void(int)> &progress = {});

// Deflates a buffer whole (one deflate call with Z_FINISH, as CompFile does
// for inputs up to its 256 KiB read block, so the bytes are the same);
// nullopt when zlib fails.
std::optional<platform::SecureBytes> DeflateMemory(const std::uint8_t *data, std::size_t size, int level = 6);

enum class DeflateStatus {
    Ok,
    ReadFailed, // the file could not be opened or read
    TooLarge,   // more than maxOutput bytes would come out
    Failed,     // zlib refused
};

struct DeflatedFile {
    DeflateStatus status = DeflateStatus::Failed;
    platform::SecureBytes bytes;
};

// Deflates a whole file into memory, byte for byte as ZorbZlib's CompFile
// writes it (the same 256 KiB reads): a classic payload is never larger than
// the carrier format allows, so no temporary file is needed and none can be
// left behind. Stops as soon as the output passes `maxOutput` (negative: no
// limit); `progress` gets 0..100 by input.
DeflatedFile DeflateFile(const std::string &path, std::int64_t maxOutput, const std::function<void(int)> &progress = {},
                         int level = 6);

} // namespace kalmira
