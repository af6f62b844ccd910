#include "stealth/carrier_layout.h"

#include "platform/binary_file.h"
#include "platform/byte_order.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

namespace kalmira::stealth {

namespace {

constexpr std::size_t kChunkBytes = std::size_t{512} << 10; // stays in the L2 cache from read to write
constexpr std::uint64_t kMaxRowBytes = std::uint64_t{256} << 10;     // 87,381 pixels of 24 bits

using platform::Le16u;
using platform::Le32u;

Layout Refuse(Unsuitable why) {
    Layout l;
    l.problem = why;
    return l;
}

Layout BmpLayout(const platform::BinaryFile &file, std::uint64_t size) {
    std::uint8_t h[70] = {};
    const std::size_t have = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof h));
    if (have < 26 || !file.readAt(0, h, have)) return Refuse(Unsuitable::Malformed);
    const std::uint32_t dib = Le32u(h + 14);
    std::int64_t width, height;
    std::uint32_t bpp, compression = 0;
    if (dib == 12) {
        width = static_cast<std::int16_t>(Le16u(h + 18));
        height = static_cast<std::int16_t>(Le16u(h + 20));
        bpp = Le16u(h + 24);
    } else if (dib >= 40 && have >= 54) {
        width = static_cast<std::int32_t>(Le32u(h + 18));
        height = static_cast<std::int32_t>(Le32u(h + 22));
        bpp = Le16u(h + 28);
        compression = Le32u(h + 30);
    } else {
        return Refuse(Unsuitable::Malformed);
    }
    if (bpp <= 8) return Refuse(Unsuitable::PaletteBmp);
    if (bpp != 24 && bpp != 32) return Refuse(Unsuitable::UnsupportedBmp);
    if (compression == 3 && bpp == 32) {
        // Bit fields: only the usual blue-green-red order, masks after a 40-byte header.
        if (have < 66 || Le32u(h + 54) != 0x00FF0000 || Le32u(h + 58) != 0x0000FF00 ||
            Le32u(h + 62) != 0x000000FF)
            return Refuse(Unsuitable::UnsupportedBmp);
    } else if (compression != 0) {
        return Refuse(Unsuitable::UnsupportedBmp);
    }
    if (width <= 0 || height == 0) return Refuse(Unsuitable::Malformed);
    Layout l;
    l.offset = Le32u(h + 10);
    l.rows = static_cast<std::uint64_t>(height < 0 ? -height : height);
    l.groupSize = bpp / 8;
    l.groups = static_cast<std::uint64_t>(width);
    l.usablePerGroup = 3;
    l.rowStride = (l.rowBytes() + 3) / 4 * 4;
    if (l.offset < 14 + dib || l.offset + (l.rows - 1) * l.rowStride + l.rowBytes() > size)
        return Refuse(Unsuitable::Malformed);
    // Passes read up to 64 whole rows at a time: keep that bounded.
    if (l.rowStride > kMaxRowBytes) return Refuse(Unsuitable::UnsupportedBmp);
    return l;
}

