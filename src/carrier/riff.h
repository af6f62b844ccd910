// The one walk over the chunks of a RIFF/WAVE file, for every reader of WAV
// carriers: the classic structure check, the stealth layout and the facts
// the inspect window and `kalmira info` show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace kalmira::platform {
class BinaryFile;
}

namespace kalmira::carrier {

// "RIFF" at 0 and "WAVE" at 8 of the 12-byte header.
bool IsRiffWave(const std::uint8_t *header12);

struct Chunk {
    std::uint8_t id[4] = {};
    std::uint32_t size = 0;  // the size field: data bytes, without the pad byte
    std::int64_t offset = 0; // of the 8-byte chunk header
    bool cut = false;        // the header runs past the file's end (read as zeros there)
    std::int64_t body() const { return offset + 8; }
    bool is(const char *id4) const;
};

// The two chunks a WAV carrier is made of.
inline constexpr const char *kFormatChunk = "fmt ";
inline constexpr const char *kDataChunk = "data";

// A file of empty chunks would otherwise take one step per 8 bytes.
constexpr std::size_t kMaxChunks = 4096;

// Calls `visit` for the chunks from offset 12 in file order, until it
// returns false, the file ends, kMaxChunks were visited or a size field
// reads negative as a signed number (after that chunk: hostile sizes can
// neither loop nor run backwards). The next chunk starts after the data
// and, for an odd size, the pad byte RIFF asks for; some writers leave the
// pad out, so the unpadded position is taken when it holds the more likely
// chunk header. False when the file cannot be read.
bool WalkChunks(const platform::BinaryFile &file, std::int64_t length, const std::function<bool(const Chunk &)> &visit);

// Reads n bytes at `offset`, zeros where the file (of `length` bytes) ends
// first. False on a read error.
bool ReadZeroPadded(const platform::BinaryFile &file, std::int64_t length, std::int64_t offset, std::uint8_t *buf,
                    std::size_t n);

// The 16-byte record of a "fmt " chunk (zeros past the file's end), and the
// sub-format of an extensible record that holds one.
struct WavFormat {
    std::int16_t formatTag = 0;
    std::int16_t channels = 0;
    std::int32_t sampleRate = 0;
    std::int32_t bytesPerSec = 0;
    std::int16_t blockAlign = 0;
    std::int16_t bitsPerSample = 0;
    std::uint16_t subFormat = 0; // WAVE_FORMAT_EXTENSIBLE: the sub-format's tag, when the record holds it
};
bool ReadFormat(const platform::BinaryFile &file, std::int64_t length, const Chunk &fmt, WavFormat &out);

} // namespace kalmira::carrier
