// Inside the platform layer only: the one retry loop for interrupted system
// calls, and exact transfers built on it.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace kalmira::platform::posix {

// Calls fn() again while it fails with EINTR; its last result otherwise.
template <class Fn>
auto RetryEintr(Fn &&fn) -> decltype(fn()) {
    for (;;) {
        auto r = fn();
        if (!(r < 0 && errno == EINTR)) return r;
    }
}

// False unless all n bytes were written (at `offset`, or at the file position when it is < 0).
inline bool WriteAll(int fd, const void *data, std::size_t n, std::int64_t offset = -1) {
    const auto *p = static_cast<const char *>(data);
    while (n > 0) {
        const ssize_t w =
            RetryEintr([&] { return offset < 0 ? ::write(fd, p, n) : ::pwrite(fd, p, n, static_cast<off_t>(offset)); });
        if (w <= 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
        if (offset >= 0) offset += w;
    }
    return true;
}

// False unless all n bytes were read from `offset`.
inline bool ReadAll(int fd, void *data, std::size_t n, std::int64_t offset) {
    auto *p = static_cast<char *>(data);
    while (n > 0) {
        const ssize_t r = RetryEintr([&] { return ::pread(fd, p, n, static_cast<off_t>(offset)); });
        if (r <= 0) return false;
        p += r;
        n -= static_cast<std::size_t>(r);
        offset += r;
    }
    return true;
}

// Closes on destruction.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    ~Fd() { reset(); }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    Fd(Fd &&o) noexcept : fd(o.fd) { o.fd = -1; }
    Fd &operator=(Fd &&o) noexcept {
        if (this != &o) {
            reset();
            fd = o.fd;
            o.fd = -1;
        }
        return *this;
    }
    void reset() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    int release() {
        const int f = fd;
        fd = -1;
        return f;
    }
    explicit operator bool() const { return fd >= 0; }
};

} // namespace kalmira::platform::posix
