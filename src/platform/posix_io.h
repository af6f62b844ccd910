// Inside the platform layer only: exact writes to a descriptor.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace kalmira::platform::posix {

// False unless all n bytes were written.
inline bool WriteAll(int fd, const void *data, std::size_t n) {
    const auto *p = static_cast<const char *>(data);
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

} // namespace kalmira::platform::posix
