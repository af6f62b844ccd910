#include "inspect/bmp_info.h"

#include "shell/helpers.h"

#include <cmath>
#include <cstdio>

namespace kalmira::inspect {

namespace {

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

bool ReadBmpHeaderFacts(const std::string &path, carrier::BmpHeader &facts, std::string &error) {
    error.clear();
    switch (carrier::ReadBmpHeader(path, facts)) {
    case carrier::BmpRead::Ok: return true;
    case carrier::BmpRead::Missing: break;
    case carrier::BmpRead::CannotRead: error = "Fehler beim Zugriff auf Pfad/Datei"; break;
    }
    return false;
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

std::string SignedText(long long value) { return value < 0 ? std::to_string(value) : " " + std::to_string(value); }

bool BmpInfoLines(const carrier::BmpHeader &f, std::array<std::string, 8> &lines, std::string &error) {
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
    lines[7] = f.colorsImportant != 0 ? "Die notwendige Farbanzahl ist : " + SignedText(f.colorsImportant)
                                      : "Alle " + colours + " Farben werden zur Anzeige benötigt.";
    return true;
}

} // namespace kalmira::inspect
