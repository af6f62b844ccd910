// PNG and FLAC carriers as the version-2 format sees them: decoded whole
// into memory, changed there, and written back as a new file that replaces
// the old one (platform/rewrite.h) when the run commits.
#pragma once

#include "carrier/codec_common.h"
#include "carrier/element_file.h"
#include "platform/rewrite.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace kalmira::carrier {

// What a decoded carrier may take in memory: the file's bytes while it is
// decoded, the samples and the kept chunks or blocks. Larger ones are refused
// (TooLarge) before anything is allocated for them.
inline constexpr std::uint64_t kWholeFileMemoryLimit = std::uint64_t{1} << 30;

// Why a whole-file carrier could not be opened or written back: the codec's
// reason, or the file's (hiding only).
struct WholeFileProblem {
    CodecProblem codec = CodecProblem::None;
    platform::FileRewrite::Problem file = platform::FileRewrite::Problem::None;
    explicit operator bool() const {
        return codec != CodecProblem::None || file != platform::FileRewrite::Problem::None;
    }
};

// OpenElementFile's cases for a file that starts as a PNG or a FLAC: Ready,
// or Unsuitable with the reason, or IoError (unreadable, no staging file).
ElementFile OpenWholeFileElements(const std::string &path, bool png, ElementAccess mode);

// The format's change list in the codecs' terms; false when out of memory.
bool ToCodecChanges(std::span<const Change> changes, std::vector<ElementChange> &out);

class WholeFileElements : public ElementCarrier {
public:
    const ElementShape &shape() const override { return shape_; }
    // Encodes the changed carrier and puts it in place of the old file.
    // Only for a carrier opened for writing; false with problem() set. Once
    // done, later calls change nothing.
    bool commit() override;
    const WholeFileProblem &problem() const { return problem_; }
    // After commit(): whether the old content could be overwritten.
    bool oldContentWiped() const { return rewrite_ && rewrite_->wiped(); }

protected:
    // Reads the file (for writing: through the handle the rewrite keeps,
    // after its refusals, before any decoding). False with problem() set.
    bool load(const std::string &path, bool forWriting, std::uint64_t limit, std::vector<std::uint8_t> &bytes);
    virtual CodecProblem encode(ByteSink &sink) const = 0;

    ElementShape shape_;
    WholeFileProblem problem_;

private:
    std::unique_ptr<platform::FileRewrite> rewrite_;
    bool committed_ = false;
};

} // namespace kalmira::carrier
