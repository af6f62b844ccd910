// Carriers as the analysis sees them: 24/32-bit BMP pictures and PCM WAV
// recordings, read into signed integers; written back for the real program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace analysis {

struct Picture {
    int width = 0, height = 0, channels = 3; // channels in file order (B, G, R)
    bool bottomUp = true;                    // file rows run bottom to top
    std::vector<std::int32_t> v;             // rows top-down, channels interleaved
    std::int32_t *row(int y) { return v.data() + static_cast<std::size_t>(y) * width * channels; }
    const std::int32_t *row(int y) const { return v.data() + static_cast<std::size_t>(y) * width * channels; }
    // Picture row of the i-th row in file order.
    int fileRow(int i) const { return bottomUp ? height - 1 - i : i; }
};

struct Sound {
    int channels = 1, bits = 16, rate = 48000;
    std::vector<std::int32_t> v; // frames x channels, signed (8-bit: value - 128)
    std::size_t frames() const { return v.size() / channels; }
};

// Empty string on success, else why the file was refused.
std::string ReadBmp(const std::string &path, Picture &out);
std::string WriteBmp(const std::string &path, const Picture &pic); // 24-bit, 40-byte header
std::string ReadWav(const std::string &path, Sound &out);
std::string WriteWav(const std::string &path, const Sound &snd);

} // namespace analysis
