#include "platform/staging.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace kalmira::platform::staging {

namespace {

constexpr const char *kPrefix = ".~";
constexpr const char *kSuffix = ".part";
constexpr std::size_t kRandomChars = 10;

std::string RandomChars() {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char raw[kRandomChars];
    if (posix::RetryEintr([&] { return ::getrandom(raw, sizeof raw, 0); }) != static_cast<ssize_t>(sizeof raw))
        return "";
    std::string out;
    for (unsigned char c : raw) out += kAlphabet[c % (sizeof kAlphabet - 1)];
    return out;
}

// The name still denotes the open file, which is linked.
bool StillNamed(int fd, const std::string &path) {
    struct stat a {
    }, b{};
    return ::fstat(fd, &a) == 0 && ::lstat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino &&
           a.st_nlink > 0;
}

} // namespace

std::string FolderOf(const std::string &path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

std::string NameOf(const std::string &path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsStagingName(const std::string &name) {
    const std::size_t p = std::strlen(kPrefix), s = std::strlen(kSuffix);
    if (name.size() != p + kRandomChars + s || name.compare(0, p, kPrefix) != 0 ||
        name.compare(p + kRandomChars, s, kSuffix) != 0)
        return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(p),
                       name.begin() + static_cast<std::ptrdiff_t>(p + kRandomChars),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

posix::Fd Create(const std::string &folder, std::string &path) {
    const std::string dir = folder.empty() ? "./" : folder.back() == '/' ? folder : folder + "/";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string chars = RandomChars();
        if (chars.empty()) break;
        const std::string candidate = dir + kPrefix + chars + kSuffix;
        posix::Fd fd(::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd) {
            if (errno == EEXIST) continue;
            break;
        }
        // A sweeper that took the lock first removes the file: take another name.
        if (posix::RetryEintr([&] { return ::flock(fd.fd, LOCK_EX | LOCK_NB); }) != 0 || !StillNamed(fd.fd, candidate))
            continue;
        path = candidate;
        return fd;
    }
    path.clear();
    return posix::Fd();
}

bool Overwrite(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    const std::vector<char> zeros(64 * 1024, 0);
    for (off_t pos = 0; pos < st.st_size;) {
        const auto n = static_cast<std::size_t>(std::min<off_t>(st.st_size - pos, static_cast<off_t>(zeros.size())));
        if (!posix::WriteAll(fd, zeros.data(), n, pos)) return false;
        pos += static_cast<off_t>(n);
    }
    return ::fdatasync(fd) == 0;
}

int Sweep(const std::string &folder) {
    const std::string dir = folder.empty() ? "./" : folder.back() == '/' ? folder : folder + "/";
    DIR *d = ::opendir(dir.c_str());
    if (!d) return 0;
    std::vector<std::string> names;
    while (const dirent *e = ::readdir(d))
        if (IsStagingName(e->d_name)) names.push_back(e->d_name);
    ::closedir(d);
    int removed = 0;
    const uid_t me = ::geteuid();
    for (const std::string &name : names) {
        const std::string path = dir + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (me != 0 && st.st_uid != me)) continue;
        posix::Fd fd(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        // Locked: its run lives.
        if (!fd || posix::RetryEintr([&] { return ::flock(fd.fd, LOCK_EX | LOCK_NB); }) != 0 ||
            !StillNamed(fd.fd, path))
            continue;
        Overwrite(fd.fd);
        if (::ftruncate(fd.fd, 0) == 0) ::fdatasync(fd.fd);
        if (::unlink(path.c_str()) == 0) ++removed;
    }
    if (removed) FlushFolder(dir);
    return removed;
}

bool FlushFolder(const std::string &folder) {
    posix::Fd d(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return d && ::fsync(d.fd) == 0;
}

} // namespace kalmira::platform::staging
