#include "carrier/png_elements.h"

#include <algorithm>

namespace kalmira::carrier {

PngElements::PngElements(const std::string &path, bool forWriting, std::uint64_t memoryLimit) {
    std::vector<std::uint8_t> bytes;
    if (!load(path, forWriting, memoryLimit, bytes)) return;
    problem_.codec = ReadPng(bytes, memoryLimit - bytes.size(), image_);
    if (problem_) return;
    shape_ = PictureShape(image_.width, image_.height, image_.colourChannels, image_.bitDepth,
                          image_.alpha || image_.hasColourKey);
}

bool PngElements::locked(std::uint64_t pixel) const {
    if (image_.transparent(pixel)) return true;
    if (!image_.hasColourKey) return false;
    // Which direction the format picks is its own choice: lock both.
    for (const std::int32_t d : {1, -1}) {
        bool onKey = true;
        for (int c = 0; c < image_.colourChannels && onKey; ++c)
            onKey = image_.sample(pixel, c) + d == image_.colourKey[static_cast<std::size_t>(c)];
        if (onKey) return true;
    }
    return false;
}

bool PngElements::read(std::uint64_t firstRow, std::uint64_t rowCount, std::span<std::int32_t> values,
                       std::span<std::uint8_t> locked) {
    if (problem_ || firstRow > shape_.rows || rowCount > shape_.rows - firstRow ||
        values.size() < rowCount * shape_.rowValues())
        return false;
    for (std::uint64_t r = 0; r < rowCount; ++r)
        image_.colourRow(static_cast<std::uint32_t>(firstRow + r), values.data() + r * shape_.rowValues());
    const std::uint64_t first = firstRow * shape_.width;
    const std::uint64_t n = std::min<std::uint64_t>(locked.size(), rowCount * shape_.width);
    for (std::uint64_t i = 0; i < n; ++i) locked[i] = this->locked(first + i) ? 1 : 0;
    return true;
}

bool PngElements::apply(std::span<const Change> changes) {
    std::vector<ElementChange> list;
    return !problem_ && ToCodecChanges(changes, list) && ApplyChanges(image_, list) == CodecProblem::None;
}

CodecProblem PngElements::encode(ByteSink &sink) const { return WritePng(image_, sink); }

} // namespace kalmira::carrier
