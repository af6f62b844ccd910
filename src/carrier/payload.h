// Where and how a payload sits in a carrier: lead byte, 55-byte header and
// data, one bit per carrier byte from offset 91 on. Both programs share it.
#pragma once

#include "carrier/bits.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kalmira::platform {
class BinaryFile;
}

namespace kalmira::payload {

constexpr std::int64_t kLeadOffset = 91;
constexpr std::int64_t kHeaderOffset = 99;
constexpr std::int64_t kDataOffset = 539;
constexpr std::int64_t kHeaderRegionSize = 448; // 91..538
constexpr std::size_t kHeaderSize = 55;
constexpr std::size_t kNameFieldSize = 25;
constexpr std::size_t kDigestSize = 16;
constexpr std::int64_t kMaxDataLength = 10'000'000; // 7 digits hold N - 1

enum class Mode {
    Plain,
    Rc4,
    Aes
};

// "yesn", "yesp", "yesa".
const char *ModeTag(Mode mode);
// Case-sensitive; nullopt for anything else.
std::optional<Mode> ModeFromTag(std::string_view tag);

// The 25-byte name field (ANSI bytes) for a file name given in UTF-8: padded
// with blanks, or shortened to base~1.ext; nullopt when it cannot be shortened.
std::optional<std::string> NameField(const std::string &fileNameUtf8);
// The name an extraction gives back for a file named `fileNameUtf8` when it
// differs from it (characters Windows-1252 lacks, shortening, blanks at the
// ends); nullopt when it comes back unchanged or cannot be stored at all.
std::optional<std::string> ChangedStoredName(const std::string &fileNameUtf8);

// Name stored for a message typed in KalmiraA (the stealth format stores it
// as it is, the classic one as its padded name field).
inline constexpr std::string_view kTypedMessageFile = "Botschaft.txt";
inline constexpr std::string_view kTypedMessageName = "Botschaft.txt            ";
static_assert(kTypedMessageName.size() == kNameFieldSize);

// 55 header bytes. `digest` holds the 16 raw digest bytes (ignored for Plain,
// which stores sixteen '0'); `dataLength` is N >= 1.
std::string ComposeHeader(Mode mode, std::string_view digest, std::int64_t dataLength, std::string_view nameField);

struct ParsedHeader {
    std::string tag;                        // 4 bytes as stored
    std::optional<Mode> mode;               // from the tag
    std::string digest;                     // 16 bytes as stored
    std::string lengthField;                // 7 bytes as stored
    std::optional<std::int64_t> dataLength; // N, when the field is 7 digits
    std::string nameField;                  // 25 bytes as stored (ANSI)
    std::string endTag;                     // 3 bytes as stored
};
ParsedHeader ParseHeader(std::string_view header55);

// The stored name without its padding blanks, in UTF-8.
std::string StoredFileName(const ParsedHeader &header);

// A stored name as it may be used for a file: only its last component
// (no folders), control characters as '_', trimmed of blanks at both ends;
// "" when nothing usable is left ("", ".", "..").
std::string PlainFileName(const std::string &storedName);

// Capacity. The run's bound: P = n rounded up to 16 plus a block when n is a
// multiple of 16. The display bound: P = n rounded up to 16.
std::int64_t RoundedForRun(std::int64_t compressedLength);
std::int64_t RoundedForDisplay(std::int64_t compressedLength);
inline std::int64_t MinCarrierForRun(std::int64_t n) { return 8 * RoundedForRun(n) + 562; }
inline std::int64_t MinCarrierForDisplay(std::int64_t n) { return 8 * RoundedForDisplay(n) + 562; }

// Data bytes actually stored for a mode (AES pads to whole blocks).
std::int64_t StoredDataLength(Mode mode, std::int64_t compressedLength);

// Carrier length a payload of N data bytes needs to be read back.
inline std::int64_t CarrierBytesFor(std::int64_t dataLength) { return kDataOffset + 8 * dataLength; }
// Whether a stored length is one a carrier of `carrierLength` bytes holds.
inline bool DataWithin(std::int64_t dataLength, std::int64_t carrierLength) {
    return CarrierBytesFor(dataLength) <= carrierLength;
}

// The header of an open carrier of `length` bytes, read as the runs read it;
// nullopt on a read error. A file too short for a header yields one without
// a mode.
std::optional<ParsedHeader> ReadHeader(const platform::BinaryFile &file, std::int64_t length);

} // namespace kalmira::payload
