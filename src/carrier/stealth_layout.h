// Where the stealth format's usable sample bytes of a carrier lie, and passes
// over them in large sequential chunks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kalmira::platform {
class BinaryFile;
}

namespace kalmira::carrier {

// Why a carrier cannot take the stealth format.
enum class Unsuitable {
    None,
    NotBmpOrWav,     // neither a BMP nor a RIFF/WAVE file
    PaletteBmp,      // 1-, 4- or 8-bit BMP
    UnsupportedBmp,  // 16-bit, compressed, odd bit fields, rows over 256 KiB
    CompressedWav,   // not PCM
    UnsupportedWav,  // PCM, but not 8, 16 or 24 bits per sample
    Malformed,       // headers contradict themselves or the file is cut short (PNG, FLAC: or damaged)
    PalettePng,      // PNG with a palette or greys below 8 bits
    UnsupportedPng,  // animated PNG, unknown critical chunks
    UnsupportedFlac, // over 24 bits per sample, stream parameters changing midway
    TooLarge,        // PNG or FLAC that would take more memory decoded than allowed
    HardLinked,      // PNG or FLAC with further names: replacing it would part them
};

// Usable bytes lie in `rows` rows of `rowStride` bytes from `offset`; each row
// holds `groups` groups (pixels, samples) of `groupSize` bytes whose first
// `usablePerGroup` bytes are usable (blue/green/red; a sample's low byte).
struct Layout {
    Unsuitable problem = Unsuitable::None;
    std::uint64_t offset = 0;
    std::uint64_t rows = 0;
    std::uint64_t rowStride = 0;
    std::uint64_t groups = 0;
    std::uint32_t groupSize = 0;
    std::uint32_t usablePerGroup = 0;
    bool topDown = false;           // pictures: the first row in the file is the top row
    std::uint32_t frameSamples = 1; // sound: samples per frame (channels)

    std::uint64_t usable() const { return rows * groups * usablePerGroup; }
    std::uint64_t rowBytes() const { return groups * groupSize; }
    // File offset of usable byte i (small look-ups only).
    std::uint64_t fileOffset(std::uint64_t i) const;
};

// Reads the headers of an open carrier. IoError is left to the caller (size < 0).
Layout ReadLayout(const platform::BinaryFile &file);

// Called with consecutive usable bytes: their index of the first one and the
// bytes, which the callee may change.
using ChunkFn = std::function<void(std::uint64_t first, std::uint8_t *bytes, std::size_t n)>;

// One read pass over every usable byte. False on a read error or cancel.
bool ReadPass(const platform::BinaryFile &file, const Layout &layout, const ChunkFn &fn,
              const std::function<bool(double)> &progress);

} // namespace kalmira::carrier
