// The one reader of BMP headers: the 14-byte file header and the info header
// behind it, for the structure check, the stealth layout and the facts the
// image info window and `kalmira info` show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kalmira::platform {
class BinaryFile;
}

namespace kalmira::carrier {

// The first 70 bytes of a file read as BMP headers; fields past the file's
// end read as zeros.
struct BmpHeader {
    static constexpr std::size_t kBytes = 70; // file header, 40-byte info header, three bit-field masks
    std::int64_t fileLength = 0;
    std::size_t have = 0;         // header bytes the file holds
    bool signature = false;       // "BM"
    std::uint32_t dataOffset = 0; // where the pixel rows start
    std::uint32_t infoSize = 0;   // the info header's own size field (12: the old core header)
    // As a 40-byte (or longer) info header:
    std::int32_t width = 0;
    std::int32_t height = 0; // negative: rows top down
    std::int16_t planes = 0;
    std::int16_t bitsPerPixel = 0;
    std::int32_t compression = 0;
    std::int32_t colorsUsed = 0;
    std::int32_t colorsImportant = 0;
    std::uint32_t masks[3] = {}; // red, green, blue bit fields after a 40-byte info header
    // As a 12-byte core header:
    std::int16_t coreWidth = 0;
    std::int16_t coreHeight = 0;
    std::uint16_t coreBitsPerPixel = 0;

    // Where the file and info headers end (the classic payload must start after).
    std::int64_t headersEnd() const { return 14 + static_cast<std::int64_t>(infoSize); }
};

// False on a read error.
bool ReadBmpHeader(const platform::BinaryFile &file, BmpHeader &out);

enum class BmpRead {
    Ok,
    Missing,
    CannotRead
};
// Any regular file, read as a BMP (the image info window shows what it finds).
BmpRead ReadBmpHeader(const std::string &path, BmpHeader &out);

} // namespace kalmira::carrier
