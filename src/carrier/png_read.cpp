// Decoding with libpng. libpng reports errors with longjmp: the functions that
// call it (and its callbacks) hold only trivially destructible objects, so a
// jump never skips a destructor; everything C++ is prepared before and kept
// after. (Its simplified API would avoid the jump but does not fit: it keeps
// no chunks, writes no interlaced pictures, and turns 16-bit samples into
// linear light.) libpng sees only IHDR, the IDAT run and IEND: the other
// chunks were checked and copied by the chunk walker.
#include "carrier/png_chunks.h"
#include "carrier/png_internal.h"

#include <png.h>
#include <zlib.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

namespace kalmira::carrier {

namespace {

using png::Is;

constexpr std::size_t kHeadBytes = 8 + 12 + 13; // signature and IHDR

// The bytes libpng reads: signature and IHDR, the IDAT run, IEND.
struct Source {
    const std::uint8_t *part[3];
    std::size_t size[3];
    int current;
    std::size_t at;
    bool outOfMemory;
};

void ReadBytes(png_structp png, png_bytep out, std::size_t n) {
    auto *s = static_cast<Source *>(png_get_io_ptr(png));
    while (n > 0) {
        if (s->current == 3) png_error(png, "read past the end");
        const std::size_t left = s->size[s->current] - s->at;
        const std::size_t take = n < left ? n : left;
        std::memcpy(out, s->part[s->current] + s->at, take);
        out += take;
        n -= take;
        s->at += take;
        if (s->at == s->size[s->current]) {
            ++s->current;
            s->at = 0;
        }
    }
}

enum class Decoded {
    Ok,
    Damaged,
    OutOfMemory
};

Decoded DecodeRows(Source *src, png_bytepp rows, std::size_t rowBytes, bool swap16, bool interlaced) {
    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, src, png::OnError, png::OnWarning,
                                               &src->outOfMemory, png::Alloc, png::Free);
    if (png == nullptr) return Decoded::OutOfMemory;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return Decoded::OutOfMemory;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return src->outOfMemory ? Decoded::OutOfMemory : Decoded::Damaged;
    }
    png_set_read_fn(png, src, ReadBytes);
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_read_info(png, info);
    if (swap16) png_set_swap(png);
    if (interlaced) png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != rowBytes) png_error(png, "unexpected row size");
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return Decoded::Ok;
}

CodecProblem Decode(std::span<const std::uint8_t> file, const png::Layout &l, PngImage &image) {
    std::vector<png_bytep> rows;
    try {
        rows.resize(image.height);
    } catch (const std::bad_alloc &) {
        return CodecProblem::TooLarge;
    }
    const std::size_t rowBytes = image.rowBytes();
    for (std::uint32_t y = 0; y < image.height; ++y) rows[y] = image.pixels.data() + y * rowBytes;
    Source src{{file.data(), file.data() + l.idatBegin, file.data() + l.iendBegin},
               {kHeadBytes, l.idatEnd - l.idatBegin, l.end - l.iendBegin},
               0,
               0,
               false};
    const bool swap16 = image.bitDepth == 16 && std::endian::native == std::endian::little;
    switch (DecodeRows(&src, rows.data(), rowBytes, swap16, image.interlaced)) {
    case Decoded::Ok: return CodecProblem::None;
    case Decoded::OutOfMemory: return CodecProblem::TooLarge;
    case Decoded::Damaged: break;
    }
    return CodecProblem::Malformed;
}

// Sorts the chunks other than IHDR/IDAT/IEND into kept and dropped ones, and
// refuses what cannot be written back.
CodecProblem SortChunks(const png::Layout &l, std::uint64_t &keptBytes, PngImage &image) {
    keptBytes = 0;
    for (const png::ChunkRef &c : l.others) {
        if (Is(c.type, "acTL") || Is(c.type, "fcTL") || Is(c.type, "fdAT")) return CodecProblem::Animated;
        if (png::IsCritical(c.type) && !Is(c.type, "PLTE")) return CodecProblem::Unsupported;
        if (png::IsKept(c.type))
            keptBytes += c.length;
        else
            image.dropped.push_back(c.type);
    }
    keptBytes += l.facts.trailingBytes;
    return CodecProblem::None;
}

