#include "platform/temp_file.h"

#include "platform/platform.h"
#include "platform/staging.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace kalmira::platform {

std::string SafeFileName(const std::string &name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(name[i + 1]) <= 0x9F) {
            out += '_';
            ++i;
        } else {
            out += c < 0x20 || c == 0x7F ? '_' : static_cast<char>(c);
        }
    }
    return out;
}

namespace {

// Wipes (when asked) and removes a staging file whose descriptor we hold.
void Discard(int &fd, std::string &path, bool wipe) {
    if (fd >= 0) {
        if (wipe) staging::Overwrite(fd);
        ::close(fd);
    }
    if (!path.empty()) ::unlink(path.c_str());
    fd = -1;
    path.clear();
}

mode_t Umask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// Group and others never gain access the file denied them.
mode_t Limit(const std::string &path, mode_t mode) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? mode & ((st.st_mode & 0066) | 0600) : mode;
}

} // namespace

TempFile::TempFile(Removal removal) : TempFile(TempFolder(), removal) {}

TempFile::TempFile(const std::string &folder, Removal removal) : removal_(removal) {
    posix::Fd fd = staging::Create(folder, path_);
    fd_ = fd.release();
}

TempFile::TempFile(TempFile &&other) noexcept
    : path_(std::exchange(other.path_, {})), fd_(std::exchange(other.fd_, -1)), removal_(other.removal_) {}

TempFile &TempFile::operator=(TempFile &&other) noexcept {
    if (this != &other) {
        remove();
        path_ = std::exchange(other.path_, {});
        fd_ = std::exchange(other.fd_, -1);
        removal_ = other.removal_;
    }
    return *this;
}

bool TempFile::remove() {
    const std::string path = path_;
    Discard(fd_, path_, removal_ == Removal::Wipe);
    struct stat st {};
    return path.empty() || ::lstat(path.c_str(), &st) != 0;
}

StagedFile::StagedFile(const std::string &destination, const std::string &limitMode) : limitMode_(limitMode) {
    const auto slash = destination.find_last_of('/');
    destination_ = slash == std::string::npos
                       ? SafeFileName(destination)
                       : destination.substr(0, slash + 1) + SafeFileName(destination.substr(slash + 1));
    target_ = destination_;
    switch (KindOf(destination_, false)) {
    case PathKind::Absent:
    case PathKind::Regular: break;
    case PathKind::Link:
        // Only a link to a regular file; its target is replaced.
        if (KindOf(destination_) == PathKind::Regular) target_ = RealPath(destination_);
        refused_ = target_ == destination_ || target_.empty();
        break;
    default: refused_ = true;
    }
    if (refused_) return;
    const std::string folder = staging::FolderOf(target_);
    staging::Sweep(folder);
    posix::Fd fd = staging::Create(folder, path_);
    fd_ = fd.release();
}

StagedFile::~StagedFile() { Discard(fd_, path_, true); }

int StagedFile::RemoveLeftovers(const std::string &folder) { return staging::Sweep(folder); }

StagedFile::Commit StagedFile::commit(bool replace) {
    if (path_.empty()) return Commit::Failed;
    const PathKind kind = KindOf(target_, false);
    if (kind != PathKind::Absent && kind != PathKind::Regular) return Commit::Failed;
    mode_t mode = Limit(target_, 0666 & ~Umask());
    if (!limitMode_.empty()) mode = Limit(limitMode_, mode);
    if (::fchmod(fd_, mode) != 0 || ::fsync(fd_) != 0) return Commit::Failed;
    if (!Rename(path_, target_, replace)) {
        const bool exists = errno == EEXIST;
        return exists ? Commit::Exists : Commit::Failed;
    }
    staging::FlushFolder(staging::FolderOf(target_));
    ::close(fd_);
    fd_ = -1;
    path_.clear();
    return Commit::Done;
}

} // namespace kalmira::platform
