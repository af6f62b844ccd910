// How the input was compressed, so that the rewrite costs about the same:
// the same filter for every row (the producer's choice is still the right one
// after changes of one), the zlib level its header names, its IDAT size.
#include "carrier/png_internal.h"

#include <zlib.h>

#include <cstdlib>
#include <new>

namespace kalmira::carrier::png {

[[noreturn]] void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void OnWarning(png_structp, png_const_charp) {}

png_voidp Alloc(png_structp png, png_alloc_size_t n) {
    void *p = std::malloc(n);
    if (p == nullptr) *static_cast<bool *>(png_get_mem_ptr(png)) = true;
    return p;
}

void Free(png_structp, png_voidp p) { std::free(p); }

namespace {

// Row lengths (filter byte included) of the stream, pass by pass.
class Rows {
public:
    explicit Rows(const PngImage &image) : image_(image) { next(); }
    bool done() const { return pass_ > 7; }
    std::size_t length() const { return length_; }
    void advance() {
        if (--left_ == 0) next();
    }

private:
    void next() {
        const std::size_t bytesPerPixel = std::size_t(image_.channels()) * (image_.bitDepth / 8);
        if (!image_.interlaced) {
            pass_ = pass_ == 0 ? 1 : 8;
            left_ = image_.height;
            length_ = 1 + bytesPerPixel * image_.width;
            return;
        }
        while (++pass_ <= 7) {
            const Pass &p = kAdam7[pass_ - 1];
            const std::uint32_t w = PassSpan(image_.width, p.x0, p.dx);
            left_ = PassSpan(image_.height, p.y0, p.dy);
            length_ = 1 + bytesPerPixel * w;
            if (w > 0 && left_ > 0) return;
        }
    }

    const PngImage &image_;
    int pass_ = 0; // 1..7 (1 when not interlaced), 8 at the end
    std::uint32_t left_ = 0;
    std::size_t length_ = 0;
};

// Inflates the IDAT run and notes the first byte of every row. Empty when the
// data does not inflate to exactly the expected rows (libpng has already
// accepted it, so this only means: choose filters adaptively).
std::vector<std::uint8_t> RowFilters(std::span<const std::uint8_t> file, const Layout &l, const PngImage &image) {
    std::vector<std::uint8_t> filters;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return filters;
    std::uint8_t buf[1 << 16];
    Rows rows(image);
    std::size_t inRow = 0; // bytes of the current row seen so far
    int r = Z_OK;
    for (std::size_t c = 0; c < l.idat.size() && r == Z_OK; ++c) {
        z.next_in = const_cast<Bytef *>(file.data() + l.idat[c].offset);
        z.avail_in = l.idat[c].length;
        while (r == Z_OK && (z.avail_in > 0 || z.avail_out == 0)) {
            z.next_out = buf;
            z.avail_out = sizeof buf;
            r = inflate(&z, Z_NO_FLUSH);
            if (r == Z_BUF_ERROR) { // no progress: wants the next chunk
                r = Z_OK;
                break;
            }
            for (std::size_t i = 0, n = sizeof buf - z.avail_out; i < n && !rows.done();) {
                if (inRow == 0) filters.push_back(buf[i]);
                const std::size_t take = std::min(n - i, rows.length() - inRow);
                i += take;
                inRow += take;
                if (inRow == rows.length()) {
                    inRow = 0;
                    rows.advance();
                }
            }
        }
    }
    inflateEnd(&z);
    if (r != Z_STREAM_END || !rows.done()) filters.clear();
    return filters;
}

// The window stays 32 KiB: libpng shrinks the header's window size by itself
// where the data allows, as the input's encoder did. Level from FLEVEL: the top of its range, so the result is
// no larger than the input; stored data (level 0) stays stored.
void ZlibSettings(std::span<const std::uint8_t> file, const Layout &l, PngEncoding &e) {
    std::uint8_t head[3];
    std::size_t have = 0;
    for (const ChunkRef &c : l.idat)
        for (std::uint32_t i = 0; i < c.length && have < 3; ++i) head[have++] = file[c.offset + i];
    if (have < 3 || (head[0] & 0x0F) != 8 || (head[0] >> 4) > 7) return;
    switch (head[1] >> 6) {
    case 0: e.zlibLevel = ((head[2] >> 1) & 3) == 0 ? 0 : 1; break;
    case 1: e.zlibLevel = 5; break;
    case 2: e.zlibLevel = 6; break;
    default: e.zlibLevel = 9; break;
    }
}

} // namespace

void StudyCompression(std::span<const std::uint8_t> file, const Layout &l, PngImage &image) {
    PngEncoding &e = image.encoding;
    ZlibSettings(file, l, e);
    // The first chunk's size unless it is the only one: then one chunk again.
    if (l.idat.size() > 1 && l.idat[0].length >= 256)
        e.idatSize = l.idat[0].length;
    else if (l.idat.size() == 1)
        e.idatSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(l.idat[0].length + l.idat[0].length / 8 + 4096,
                                                                         std::uint64_t{1} << 24));
    try {
        e.rowFilters = RowFilters(file, l, image);
    } catch (const std::bad_alloc &) {
        e.rowFilters.clear();
    }
    for (std::uint8_t f : e.rowFilters)
        if (f > 4) {
            e.rowFilters.clear();
            break;
        }
}

} // namespace kalmira::carrier::png
