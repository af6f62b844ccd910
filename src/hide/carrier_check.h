// Whether writing a payload would damage the carrier's own structure: the
// payload starts at offset 91 whatever the file holds there.
#pragma once

#include <cstdint>
#include <string>

namespace kalmira::hide {

enum class CarrierStructure {
    Ok,
    BmpHeaderTooLong,   // file and info headers reach past offset 90
    WavDataTooShort,    // sample data does not cover the payload span
    Unreadable,
};

// `dataLength` is the number of payload data bytes N; the payload then spans
// offsets 91 .. 538 + 8N. Files that are neither BMP nor WAV are not judged.
CarrierStructure CheckCarrierStructure(const std::string &path, std::int64_t dataLength);

// The German refusal for a damaged-structure result.
std::string CarrierStructureMessage(CarrierStructure result, const std::string &carrierName);

} // namespace kalmira::hide
