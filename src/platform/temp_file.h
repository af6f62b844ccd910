// Files that must not outlive a run: temporary files and staged output,
// written beside its destination and put in place by one rename.
//
// Both live under names of the form ".~XXXXXXXXXX.part" that say nothing of
// the program, are private and locked while their run lives; a run killed
// midway leaves one that the next run in that folder (or in the temporary
// folder) wipes and removes.
#pragma once

#include <string>

namespace kalmira::platform {

// A stored or typed file name as it may be written: C0 controls, DEL and C1
// controls (U+0080..U+009F) become "_".
std::string SafeFileName(const std::string &name);

// A new, empty file, wiped and removed when the object ends unless released.
class TempFile {
public:
    enum class Removal {
        Delete,
        Wipe
    };

    TempFile() = default;
    // In the temporary folder; `path()` is "" when none could be made.
    explicit TempFile(Removal removal);
    // In `folder` (with or without trailing separator).
    TempFile(const std::string &folder, Removal removal);
    ~TempFile() { remove(); }
    TempFile(TempFile &&other) noexcept;
    TempFile &operator=(TempFile &&other) noexcept;
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;

    const std::string &path() const { return path_; }
    bool valid() const { return !path_.empty(); }
    // Removes the file now (wiping it when asked); true when it is gone.
    bool remove();

private:
    std::string path_;
    int fd_ = -1; // holds the lock
    Removal removal_ = Removal::Wipe;
};

// Output written under a staging name beside its destination and committed
// by renaming it; wiped and removed when it ends uncommitted. A destination
// that is a symbolic link to a regular file is replaced where the link
// points (the link stays); a folder, FIFO, device or dangling link is refused.
class StagedFile {
public:
    // `limitMode`: a file whose permissions the result never exceeds (a
    // backup's original); otherwise those of the file replaced, if any.
    explicit StagedFile(const std::string &destination, const std::string &limitMode = "");
    ~StagedFile();
    StagedFile(const StagedFile &) = delete;
    StagedFile &operator=(const StagedFile &) = delete;
    const std::string &path() const { return path_; }
    bool valid() const { return !path_.empty(); }
    // The destination as written: its name made safe (SafeFileName).
    const std::string &destination() const { return destination_; }
    // The destination is no regular file (nor absent): nothing was staged.
    bool refused() const { return refused_; }

    enum class Commit {
        Done,
        Exists,
        Failed
    };
    // Puts the staged file in place; an existing destination is replaced only
    // when `replace`. The result gets the permissions of a new file under the
    // umask, never wider than those of the file it replaces or `limitMode`.
    Commit commit(bool replace);

    // Wipes and removes staging files of ended runs in `folder`; how many.
    static int RemoveLeftovers(const std::string &folder);

private:
    std::string destination_;
    std::string target_; // the destination with symbolic links resolved
    std::string limitMode_;
    std::string path_;
    int fd_ = -1; // holds the lock
    bool refused_ = false;
};

} // namespace kalmira::platform
