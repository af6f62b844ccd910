#include "convert/modConvert.h"

#include "carrier/png_file.h"
#include "convert/image_memory.h"

#include <new>

namespace kalmira::convert {

ConvertStatus ConvertImageToPng(const std::string &imagePath, const std::string &pngPath, bool optimised,
                                PixelSize *writtenSize) {
    ApplyImageMemoryLimit(); // the command-line tool has no windows to set it
    auto picture = LoadPicture(imagePath);
    if (!picture || picture->empty()) return ConvertStatus::CannotDecode;
    if (optimised && !elim_padbytes(*picture, imagePath)) return ConvertStatus::CannotDecode;
    carrier::PngImage png;
    png.width = static_cast<std::uint32_t>(picture->width);
    png.height = static_cast<std::uint32_t>(picture->height);
    png.colourChannels = 3;
    png.bitDepth = 8;
    png.encoding.rowFilters.clear(); // chosen row by row
    try {
        png.pixels.resize(picture->pixels.size() * 3);
    } catch (const std::bad_alloc &) {
        return ConvertStatus::SaveFailed;
    }
    std::uint8_t *o = png.pixels.data();
    for (const std::uint32_t c : picture->pixels) {
        *o++ = static_cast<std::uint8_t>(c >> 16);
        *o++ = static_cast<std::uint8_t>(c >> 8);
        *o++ = static_cast<std::uint8_t>(c);
    }
    if (carrier::WritePngFile(png, pngPath) != carrier::CodecProblem::None) return ConvertStatus::SaveFailed;
    if (writtenSize) *writtenSize = {picture->width, picture->height};
    return ConvertStatus::Ok;
}

} // namespace kalmira::convert
