#include "carrier/riff.h"

#include "platform/binary_file.h"
#include "platform/byte_order.h"

#include <algorithm>
#include <cstring>

namespace kalmira::carrier {

namespace {

// How much a position looks like a chunk header: 2 for an id the programs
// know, 1 for any four printable ASCII characters, 0 otherwise; then
// whether the size it names ends within the file.
struct Likelihood {
    int id = 0;
    bool fits = false;
    bool operator>=(const Likelihood &o) const { return id != o.id ? id > o.id : fits >= o.fits; }
};

Likelihood LikelihoodAt(const platform::BinaryFile &file, std::int64_t length, std::int64_t at) {
    std::uint8_t head[8];
    Likelihood l;
    if (!ReadZeroPadded(file, length, at, head, sizeof head)) return l;
    static const char *const kKnown[] = {kDataChunk, kFormatChunk, "LIST", "fact", "cue ",
                                         "JUNK",     "PAD ",       "bext", "id3 "};
    for (const char *k : kKnown)
        if (std::memcmp(head, k, 4) == 0) l.id = 2;
    if (l.id == 0 && std::all_of(head, head + 4, [](std::uint8_t c) { return c >= 0x20 && c <= 0x7E; })) l.id = 1;
    l.fits = at + 8 + static_cast<std::int64_t>(platform::Le32u(head + 4)) <= length;
    return l;
}

// RIFF pads an odd-sized chunk with one byte; the unpadded position wins
// only when it looks more like a chunk header than the padded one.
std::int64_t NextChunk(const platform::BinaryFile &file, std::int64_t length, const Chunk &c) {
    const std::int64_t bare = c.body() + static_cast<std::int64_t>(c.size);
    if (c.size % 2 == 0) return bare;
    return LikelihoodAt(file, length, bare + 1) >= LikelihoodAt(file, length, bare) ? bare + 1 : bare;
}

} // namespace

bool IsRiffWave(const std::uint8_t *h) { return std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WAVE", 4) == 0; }

bool Chunk::is(const char *id4) const { return std::memcmp(id, id4, 4) == 0; }

bool ReadZeroPadded(const platform::BinaryFile &file, std::int64_t length, std::int64_t offset, std::uint8_t *buf,
                    std::size_t n) {
    std::memset(buf, 0, n);
    if (offset < 0 || offset >= length) return true;
    const auto have = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(n), length - offset));
    return file.readAt(offset, buf, have);
}

bool WalkChunks(const platform::BinaryFile &file, std::int64_t length,
                const std::function<bool(const Chunk &)> &visit) {
    Chunk c;
    std::size_t visited = 0;
    for (std::int64_t pos = 12; pos < length && visited < kMaxChunks; ++visited) {
        std::uint8_t head[8];
        if (!ReadZeroPadded(file, length, pos, head, sizeof head)) return false;
        std::memcpy(c.id, head, 4);
        c.size = platform::Le32u(head + 4);
        c.offset = pos;
        c.cut = pos + 8 > length;
        if (!visit(c) || c.size > 0x7FFFFFFFu) break;
        pos = NextChunk(file, length, c);
    }
    return true;
}

bool ReadFormat(const platform::BinaryFile &file, std::int64_t length, const Chunk &fmt, WavFormat &f) {
    std::uint8_t r[26];
    if (!ReadZeroPadded(file, length, fmt.body(), r, sizeof r)) return false;
    f.formatTag = platform::Le16(r);
    f.channels = platform::Le16(r + 2);
    f.sampleRate = platform::Le32(r + 4);
    f.bytesPerSec = platform::Le32(r + 8);
    f.blockAlign = platform::Le16(r + 12);
    f.bitsPerSample = platform::Le16(r + 14);
    const bool extended = fmt.size >= 26 && fmt.body() + 26 <= length;
    f.subFormat = extended ? static_cast<std::uint16_t>(platform::Le16u(r + 24)) : 0;
    return true;
}

} // namespace kalmira::carrier
