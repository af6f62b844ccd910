#include "platform/temp_file.h"

#include "platform/binary_file.h"
#include "platform/platform.h"
#include "platform/secure_file.h"

#include <dirent.h>
#include <fcntl.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <utility>
#include <vector>

namespace kalmira::platform {

namespace {

std::string Folder(const std::string &path) {
    const auto sep = path.find_last_of('/');
    return sep == std::string::npos ? "./" : path.substr(0, sep + 1);
}

// A new file's permissions under the umask; a file it replaces never gets
// wider ones than it had.
void GiveNewFilePermissions(const std::string &path, mode_t replacedMode) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(path.c_str(), 0666 & ~mask & replacedMode);
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

StagedFile::StagedFile(const std::string &destination) : destination_(destination) {
    const std::string folder = Folder(destination);
    RemoveLeftovers(folder);
    std::string path = folder + kPrefix + "XXXXXX.tmp";
    const int fd = ::mkostemps(path.data(), 4, O_CLOEXEC);
    if (fd < 0) return;
    ::close(fd);
    path_ = path;
    lock_.acquire(path_, FileLock::Kind::Exclusive, std::chrono::milliseconds(0));
}

StagedFile::~StagedFile() {
    if (!path_.empty()) WipeAndRemove(path_);
}

int StagedFile::RemoveLeftovers(const std::string &folder) {
    DIR *dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return 0;
    const std::string prefix = kPrefix;
    int removed = 0;
    while (const dirent *e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string path = folder + name;
        struct stat st{};
        // Only an unlocked regular file some seconds old: a run that has just
        // made its staging file may not hold the lock yet.
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::time(nullptr) - st.st_mtime < 5)
            continue;
        FileLock probe;
        if (probe.acquire(path, FileLock::Kind::Exclusive, std::chrono::milliseconds(0)) != FileLock::Result::Locked)
            continue;
        if (WipeAndRemove(path)) ++removed;
    }
    ::closedir(dir);
    return removed;
}

StagedFile::Commit StagedFile::commit(bool replace) {
    if (path_.empty()) return Commit::Failed;
    struct stat old{};
    // Group and others never gain access the replaced file denied them.
    const mode_t replacedMode = ::stat(destination_.c_str(), &old) == 0 ? ((old.st_mode & 0066) | 0600) : 0666;
    if (replace) {
        if (FileExists(destination_)) SetFileAttributes(destination_, AttrNormal);
        if (::rename(path_.c_str(), destination_.c_str()) != 0) return Commit::Failed;
    } else if (!RenameNoReplace(path_, destination_)) {
        return FileExists(destination_) ? Commit::Exists : Commit::Failed;
    }
    path_.clear();
    lock_.release();
    GiveNewFilePermissions(destination_, replacedMode);
    return Commit::Done;
}

} // namespace kalmira::platform
