// Files that must not outlive a run: temporary files (optionally wiped when
// removed) and staged output, written beside its destination and put in
// place by one rename.
#pragma once

#include "platform/file_lock.h"

#include <string>

namespace kalmira::platform {

// Overwrites a file with 0x00, 0xFF and 0xAA, each pass written through to
// the device, then deletes it. True when the file is gone.
bool WipeFile(const std::string &path);

// A new, empty file with a random name that never carries characters of any
// name the programs handle; removed when the object ends unless released.
class TempFile {
public:
    enum class Removal { Delete, Wipe };

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
    // The file is someone else's now.
    void release() { path_.clear(); }

private:
    std::string path_;
    Removal removal_ = Removal::Delete;
};

// Output written under a staging name beside `destination` and committed by
// renaming it; wiped and removed when it ends uncommitted. Staging names
// (".kalmira-staged-XXXXXX.tmp") are locked while their run lives, so a run
// killed midway leaves one that the next staging in that folder removes.
class StagedFile {
public:
    static constexpr const char *kPrefix = ".kalmira-staged-";
    explicit StagedFile(const std::string &destination);
    ~StagedFile();
    StagedFile(const StagedFile &) = delete;
    StagedFile &operator=(const StagedFile &) = delete;
    const std::string &path() const { return path_; }
    bool valid() const { return !path_.empty(); }
    const std::string &destination() const { return destination_; }

    enum class Commit { Done, Exists, Failed };
    // Puts the staged file in place; an existing destination is replaced only
    // when `replace`. The result gets the permissions of a new file.
    Commit commit(bool replace);

    // Wipes and removes staging files of ended runs in `folder`; how many.
    static int RemoveLeftovers(const std::string &folder);

private:
    std::string destination_;
    std::string path_;
    FileLock lock_;
};

} // namespace kalmira::platform