void KeepChunks(std::span<const std::uint8_t> file, const png::Layout &l, PngImage &image) {
    for (const png::ChunkRef &c : l.others) {
        if (!png::IsKept(c.type)) continue;
        const std::uint8_t *d = file.data() + c.offset;
        image.chunks.push_back({c.type, {d, d + c.length}, c.afterImageData});
        if (!Is(c.type, "tRNS")) continue;
        if (image.colourChannels == 1 && !image.alpha && c.length == 2) {
            image.hasColourKey = true;
            image.colourKey = {Be16(d), 0, 0};
        } else if (image.colourChannels == 3 && !image.alpha && c.length == 6) {
            image.hasColourKey = true;
            image.colourKey = {Be16(d), Be16(d + 2), Be16(d + 4)};
        }
    }
}

// Pixels, row pointers and kept chunks within the limit, checked before any of
// them is allocated.
bool FitsLimit(const PngImage &image, std::uint64_t keptBytes, std::uint64_t limit) {
    const std::uint64_t perRow = image.rowBytes() + sizeof(png_bytep);
    if (keptBytes > limit || perRow > limit - keptBytes) return false;
    return image.height <= (limit - keptBytes) / perRow;
}

CodecProblem Read(std::span<const std::uint8_t> file, std::uint64_t memoryLimit, PngImage &image) {
    png::Layout l;
    if (CodecProblem e = png::WalkChunks(file, l); e != CodecProblem::None) return e;
    const PngFacts &f = l.facts;
    if (f.colourType == 3) return CodecProblem::PalettePicture;
    if (f.bitDepth < 8) return CodecProblem::LowBitDepth;
    std::uint64_t keptBytes = 0;
    if (CodecProblem e = SortChunks(l, keptBytes, image); e != CodecProblem::None) return e;
    image.width = f.width;
    image.height = f.height;
    image.colourChannels = (f.colourType & 2) ? 3 : 1;
    image.alpha = (f.colourType & 4) != 0;
    image.bitDepth = f.bitDepth;
    image.interlaced = f.interlaced;
    if (!FitsLimit(image, keptBytes, memoryLimit)) return CodecProblem::TooLarge;
    try {
        image.pixels.resize(image.rowBytes() * image.height);
        KeepChunks(file, l, image);
        image.trailer.assign(file.begin() + static_cast<std::ptrdiff_t>(l.end), file.end());
    } catch (const std::bad_alloc &) {
        return CodecProblem::TooLarge;
    }
    if (CodecProblem e = Decode(file, l, image); e != CodecProblem::None) return e;
    png::StudyCompression(file, l, image);
    return CodecProblem::None;
}

} // namespace

CodecProblem ReadPngFacts(std::span<const std::uint8_t> file, PngFacts &facts) {
    png::Layout l;
    const CodecProblem e = png::WalkChunks(file, l);
    facts = std::move(l.facts);
    return e;
}

CodecProblem ReadPng(std::span<const std::uint8_t> file, std::uint64_t memoryLimit, PngImage &image) {
    image = PngImage{};
    const CodecProblem e = Read(file, memoryLimit, image);
    if (e != CodecProblem::None) image = PngImage{};
    return e;
}

CodecProblem ReadPngFile(const std::string &path, std::uint64_t memoryLimit, PngImage &image) {
    image = PngImage{};
    std::vector<std::uint8_t> bytes;
    if (CodecProblem e = ReadWholeFile(path, memoryLimit, bytes); e != CodecProblem::None) return e;
    return ReadPng(bytes, memoryLimit - bytes.size(), image);
}

} // namespace kalmira::carrier
