// Inflating a zlib stream held in memory, as ZorbZlib's DecompFile reads it
// from a file: for decrypted payloads, which must not touch a temporary file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

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
                            std::int64_t maxOutput = -1,
                            const std::function<void(int)> &progress = {});

} // namespace kalmira
