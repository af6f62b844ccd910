// A FLAC recording as a version-2 carrier: its samples, as WAV's, one
// element each (frame by frame, channel after channel), signed, changed by
// the format's +-2^t within the sample range.
#pragma once

#include "carrier/flac_file.h"
#include "carrier/whole_file.h"

namespace kalmira::carrier {

class FlacElements final : public WholeFileElements {
public:
    // Decodes `path`; problem() says why when it could not. `forWriting`
    // prepares the rewrite (commit()) and refuses what it cannot replace.
    FlacElements(const std::string &path, bool forWriting, std::uint64_t memoryLimit = kWholeFileMemoryLimit);

    bool read(std::uint64_t firstRow, std::uint64_t rowCount, std::span<std::int32_t> values,
              std::span<std::uint8_t> locked) override;
    bool apply(std::span<const Change> changes) override;

    const FlacAudio &audio() const { return audio_; }

private:
    CodecProblem encode(ByteSink &sink) const override;

    FlacAudio audio_;
};

} // namespace kalmira::carrier
