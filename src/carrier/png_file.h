// PNG pictures as carriers: read into memory, let the format engine change
// pixels, write the whole file back with everything else as it was.
//
// Taken: 8 or 16 bits per channel, grey, grey + alpha, RGB, RGBA, interlaced
// (Adam7) or not. Refused: palette pictures and greys below 8 bits (the
// converter makes true-colour pictures of them), animated PNGs, unknown
// critical chunks.
//
// Chunks: every ancillary chunk whose meaning does not depend on the exact
// pixel values (text, iTXt, zTXt, iCCP, eXIf, pHYs, gAMA, cHRM, sRGB, tIME,
// sBIT, bKGD, tRNS, ...) and every unknown safe-to-copy chunk is kept with its
// bytes and its place (before or after the image data); a suggested palette
// (PLTE of an RGB picture) too. Unknown unsafe-to-copy chunks may describe the
// old pixel data (Apple's iDOT holds offsets into it, dSIG a signature), so
// the PNG rules forbid an editor that changed the pixels to copy them: they
// are left out and listed in `dropped`, for the caller to decide.
#pragma once

#include "carrier/codec_common.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kalmira::carrier {

using ChunkType = std::array<char, 4>;

// A chunk kept for writing back.
struct PngChunk {
    ChunkType type{};
    std::vector<std::uint8_t> data;
    bool afterImageData = false;
};

// A chunk of the file as `kalmira info` lists it; a run of IDAT chunks is one
// entry with their count and total length.
struct PngChunkFact {
    ChunkType type{};
    std::uint64_t length = 0;
    std::uint32_t count = 1;
};

// The header and chunk list, for any PNG (palette pictures too).
struct PngFacts {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bitDepth = 0;
    int colourType = 0;               // IHDR value: 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    bool interlaced = false;          // Adam7
    std::vector<PngChunkFact> chunks; // file order, IHDR to IEND
    std::uint64_t trailingBytes = 0;  // after IEND
};

// How the input's image data was compressed; the writer follows it so that
// the output costs about what the input did.
struct PngEncoding {
    int zlibLevel = 9;             // zlib level and strategy that give about the input's size
    int strategy = 1;              // Z_FILTERED
    std::uint32_t idatSize = 8192; // data bytes per IDAT chunk
    // Filter type (0..4) of every row in stream order (pass by pass when
    // interlaced); empty when unknown: then chosen adaptively.
    std::vector<std::uint8_t> rowFilters;
};

struct PngImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int colourChannels = 0; // 1 grey, 3 RGB
    bool alpha = false;
    int bitDepth = 0; // 8 or 16
    bool interlaced = false;
    // Rows top to bottom, each `width` pixels of channels() samples (alpha
    // last); 16-bit samples in host byte order.
    std::vector<std::uint8_t> pixels;
    std::vector<PngChunk> chunks;      // kept chunks (PLTE too) in file order
    std::vector<ChunkType> dropped;    // unknown unsafe-to-copy chunks, not written back
    std::vector<std::uint8_t> trailer; // bytes after IEND, written back as they were
    // Colour key of a tRNS chunk (grey: [0]): pixels of this colour are transparent.
    bool hasColourKey = false;
    std::array<std::uint16_t, 3> colourKey{};
    PngEncoding encoding;

    int channels() const { return colourChannels + (alpha ? 1 : 0); }
    std::uint64_t pixelCount() const { return std::uint64_t{width} * height; }
    std::size_t rowBytes() const { return std::size_t{width} * channels() * (bitDepth / 8); }
    std::int32_t maxSample() const { return bitDepth == 16 ? 65535 : 255; }
    std::int32_t sample(std::uint64_t pixel, int channel) const;
    // The colour samples of row y (alpha left out): width * colourChannels values.
    void colourRow(std::uint32_t y, std::int32_t *out) const;
    // Fully transparent: alpha 0, or the colour key.
    bool transparent(std::uint64_t pixel) const;
    // Whether adding `delta` to every colour channel keeps the pixel in range,
    // visible, and off the colour key. Transparent pixels never change.
    bool changeAllowed(std::uint64_t pixel, std::int32_t delta) const;
};

CodecProblem ReadPngFacts(std::span<const std::uint8_t> file, PngFacts &facts);

// Decodes a PNG held in memory. `memoryLimit` bounds the bytes allocated for
// the pixels and the kept chunks; TooLarge before allocating beyond it.
// Beyond that, a working set of a few rows and at most 4 MiB of image data
// (the compression trial).
CodecProblem ReadPng(std::span<const std::uint8_t> file, std::uint64_t memoryLimit, PngImage &image);
// The same from a file; the file's bytes count against the limit too.
CodecProblem ReadPngFile(const std::string &path, std::uint64_t memoryLimit, PngImage &image);

// Applies a sorted change list; InvalidChange, with nothing changed, when an
// element is out of range or repeated, or a change is not changeAllowed().
CodecProblem ApplyChanges(PngImage &image, std::span<const ElementChange> changes);

// Encodes the picture: same header, kept chunks in their places, trailer.
CodecProblem WritePng(const PngImage &image, ByteSink &sink);
CodecProblem WritePngFile(const PngImage &image, const std::string &path);

} // namespace kalmira::carrier
