// Everything `kalmira info` says of a carrier, read in one go under the
// carrier's shared lock: its kind, its own headers, the classic payload's
// header and room, and what the stealth format could use.
#pragma once

#include "carrier/access.h"
#include "carrier/bmp.h"
#include "carrier/classify.h"
#include "carrier/payload.h"
#include "carrier/stealth_layout.h"
#include "carrier/wav.h"

#include <cstdint>
#include <string>

namespace kalmira::carrier {

struct CarrierFacts {
    CarrierKind kind = CarrierKind::Missing; // nothing more is read unless Usable(kind)
    CarrierOpening opening;                  // nothing more is read unless Ready
    bool read = false;                       // the classic header could be read
    std::int64_t length = 0;

    payload::ParsedHeader header; // no mode: no classic payload
    bool dataWithin = false;      // the stored length lies within the file
    std::int64_t capacity = -1;   // largest incompressible file (AES), -1: none
    std::int64_t room = -1;       // most compressed bytes (AES), -1: none

    BmpRead bmpRead = BmpRead::Missing; // Bmp: the picture's headers
    BmpHeader bmp;
    WavRead wavRead = WavRead::CannotOpen; // Wav: the chunks and the format
    WavChunks wav;
    Layout stealth; // the stealth format's usable bytes, or why none
};

CarrierFacts ReadFacts(const std::string &path);

} // namespace kalmira::carrier
