// The classic format's fit rule, for the runs, the windows and the tool: what
// a carrier must have to take a payload, and the largest one it takes. The
// payload starts at offset 91 whatever the file holds there, so the rule
// includes the carrier's own structure.
#pragma once

#include "carrier/payload.h"

#include <cstdint>
#include <string>

namespace kalmira::payload {

enum class CarrierStructure {
    Ok,
    BmpHeaderTooLong, // file and info headers reach past offset 90
    WavDataTooShort,  // sample data does not cover the payload span
    Unreadable,
};

// `dataLength` is the number of payload data bytes N; the payload then spans
// offsets 91 .. 538 + 8N. Files that are neither BMP nor WAV are not judged.
CarrierStructure CheckStructure(const std::string &path, std::int64_t dataLength);

enum class Fit {
    Ok,
    TooLarge,  // beyond what the length field holds (9.999.999 bytes)
    TooSmall,  // shorter than the capacity rule asks
    Structure, // writing would damage the BMP or WAV header
};

struct FitCheck {
    Fit fit = Fit::Ok;
    std::int64_t carrierSize = -1; // bytes, -1 when it cannot be queried
    std::int64_t requiredSize = 0; // the least carrier size for the run
    CarrierStructure structure = CarrierStructure::Ok;
};

// Whether `compressed` bytes hidden with `mode` fit into the carrier, checked
// in the order above.
FitCheck CheckFit(const std::string &carrier, Mode mode, std::int64_t compressed);

// ZorbZlib deflates at level 6 with zlib's default memory level: for
// incompressible input every block is a stored block of at most 16383
// literals (the symbol buffer), costing 5 bytes on top of its data, and the
// stream adds 2 header and 4 checksum bytes. This is the largest size n
// incompressible bytes come out as.
constexpr std::int64_t kSymbolsPerBlock = 16383;
std::int64_t CompressedBound(std::int64_t n);

// The largest compressed size any carrier stores (the length field's limit):
// compression stops as soon as its output grows beyond it.
constexpr std::int64_t kMaxStorableCompressed = (kMaxDataLength - 1) / 16 * 16;

// The most compressed bytes that fit; -1 when not even one does.
std::int64_t MaxCompressed(const std::string &carrier, Mode mode);

// The largest incompressible file that fits; -1 when not even an empty one does.
std::int64_t Capacity(const std::string &carrier, Mode mode);

} // namespace kalmira::payload
