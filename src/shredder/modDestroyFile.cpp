#include "shredder/modDestroyFile.h"

#include "platform/binary_file.h"
#include "platform/platform.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace kalmira::shredder {

namespace fs = std::filesystem;

bool file_exists(const std::string &path) { return platform::IsRegularFile(path); }

bool is_link(const std::string &path) {
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(fs::path(platform::NativeFilePath(path)), ec));
}

bool is_plain_file(const std::string &path) {
    const int attrs = platform::GetFileAttributes(path);
    return attrs != -1 && (attrs & platform::AttrReadOnly) == 0;
}

void clear_attributes(const std::string &path) { platform::SetFileAttributes(path, platform::AttrNormal); }

bool truncate_file(const std::string &path) {
    // Never through a link, never creating a missing file.
    platform::BinaryFile f;
    return f.open(path, platform::BinaryFile::Mode::ReadWrite, false) && f.truncate() && f.size() == 0;
}

std::string DelFileName(const std::tm &when) {
    char name[32];
    std::snprintf(name, sizeof name, "%02d%02d%02d%02d.del", when.tm_mday % 100, (when.tm_mon + 1) % 100,
                  when.tm_min % 100, when.tm_sec % 60);
    return name;
}

std::string FreeDelPath(const std::string &path, const std::tm &when) {
    const std::string folder = fs::path(path).parent_path().string();
    const std::string prefix = folder.empty() ? std::string() : folder + platform::PathSeparator();
    std::tm t = when;
    for (int i = 0; i < 60; ++i) {
        t.tm_sec = (when.tm_sec + i) % 60;
        std::string candidate = prefix + DelFileName(t);
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(candidate, ec))) return candidate;
    }
    return "";
}

bool rename_and_kill(const std::string &path, const std::tm &when) {
    // On Windows the target sits in the drive root. On POSIX the root is
    // rarely writable and often another file system, so the file's own
    // folder takes its place.
    std::string target = FreeDelPath(path, when);
    if (target.empty() || !platform::RenameNoReplace(path, target)) return false;
    std::error_code ec;
    if (fs::remove(target, ec) && !ec) return true;
    platform::RenameNoReplace(target, path);
    return false;
}

bool rename_and_kill(const std::string &path) {
    std::time_t now = std::time(nullptr);
    // Single UI thread: the shared buffer of localtime is safe here.
    const std::tm *local = std::localtime(&now);
    return local && rename_and_kill(path, *local);
}

} // namespace kalmira::shredder
