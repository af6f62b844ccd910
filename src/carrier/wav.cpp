#include "carrier/wav.h"

#include "platform/binary_file.h"
#include "platform/byte_order.h"

#include <algorithm>

namespace kalmira::carrier {

std::string IdText(const std::uint8_t *id4) {
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i)
        if (id4[i] >= 32) s[i] = static_cast<char>(id4[i]);
    return s;
}

WavRead ReadWavChunks(const std::string &path, WavChunks &out) {
    platform::BinaryFile file;
    if (!file.open(path, platform::BinaryFile::Mode::Read)) return WavRead::CannotOpen;
    const std::int64_t length = file.size();
    std::uint8_t riff[12];
    if (length < 0 || !ReadZeroPadded(file, length, 0, riff, sizeof riff)) return WavRead::CannotOpen;
    if (!IsRiffWave(riff)) return WavRead::NotRiffWave;
    WavChunks w;
    w.riffSize = platform::Le32(riff + 4);
    const bool read = WalkChunks(file, length, [&](const Chunk &c) {
        if (c.is(kFormatChunk)) w.hasFormat = ReadFormat(file, length, c, w.format) || w.hasFormat;
        // The size field read as the signed number it is for most writers.
        if (c.is(kDataChunk))
            w.dataBytes =
                std::max<std::int64_t>(0, std::min<std::int64_t>(static_cast<std::int32_t>(c.size), length - c.body()));
        w.ids.push_back(IdText(c.id));
        return true;
    });
    if (!read) return WavRead::CannotOpen;
    out = std::move(w);
    return WavRead::Ok;
}

double WavSeconds(const WavChunks &w) {
    if (!w.hasFormat || w.dataBytes < 0 || w.format.bytesPerSec <= 0) return -1;
    return static_cast<double>(w.dataBytes) / w.format.bytesPerSec;
}

double WavSeconds(const std::string &path) {
    WavChunks w;
    return ReadWavChunks(path, w) == WavRead::Ok ? WavSeconds(w) : -1;
}

} // namespace kalmira::carrier
