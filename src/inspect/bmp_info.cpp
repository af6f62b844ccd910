#include "inspect/bmp_info.h"

#include "shell/helpers.h"

#include <cmath>
#include "platform/byte_order.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace kalmira::inspect {

namespace {

using platform::Le16;
using platform::Le32;

const char *CompressionName(std::int32_t c) {
    switch (c) {
    case 0: return "Unkomprimierte Bitmap";
    case 1: return "RLE Komprimierte Grafik - 8Bit/Pixel ";
    case 2: return "RLE Komprimierte Grafik - 4Bit/Pixel ";
    case 3: return "Unkomrimierte Grafik - 16 o. 32Bit/Pixel";
    default: return "";
    }
}

} // namespace

bool ReadBmpHeaderFacts(const std::string &path, BmpHeaderFacts &facts, std::string &error) {
    error.clear();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "Fehler beim Zugriff auf Pfad/Datei";
        return false;
    }
    std::uint8_t h[54];
    std::memset(h, 0, sizeof h);
    in.read(reinterpret_cast<char *>(h), sizeof h);
    const auto length = std::filesystem::file_size(path, ec);
    if (ec) {
        error = "Fehler beim Zugriff auf Pfad/Datei";
        return false;
    }
    const std::uint8_t *info = h + 14;
    facts.width = Le32(info + 4);
    facts.height = Le32(info + 8);
    facts.planes = Le16(info + 12);
    facts.bitsPerPixel = Le16(info + 14);
    facts.compression = Le32(info + 16);
    facts.colorsUsed = Le32(info + 32);
    facts.colorsImportant = Le32(info + 36);
    facts.fileLength = static_cast<std::int64_t>(length);
    return true;
}

bool PowerOfTwoText(int bits, std::string &text) {
    if (bits > 1023) return false;
    char buf[400];
    if (bits >= 0) {
        // Powers of two are exact in a double, and printf writes all their digits.
        std::snprintf(buf, sizeof buf, "%.0f", std::ldexp(1.0, bits));
        text = buf;
        return true;
    }
    std::snprintf(buf, sizeof buf, "%.15G", std::ldexp(1.0, bits));
    text = buf;
    for (char &c : text)
        if (c == '.') c = ',';
    return true;
}

std::string SignedText(long long value) {
    return value < 0 ? std::to_string(value) : " " + std::to_string(value);
}

bool BmpInfoLines(const BmpHeaderFacts &f, std::array<std::string, 8> &lines, std::string &error) {
    std::string colours;
    if (!PowerOfTwoText(f.bitsPerPixel, colours)) {
        error = "Überlauf";
        return false;
    }
    lines[0] = "Breite : " + std::to_string(f.width) + " pixels";
    lines[1] = "Höhe : " + std::to_string(f.height) + " pixels";
    lines[2] = "Dateigröße : " + FormatThousands(f.fileLength) + " bytes";
    lines[3] = "in " + std::to_string(f.planes) + " Ebene(n)";
    lines[4] = std::to_string(f.bitsPerPixel) + " Bit " + " (" + colours + " Farben)";
    lines[5] = CompressionName(f.compression);
    lines[6] = f.colorsUsed != 0 ? "Die verwendete Farbanzahl ist : " + SignedText(f.colorsUsed)
                                 : "Verwendet maximale Anzahl an Farben";
    lines[7] = f.colorsImportant != 0
                   ? "Die notwendige Farbanzahl ist : " + SignedText(f.colorsImportant)
                   : "Alle " + colours + " Farben werden zur Anzeige benötigt.";
    return true;
}

} // namespace kalmira::inspect
