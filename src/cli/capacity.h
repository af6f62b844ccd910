// How much a carrier takes: the capacity rule and the carrier's own structure
// applied to the compressed size of incompressible data.
#pragma once

#include "hide/payload.h"

#include <cstdint>
#include <string>

namespace kalmira::cli {

// ZorbZlib deflates at level 6 with zlib's default memory level: for
// incompressible input every block is a stored block of at most 16383
// literals (the symbol buffer), costing 5 bytes on top of its data, and the
// stream adds 2 header and 4 checksum bytes. This is the largest size n
// incompressible bytes come out as; a short last block may come out smaller
// with fixed codes, and stray matches can save a block near the boundaries.
constexpr std::int64_t kSymbolsPerBlock = 16383;
std::int64_t CompressedBound(std::int64_t n);

enum class Fit {
    Ok,
    TooSmall,     // shorter than the capacity rule asks
    Structure,    // writing would damage the BMP or WAV header
    TooLarge,     // beyond what the length field and KalmiraB accept
};

// Whether `compressed` bytes hidden with `mode` fit into the carrier.
Fit CheckFit(const std::string &carrier, std::int64_t carrierLength, payload::Mode mode,
             std::int64_t compressed);

// The most compressed bytes that fit; -1 when not even one does.
std::int64_t MaxCompressed(const std::string &carrier, payload::Mode mode);

// The largest incompressible file that fits; -1 when not even an empty one does.
std::int64_t Capacity(const std::string &carrier, payload::Mode mode);

} // namespace kalmira::cli
