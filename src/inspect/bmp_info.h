// The facts the image info window shows from a BMP's two header records.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kalmira::inspect {

struct BmpHeaderFacts {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int16_t planes = 0;
    std::int16_t bitsPerPixel = 0;
    std::int32_t compression = 0;
    std::int32_t colorsUsed = 0;
    std::int32_t colorsImportant = 0;
    std::int64_t fileLength = 0;
};

// Reads the 14-byte file header and the 40-byte info header at offset 0 of
// any file (a short file reads as zeros past its end). On failure `error`
// gets the description the window shows in front of "Fehler": empty for a
// missing file.
bool ReadBmpHeaderFacts(const std::string &path, BmpHeaderFacts &facts, std::string &error);

// The eight lines of the window. False with `error` set when a line cannot be
// built (a colour depth whose power of two overflows).
bool BmpInfoLines(const BmpHeaderFacts &facts, std::array<std::string, 8> &lines,
                  std::string &error);

// 2 to the power of `bits` as decimal text ("16777216"; "0,5" for -1);
// false above 1023, where the number no longer fits.
bool PowerOfTwoText(int bits, std::string &text);

// A number as the signed-number text of the display: a space before a
// non-negative value, "-" before a negative one.
std::string SignedText(long long value);

} // namespace kalmira::inspect
