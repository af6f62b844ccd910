#include "carrier/png_file.h"

#include <cstring>

namespace kalmira::carrier {

namespace {

void Put(PngImage &image, std::size_t index, std::int32_t v) {
    if (image.bitDepth == 8) {
        image.pixels[index] = static_cast<std::uint8_t>(v);
    } else {
        const auto s = static_cast<std::uint16_t>(v);
        std::memcpy(image.pixels.data() + 2 * index, &s, 2);
    }
}

} // namespace

std::int32_t PngImage::sample(std::uint64_t pixel, int channel) const {
    const std::size_t i = static_cast<std::size_t>(pixel) * channels() + channel;
    if (bitDepth == 8) return pixels[i];
    std::uint16_t s;
    std::memcpy(&s, pixels.data() + 2 * i, 2);
    return s;
}

void PngImage::colourRow(std::uint32_t y, std::int32_t *out) const {
    const std::uint64_t first = std::uint64_t{y} * width;
    for (std::uint32_t x = 0; x < width; ++x)
        for (int c = 0; c < colourChannels; ++c) *out++ = sample(first + x, c);
}

bool PngImage::transparent(std::uint64_t pixel) const {
    if (alpha) return sample(pixel, colourChannels) == 0;
    if (!hasColourKey) return false;
    for (int c = 0; c < colourChannels; ++c)
        if (sample(pixel, c) != colourKey[c]) return false;
    return true;
}

bool PngImage::changeAllowed(std::uint64_t pixel, std::int32_t delta) const {
    if (pixel >= pixelCount() || delta == 0 || transparent(pixel)) return false;
    bool onKey = hasColourKey;
    for (int c = 0; c < colourChannels; ++c) {
        const std::int64_t v = std::int64_t{sample(pixel, c)} + delta;
        if (v < 0 || v > maxSample()) return false;
        onKey = onKey && v == colourKey[c];
    }
    return !onKey;
}

CodecProblem ApplyChanges(PngImage &image, std::span<const ElementChange> changes) {
    for (std::size_t i = 0; i < changes.size(); ++i) {
        if (i > 0 && changes[i].element <= changes[i - 1].element) return CodecProblem::InvalidChange;
        if (!image.changeAllowed(changes[i].element, changes[i].delta)) return CodecProblem::InvalidChange;
    }
    for (const ElementChange &ch : changes) {
        const std::size_t first = static_cast<std::size_t>(ch.element) * image.channels();
        for (int c = 0; c < image.colourChannels; ++c) Put(image, first + c, image.sample(ch.element, c) + ch.delta);
    }
    return CodecProblem::None;
}

} // namespace kalmira::carrier
