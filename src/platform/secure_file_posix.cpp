#include "platform/secure_file.h"

#include "platform/staging.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kalmira::platform {

bool WipeAndRemove(const std::string &path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (S_ISREG(st.st_mode)) {
        posix::Fd fd(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat fst {};
        // Wipe only what the name still denotes; removal happens regardless.
        if (fd && ::fstat(fd.fd, &fst) == 0 && fst.st_dev == st.st_dev && fst.st_ino == st.st_ino) {
            staging::Overwrite(fd.fd);
            if (::ftruncate(fd.fd, 0) == 0) ::fsync(fd.fd);
        }
    }
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

} // namespace kalmira::platform
