// What a file is as a carrier, decided once for the windows and the tool: the
// name's extension (any case) says what it must be, its first bytes whether
// it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kalmira::carrier {

enum class CarrierKind {
    Bmp,        // ".bmp" starting with "BM"
    Wav,        // ".wav" of RIFF form "WAVE"
    NotBmp,     // ".bmp" without the signature
    NotWav,     // ".wav" without the signature
    OtherName,  // neither extension
    Missing,    // no such file
    NotRegular, // a folder, FIFO or device
    Unreadable,
};

CarrierKind Classify(const std::string &path);

// The name of a carrier: ".bmp" or ".wav" in any case (dialogs and drops
// offer nothing else).
bool HasCarrierName(const std::string &path);

inline bool Usable(CarrierKind kind) { return kind == CarrierKind::Bmp || kind == CarrierKind::Wav; }
// The name asks for a picture (".bmp"), whatever the file holds.
inline bool NamedBmp(CarrierKind kind) { return kind == CarrierKind::Bmp || kind == CarrierKind::NotBmp; }

// What the first bytes of a file say, whatever its name: "BM" (2 bytes
// suffice) or RIFF/WAVE (12 bytes).
enum class Content { Bmp, Wav, Other };
Content ContentOf(const std::uint8_t *head, std::size_t have);

} // namespace kalmira::carrier
