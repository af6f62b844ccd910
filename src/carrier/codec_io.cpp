#include "carrier/codec_common.h"

#include "platform/binary_file.h"

#include <new>

namespace kalmira::carrier {

bool MemorySink::write(const std::uint8_t *data, std::size_t n) {
    try {
        out_.insert(out_.end(), data, data + n);
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

bool FileSink::write(const std::uint8_t *data, std::size_t n) {
    if (!file_.writeAt(at_, data, n)) return false;
    at_ += static_cast<std::int64_t>(n);
    return true;
}

CodecProblem ReadWholeFile(const std::string &path, std::uint64_t limit, std::vector<std::uint8_t> &bytes) {
    platform::BinaryFile file;
    if (!file.open(path, platform::BinaryFile::Mode::Read)) return CodecProblem::ReadFailed;
    const std::int64_t size = file.size();
    if (size < 0) return CodecProblem::ReadFailed;
    if (static_cast<std::uint64_t>(size) > limit) return CodecProblem::TooLarge;
    try {
        bytes.assign(static_cast<std::size_t>(size), 0);
    } catch (const std::bad_alloc &) {
        return CodecProblem::TooLarge;
    }
    if (size > 0 && !file.readAt(0, bytes.data(), bytes.size())) return CodecProblem::ReadFailed;
    return CodecProblem::None;
}

CodecProblem WriteToPath(const std::string &path, const std::function<CodecProblem(ByteSink &)> &encode) {
    platform::BinaryFile file;
    if (!file.open(path, platform::BinaryFile::Mode::CreateTruncate)) return CodecProblem::WriteFailed;
    FileSink sink(file);
    const CodecProblem p = encode(sink);
    if (p != CodecProblem::None) return p;
    if (!file.flush() || !file.close()) return CodecProblem::WriteFailed;
    return CodecProblem::None;
}

} // namespace kalmira::carrier
