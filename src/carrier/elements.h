// A carrier as the version-2 stealth format sees it: elements (pixels whose
// colour values move together, or single sound samples) read a range of rows
// at a time and changed one window at a time. The file formats (BMP, WAV, PNG,
// FLAC, in place or in memory) implement these two interfaces; the format
// itself never sees bytes or headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kalmira::carrier {

enum class Medium : std::uint8_t {
    Picture,
    Sound
};

struct ElementShape {
    Medium medium = Medium::Picture;
    std::uint64_t width = 0; // pixels per row; sound: channels per frame
    std::uint64_t rows = 0;  // picture rows (top row first); sound: frames
    int channels = 1;        // colour values per pixel (3, or 1 for grey); sound: 1
    int bits = 8;            // bits per value as stored
    // The range every value stays in: pictures 0 .. 2^bits - 1; sound, signed,
    // -2^(bits-1) .. 2^(bits-1) - 1 whatever the storage (8-bit WAV bytes are u - 128).
    std::int32_t minValue = 0, maxValue = 255;
    bool storedOffset = false; // sound stored unsigned with an offset (8-bit WAV)
    bool hasAlpha = false;     // an alpha value per pixel exists (never changed)

    std::uint64_t elements() const { return width * rows; }
    // Values per row as read(): width * channels for pictures, width for sound.
    std::uint64_t rowValues() const { return width * static_cast<std::uint64_t>(channels); }
};

inline ElementShape PictureShape(std::uint64_t width, std::uint64_t rows, int channels, int bits, bool alpha) {
    return {Medium::Picture, width, rows, channels, bits, 0, static_cast<std::int32_t>((std::int64_t{1} << bits) - 1),
            false,           alpha};
}
inline ElementShape SoundShape(std::uint64_t channels, std::uint64_t frames, int bits) {
    const std::int32_t half = static_cast<std::int32_t>(std::int64_t{1} << (bits - 1));
    return {Medium::Sound, channels, frames, 1, bits, -half, half - 1, bits == 8, false};
}

// Element index e = row * width + column (pictures: y * W + x, y from the top;
// sound: frame * C + channel).
class ElementReader {
public:
    virtual ~ElementReader() = default;
    virtual const ElementShape &shape() const = 0;
    // Rows [firstRow, firstRow + rowCount): values in display order, rowValues()
    // per row (sound: signed samples). `locked`, when not empty, gets one byte per
    // element, 1 for a fully transparent pixel (0 everywhere without alpha).
    // False on a read error. Called from one thread at a time.
    virtual bool read(std::uint64_t firstRow, std::uint64_t rowCount, std::span<std::int32_t> values,
                      std::span<std::uint8_t> locked) = 0;
};

// One change: `delta` is added to every colour value of the pixel, or to the
// sample (already scaled by the effective shift: +-2^t). The format keeps
// every value in range.
struct Change {
    std::uint64_t element;
    std::int32_t delta;
};

class ElementWriter {
public:
    virtual ~ElementWriter() = default;
    // The changes of one window, sorted by element, each element at most once.
    // An in-place carrier journals exactly these before it writes them. Values
    // read later (other windows' halo rows) see the changes.
    virtual bool apply(std::span<const Change> changes) = 0;
    // After the last window: flush to the device.
    virtual bool commit() = 0;
};

} // namespace kalmira::carrier
