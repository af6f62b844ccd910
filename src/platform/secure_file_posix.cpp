#include "platform/secure_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace kalmira::platform {

namespace {

bool overwrite(int fd, off_t size) {
    std::vector<char> zeros(64 * 1024, 0);
    for (off_t pos = 0; pos < size;) {
        auto n = static_cast<std::size_t>(std::min<off_t>(size - pos, zeros.size()));
        ssize_t w = ::pwrite(fd, zeros.data(), n, pos);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        pos += w;
    }
    return ::fdatasync(fd) == 0;
}

} // namespace

bool WipeAndRemove(const std::string &path) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (S_ISREG(st.st_mode)) {
        int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat fst{};
        // Wipe only what the name still denotes; removal happens regardless.
        if (fd >= 0 && ::fstat(fd, &fst) == 0 && fst.st_dev == st.st_dev && fst.st_ino == st.st_ino) {
            overwrite(fd, fst.st_size);
            if (::ftruncate(fd, 0) == 0) ::fsync(fd);
        }
        if (fd >= 0) ::close(fd);
    }
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

} // namespace kalmira::platform
