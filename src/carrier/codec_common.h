// What the PNG and FLAC carrier codecs share: why a file is refused, the
// changes the format engine hands back, and where encoded bytes go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kalmira::platform {
class BinaryFile;
}

namespace kalmira::carrier {

// Why a carrier file was refused or could not be written. The texts are made
// by the callers.
enum class CodecProblem {
    None,
    ReadFailed,       // the file could not be opened or read
    WriteFailed,      // the encoded file could not be written
    NotThisFormat,    // no PNG signature / no "fLaC" marker
    Truncated,        // the file ends before its structure does
    ChecksumMismatch, // a chunk or frame CRC, or the MD5 of the samples, does not match
    Malformed,        // contradicts the format: header fields, chunk order, compressed data
    PalettePicture,   // PNG colour type 3: convert to true colour first
    LowBitDepth,      // PNG grey with 1, 2 or 4 bits: convert first
    Animated,         // animated PNG (acTL): the other frames cannot be kept
    Unsupported,      // valid but not handled: unknown critical chunk, FLAC sample size
                      // outside 8..24 bits, stream parameters changing between frames
    TooLarge,         // the decoded samples would exceed the caller's memory limit
    InvalidChange,    // a change list the carrier cannot take (see ApplyChanges)
};

// One change of the format engine: `delta` is added to every colour channel
// of pixel `element` (row * width + column) or to sample `element`
// (frame * channels + channel). Lists are sorted by element, without repeats.
struct ElementChange {
    std::uint64_t element = 0;
    std::int32_t delta = 0;
};

// Where an encoded file goes, in order, from its first byte. write() must
// not throw: libpng calls it.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool write(const std::uint8_t *data, std::size_t n) = 0;
};

// Appends to a vector.
class MemorySink final : public ByteSink {
public:
    explicit MemorySink(std::vector<std::uint8_t> &out) : out_(out) {}
    bool write(const std::uint8_t *data, std::size_t n) override;

private:
    std::vector<std::uint8_t> &out_;
};

// Writes to an open file from `offset` on; flushing is the caller's.
class FileSink final : public ByteSink {
public:
    explicit FileSink(platform::BinaryFile &file, std::int64_t offset = 0) : file_(file), at_(offset) {}
    bool write(const std::uint8_t *data, std::size_t n) override;

private:
    platform::BinaryFile &file_;
    std::int64_t at_;
};

// Reads a whole file. TooLarge, before allocating, when it exceeds `limit`.
CodecProblem ReadWholeFile(const std::string &path, std::uint64_t limit, std::vector<std::uint8_t> &bytes);

// Creates (or truncates) `path`, lets `encode` fill it and flushes it to the
// device. What was written stays on failure: staging is the caller's.
CodecProblem WriteToPath(const std::string &path, const std::function<CodecProblem(ByteSink &)> &encode);

// Big-endian fields of PNG and FLAC headers.
inline std::uint32_t Be32(const std::uint8_t *p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}
inline std::uint32_t Be24(const std::uint8_t *p) {
    return static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
}
inline std::uint16_t Be16(const std::uint8_t *p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
inline void PutBe32(std::uint8_t *p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

} // namespace kalmira::carrier
