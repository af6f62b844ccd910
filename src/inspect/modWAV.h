// Reading a WAV carrier's RIFF structure for the WAV info window, and its
// playing time for the play buttons. Only reads; never changes a file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kalmira::inspect {

// The 16 bytes that follow the header of the "fmt " chunk.
struct WavFormat {
    std::int16_t formatTag = 0;
    std::int16_t channels = 0;
    std::int32_t sampleRate = 0;
    std::int32_t bytesPerSec = 0;
    std::int16_t blockAlign = 0;
    std::int16_t bitsPerSample = 0;
};

struct WavChunks {
    std::int32_t riffSize = 0;        // size field of the RIFF header
    std::vector<std::string> ids;     // chunk ids in file order, as text
    bool hasFormat = false;           // a "fmt " chunk was met (the last one wins)
    WavFormat format;
};

enum class WavRead { Ok, CannotOpen, NotRiffWave };

// Bytes of value 32 and above become that character, smaller ones a space.
std::string IdText(const std::uint8_t *id4);
// "RIFF" at 0 and "WAVE" at 8 of the 12-byte header.
bool IsRiffWave(const std::uint8_t *header12);

// Walks the chunks from offset 12: the next chunk starts after the size
// bytes of data and, for an odd size, the pad byte (unless the file plainly
// leaves the pad byte out). A negative size ends the
// walk, so hostile sizes can neither loop nor run backwards; a header or
// format record cut off by the file's end reads as zeros there. The walk
// also ends after kMaxWavChunks chunks: a file of empty chunks would
// otherwise fill the list with one line per 8 bytes.
constexpr std::size_t kMaxWavChunks = 4096;
WavRead ReadWavChunks(const std::string &path, WavChunks &out);

// Texts of the value labels.
std::string FormatTagName(std::int16_t tag);     // "Unbekannt (FFFEh)" for unknown tags
std::string ChannelText(std::int16_t channels);  // "Mono", "Stereo", "n-Kanal-Sound"
std::string BitsPerSampleText(std::int16_t bits); // "Unbekannt" below 1

// Text after the last '\' (or '/'); the whole text without one.
std::string Nurdatei(const std::string &path);

// Playing time from the header: bytes of the "data" chunk (as far as the file
// holds them) divided by the format's bytes per second; -1 when the file is
// no readable WAV or either value is missing.
double WavSeconds(const std::string &path);

// Whether the player inside the program can play the file: uncompressed
// 8- or 16-bit PCM, mono or stereo, with sound data. Anything else (24 bit,
// A-law, ADPCM, extensible headers) would decode to silence or fail late.
struct WavPlayback {
    enum Status { Playable, NotWav, UnsupportedFormat, NoSound } status = NotWav;
    WavFormat format;   // as read, for the message
    double seconds = 0; // playing time when playable
};
WavPlayback CheckPlayback(const std::string &path);

// The big-file rule of the play buttons: with `windir` naming a folder that
// holds "mplayer.exe" and a carrier longer than 2,000,000 bytes, the program
// to start; "" when the carrier plays inside the program.
std::string ExternalPlayerFor(const std::string &windir, const std::string &wavPath);

} // namespace kalmira::inspect
