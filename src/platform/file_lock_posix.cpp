#include "platform/file_lock.h"

#include "platform/posix_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <utility>

namespace kalmira::platform {

namespace {
constexpr std::chrono::milliseconds kRetryStep{20};
}

FileLock::~FileLock() { release(); }

FileLock::FileLock(FileLock &&other) noexcept
    : fd_(std::exchange(other.fd_, -1)), kind_(other.kind_), path_(std::move(other.path_)) {}

FileLock &FileLock::operator=(FileLock &&other) noexcept {
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
        kind_ = other.kind_;
        path_ = std::move(other.path_);
    }
    return *this;
}

FileLock::Result FileLock::acquire(const std::string &path, Kind kind, std::chrono::milliseconds wait) {
    release();
    const int op = (kind == Kind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        // flock rather than fcntl locks: those vanish when any descriptor of the
        // file is closed, which the engines do freely. O_NONBLOCK keeps a FIFO
        // from hanging the open.
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) return Result::Failed;
        for (;;) {
            if (posix::RetryEintr([&] { return ::flock(fd, op); }) == 0) break;
            if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
                const bool busy = errno == EWOULDBLOCK;
                ::close(fd);
                return busy ? Result::Busy : Result::Failed;
            }
            std::this_thread::sleep_for(kRetryStep);
        }
        // A run that held the lock may have replaced the file whole (PNG,
        // FLAC): the lock then guards the old one; take the new one's.
        struct stat held {
        }, named{};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
            (held.st_dev != named.st_dev || held.st_ino != named.st_ino)) {
            ::close(fd);
            continue;
        }
        fd_ = fd;
        kind_ = kind;
        path_ = path;
        return Result::Locked;
    }
}

void FileLock::release() {
    if (fd_ < 0) return;
    ::close(fd_); // closing the only descriptor drops the lock
    fd_ = -1;
    path_.clear();
}

} // namespace kalmira::platform
