#include "carrier/flac_elements.h"

#include <algorithm>

namespace kalmira::carrier {

FlacElements::FlacElements(const std::string &path, bool forWriting, std::uint64_t memoryLimit) {
    std::vector<std::uint8_t> bytes;
    if (!load(path, forWriting, memoryLimit, bytes)) return;
    problem_.codec = ReadFlac(bytes, memoryLimit - bytes.size(), audio_);
    if (problem_) return;
    shape_ = SoundShape(audio_.channels, audio_.frames, static_cast<int>(audio_.bitsPerSample));
    shape_.storedOffset = false; // FLAC keeps 8-bit samples signed too
}

bool FlacElements::read(std::uint64_t firstRow, std::uint64_t rowCount, std::span<std::int32_t> values,
                        std::span<std::uint8_t> locked) {
    if (problem_ || firstRow > shape_.rows || rowCount > shape_.rows - firstRow ||
        values.size() < rowCount * shape_.rowValues())
        return false;
    const auto from = audio_.samples.begin() + static_cast<std::ptrdiff_t>(firstRow * shape_.width);
    std::copy_n(from, static_cast<std::ptrdiff_t>(rowCount * shape_.width), values.begin());
    std::fill(locked.begin(), locked.end(), std::uint8_t{0});
    return true;
}

bool FlacElements::apply(std::span<const Change> changes) {
    std::vector<ElementChange> list;
    return !problem_ && ToCodecChanges(changes, list) && ApplyChanges(audio_, list) == CodecProblem::None;
}

CodecProblem FlacElements::encode(ByteSink &sink) const { return WriteFlac(audio_, sink); }

} // namespace kalmira::carrier
