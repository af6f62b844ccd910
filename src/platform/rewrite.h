// A file replaced whole by a new version of itself (carriers that are
// compressed and so cannot be changed in place).
//
// The new content goes to a staging file beside the old one (the staging
// name pattern of temp_file.h, so a killed run's leftover is swept by the
// next run in that folder), is flushed, gets the old file's owner and mode,
// and is renamed over it; the folder is flushed. Then the old file's bytes
// are overwritten through a handle held since the start, before it is
// closed, so that its content does not stay behind in free space. A run
// killed at any moment leaves the old file or the new one, never a mix; one
// killed between the rename and the overwrite leaves the old bytes in free
// space (the file system frees them when the process ends).
//
// Extended attributes the process may read carry over, POSIX ACLs with them
// (system.posix_acl_access), and the new file gets none the old one lacked.
// What does not carry over: attributes the file system or the process cannot
// set (trusted.*, security.* such as SELinux labels without the privilege),
// which are left out; the owner when the process may not give files away
// (then the file is the user's and its group loses access, an ACL's named
// entries with it, rather than another group gaining it). A file with further hard links is refused: a rename would cut
// the other names off and leave them holding the old content.
// On flash storage and copy-on-write or journalling file systems an
// overwrite may land elsewhere; the old blocks are then only released.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kalmira::platform {

class FileRewrite {
public:
    enum class Problem {
        None,
        OpenFailed,    // the file cannot be opened for reading and writing
        NotRegular,    // a folder, FIFO, device or dangling link
        HardLinked,    // the file has further names (see above)
        StagingFailed, // no staging file can be made in the file's folder
        WriteFailed,   // writing or flushing the staging file failed (disk full)
        Replaced,      // the file was replaced by another one meanwhile
        RenameFailed,
    };

    // Opens `path` (a symbolic link to a regular file: its target; the link
    // stays) and a staging file beside it, after sweeping the folder's
    // leftovers. problem() says when it could not.
    explicit FileRewrite(const std::string &path);
    ~FileRewrite(); // an uncommitted staging file is wiped and removed
    FileRewrite(const FileRewrite &) = delete;
    FileRewrite &operator=(const FileRewrite &) = delete;

    Problem problem() const { return problem_; }
    bool ok() const { return problem_ == Problem::None; }
    // The old file, open for reading (-1 when not ok at the start).
    int oldDescriptor() const { return old_; }
    const std::string &stagingPath() const { return staging_; }

    enum class ReadResult {
        Ok,
        TooLarge,
        Failed
    };
    // The old file's whole content, through the handle that is later
    // wiped; TooLarge, before allocating, beyond `limit` bytes.
    ReadResult readOld(std::vector<std::uint8_t> &out, std::uint64_t limit) const;

    // Appends to the staging file.
    bool write(const std::uint8_t *data, std::size_t n);
    // Puts the staging file in place of the old one and overwrites the old
    // content. After a rename that worked the result is None even when the
    // overwrite did not; `wiped()` tells.
    Problem commit();
    bool wiped() const { return wiped_; }

    // Test hook: called with 1 after the staging file is flushed, 2 after the
    // rename, 3 after the old content is overwritten.
    static void (*stepHook)(int step);

private:
    std::string target_; // the file replaced, links resolved
    std::string staging_;
    int old_ = -1, new_ = -1;
    std::int64_t written_ = 0;
    bool wiped_ = false;
    Problem problem_ = Problem::None;
};

} // namespace kalmira::platform
