// Operating-system services the programs need, behind one portable seam.
// POSIX implementation in platform_posix.cpp; a Windows one would sit beside it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kalmira::platform {

// Attribute bits as the programs use them (normal = 0).
enum FileAttr : int {
    AttrNormal = 0,
    AttrReadOnly = 1,
    AttrHidden = 2,
};

char PathSeparator();

// Temporary folder with a trailing separator; "" when there is none usable.
std::string TempFolder();

// -1 when the file cannot be queried. On POSIX read-only means no write
// permission bit set, hidden means the name starts with a dot.
int GetFileAttributes(const std::string &path);

// Only the read-only bit can be changed on POSIX (hidden is part of the name).
bool SetFileAttributes(const std::string &path, int attrs);

bool FileExists(const std::string &path);
bool IsRegularFile(const std::string &path);
bool IsDirectory(const std::string &path);
// Both paths name the same file (also through links).
bool SameFile(const std::string &a, const std::string &b);
// What a name denotes. `Link` only when links are not followed.
enum class PathKind {
    Absent,
    Regular,
    Directory,
    Link,
    Other
};
PathKind KindOf(const std::string &path, bool followLinks = true);

// Whether the file can be opened for writing, at once or after clearing its
// read-only attribute (its owner may); false on a read-only mount.
bool IsWritable(const std::string &path);

// -1 when the file cannot be queried.
std::int64_t FileSize(const std::string &path);

// Writes the file's buffered data through to the device.
bool FlushPath(const std::string &path);
bool FlushDescriptor(int fd);

// Moves a file to a new name in one step; an existing file at `to` is
// replaced only when `replace` (otherwise errno is EEXIST).
bool Rename(const std::string &from, const std::string &to, bool replace);
inline bool RenameNoReplace(const std::string &from, const std::string &to) { return Rename(from, to, false); }

// The path with every symbolic link resolved, absolute; "" when it cannot be.
std::string RealPath(const std::string &path);

// First thing every program does: a file-size limit gives a write error
// instead of killing the process, and no core dump (nor another process of
// the user) can read the secrets in its memory.
void HardenProcess();

// Folder of the running executable, with a trailing separator.
std::string ProgramFolder();
std::string ExecutableName();

// "NT" on every system this runs on.
std::string WindowsPlatform();

// Platform file name of a runtime-loaded library ("libX.so" / "X.dll").
std::string SharedLibraryFileName(const std::string &baseName);

// Seconds from an arbitrary fixed point; never goes backwards.
double MonotonicSeconds();

// Bytes of main memory the machine has; 0 when the system does not say.
std::uint64_t PhysicalMemoryBytes();

// The ANSI code page (Windows-1252). Characters it cannot represent become '?'.
std::string AnsiFromUtf8(std::string_view utf8);
std::string Utf8FromAnsi(std::string_view ansi);

// A path as the C library's file functions take it (ANSI on Windows, the
// UTF-8 text itself on POSIX).
std::string NativeFilePath(const std::string &utf8Path);

// Minimal runtime library loader.
class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary &) = delete;
    SharedLibrary &operator=(const SharedLibrary &) = delete;

    bool open(const std::string &path);
    void close();
    bool isOpen() const { return handle_ != nullptr; }
    void *symbol(const char *name) const;
    const std::string &error() const { return error_; }

private:
    void *handle_ = nullptr;
    std::string error_;
};

} // namespace kalmira::platform