// Walks the RIFF chunks: "fmt " must come before "data"; anything else
// (LIST, fact, ...) is skipped, odd-sized chunks with their pad byte.
Layout WavLayout(const platform::BinaryFile &file, std::uint64_t size) {
    std::uint64_t at = 12;
    std::uint32_t format = 0, channels = 0, bits = 0;
    bool haveFmt = false;
    while (at + 8 <= size) {
        std::uint8_t c[8];
        if (!file.readAt(static_cast<std::int64_t>(at), c, 8)) return Refuse(Unsuitable::Malformed);
        const std::uint64_t len = Le32u(c + 4);
        const std::uint64_t body = at + 8;
        if (std::memcmp(c, "fmt ", 4) == 0) {
            std::uint8_t f[26] = {};
            if (len < 16 || body + 16 > size) return Refuse(Unsuitable::Malformed);
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>({len, 26, size - body}));
            if (!file.readAt(static_cast<std::int64_t>(body), f, n)) return Refuse(Unsuitable::Malformed);
            format = Le16u(f);
            channels = Le16u(f + 2);
            bits = Le16u(f + 14);
            if (format == 0xFFFE && n >= 26) format = Le16u(f + 24); // extensible: the sub-format
            haveFmt = true;
        } else if (std::memcmp(c, "data", 4) == 0) {
            if (!haveFmt) return Refuse(Unsuitable::Malformed);
            if (format != 1) return Refuse(Unsuitable::CompressedWav);
            if (bits != 8 && bits != 16 && bits != 24) return Refuse(Unsuitable::UnsupportedWav);
            if (channels == 0 || body + len > size) return Refuse(Unsuitable::Malformed);
            Layout l;
            l.offset = body;
            l.groupSize = bits / 8;
            l.rowStride = l.groupSize;
            l.rows = len / l.groupSize;
            l.groups = 1;
            l.usablePerGroup = 1; // little-endian: the low byte comes first
            return l;
        }
        at = body + len + (len & 1);
    }
    return Refuse(Unsuitable::Malformed);
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
    const auto usize = static_cast<std::uint64_t>(size);
    if (magic[0] == 'B' && magic[1] == 'M') return BmpLayout(file, usize);
    if (std::memcmp(magic, "RIFF", 4) == 0 && std::memcmp(magic + 8, "WAVE", 4) == 0)
        return WavLayout(file, usize);
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
        if (!visit(l.offset + r * l.rowStride, raw, u, count, n, first, double(r + n) / double(l.rows)))
            return false;
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

void Scatter(const Layout &l, const std::uint8_t *in, std::uint8_t *raw, std::uint64_t rows) {
    if (Dense(l)) return;
    for (std::uint64_t r = 0; r < rows; ++r) {
        std::uint8_t *row = raw + r * l.rowStride;
        if (l.groupSize == l.usablePerGroup) {
            std::memcpy(row, in, static_cast<std::size_t>(l.groups * l.groupSize));
            in += l.groups * l.groupSize;
            continue;
        }
        for (std::uint64_t g = 0; g < l.groups; ++g)
            for (std::uint32_t b = 0; b < l.usablePerGroup; ++b) row[g * l.groupSize + b] = *in++;
    }
}

} // namespace

bool ReadPass(const platform::BinaryFile &file, const Layout &layout, const ChunkFn &fn,
              const std::function<bool(double)> &progress) {
    return Walk(layout, [&](std::uint64_t at, std::vector<std::uint8_t> &raw, std::uint8_t *usable,
                            std::size_t count, std::uint64_t rows, std::uint64_t first, double done) {
        if (!file.readAt(static_cast<std::int64_t>(at), raw.data(), raw.size())) return false;
        Gather(layout, raw.data(), usable, rows);
        fn(first, usable, count);
        return !progress || progress(done);
    });
}

bool RewritePass(platform::BinaryFile &file, const Layout &layout, const RewriteFn &fn,
                 const std::function<void(double)> &progress, bool &touched, const ChunkWriter &writer) {
    std::vector<std::uint8_t> was; // the chunk as read, for the writer
    const bool ok = Walk(layout, [&](std::uint64_t at, std::vector<std::uint8_t> &raw, std::uint8_t *usable,
                                     std::size_t count, std::uint64_t rows, std::uint64_t first, double done) {
        if (!file.readAt(static_cast<std::int64_t>(at), raw.data(), raw.size())) return false;
        if (writer) was.assign(raw.begin(), raw.end());
        Gather(layout, raw.data(), usable, rows);
        if (fn(first, usable, count)) {
            Scatter(layout, usable, raw.data(), rows);
            touched = true;
            if (writer ? !writer(static_cast<std::int64_t>(at), was, raw)
                       : !file.writeAt(static_cast<std::int64_t>(at), raw.data(), raw.size()))
                return false;
        }
        if (progress) progress(done);
        return true;
    });
    return ok && (!writer || writer(-1, {}, {})) && file.flush();
}

} // namespace kalmira::stealth
