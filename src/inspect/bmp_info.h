// The image info window's eight lines, from the BMP headers as the carrier
// layer reads them (carrier/bmp.h).
#pragma once

#include "carrier/bmp.h"

#include <array>
#include <cstdint>
#include <string>

namespace kalmira::inspect {

// The headers of any file, read as a BMP (a short file reads as zeros past
// its end). On failure `error` gets the description the window shows in
// front of "Fehler": empty for a missing file.
bool ReadBmpHeaderFacts(const std::string &path, carrier::BmpHeader &facts, std::string &error);

// The eight lines of the window. False with `error` set when a line cannot be
// built (a colour depth whose power of two overflows).
bool BmpInfoLines(const carrier::BmpHeader &facts, std::array<std::string, 8> &lines, std::string &error);

// 2 to the power of `bits` as decimal text ("16777216"; "0,5" for -1);
// false above 1023, where the number no longer fits.
bool PowerOfTwoText(int bits, std::string &text);

// A number as the signed-number text of the display: a space before a
// non-negative value, "-" before a negative one.
std::string SignedText(long long value);

} // namespace kalmira::inspect
