#include "carrier/whole_file.h"

#include "carrier/flac_elements.h"
#include "carrier/png_elements.h"

#include <new>

namespace kalmira::carrier {

namespace {

class RewriteSink final : public ByteSink {
public:
    explicit RewriteSink(platform::FileRewrite &file) : file_(file) {}
    bool write(const std::uint8_t *data, std::size_t n) override { return file_.write(data, n); }

private:
    platform::FileRewrite &file_;
};

} // namespace

bool ToCodecChanges(std::span<const Change> changes, std::vector<ElementChange> &out) {
    try {
        out.resize(changes.size());
    } catch (const std::bad_alloc &) {
        return false;
    }
    for (std::size_t i = 0; i < changes.size(); ++i) out[i] = {changes[i].element, changes[i].delta};
    return true;
}

ElementFile OpenWholeFileElements(const std::string &path, bool png, ElementAccess mode) {
    const bool write = mode == ElementAccess::Write;
    std::unique_ptr<WholeFileElements> c;
    if (png)
        c = std::make_unique<PngElements>(path, write);
    else
        c = std::make_unique<FlacElements>(path, write);
    ElementFile out;
    out.versionOne = false;
    const WholeFileProblem p = c->problem();
    if (!p) {
        out.outcome = ElementFile::Outcome::Ready;
        out.elements = std::move(c);
        return out;
    }
    using F = platform::FileRewrite::Problem;
    out.outcome = ElementFile::Outcome::Unsuitable;
    switch (p.file) {
    case F::None: break;
    case F::HardLinked: out.reason = Unsuitable::HardLinked; return out;
    default: out.outcome = ElementFile::Outcome::IoError; return out;
    }
    switch (p.codec) {
    case CodecProblem::PalettePicture:
    case CodecProblem::LowBitDepth: out.reason = Unsuitable::PalettePng; break;
    case CodecProblem::Animated: out.reason = Unsuitable::UnsupportedPng; break;
    case CodecProblem::Unsupported: out.reason = png ? Unsuitable::UnsupportedPng : Unsuitable::UnsupportedFlac; break;
    case CodecProblem::TooLarge: out.reason = Unsuitable::TooLarge; break;
    case CodecProblem::ReadFailed:
    case CodecProblem::WriteFailed:
    case CodecProblem::InvalidChange:
    case CodecProblem::None: out.outcome = ElementFile::Outcome::IoError; break;
    default: out.reason = Unsuitable::Malformed; break;
    }
    return out;
}

bool WholeFileElements::load(const std::string &path, bool forWriting, std::uint64_t limit,
                             std::vector<std::uint8_t> &bytes) {
    if (!forWriting) {
        problem_.codec = ReadWholeFile(path, limit, bytes);
        return !problem_;
    }
    rewrite_ = std::make_unique<platform::FileRewrite>(path);
    if (!rewrite_->ok()) {
        problem_.file = rewrite_->problem();
        return false;
    }
    switch (rewrite_->readOld(bytes, limit)) {
    case platform::FileRewrite::ReadResult::Ok: return true;
    case platform::FileRewrite::ReadResult::TooLarge: problem_.codec = CodecProblem::TooLarge; break;
    case platform::FileRewrite::ReadResult::Failed: problem_.codec = CodecProblem::ReadFailed; break;
    }
    return false;
}

bool WholeFileElements::commit() {
    if (problem_) return false;
    if (committed_) return true;
    if (!rewrite_) {
        problem_.codec = CodecProblem::WriteFailed;
        return false;
    }
    RewriteSink sink(*rewrite_);
    const CodecProblem e = encode(sink);
    if (e != CodecProblem::None) {
        // A short write of the staging file is the file's problem (disk full).
        if (rewrite_->problem() != platform::FileRewrite::Problem::None)
            problem_.file = rewrite_->problem();
        else
            problem_.codec = e;
        return false;
    }
    problem_.file = rewrite_->commit();
    committed_ = !problem_;
    return committed_;
}

} // namespace kalmira::carrier
