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
    Png,        // ".png" with the PNG signature: the stealth format only
    Flac,       // ".flac" starting with "fLaC" (or an ID3v2 tag): the stealth format only
    NotBmp,     // ".bmp" without the signature
    NotWav,     // ".wav" without the signature
    NotPng,     // ".png" without the signature
    NotFlac,    // ".flac" without the marker
    OtherName,  // neither extension
    Missing,    // no such file
    NotRegular, // a folder, FIFO or device
    Unreadable,
};

CarrierKind Classify(const std::string &path);

// The name of a carrier: ".bmp" or ".wav" in any case (dialogs and drops
// offer nothing else); with `stealth` also ".png" and ".flac".
bool HasCarrierName(const std::string &path, bool stealth = false);

// Carriers of the classic format (and of both).
inline bool Usable(CarrierKind kind) { return kind == CarrierKind::Bmp || kind == CarrierKind::Wav; }
// Carriers the stealth format takes and the classic one does not.
inline bool StealthOnly(CarrierKind kind) { return kind == CarrierKind::Png || kind == CarrierKind::Flac; }
inline bool UsableInStealth(CarrierKind kind) { return Usable(kind) || StealthOnly(kind); }
// The name asks for a picture (".bmp"), whatever the file holds.
inline bool NamedBmp(CarrierKind kind) { return kind == CarrierKind::Bmp || kind == CarrierKind::NotBmp; }

// What the first bytes of a file say, whatever its name: "BM" (2 bytes
// suffice) or RIFF/WAVE (12 bytes).
enum class Content {
    Bmp,
    Wav,
    Other
};
Content ContentOf(const std::uint8_t *head, std::size_t have);
// A PNG signature (8 bytes); a FLAC stream marker or an ID3v2 tag in front of one (4 bytes).
bool IsPngStart(const std::uint8_t *head, std::size_t have);
bool IsFlacStart(const std::uint8_t *head, std::size_t have);

} // namespace kalmira::carrier
