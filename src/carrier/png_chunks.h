// The chunk structure of a PNG file, checked before any pixel is decoded.
#pragma once

#include "carrier/png_file.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kalmira::carrier::png {

// A chunk in the file: its type, and where its data lies.
struct ChunkRef {
    ChunkType type{};
    std::size_t offset = 0; // of the data
    std::uint32_t length = 0;
    bool afterImageData = false;
};

struct Layout {
    PngFacts facts;
    std::vector<ChunkRef> others; // every chunk but IHDR, IDAT and IEND, in file order
    std::size_t idatBegin = 0;    // first byte of the first IDAT chunk
    std::size_t idatEnd = 0;      // after the last one (they follow each other)
    std::uint64_t idatCount = 0;
    std::uint32_t firstIdatLength = 0;
    std::size_t iendBegin = 0;
    std::size_t end = 0; // after IEND
};

// Walks signature and chunks: CRCs, IHDR fields, the order of IHDR, PLTE,
// IDAT and IEND. Does not judge whether the picture can be a carrier. More
// than 4096 chunks besides IDAT (real pictures have a few dozen) are
// Unsupported: their list would cost more memory than the file.
CodecProblem WalkChunks(std::span<const std::uint8_t> file, Layout &layout);

// Calls fn with the data of each IDAT chunk in order while it returns true.
template <class Fn>
void ForEachIdat(std::span<const std::uint8_t> file, const Layout &l, Fn &&fn) {
    for (std::size_t at = l.idatBegin; at < l.idatEnd; at += 12 + std::size_t{Be32(file.data() + at)})
        if (!fn(file.subspan(at + 8, Be32(file.data() + at)))) return;
}

inline bool IsCritical(const ChunkType &t) { return (t[0] & 0x20) == 0; }
inline bool IsSafeToCopy(const ChunkType &t) { return (t[3] & 0x20) != 0; }
bool Is(const ChunkType &t, const char *name);

// Ancillary chunks whose meaning survives changed pixels.
bool IsKnownAncillary(const ChunkType &t);
// Written back: PLTE, the known ancillary chunks and the safe-to-copy ones.
inline bool IsKept(const ChunkType &t) { return IsCritical(t) || IsKnownAncillary(t) || IsSafeToCopy(t); }

} // namespace kalmira::carrier::png
