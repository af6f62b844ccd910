#include "platform/binary_file.h"

#include "platform/posix_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kalmira::platform {

BinaryFile::~BinaryFile() { close(); }

bool BinaryFile::open(const std::string &path, Mode mode, bool followLinks) {
    close();
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::CreateTruncate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    // O_NONBLOCK: a FIFO must not hang the open; it is refused below.
    if (!followLinks) flags |= O_NOFOLLOW;
    fd_ = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd_ < 0) return false;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd_, F_SETFL, 0) != 0) {
        close();
        return false;
    }
    return true;
}

std::int64_t BinaryFile::size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool BinaryFile::readAt(std::int64_t offset, void *buf, std::size_t n) const {
    return fd_ >= 0 && posix::ReadAll(fd_, buf, n, offset);
}

bool BinaryFile::writeAt(std::int64_t offset, const void *buf, std::size_t n) {
    return fd_ >= 0 && posix::WriteAll(fd_, buf, n, offset);
}

bool BinaryFile::denotedBy(const std::string &path) const {
    struct stat a {
    }, b{};
    return fd_ >= 0 && ::fstat(fd_, &a) == 0 && ::lstat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

bool BinaryFile::truncate() { return fd_ >= 0 && ::ftruncate(fd_, 0) == 0 && ::fsync(fd_) == 0; }

// The data and what reading it needs (the size); times need no flush of their own.
bool BinaryFile::flush() { return fd_ >= 0 && ::fdatasync(fd_) == 0; }

bool BinaryFile::close() {
    if (fd_ < 0) return true;
    int r = ::close(fd_);
    fd_ = -1;
    return r == 0;
}

} // namespace kalmira::platform
