// The metadata of a FLAC file, read and written byte for byte (libFLAC would
// replace the vendor string and renumber nothing else, but we keep it all).
#pragma once

#include "carrier/flac_file.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kalmira::carrier::flac {

struct StreamInfo {
    std::uint32_t minBlockSize = 0;
    std::uint32_t maxBlockSize = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t channels = 0;
    std::uint32_t bitsPerSample = 0;
    std::uint64_t totalSamples = 0;
};

struct BlockRef {
    std::uint8_t type = 0;
    std::size_t offset = 0; // of the data
    std::uint32_t length = 0;
};

struct Scan {
    std::size_t leadingTag = 0;  // ID3v2 bytes before "fLaC"
    std::size_t framesBegin = 0; // after the last metadata block
    std::size_t trailingTag = 0; // ID3v1 bytes at the end (0 or 128)
    StreamInfo info;
    std::vector<BlockRef> blocks; // STREAMINFO first
};

// Walks the ID3v2 tag, the marker and the metadata blocks; checks STREAMINFO.
CodecProblem ScanMetadata(std::span<const std::uint8_t> file, Scan &scan);

// Real points and placeholders of a SEEKTABLE block.
void CountSeekPoints(std::span<const std::uint8_t> data, std::uint32_t &points, std::uint32_t &placeholders);

// Appends a block header (type, last-block flag, 24-bit length).
void PutBlockHeader(std::vector<std::uint8_t> &out, std::uint8_t type, bool last, std::size_t length);

} // namespace kalmira::carrier::flac
