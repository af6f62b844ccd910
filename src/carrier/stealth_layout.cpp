#include "carrier/stealth_layout.h"

#include "carrier/bmp.h"
#include "carrier/classify.h"
#include "carrier/riff.h"
#include "platform/binary_file.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

namespace kalmira::carrier {

namespace {

constexpr std::size_t kChunkBytes = std::size_t{512} << 10;      // stays in the L2 cache from read to write
constexpr std::uint64_t kMaxRowBytes = std::uint64_t{256} << 10; // 87,381 pixels of 24 bits

Layout Refuse(Unsuitable why) {
    Layout l;
    l.problem = why;
    return l;
}

// One sample a row; little-endian, so a sample's low byte comes first.
Layout SampleLayout(const Chunk &data, std::uint32_t bits) {
    Layout l;
    l.offset = static_cast<std::uint64_t>(data.body());
    l.groupSize = bits / 8;
    l.rowStride = l.groupSize;
    l.rows = data.size / l.groupSize;
    l.groups = 1;
    l.usablePerGroup = 1;
    return l;
}

Layout BmpLayout(const platform::BinaryFile &file) {
    BmpHeader h;
    if (!ReadBmpHeader(file, h) || h.have < 26) return Refuse(Unsuitable::Malformed);
    std::int64_t width, height;
    std::uint32_t bpp, compression = 0;
    if (h.infoSize == 12) {
        width = h.coreWidth;
        height = h.coreHeight;
        bpp = h.coreBitsPerPixel;
    } else if (h.infoSize >= 40 && h.have >= 54) {
        width = h.width;
        height = h.height;
        bpp = static_cast<std::uint16_t>(h.bitsPerPixel);
        compression = static_cast<std::uint32_t>(h.compression);
    } else {
        return Refuse(Unsuitable::Malformed);
    }
    if (bpp <= 8) return Refuse(Unsuitable::PaletteBmp);
    if (bpp != 24 && bpp != 32) return Refuse(Unsuitable::UnsupportedBmp);
    if (compression == 3 && bpp == 32) {
        // Bit fields: only the usual blue-green-red order, masks after a 40-byte header.
        if (h.have < 66 || h.masks[0] != 0x00FF0000 || h.masks[1] != 0x0000FF00 || h.masks[2] != 0x000000FF)
            return Refuse(Unsuitable::UnsupportedBmp);
    } else if (compression != 0) {
        return Refuse(Unsuitable::UnsupportedBmp);
    }
    if (width <= 0 || height == 0) return Refuse(Unsuitable::Malformed);
    const auto size = static_cast<std::uint64_t>(h.fileLength);
    Layout l;
    l.offset = h.dataOffset;
    l.rows = static_cast<std::uint64_t>(height < 0 ? -height : height);
    l.topDown = height < 0;
    l.groupSize = bpp / 8;
    l.groups = static_cast<std::uint64_t>(width);
    l.usablePerGroup = 3;
    l.rowStride = (l.rowBytes() + 3) / 4 * 4;
    if (l.offset < 14 + std::uint64_t{h.infoSize} || l.offset + (l.rows - 1) * l.rowStride + l.rowBytes() > size)
        return Refuse(Unsuitable::Malformed);
    // Passes read up to 64 whole rows at a time: keep that bounded.
    if (l.rowStride > kMaxRowBytes) return Refuse(Unsuitable::UnsupportedBmp);
    return l;
}

// "fmt " must come before "data"; anything else (LIST, fact, ...) is skipped.
Layout WavLayout(const platform::BinaryFile &file, std::int64_t size) {
    WavFormat fmt;
    bool haveFmt = false;
    Layout l = Refuse(Unsuitable::Malformed);
    const bool read = WalkChunks(file, size, [&](const Chunk &c) {
        if (c.cut) return false;
        if (c.is(kFormatChunk)) {
            if (c.size < 16 || c.body() + 16 > size || !ReadFormat(file, size, c, fmt)) return false;
            haveFmt = true;
            return true;
        }
        if (!c.is(kDataChunk)) return true;
        const std::uint32_t format =
            fmt.formatTag == -2 && fmt.subFormat ? fmt.subFormat : static_cast<std::uint16_t>(fmt.formatTag);
        const auto bits = static_cast<std::uint16_t>(fmt.bitsPerSample);
        // The order decides the reason: no format, then kind, then size.
        if (!haveFmt)
            l = Refuse(Unsuitable::Malformed); // NOLINT(bugprone-branch-clone)
        else if (format != 1)
            l = Refuse(Unsuitable::CompressedWav);
        else if (bits != 8 && bits != 16 && bits != 24)
            l = Refuse(Unsuitable::UnsupportedWav);
        else if (fmt.channels == 0 || c.body() + static_cast<std::int64_t>(c.size) > size)
            l = Refuse(Unsuitable::Malformed);
        else {
            l = SampleLayout(c, bits);
            l.frameSamples = static_cast<std::uint16_t>(fmt.channels);
        }
        return false;
    });
    return read ? l : Refuse(Unsuitable::Malformed);
}

} // namespace

std::uint64_t Layout::fileOffset(std::uint64_t i) const {
    const std::uint64_t perRow = groups * usablePerGroup;
    const std::uint64_t row = i / perRow, inRow = i % perRow;
    return offset + row * rowStride + inRow / usablePerGroup * groupSize + inRow % usablePerGroup;
}

Layout ReadLayout(const platform::BinaryFile &file) {
    const std::int64_t size = file.size();
    std::uint8_t magic[12] = {};
    if (size < 12 || !file.readAt(0, magic, 12)) return Refuse(Unsuitable::NotBmpOrWav);
    switch (ContentOf(magic, sizeof magic)) {
    case Content::Bmp: return BmpLayout(file);
    case Content::Wav: return WavLayout(file, size);
    case Content::Other: break;
    }
    return Refuse(Unsuitable::NotBmpOrWav);
}

namespace {

// Usable bytes lie back to back (24-bit rows without padding, 8-bit sound):
// the chunk as read is the chunk of usable bytes.
bool Dense(const Layout &l) { return l.groupSize == l.usablePerGroup && l.rowStride == l.rowBytes(); }

// Visits the carrier in runs of whole rows, gathering usable bytes into one
// buffer unless they are dense: visit(file offset, raw, usable, count, rows, first, done).
template <class Visit>
bool Walk(const Layout &l, Visit &&visit) {
    // Chunks hold whole groups of 64 usable bytes: a multiple of `align` rows.
    const std::uint64_t perRow = l.groups * l.usablePerGroup;
    const std::uint64_t align = 64 / std::gcd(perRow, std::uint64_t{64});
    const std::uint64_t rowsPerChunk = std::max(align, kChunkBytes / l.rowStride / align * align);
    const bool dense = Dense(l);
    std::vector<std::uint8_t> raw, usable;
    std::uint64_t first = 0;
    for (std::uint64_t r = 0; r < l.rows; r += rowsPerChunk) {
        const std::uint64_t n = std::min(rowsPerChunk, l.rows - r);
        const std::uint64_t span = (n - 1) * l.rowStride + l.rowBytes();
        const auto count = static_cast<std::size_t>(n * perRow);
        raw.resize(static_cast<std::size_t>(span));
        if (!dense) usable.resize(count);
        std::uint8_t *u = dense ? raw.data() : usable.data();
        if (!visit(l.offset + r * l.rowStride, raw, u, count, n, first, double(r + n) / double(l.rows))) return false;
        first += count;
    }
    return true;
}

void Gather(const Layout &l, const std::uint8_t *raw, std::uint8_t *out, std::uint64_t rows) {
    if (Dense(l)) return;
    for (std::uint64_t r = 0; r < rows; ++r) {
        const std::uint8_t *row = raw + r * l.rowStride;
        if (l.groupSize == l.usablePerGroup) {
            std::memcpy(out, row, static_cast<std::size_t>(l.groups * l.groupSize));
            out += l.groups * l.groupSize;
            continue;
        }
        for (std::uint64_t g = 0; g < l.groups; ++g)
            for (std::uint32_t b = 0; b < l.usablePerGroup; ++b) *out++ = row[g * l.groupSize + b];
    }
}

} // namespace

bool ReadPass(const platform::BinaryFile &file, const Layout &layout, const ChunkFn &fn,
              const std::function<bool(double)> &progress) {
    return Walk(layout, [&](std::uint64_t at, std::vector<std::uint8_t> &raw, std::uint8_t *usable, std::size_t count,
                            std::uint64_t rows, std::uint64_t first, double done) {
        if (!file.readAt(static_cast<std::int64_t>(at), raw.data(), raw.size())) return false;
        Gather(layout, raw.data(), usable, rows);
        fn(first, usable, count);
        return !progress || progress(done);
    });
}

} // namespace kalmira::carrier
