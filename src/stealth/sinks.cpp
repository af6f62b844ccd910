#include "platform/binary_file.h"
#include "platform/platform.h"
#include "stealth/stealth.h"

#include <sodium.h>

#include <cstdio>

namespace kalmira::stealth {

struct StagedFileSink::File {
    platform::BinaryFile f;
};

StagedFileSink::StagedFileSink(std::string destination)
    : choose_([d = std::move(destination)](const PayloadFacts &) { return d; }) {}

StagedFileSink::StagedFileSink(std::function<std::string(const PayloadFacts &)> choose)
    : choose_(std::move(choose)) {}

StagedFileSink::~StagedFileSink() { abort(); }

bool StagedFileSink::begin(const PayloadFacts &facts, bool &) {
    destination_ = choose_(facts);
    if (destination_.empty()) return false;
    const auto slash = destination_.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : destination_.substr(0, slash + 1);
    // Beside the destination, never in the temporary folder: the data are plaintext.
    staged_ = platform::MakeTempFileIn(folder, "Tarn");
    file_ = std::make_unique<File>();
    if (staged_.empty() || !file_->f.open(staged_, platform::BinaryFile::Mode::CreateTruncate)) {
        abort();
        return false;
    }
    return true;
}

bool StagedFileSink::write(std::span<const std::uint8_t> data) {
    if (!file_ || !file_->f.writeAt(static_cast<std::int64_t>(written_), data.data(), data.size())) return false;
    written_ += data.size();
    return true;
}

bool StagedFileSink::commit() {
    if (!file_ || !file_->f.flush() || !file_->f.close()) return false;
    file_.reset();
    if (!platform::ReplaceFile(staged_, destination_)) return false;
    staged_.clear();
    return true;
}

void StagedFileSink::abort() {
    file_.reset();
    if (!staged_.empty()) std::remove(staged_.c_str());
    staged_.clear();
}

MemorySink::~MemorySink() { abort(); }

bool MemorySink::begin(const PayloadFacts &facts, bool &tooLarge) {
    tooLarge = facts.length > max_;
    if (tooLarge) return false;
    data_.reserve(static_cast<std::size_t>(facts.length));
    return true;
}

bool MemorySink::write(std::span<const std::uint8_t> data) {
    if (data_.size() + data.size() > data_.capacity()) return false; // never reallocate unwiped copies
    data_.insert(data_.end(), data.begin(), data.end());
    return true;
}

void MemorySink::abort() {
    if (data_.capacity()) sodium_memzero(data_.data(), data_.capacity());
    data_.clear();
}

} // namespace kalmira::stealth
