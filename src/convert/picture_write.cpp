// The converter's writers: uncompressed BMP of any depth and 8-bit RGB PNG.
#include "convert/modConvert.h"

#include "carrier/codec_common.h"
#include "carrier/png_file.h"
#include "platform/binary_file.h"
#include "platform/platform.h"
#include "platform/temp_file.h"

#include <cerrno>
#include <limits>
#include <unordered_map>

namespace kalmira::convert {

std::uint32_t rgb_to_quad(std::uint32_t c) {
    const std::uint32_t green = (c & 0xFF00) / 256;
    const std::uint32_t blue = (c & 0xFF0000) / 65536;
    const std::uint32_t red = c & 0xFF;
    return green * 256 + blue + red * 65536;
}

std::int64_t DibRowSize(int width, int depth) { return (static_cast<std::int64_t>(width) * depth + 31) / 32 * 4; }

namespace {

bool SupportedDepth(int depth) {
    return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

void Put16(std::vector<std::uint8_t> &v, std::size_t at, std::uint32_t x) {
    v[at] = static_cast<std::uint8_t>(x);
    v[at + 1] = static_cast<std::uint8_t>(x >> 8);
}
void Put32(std::vector<std::uint8_t> &v, std::size_t at, std::uint32_t x) {
    Put16(v, at, x);
    Put16(v, at + 2, x >> 16);
}

// Colour tables as 0x00RRGGBB (the byte order of a table entry on disk).
std::vector<std::uint32_t> DefaultTable(int entries) {
    if (entries == 2) return {0x000000, 0xFFFFFF};
    if (entries == 16)
        return {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    // 6 x 6 x 6 colour cube, then 40 greys.
    std::vector<std::uint32_t> t;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                t.push_back(static_cast<std::uint32_t>((r * 51) << 16 | (g * 51) << 8 | b * 51));
    for (int i = 0; i < 40; ++i) {
        const auto v = static_cast<std::uint32_t>(i * 255 / 39);
        t.push_back(v << 16 | v << 8 | v);
    }
    return t;
}

// Index of the nearest table colour, remembered per colour.
class NearestColour {
public:
    explicit NearestColour(const std::vector<std::uint32_t> &table) : table_(table) {}
    std::uint32_t operator()(std::uint32_t c) {
        auto it = cache_.find(c);
        if (it != cache_.end()) return it->second;
        std::uint32_t best = 0;
        long bestDistance = std::numeric_limits<long>::max();
        for (std::size_t i = 0; i < table_.size(); ++i) {
            long d = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                const long diff =
                    static_cast<long>((c >> shift) & 0xFF) - static_cast<long>((table_[i] >> shift) & 0xFF);
                d += diff * diff;
            }
            if (d < bestDistance) bestDistance = d, best = static_cast<std::uint32_t>(i);
        }
        cache_.emplace(c, best);
        return best;
    }

private:
    const std::vector<std::uint32_t> &table_;
    std::unordered_map<std::uint32_t, std::uint32_t> cache_;
};

// Rows bottom-up, each padded with zero bytes to a multiple of 4.
std::vector<std::uint8_t> PixelRows(const Picture &p, int depth, const std::vector<std::uint32_t> &table) {
    const auto row = static_cast<std::size_t>(DibRowSize(p.width, depth));
    std::vector<std::uint8_t> out(row * static_cast<std::size_t>(p.height), 0);
    NearestColour nearest(table);
    for (int y = 0; y < p.height; ++y) {
        std::uint8_t *o = &out[row * static_cast<std::size_t>(p.height - 1 - y)];
        for (int x = 0; x < p.width; ++x) {
            const std::uint32_t c = p.at(x, y);
            const auto r = static_cast<std::uint8_t>(c >> 16), g = static_cast<std::uint8_t>(c >> 8),
                       b = static_cast<std::uint8_t>(c);
            switch (depth) {
            case 24: *o++ = b, *o++ = g, *o++ = r; break;
            case 32: *o++ = b, *o++ = g, *o++ = r, *o++ = 0; break;
            case 16: { // 5-5-5
                const auto v = static_cast<std::uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
                *o++ = static_cast<std::uint8_t>(v), *o++ = static_cast<std::uint8_t>(v >> 8);
                break;
            }
            default: { // 1, 4, 8: indices packed from the high bits of each byte
                const std::uint32_t index = nearest(c);
                const int bit = x * depth;
                o[bit / 8] |= static_cast<std::uint8_t>(index << (8 - depth - bit % 8));
                break;
            }
            }
        }
    }
    return out;
}

// Writes the parts under a staging name beside `path` and moves them over
// `path`, so that a failure leaves any older file of that name as it was.
// The error number of a failure goes to `error` (EISDIR for a folder, ENXIO
// for a dangling link, pipe or device under that name).
bool WriteReplacing(const std::string &path, std::initializer_list<const std::vector<std::uint8_t> *> parts,
                    int &error) {
    errno = 0;
    platform::StagedFile staged(path);
    if (staged.refused()) {
        error = platform::KindOf(path) == platform::PathKind::Directory ? EISDIR : ENXIO;
        return false;
    }
    platform::BinaryFile f;
    bool ok = staged.valid() && f.open(staged.path(), platform::BinaryFile::Mode::ReadWrite);
    std::int64_t at = 0;
    for (const auto *part : parts) {
        ok = ok && f.writeAt(at, part->data(), part->size());
        at += static_cast<std::int64_t>(part->size());
    }
    ok = ok && f.flush() && f.close() && staged.commit(true) == platform::StagedFile::Commit::Done;
    if (!ok) error = errno;
    return ok;
}

bool PixelsMatch(const Picture &p) {
    return p.pixels.size() == static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height);
}

} // namespace

std::int32_t save_bitmap(const Picture &picture, int depth, const std::string &path,
                         const std::vector<std::uint32_t> *palette, int *error) {
    int ignored = 0;
    int &err = error ? *error : ignored;
    err = 0;
    if (!SupportedDepth(depth)) return -1;
    if (picture.empty()) return -2;
    if (!PixelsMatch(picture)) return -3;

    const int entries = depth <= 8 ? 1 << depth : 0;
    std::vector<std::uint32_t> table;
    if (entries) {
        if (palette && palette->size() == static_cast<std::size_t>(entries)) {
            for (std::uint32_t c : *palette) table.push_back(rgb_to_quad(c));
        } else {
            table = DefaultTable(entries);
        }
    }
    const std::int64_t imageSize = DibRowSize(picture.width, depth) * picture.height;
    const std::int64_t offset = 54 + 4 * static_cast<std::int64_t>(entries);
    if (offset + imageSize > std::numeric_limits<std::int32_t>::max()) {
        err = EFBIG;
        return 0;
    }

    std::vector<std::uint8_t> head(static_cast<std::size_t>(offset), 0);
    head[0] = 'B';
    head[1] = 'M';
    Put32(head, 2, static_cast<std::uint32_t>(offset + imageSize));
    Put32(head, 10, static_cast<std::uint32_t>(offset));
    Put32(head, 14, 40);
    Put32(head, 18, static_cast<std::uint32_t>(picture.width));
    Put32(head, 22, static_cast<std::uint32_t>(picture.height));
    Put16(head, 26, 1);
    Put16(head, 28, static_cast<std::uint32_t>(depth));
    Put32(head, 34, static_cast<std::uint32_t>(imageSize));
    Put32(head, 46, static_cast<std::uint32_t>(entries));
    Put32(head, 50, static_cast<std::uint32_t>(entries));
    for (int i = 0; i < entries; ++i) Put32(head, 54 + 4 * static_cast<std::size_t>(i), table[i]);

    const std::vector<std::uint8_t> rows = PixelRows(picture, depth, table);
    if (!WriteReplacing(path, {&head, &rows}, err)) return 0;
    const std::int64_t size = platform::FileSize(path);
    return size > 0 ? static_cast<std::int32_t>(size) : 0;
}

std::int64_t SavePng(const Picture &picture, const std::string &path, int *error) {
    int ignored = 0;
    int &err = error ? *error : ignored;
    err = 0;
    if (picture.empty()) return -2;
    if (!PixelsMatch(picture)) return -3;
    carrier::PngImage png;
    png.width = static_cast<std::uint32_t>(picture.width);
    png.height = static_cast<std::uint32_t>(picture.height);
    png.colourChannels = 3;
    png.bitDepth = 8;
    png.pixels.reserve(picture.pixels.size() * 3);
    for (std::uint32_t c : picture.pixels) {
        png.pixels.push_back(static_cast<std::uint8_t>(c >> 16));
        png.pixels.push_back(static_cast<std::uint8_t>(c >> 8));
        png.pixels.push_back(static_cast<std::uint8_t>(c));
    }
    std::vector<std::uint8_t> bytes;
    carrier::MemorySink sink(bytes);
    if (carrier::WritePng(png, sink) != carrier::CodecProblem::None) return 0;
    if (!WriteReplacing(path, {&bytes}, err)) return 0;
    return platform::FileSize(path) > 0 ? platform::FileSize(path) : 0;
}

} // namespace kalmira::convert
