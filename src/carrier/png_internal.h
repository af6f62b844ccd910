// Pieces the PNG reader and writer share.
#pragma once

#include "carrier/png_chunks.h"

#include <png.h>

namespace kalmira::carrier::png {

// libpng callbacks. Errors jump back to the setjmp of the calling function;
// warnings are dropped (the chunk walker has judged the file). The memory
// pointer is a bool that Alloc sets when the system refuses memory.
[[noreturn]] void OnError(png_structp png, png_const_charp message);
void OnWarning(png_structp png, png_const_charp message);
png_voidp Alloc(png_structp png, png_alloc_size_t n);
void Free(png_structp png, png_voidp p);

// Adam7: first column and row, and their steps, of each pass.
struct Pass {
    std::uint32_t x0, y0, dx, dy;
};
inline constexpr Pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                   {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
inline std::uint32_t PassSpan(std::uint32_t size, std::uint32_t start, std::uint32_t step) {
    return size > start ? (size - start + step - 1) / step : 0;
}

// Fills image.encoding from the input's image data: zlib level and window
// from the zlib header, the IDAT chunk size, each row's filter type.
void StudyCompression(std::span<const std::uint8_t> file, const Layout &l, PngImage &image);

} // namespace kalmira::carrier::png
