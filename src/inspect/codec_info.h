// The facts of a PNG picture or a FLAC recording (carriers of the stealth
// format only), read under the carrier's shared lock, and their lines for
// `kalmira info` and the info windows.
#pragma once

#include "carrier/access.h"
#include "carrier/classify.h"
#include "carrier/flac_file.h"
#include "carrier/png_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kalmira::inspect {

struct CodecFacts {
    carrier::CarrierKind kind = carrier::CarrierKind::Missing;         // nothing more is read unless Png or Flac
    carrier::CarrierOpening opening;                                   // nothing more is read unless Ready
    carrier::CodecProblem problem = carrier::CodecProblem::ReadFailed; // None: the facts below hold
    std::int64_t length = 0;
    carrier::PngFacts png;
    carrier::FlacFacts flac;
};

CodecFacts ReadCodecFacts(const std::string &path);

// "Breite: 640 Pixel", "Farbtyp: RGB mit Alpha", ..., "Chunks: IHDR, gAMA, IDAT (3 × 65.536 Byte), IEND".
std::vector<std::string> PngFactLines(const carrier::PngFacts &facts);
// "Kanäle: Stereo", "Abtastrate: 44100 Hz", ..., "Metadaten: STREAMINFO, SEEKTABLE, ...".
std::vector<std::string> FlacFactLines(const carrier::FlacFacts &facts);

// Pieces of those lines, for the FLAC info window.
std::string FlacBlockName(std::uint8_t type);           // "VORBIS_COMMENT"; "unbekannt"
std::string SecondsText(double seconds);                // "3,250 s"
std::string BlockSizeText(const carrier::FlacFacts &f); // "4096 Samples", "1152 bis 4608 Samples"
std::string GroupedNumber(std::uint64_t n);             // "1.234.567"

} // namespace kalmira::inspect
