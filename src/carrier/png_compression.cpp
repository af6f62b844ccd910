// How the input was compressed, so that the rewrite costs about the same:
// the same filter for every row (the producer's choice is still the right one
// after changes of one), zlib settings that match its data, its IDAT size.
// Also libpng's callbacks.
#include "carrier/png_internal.h"

#include <zlib.h>

#include <algorithm>
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

// One pass over the input's image data: the filter type of every row, and
// the first filtered bytes (about 1 MiB, to the end of a deflate block) with
// the compressed bytes they took, to try zlib settings on.
struct Inflated {
    std::vector<std::uint8_t> filters;
    std::vector<std::uint8_t> prefix;
    std::uint64_t prefixCompressed = 0;
    bool complete = false; // inflated to exactly the expected rows
};

constexpr std::size_t kTrialBytes = std::size_t{1} << 20;
constexpr std::size_t kTrialMax = std::size_t{4} << 20; // a first block beyond this: no trial

void Note(Inflated &out, Rows &rows, std::size_t &inRow, const std::uint8_t *buf, std::size_t n) {
    for (std::size_t i = 0; i < n && !rows.done();) {
        if (inRow == 0) out.filters.push_back(buf[i]);
        const std::size_t take = std::min(n - i, rows.length() - inRow);
        i += take;
        inRow += take;
        if (inRow == rows.length()) {
            inRow = 0;
            rows.advance();
        }
    }
}

// Inflates the IDAT run block by block (libpng has accepted it already, so a
// failure here only means: filters chosen adaptively, level from the header).
void Inflate(std::span<const std::uint8_t> file, const Layout &l, const PngImage &image, Inflated &out) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return;
    std::uint8_t buf[1 << 16];
    Rows rows(image);
    std::size_t inRow = 0;
    bool trialDone = false;
    int r = Z_OK;
    ForEachIdat(file, l, [&](std::span<const std::uint8_t> chunk) {
        z.next_in = const_cast<Bytef *>(chunk.data());
        z.avail_in = static_cast<uInt>(chunk.size());
        while (r == Z_OK && (z.avail_in > 0 || z.avail_out == 0)) {
            z.next_out = buf;
            z.avail_out = sizeof buf;
            r = inflate(&z, Z_BLOCK);
            if (r == Z_BUF_ERROR) { // no progress: wants the next chunk
                r = Z_OK;
                break;
            }
            const std::size_t n = sizeof buf - z.avail_out;
            Note(out, rows, inRow, buf, n);
            if (trialDone) continue;
            if (out.prefix.size() + n > kTrialMax) {
                out.prefix.clear();
                trialDone = true;
                continue;
            }
            out.prefix.insert(out.prefix.end(), buf, buf + n);
            const bool blockEnd = (z.data_type & 128) != 0 || r == Z_STREAM_END;
            if (blockEnd && (out.prefix.size() >= kTrialBytes || r == Z_STREAM_END)) {
                out.prefixCompressed = z.total_in;
                trialDone = true;
            }
        }
        return r == Z_OK;
    });
    inflateEnd(&z);
    out.complete = r == Z_STREAM_END && rows.done() &&
                   std::all_of(out.filters.begin(), out.filters.end(), [](std::uint8_t f) { return f <= 4; });
    if (!trialDone) out.prefix.clear();
}

std::uint64_t Deflated(const std::vector<std::uint8_t> &data, int level, int strategy) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) return UINT64_MAX;
    std::uint8_t buf[1 << 16];
    z.next_in = const_cast<Bytef *>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    int r = Z_OK;
    while (r == Z_OK) {
        z.next_out = buf;
        z.avail_out = sizeof buf;
        r = deflate(&z, Z_FINISH);
    }
    const std::uint64_t n = r == Z_STREAM_END ? z.total_out : UINT64_MAX;
    deflateEnd(&z);
    return n;
}

// The zlib header's FLEVEL names a range of levels; the producer's strategy
// and any stronger compressor (zopfli, libdeflate) are invisible. So settings
// are tried on the first filtered bytes, cheapest first: the first that
// comes within 1 % of what the input took wins, else the smallest.
void ChooseLevel(std::span<const std::uint8_t> file, const Layout &l, const Inflated &in, PngEncoding &e) {
    std::uint8_t head[3];
    std::size_t have = 0;
    ForEachIdat(file, l, [&](std::span<const std::uint8_t> chunk) {
        for (std::size_t i = 0; i < chunk.size() && have < 3; ++i) head[have++] = chunk[i];
        return have < 3;
    });
    if (have < 3) return;
    const int flevel = head[1] >> 6;
    const bool stored = flevel == 0 && ((head[2] >> 1) & 3) == 0;
    struct Try {
        int level, strategy;
    };
    std::vector<Try> tries;
    if (stored) tries.push_back({0, Z_DEFAULT_STRATEGY});
    static const int kLowest[4] = {1, 2, 6, 7};
    tries.push_back({kLowest[flevel], Z_FILTERED});
    if (flevel == 2) tries.push_back({6, Z_DEFAULT_STRATEGY});
    tries.push_back({9, Z_FILTERED});
    tries.push_back({9, Z_DEFAULT_STRATEGY});
    e.zlibLevel = tries.front().level;
    e.strategy = tries.front().strategy;
    if (in.prefix.empty()) return;
    const std::uint64_t target = in.prefixCompressed + in.prefixCompressed / 100 + 32;
    std::uint64_t best = UINT64_MAX;
    for (const Try &t : tries) {
        const std::uint64_t n = Deflated(in.prefix, t.level, t.strategy);
        if (n < best) {
            best = n;
            e.zlibLevel = t.level;
            e.strategy = t.strategy;
        }
        if (n <= target) return;
    }
}

} // namespace

void StudyCompression(std::span<const std::uint8_t> file, const Layout &l, PngImage &image) {
    PngEncoding &e = image.encoding;
    // The first chunk's size unless it is the only one: then one chunk again.
    const std::uint64_t first = l.firstIdatLength;
    if (l.idatCount > 1 && first >= 256)
        e.idatSize = l.firstIdatLength;
    else if (l.idatCount == 1)
        e.idatSize =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(first + first / 8 + 4096, std::uint64_t{1} << 24));
    Inflated in;
    try {
        Inflate(file, l, image, in);
        ChooseLevel(file, l, in, e);
    } catch (const std::bad_alloc &) {
        in.complete = false;
    }
    if (in.complete) e.rowFilters = std::move(in.filters);
}

} // namespace kalmira::carrier::png
