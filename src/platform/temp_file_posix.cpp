#include "platform/temp_file.h"

#include "platform/binary_file.h"
#include "platform/platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>
#include <vector>

namespace kalmira::platform {

namespace {

std::string Folder(const std::string &path) {
    const auto sep = path.find_last_of('/');
    return sep == std::string::npos ? "./" : path.substr(0, sep + 1);
}

void GiveNewFilePermissions(const std::string &path) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(path.c_str(), 0666 & ~mask);
}

} // namespace

bool WipeFile(const std::string &path) {
    if (!FileExists(path)) return false;
    SetFileAttributes(path, AttrNormal);
    const std::int64_t size = FileSize(path);
    BinaryFile f;
    if (size < 0 || !f.open(path, BinaryFile::Mode::ReadWrite)) return false;
    std::vector<unsigned char> block(65536);
    for (unsigned char fill : {0x00, 0xFF, 0xAA}) {
        block.assign(block.size(), fill);
        for (std::int64_t at = 0; at < size;) {
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(size - at, 65536));
            if (!f.writeAt(at, block.data(), n)) return false;
            at += static_cast<std::int64_t>(n);
        }
        if (!f.flush()) return false;
    }
    f.close();
    return std::remove(path.c_str()) == 0 || !FileExists(path);
}

TempFile::TempFile(Removal removal) : TempFile(TempFolder(), removal) {}

TempFile::TempFile(const std::string &folder, Removal removal)
    : path_(MakeTempFileIn(folder, "kal")), removal_(removal) {}

TempFile::TempFile(TempFile &&other) noexcept
    : path_(std::exchange(other.path_, {})), removal_(other.removal_) {}

TempFile &TempFile::operator=(TempFile &&other) noexcept {
    if (this != &other) {
        remove();
        path_ = std::exchange(other.path_, {});
        removal_ = other.removal_;
    }
    return *this;
}

bool TempFile::remove() {
    if (path_.empty()) return true;
    const bool gone = removal_ == Removal::Wipe ? WipeFile(path_)
                                                : std::remove(path_.c_str()) == 0 || !FileExists(path_);
    if (!gone && removal_ == Removal::Wipe) std::remove(path_.c_str()); // at least not left behind
    path_.clear();
    return gone;
}

StagedFile::StagedFile(const std::string &destination)
    : destination_(destination), temp_(Folder(destination), TempFile::Removal::Delete) {}

StagedFile::Commit StagedFile::commit(bool replace) {
    if (!temp_.valid()) return Commit::Failed;
    if (replace) {
        if (FileExists(destination_)) SetFileAttributes(destination_, AttrNormal);
        if (::rename(temp_.path().c_str(), destination_.c_str()) != 0) return Commit::Failed;
    } else if (!RenameNoReplace(temp_.path(), destination_)) {
        return FileExists(destination_) ? Commit::Exists : Commit::Failed;
    }
    temp_.release();
    GiveNewFilePermissions(destination_);
    return Commit::Done;
}

} // namespace kalmira::platform
