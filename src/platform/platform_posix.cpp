#include "platform/platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace kalmira::platform {

char PathSeparator() { return '/'; }

std::string TempFolder() {
    const char *candidates[] = {std::getenv("TMPDIR"), std::getenv("TMP"), std::getenv("TEMP")};
    for (const char *c : candidates) {
        if (c && *c) {
            struct stat st {};
            if (::stat(c, &st) == 0 && S_ISDIR(st.st_mode)) {
                std::string dir = c;
                if (dir.size() > 511) continue;
                if (dir.back() != '/') dir += '/';
                return dir;
            }
        }
    }
    return "/tmp/";
}

static std::string lastComponent(const std::string &path) {
    auto pos = path.find_last_of('/');
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

int GetFileAttributes(const std::string &path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return -1;
    int attrs = AttrNormal;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attrs |= AttrReadOnly;
    std::string name = lastComponent(path);
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") attrs |= AttrHidden;
    return attrs;
}

bool SetFileAttributes(const std::string &path, int attrs) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777;
    if (attrs & AttrReadOnly) {
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    } else if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        // Give back write permission the way a new file would get it.
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode |= static_cast<mode_t>((S_IWUSR | S_IWGRP | S_IWOTH) & ~mask) | S_IWUSR;
    }
    return ::chmod(path.c_str(), mode) == 0;
}

bool FileExists(const std::string &path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string &path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const std::string &path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

PathKind KindOf(const std::string &path, bool followLinks) {
    struct stat st {};
    if (path.empty() || (followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0)
        return errno == ENOENT || errno == ENOTDIR || path.empty() ? PathKind::Absent : PathKind::Other;
    if (S_ISREG(st.st_mode)) return PathKind::Regular;
    if (S_ISDIR(st.st_mode)) return PathKind::Directory;
    return S_ISLNK(st.st_mode) ? PathKind::Link : PathKind::Other;
}

bool IsWritable(const std::string &path) {
    if (::access(path.c_str(), W_OK) == 0) return true;
    if (errno != EACCES) return false; // EROFS: a read-only mount
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && st.st_uid == ::geteuid();
}

bool SameFile(const std::string &a, const std::string &b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

std::int64_t FileSize(const std::string &path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool FlushDescriptor(int fd) { return fd >= 0 && ::fsync(fd) == 0; }

bool FlushPath(const std::string &path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool Rename(const std::string &from, const std::string &to, bool replace) {
    if (from.empty() || to.empty()) return false;
    if (replace) return ::rename(from.c_str(), to.c_str()) == 0;
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without the flag: check first, accepting the small race.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return errno == ENOENT && ::rename(from.c_str(), to.c_str()) == 0;
}

std::string RealPath(const std::string &path) {
    if (path.empty()) return "";
    char *real = ::realpath(path.c_str(), nullptr);
    if (!real) return "";
    std::string out = real;
    std::free(real);
    return out;
}

void HardenProcess() {
    ::signal(SIGXFSZ, SIG_IGN);
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
}

static std::string executablePath() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    return std::string(buf, static_cast<size_t>(n));
}

std::string ProgramFolder() {
    std::string exe = executablePath();
    auto pos = exe.find_last_of('/');
    return pos == std::string::npos ? std::string("./") : exe.substr(0, pos + 1);
}

std::string ExecutableName() { return lastComponent(executablePath()); }

std::string NativeFilePath(const std::string &utf8Path) { return utf8Path; }

std::string WindowsPlatform() { return "NT"; }

std::string SharedLibraryFileName(const std::string &baseName) { return "lib" + baseName + ".so"; }

double MonotonicSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::uint64_t PhysicalMemoryBytes() {
    const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

SharedLibrary::~SharedLibrary() { close(); }

bool SharedLibrary::open(const std::string &path) {
    close();
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char *e = ::dlerror();
        error_ = e ? e : "dlopen failed";
        return false;
    }
    error_.clear();
    return true;
}

void SharedLibrary::close() {
    if (handle_) ::dlclose(handle_);
    handle_ = nullptr;
}

void *SharedLibrary::symbol(const char *name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

} // namespace kalmira::platform
