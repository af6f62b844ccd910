// What a WAV carrier's RIFF structure says, for the WAV info window, the play
// buttons and `kalmira info`. Only reads; never changes a file.
#pragma once

#include "carrier/riff.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kalmira::carrier {

struct WavChunks {
    std::int32_t riffSize = 0;    // size field of the RIFF header
    std::vector<std::string> ids; // chunk ids in file order, as text (see IdText)
    bool hasFormat = false;       // a "fmt " chunk was met (the last one wins)
    WavFormat format;
    std::int64_t dataBytes = -1; // of the last "data" chunk, as far as the file holds them
};

enum class WavRead {
    Ok,
    CannotOpen,
    NotRiffWave
};

// Bytes of value 32 and above become that character, smaller ones a space.
std::string IdText(const std::uint8_t *id4);

// Every chunk of the walk is listed; a header cut off by the file's end is
// listed too, read as zeros there.
WavRead ReadWavChunks(const std::string &path, WavChunks &out);

// Playing time from the header: bytes of the "data" chunk (as far as the file
// holds them) divided by the format's bytes per second; -1 when the file is
// no readable WAV or either value is missing.
double WavSeconds(const WavChunks &chunks);
double WavSeconds(const std::string &path);

} // namespace kalmira::carrier
