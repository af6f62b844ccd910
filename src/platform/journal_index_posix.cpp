// The per-user index of journals of files with links in several folders.
// A run through a link in another folder than the one the journal lies in
// finds it here by the file's identity. What it cannot cover: runs of
// another user (another home), a home that cannot be written, and a device
// number that changed (a removable disk mounted again).
#include "platform/journal_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cstdlib>
#include <sstream>

namespace kalmira::platform::journal_io {

namespace {

std::string IndexFolder() {
    if (const char *s = std::getenv("XDG_STATE_HOME"); s && *s == '/') return s;
    const char *home = std::getenv("HOME");
    return home && *home == '/' ? std::string(home) + "/.local/state" : std::string();
}

// Opens (creating it and its folder when asked) and locks the index.
posix::Fd OpenIndex(bool create) {
    const std::string folder = IndexFolder();
    if (folder.empty()) return posix::Fd();
    if (create) {
        // Each missing level, private to the user.
        for (std::size_t at = 1; at != std::string::npos;) {
            at = folder.find('/', at + 1);
            ::mkdir(folder.substr(0, at).c_str(), 0700);
        }
    }
    const std::string path = folder + "/journal-links";
    posix::Fd fd(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | (create ? O_CREAT : 0), 0600));
    if (fd && posix::RetryEintr([&] { return ::flock(fd.fd, LOCK_EX); }) != 0) fd.reset();
    return fd;
}

std::string ReadIndex(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size > (1 << 20)) return "";
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    return posix::ReadAll(fd, text.data(), text.size(), 0) ? text : "";
}

bool WriteIndex(int fd, const std::string &text) {
    return ::ftruncate(fd, 0) == 0 && posix::WriteAll(fd, text.data(), text.size(), 0) && ::fdatasync(fd) == 0;
}

// Lines whose key and path are given ("" path: any), or all others.
std::string Filter(const std::string &text, const std::string &key, const std::string &path, bool keep,
                   std::vector<std::string> *paths = nullptr) {
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line)) {
        const auto space = line.find(' ', line.find(' ') + 1);
        if (space == std::string::npos) continue; // damaged line
        const bool match = line.compare(0, space, key) == 0 && (path.empty() || line.substr(space + 1) == path);
        if (match && paths) paths->push_back(line.substr(space + 1));
        if (match == keep) out += line + '\n';
    }
    return out;
}

} // namespace

std::string IndexKey(std::uint64_t device, std::uint64_t inode) {
    return std::to_string(device) + ' ' + std::to_string(inode);
}

bool IndexAdd(const std::string &key, const std::string &journalPath) {
    if (journalPath.find('\n') != std::string::npos) return false;
    posix::Fd fd = OpenIndex(true);
    if (!fd) return false;
    const std::string text = Filter(ReadIndex(fd.fd), key, journalPath, false) + key + ' ' + journalPath + '\n';
    return WriteIndex(fd.fd, text);
}

void IndexRemove(const std::string &key, const std::string &journalPath) {
    posix::Fd fd = OpenIndex(false);
    if (!fd) return;
    const std::string text = ReadIndex(fd.fd);
    const std::string kept = Filter(text, key, journalPath, false);
    if (kept != text) WriteIndex(fd.fd, kept);
}

std::vector<std::string> IndexFind(const std::string &key) {
    std::vector<std::string> paths;
    posix::Fd fd = OpenIndex(false);
    if (fd) Filter(ReadIndex(fd.fd), key, "", true, &paths);
    return paths;
}

} // namespace kalmira::platform::journal_io
