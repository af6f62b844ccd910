#include "platform/binary_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kalmira::platform {

BinaryFile::~BinaryFile() { close(); }

bool BinaryFile::open(const std::string &path, Mode mode) {
    close();
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::Read: flags |= O_RDONLY; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::CreateTruncate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    // O_NONBLOCK: a FIFO must not hang the open; it is refused below.
    fd_ = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd_ < 0) return false;
    struct stat st{};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd_, F_SETFL, 0) != 0) {
        close();
        return false;
    }
    return true;
}

std::int64_t BinaryFile::size() const {
    struct stat st{};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool BinaryFile::readAt(std::int64_t offset, void *buf, std::size_t n) const {
    auto *p = static_cast<char *>(buf);
    while (n > 0) {
        ssize_t r = ::pread(fd_, p, n, static_cast<off_t>(offset));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        offset += r;
        n -= static_cast<std::size_t>(r);
    }
    return fd_ >= 0;
}

bool BinaryFile::writeAt(std::int64_t offset, const void *buf, std::size_t n) {
    const auto *p = static_cast<const char *>(buf);
    while (n > 0) {
        ssize_t r = ::pwrite(fd_, p, n, static_cast<off_t>(offset));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        offset += r;
        n -= static_cast<std::size_t>(r);
    }
    return fd_ >= 0;
}

bool BinaryFile::flush() { return fd_ >= 0 && ::fsync(fd_) == 0; }

bool BinaryFile::close() {
    if (fd_ < 0) return true;
    int r = ::close(fd_);
    fd_ = -1;
    return r == 0;
}

} // namespace kalmira::platform
