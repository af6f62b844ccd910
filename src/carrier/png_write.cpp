// Encoding with libpng. As in png_read.cpp, the function that calls libpng
// and the callbacks hold only trivially destructible objects across the
// setjmp; the chunk and palette tables are built before and freed after it.
// Every kept ancillary chunk goes to libpng as an "unknown" chunk with its
// place, so libpng writes their bytes unchanged in their order.
#include "carrier/png_internal.h"

#include <zlib.h>

#include <bit>
#include <cstring>
#include <new>

namespace kalmira::carrier {

namespace {

using png::Is;

struct Job {
    const PngImage *image;
    ByteSink *sink;
    png_unknown_chunk *chunks;
    int chunkCount;
    png_color *palette;
    int paletteSize;
    const std::uint8_t *filters; // one per stream row, or null: adaptive
    int strategy;
    bool outOfMemory;
    bool sinkFailed;
};

void WriteBytes(png_structp png, png_bytep data, std::size_t n) {
    auto *job = static_cast<Job *>(png_get_io_ptr(png));
    if (!job->sink->write(data, n)) {
        job->sinkFailed = true;
        png_error(png, "write failed");
    }
}

void FlushNothing(png_structp) {}

// The libpng filter mask for a filter type of the input. libpng keeps the
// previous row only if the first row's mask names a filter that needs it, so
// the first row pairs NONE with UP and SUB with PAETH: above the first row
// they give the same bytes, and on a tie libpng keeps the one tried first.
int FilterMask(std::uint8_t type, bool firstRow) {
    static const int kMasks[5] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH};
    if (firstRow && type == 0) return PNG_FILTER_NONE | PNG_FILTER_UP;
    if (firstRow && type == 1) return PNG_FILTER_SUB | PNG_FILTER_PAETH;
    return kMasks[type];
}

// Whether libpng writes row y in pass `pass` (it is called for every row of
// every pass and skips the rows outside the pass, and empty passes).
bool InStream(const PngImage &im, int pass, std::uint32_t y) {
    if (!im.interlaced) return true;
    const png::Pass &p = png::kAdam7[pass];
    return y >= p.y0 && (y - p.y0) % p.dy == 0 && png::PassSpan(im.width, p.x0, p.dx) > 0;
}

std::size_t StreamRows(const PngImage &im) {
    if (!im.interlaced) return im.height;
    std::size_t n = 0;
    for (const png::Pass &p : png::kAdam7)
        if (png::PassSpan(im.width, p.x0, p.dx) > 0) n += png::PassSpan(im.height, p.y0, p.dy);
    return n;
}

void Configure(png_structp png, png_infop info, const Job &job) {
    const PngImage &im = *job.image;
    const int colourType = (im.colourChannels == 3 ? PNG_COLOR_MASK_COLOR : 0) | (im.alpha ? PNG_COLOR_MASK_ALPHA : 0);
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_IHDR(png, info, im.width, im.height, im.bitDepth, colourType,
                 im.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (job.paletteSize > 0) png_set_PLTE(png, info, job.palette, job.paletteSize);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, nullptr, 0);
    if (job.chunkCount > 0) png_set_unknown_chunks(png, info, job.chunks, job.chunkCount);
    png_set_compression_level(png, im.encoding.zlibLevel);
    png_set_compression_strategy(png, job.strategy);
    png_set_compression_buffer_size(png, im.encoding.idatSize);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS); // adaptive unless set per row
}

bool Encode(Job *job) {
    png_structp png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, job, png::OnError, png::OnWarning,
                                                &job->outOfMemory, png::Alloc, png::Free);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, job, WriteBytes, FlushNothing);
    Configure(png, info, *job);
    png_write_info(png, info);
    const PngImage &im = *job->image;
    if (im.bitDepth == 16 && std::endian::native == std::endian::little) png_set_swap(png);
    const int passes = im.interlaced ? png_set_interlace_handling(png) : 1;
    const std::uint8_t *filter = job->filters;
    for (int pass = 0; pass < passes; ++pass)
        for (std::uint32_t y = 0; y < im.height; ++y) {
            if (filter != nullptr && InStream(im, pass, y)) {
                const bool first = filter == job->filters;
                png_set_filter(png, PNG_FILTER_TYPE_BASE, FilterMask(*filter++, first));
            }
            png_write_row(png, im.pixels.data() + std::size_t{y} * im.rowBytes());
        }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// The unknown-chunk table for libpng: places relative to PLTE and IDAT.
void ChunkTable(const PngImage &im, std::vector<png_unknown_chunk> &table, std::vector<png_color> &palette) {
    bool plteSeen = false;
    for (const PngChunk &c : im.chunks) {
        if (Is(c.type, "PLTE")) {
            plteSeen = true;
            for (std::size_t i = 0; i + 2 < c.data.size(); i += 3)
                palette.push_back({c.data[i], c.data[i + 1], c.data[i + 2]});
            continue;
        }
        png_unknown_chunk u{};
        std::memcpy(u.name, c.type.data(), 4);
        u.data = const_cast<png_byte *>(c.data.data());
        u.size = c.data.size();
        u.location = static_cast<png_byte>(c.afterImageData ? PNG_AFTER_IDAT
                                           : plteSeen       ? PNG_HAVE_PLTE
                                                            : PNG_HAVE_IHDR);
        table.push_back(u);
    }
}

} // namespace

CodecProblem WritePng(const PngImage &image, ByteSink &sink) {
    if (image.pixels.size() != image.rowBytes() * image.height || image.width == 0 || image.height == 0)
        return CodecProblem::InvalidChange;
    std::vector<png_unknown_chunk> table;
    std::vector<png_color> palette;
    try {
        ChunkTable(image, table, palette);
    } catch (const std::bad_alloc &) {
        return CodecProblem::TooLarge;
    }
    const bool useFilters = image.encoding.rowFilters.size() == StreamRows(image);
    Job job{&image,
            &sink,
            table.data(),
            static_cast<int>(table.size()),
            palette.data(),
            static_cast<int>(palette.size()),
            useFilters ? image.encoding.rowFilters.data() : nullptr,
            image.encoding.strategy,
            false,
            false};
    if (Encode(&job)) {
        if (!image.trailer.empty() && !sink.write(image.trailer.data(), image.trailer.size()))
            return CodecProblem::WriteFailed;
        return CodecProblem::None;
    }
    if (job.sinkFailed) return CodecProblem::WriteFailed;
    return job.outOfMemory ? CodecProblem::TooLarge : CodecProblem::Malformed;
}

CodecProblem WritePngFile(const PngImage &image, const std::string &path) {
    return WriteToPath(path, [&](ByteSink &sink) { return WritePng(image, sink); });
}

} // namespace kalmira::carrier
