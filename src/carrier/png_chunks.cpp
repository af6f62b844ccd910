#include "carrier/png_chunks.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace kalmira::carrier::png {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint32_t kMaxLength = 0x7FFFFFFF;
constexpr std::size_t kMaxChunks = 4096;

bool ValidType(const std::uint8_t *p) {
    return std::all_of(p, p + 4, [](std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

bool ValidDepth(int colourType, int depth) {
    switch (colourType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    default: return false;
    }
}

CodecProblem ReadHeader(const std::uint8_t *d, std::uint32_t length, PngFacts &f) {
    if (length != 13) return CodecProblem::Malformed;
    f.width = Be32(d);
    f.height = Be32(d + 4);
    f.bitDepth = d[8];
    f.colourType = d[9];
    f.interlaced = d[12] == 1;
    if (f.width == 0 || f.height == 0 || f.width > kMaxLength || f.height > kMaxLength ||
        !ValidDepth(f.colourType, f.bitDepth) || d[10] != 0 || d[11] != 0 || d[12] > 1)
        return CodecProblem::Malformed;
    return CodecProblem::None;
}

void ListChunk(PngFacts &f, const ChunkType &type, std::uint32_t length) {
    if (!f.chunks.empty() && Is(type, "IDAT") && Is(f.chunks.back().type, "IDAT")) {
        f.chunks.back().length += length;
        ++f.chunks.back().count;
        return;
    }
    f.chunks.push_back({type, length, 1});
}

// Where a chunk may stand, given what came before it.
CodecProblem CheckOrder(const ChunkType &t, std::uint32_t length, const Layout &l, bool plte) {
    const bool first = l.facts.chunks.empty();
    if (first != Is(t, "IHDR")) return CodecProblem::Malformed;
    const bool idatSeen = l.idatCount > 0;
    const bool idatRunOver = idatSeen && !Is(l.facts.chunks.back().type, "IDAT");
    if (Is(t, "IDAT")) return idatRunOver ? CodecProblem::Malformed : CodecProblem::None;
    if (Is(t, "PLTE")) {
        const int ct = l.facts.colourType;
        if (idatSeen || plte || ct == 0 || ct == 4 || length == 0 || length % 3 != 0 || length > 768)
            return CodecProblem::Malformed;
    }
    if (Is(t, "IEND") && !idatSeen) return CodecProblem::Malformed;
    return CodecProblem::None;
}

} // namespace

bool Is(const ChunkType &t, const char *name) { return std::memcmp(t.data(), name, 4) == 0; }

bool IsKnownAncillary(const ChunkType &t) {
    static const char *const kKnown[] = {"tEXt", "zTXt", "iTXt", "iCCP", "eXIf", "pHYs", "gAMA", "cHRM",
                                         "sRGB", "tIME", "sBIT", "bKGD", "tRNS", "hIST", "sPLT", "oFFs",
                                         "pCAL", "sCAL", "sTER", "gIFg", "gIFx", "cICP", "mDCv", "cLLi"};
    return std::any_of(std::begin(kKnown), std::end(kKnown), [&](const char *k) { return Is(t, k); });
}

CodecProblem WalkChunks(std::span<const std::uint8_t> file, Layout &l) {
    l = Layout{};
    if (file.size() < 8 || std::memcmp(file.data(), kSignature, 8) != 0) return CodecProblem::NotThisFormat;
    std::size_t at = 8;
    bool plte = false;
    for (;;) {
        if (file.size() - at < 12) return CodecProblem::Truncated;
        const std::uint8_t *p = file.data() + at;
        const std::uint32_t length = Be32(p);
        if (length > kMaxLength || !ValidType(p + 4)) return CodecProblem::Malformed;
        if (file.size() - at - 12 < length) return CodecProblem::Truncated;
        const std::uint32_t crc = static_cast<std::uint32_t>(crc32(crc32(0, nullptr, 0), p + 4, length + 4));
        if (crc != Be32(p + 8 + length)) return CodecProblem::ChecksumMismatch;
        ChunkType t;
        std::memcpy(t.data(), p + 4, 4);
        if (CodecProblem e = CheckOrder(t, length, l, plte); e != CodecProblem::None) return e;
        const ChunkRef ref{t, at + 8, length, l.idatCount > 0};
        if (Is(t, "IHDR")) {
            if (CodecProblem e = ReadHeader(p + 8, length, l.facts); e != CodecProblem::None) return e;
        } else if (Is(t, "IDAT")) {
            if (l.idatCount++ == 0) {
                l.idatBegin = at;
                l.firstIdatLength = length;
            }
            l.idatEnd = at + 12 + length;
        } else if (Is(t, "IEND")) {
            ListChunk(l.facts, t, length);
            l.iendBegin = at;
            l.end = at + 12 + length;
            l.facts.trailingBytes = file.size() - l.end;
            return CodecProblem::None;
        } else {
            plte = plte || Is(t, "PLTE");
            if (l.others.size() == kMaxChunks) return CodecProblem::Unsupported;
            l.others.push_back(ref);
        }
        ListChunk(l.facts, t, length);
        at += 12 + std::size_t{length};
    }
}

} // namespace kalmira::carrier::png
