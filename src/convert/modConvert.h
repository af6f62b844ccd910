// Conversion of pictures (BMP also RLE4/RLE8 and palette, JPG, GIF, WMF and
// whatever else the installed image readers take) into uncompressed BMP files,
// by default 24-bit true colour, optionally resized so that 24-bit rows need
// no pad bytes, or into 8-bit RGB PNG files. Decides and returns results; the
// words are convert_texts'.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kalmira::convert {

// A decoded picture: top-down rows of pixels 0x00RRGGBB.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    bool empty() const { return width <= 0 || height <= 0; }
    std::uint32_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x];
    }
};

// The decoders come from a module loaded on the first picture
// (decoder_api.h); without it no file is a readable picture.
std::string DecoderFileName();
bool DecodersAvailable();

// Decodes the file at its own size; nullopt when it is no readable picture.
// A metafile is rendered at the size it gives itself (96 dpi).
std::optional<Picture> LoadPicture(const std::string &path);

// Metafiles that take longer to draw are given up (10 s by default).
void SetMetafileTimeLimit(double seconds);

// Whether the file is a metafile (drawn anew at any size); nullopt when the
// file cannot be read.
std::optional<bool> IsMetafile(const std::string &path);

// Decodes the file drawn stretched (smoothly) to width x height; a metafile
// is rendered directly at that size.
std::optional<Picture> LoadPictureStretched(const std::string &path, int width, int height);

struct PixelSize {
    int width = 0;
    int height = 0;
    bool operator==(const PixelSize &) const = default;
};

// The optimised size: both sides raised to 4 first; then r = width mod 4, and
// r == 3 grows both sides by 1, otherwise both shrink by r.
PixelSize OptimisedSize(int width, int height);

// Stretches `picture` to its optimised size; a metafile `file` is drawn
// again at that size. False (picture unchanged) when `file` cannot be read
// any more.
bool elim_padbytes(Picture &picture, const std::string &file);

// Area-averaging resize to width x height (both >= 1).
Picture ScaleSmooth(const Picture &source, int width, int height);

// The size after dividing both sides by `factor` (rounded, never below 1).
PixelSize ReducedSize(int width, int height, int factor);
// Area-averaging reduction by `factor` (>= 2; 1 leaves the picture): every
// output pixel is the mean of a factor x factor block, so a JPEG's 8 x 8
// block grid no longer lines up with the pixels.
void Reduce(Picture &picture, int factor);

// Swaps the red and blue bytes of a colour 0x00BBGGRR.
std::uint32_t rgb_to_quad(std::uint32_t colour);

// Bytes of one stored row at the depth, padded to a multiple of 4.
std::int64_t DibRowSize(int width, int depth);

// Writes the picture as an uncompressed BMP of the depth (1, 4, 8, 16, 24 or
// 32 bits): 14 + 40 header bytes, a colour table only for 1, 4 and 8 bits,
// rows bottom-up. `palette` (colours 0x00BBGGRR) is used as the colour table
// when it has exactly 2, 16 or 256 entries to match the depth; otherwise a
// fixed table is used. An existing file at `path` is replaced only once the
// new one is complete. Result: the length of the written file; -1 for an
// unsupported depth, -2 for a picture without pixels, -3 for a picture whose
// pixel buffer does not match its size, 0 for a failure while writing, with
// the system's error number in `error` (0 when there is none).
std::int32_t save_bitmap(const Picture &picture, int depth, const std::string &path,
                         const std::vector<std::uint32_t> *palette = nullptr, int *error = nullptr);

// Writes the picture as an 8-bit RGB PNG, replacing `path` only once the new
// file is complete. Result and `error` as for save_bitmap (0 or -2, -3).
std::int64_t SavePng(const Picture &picture, const std::string &path, int *error = nullptr);

enum class OutputType {
    Bmp,
    Png
};
// PNG for a name ending in ".png" (any case), BMP otherwise.
OutputType OutputTypeOf(const std::string &path);

enum class ConvertStatus {
    Ok,
    DecodersMissing, // the decoder module is not installed
    CannotDecode,    // the image could not be read as a picture
    SaveFailed,      // the output could not be written
};

struct ConvertRequest {
    std::string imagePath;
    std::string outputPath;
    OutputType type = OutputType::Bmp;
    bool optimised = true; // pad-byte free size (after the reduction)
    int reduceBy = 1;      // 1: own size
};

struct ConvertResult {
    ConvertStatus status = ConvertStatus::Ok;
    PixelSize written;
    int error = 0; // system error number of a failed write
};

// Converts the picture: reduced first, then resized to the optimised size
// when asked, then written as a 24-bit BMP or an 8-bit RGB PNG. Applies the
// image memory limit first, for programs that have no start window to do it.
ConvertResult ConvertImage(const ConvertRequest &request);

} // namespace kalmira::convert
