#include "platform/child_process.h"

#include "platform/posix_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

namespace kalmira::platform {

using posix::WriteAll;

bool ChildProcess::start(const Work &work, double seconds) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    if (pid == 0) {
        ::close(fds[0]);
        const bool ok = work([fd = fds[1]](const void *data, std::size_t n) { return WriteAll(fd, data, n); });
        ::_exit(ok ? 0 : 1);
    }
    ::close(fds[1]);
    pid_ = pid;
    fd_ = fds[0];
    deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
    return true;
}

bool ChildProcess::read(void *data, std::size_t n) {
    auto *p = static_cast<char *>(data);
    while (n > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now()).count();
        if (fd_ < 0 || left <= 0) return false;
        pollfd pfd{fd_, POLLIN, 0};
        const int r = ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left, 1000)));
        if (r <= 0) continue;
        const ssize_t got = posix::RetryEintr([&] { return ::read(fd_, p, n); });
        if (got <= 0) return false;
        p += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

ChildProcess::~ChildProcess() {
    if (fd_ >= 0) ::close(fd_);
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL); // finished or not: nothing more is needed from it
    int status = 0;
    posix::RetryEintr([&] { return ::waitpid(pid_, &status, 0); });
}

} // namespace kalmira::platform
