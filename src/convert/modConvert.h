// Conversion of pictures (BMP also RLE4/RLE8 and palette, JPG, GIF, WMF and
// whatever else the installed image readers take) into uncompressed BMP files,
// by default 24-bit true colour, optionally resized so that 24-bit rows need
// no pad bytes.
#pragma once

#include "shell/ui.h"

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

// Decodes the file at its own size; nullopt when it is no readable picture.
// A metafile is rendered at the size it gives itself (96 dpi).
std::optional<Picture> LoadPicture(const std::string &path);

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
// pixel buffer does not match its size, 0 for a failure while writing.
// `messages` (may be null) receives "Fehler!" and the reason under `title`
// for the depth and write failures.
std::int32_t save_bitmap(const Picture &picture, int depth, const std::string &path,
                         Messages *messages, const std::string &title,
                         const std::vector<std::uint32_t> *palette = nullptr);

// The reason a write failed, from the system's error number: German texts
// for the common reasons (permission, disk full, missing folder, ...), the
// system's own text after the number otherwise.
std::string ErrorText(int err);

enum class ConvertStatus {
    Ok,
    CannotDecode, // the image could not be read as a picture
    SaveFailed,   // the BMP could not be written
};

// Converts IMAGE into a 24-bit BMP at `bmpPath`, resized to the optimised
// size first when `optimised`; shows no messages. Applies the image memory
// limit first, for programs that have no start window to do it. `writtenSize` receives the
// size of the BMP that was written.
ConvertStatus ConvertImageToBmp(const std::string &imagePath, const std::string &bmpPath,
                                bool optimised, PixelSize *writtenSize = nullptr);

// The same into an 8-bit RGB PNG at `pngPath` (a carrier of the stealth
// format; nothing is lost, the file stays smaller than a BMP).
ConvertStatus ConvertImageToPng(const std::string &imagePath, const std::string &pngPath,
                                bool optimised, PixelSize *writtenSize = nullptr);

} // namespace kalmira::convert
