#include "carrier/flac_metadata.h"

#include <cstring>

namespace kalmira::carrier::flac {

namespace {

constexpr std::size_t kStreamInfoLength = 34;
constexpr std::size_t kSeekPointLength = 18;
// Real files have a handful; the list of more would cost more than the file.
constexpr std::size_t kMaxBlocks = 4096;

// Size of an ID3v2 tag at `at` (header, body, footer), 0 when there is none.
std::size_t Id3v2Size(std::span<const std::uint8_t> file, std::size_t at) {
    if (file.size() - at < 10 || std::memcmp(file.data() + at, "ID3", 3) != 0) return 0;
    const std::uint8_t *p = file.data() + at;
    std::size_t body = 0;
    for (int i = 6; i < 10; ++i) body = body << 7 | (p[i] & 0x7F);
    return 10 + body + ((p[5] & 0x10) ? 10 : 0);
}

StreamInfo ParseStreamInfo(const std::uint8_t *d) {
    StreamInfo s;
    s.minBlockSize = Be16(d);
    s.maxBlockSize = Be16(d + 2);
    s.sampleRate = std::uint32_t{d[10]} << 12 | std::uint32_t{d[11]} << 4 | d[12] >> 4;
    s.channels = ((d[12] >> 1) & 7) + 1;
    s.bitsPerSample = (((d[12] & 1) << 4) | d[13] >> 4) + 1;
    s.totalSamples = std::uint64_t{d[13] & 0x0Fu} << 32 | Be32(d + 14);
    return s;
}

CodecProblem CheckBlock(const BlockRef &b, bool first, bool seekTableSeen) {
    if (first != (b.type == FlacStreamInfo)) return CodecProblem::Malformed;
    if (b.type == FlacStreamInfo && b.length != kStreamInfoLength) return CodecProblem::Malformed;
    if (b.type == FlacSeekTable && (seekTableSeen || b.length % kSeekPointLength != 0)) return CodecProblem::Malformed;
    if (b.type == 127) return CodecProblem::Malformed;
    return CodecProblem::None;
}

std::uint32_t Le32(const std::uint8_t *p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

// The entries of a VORBIS_COMMENT block (little-endian lengths, unlike the
// rest of FLAC), counting only those that lie within the block.
std::uint32_t CountComments(std::span<const std::uint8_t> d) {
    std::size_t at = 0;
    auto skipString = [&] {
        if (d.size() - at < 4 || d.size() - at - 4 < Le32(d.data() + at)) return false;
        at += 4 + Le32(d.data() + at);
        return true;
    };
    if (!skipString() || d.size() - at < 4) return 0;
    const std::uint32_t stated = Le32(d.data() + at);
    at += 4;
    std::uint32_t n = 0;
    while (n < stated && skipString()) ++n;
    return n;
}

} // namespace

CodecProblem ScanMetadata(std::span<const std::uint8_t> file, Scan &scan) {
    scan = Scan{};
    std::size_t at = 0;
    while (std::size_t tag = Id3v2Size(file, at)) {
        if (tag > file.size() - at) return CodecProblem::Truncated;
        at += tag;
    }
    scan.leadingTag = at;
    if (file.size() - at < 4 || std::memcmp(file.data() + at, "fLaC", 4) != 0) return CodecProblem::NotThisFormat;
    at += 4;
    bool last = false, seekTable = false;
    while (!last) {
        if (file.size() - at < 4) return CodecProblem::Truncated;
        const std::uint8_t *h = file.data() + at;
        const BlockRef b{static_cast<std::uint8_t>(h[0] & 0x7F), at + 4, Be24(h + 1)};
        if (CodecProblem e = CheckBlock(b, scan.blocks.empty(), seekTable); e != CodecProblem::None) return e;
        if (scan.blocks.size() == kMaxBlocks) return CodecProblem::Unsupported;
        if (file.size() - b.offset < b.length) return CodecProblem::Truncated;
        last = (h[0] & 0x80) != 0;
        seekTable = seekTable || b.type == FlacSeekTable;
        scan.blocks.push_back(b);
        at = b.offset + b.length;
    }
    scan.framesBegin = at;
    scan.info = ParseStreamInfo(file.data() + scan.blocks[0].offset);
    const StreamInfo &s = scan.info;
    if (s.maxBlockSize < 16 || s.minBlockSize > s.maxBlockSize || s.sampleRate == 0) return CodecProblem::Malformed;
    if (file.size() - at >= 128 && std::memcmp(file.data() + file.size() - 128, "TAG", 3) == 0) scan.trailingTag = 128;
    return CodecProblem::None;
}

void CountSeekPoints(std::span<const std::uint8_t> data, std::uint32_t &points, std::uint32_t &placeholders) {
    points = placeholders = 0;
    for (std::size_t i = 0; i + kSeekPointLength <= data.size(); i += kSeekPointLength) {
        const bool placeholder = Be32(data.data() + i) == 0xFFFFFFFF && Be32(data.data() + i + 4) == 0xFFFFFFFF;
        ++(placeholder ? placeholders : points);
    }
}

void PutBlockHeader(std::vector<std::uint8_t> &out, std::uint8_t type, bool last, std::size_t length) {
    out.push_back(static_cast<std::uint8_t>(type | (last ? 0x80 : 0)));
    out.push_back(static_cast<std::uint8_t>(length >> 16));
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.push_back(static_cast<std::uint8_t>(length));
}

} // namespace kalmira::carrier::flac

namespace kalmira::carrier {

CodecProblem ReadFlacFacts(std::span<const std::uint8_t> file, FlacFacts &facts) {
    facts = FlacFacts{};
    flac::Scan scan;
    if (CodecProblem e = flac::ScanMetadata(file, scan); e != CodecProblem::None) return e;
    const flac::StreamInfo &s = scan.info;
    facts.sampleRate = s.sampleRate;
    facts.channels = s.channels;
    facts.bitsPerSample = s.bitsPerSample;
    facts.totalSamples = s.totalSamples;
    facts.seconds = static_cast<double>(s.totalSamples) / s.sampleRate;
    facts.minBlockSize = s.minBlockSize;
    facts.maxBlockSize = s.maxBlockSize;
    for (const flac::BlockRef &b : scan.blocks) {
        facts.blocks.push_back({b.type, b.length});
        if (b.type == FlacVorbisComment) facts.vorbisComments += flac::CountComments(file.subspan(b.offset, b.length));
    }
    facts.audioBytes = file.size() - scan.framesBegin - scan.trailingTag;
    return CodecProblem::None;
}

} // namespace kalmira::carrier
