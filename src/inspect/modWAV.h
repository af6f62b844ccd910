// The WAV info window's texts and the play buttons' rules, on what the
// carrier layer reads of a WAV carrier (carrier/wav.h).
#pragma once

#include "carrier/wav.h"

#include <cstdint>
#include <string>

namespace kalmira::inspect {

using carrier::WavChunks;
using carrier::WavFormat;
using carrier::WavRead;

// Texts of the value labels.
std::string FormatTagName(std::int16_t tag);      // "Unbekannt (FFFEh)" for unknown tags
std::string ChannelText(std::int16_t channels);   // "Mono", "Stereo", "n-Kanal-Sound"
std::string BitsPerSampleText(std::int16_t bits); // "Unbekannt" below 1

// Text after the last '\' (or '/'); the whole text without one.
std::string Nurdatei(const std::string &path);

// Whether the player inside the program can play the file: uncompressed
// 8- or 16-bit PCM, mono or stereo, with sound data. Anything else (24 bit,
// A-law, ADPCM, extensible headers) would decode to silence or fail late.
struct WavPlayback {
    enum Status {
        Playable,
        NotWav,
        UnsupportedFormat,
        NoSound
    } status = NotWav;
    WavFormat format;   // as read, for the message
    double seconds = 0; // playing time when playable
};
WavPlayback CheckPlayback(const std::string &path);

// The big-file rule of the play buttons: with `windir` naming a folder that
// holds "mplayer.exe" and a carrier longer than 2,000,000 bytes, the program
// to start; "" when the carrier plays inside the program.
std::string ExternalPlayerFor(const std::string &windir, const std::string &wavPath);

} // namespace kalmira::inspect
