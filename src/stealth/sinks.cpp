#include "platform/binary_file.h"
#include "platform/platform.h"
#include "platform/temp_file.h"
#include "stealth/stealth.h"

#include <sodium.h>

namespace kalmira::stealth {

struct StagedFileSink::File {
    explicit File(const std::string &destination) : staged(destination) {}
    platform::StagedFile staged; // wiped and removed unless committed
    platform::BinaryFile f;
};

StagedFileSink::StagedFileSink(std::string destination)
    : choose_([d = std::move(destination)](const PayloadFacts &) { return d; }) {}

StagedFileSink::StagedFileSink(std::function<std::string(const PayloadFacts &)> choose) : choose_(std::move(choose)) {}

StagedFileSink::~StagedFileSink() { abort(); }

bool StagedFileSink::begin(const PayloadFacts &facts, bool &) {
    destination_ = choose_(facts);
    if (destination_.empty()) return false;
    // Beside the destination, never in the temporary folder: the data are plaintext.
    file_ = std::make_unique<File>(destination_);
    refused_ = file_->staged.refused();
    destination_ = file_->staged.destination();
    if (!file_->staged.valid() || !file_->f.open(file_->staged.path(), platform::BinaryFile::Mode::ReadWrite)) {
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
    const platform::StagedFile::Commit c = file_->staged.commit(replace_);
    exists_ = c == platform::StagedFile::Commit::Exists;
    if (c != platform::StagedFile::Commit::Done) return false;
    file_.reset();
    return true;
}

void StagedFileSink::abort() { file_.reset(); }

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
