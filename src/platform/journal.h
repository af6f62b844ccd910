// Rollback journal for in-place carrier writes: old or new, never neither.
//
// A writer records, before it changes them, the carrier bytes it will change:
// contiguous regions whose new bytes are known up front (begin), or sparse
// batches of 1- to 4-byte changes (append), each durable before the caller
// writes those bytes. After the carrier is written and flushed, commit()
// voids and removes the journal. A run that dies in between leaves it
// behind; the next run on that file undoes the changes first.
//
// One journal belongs to one file, not to a name: it lies beside the file's
// real path (symbolic links resolved), named after the file's device and
// inode, so every hard link in that folder finds it; a file with links in
// other folders is also entered in a small per-user index. It is applied
// only to the same file (device, inode, size) whose every journaled byte
// holds its old or its new value; any other journal is set aside under a
// name that says what it is, and reported. The journal holds the old and
// new bytes and the file's permissions, encrypted with a random key kept in
// its first block; the key, then the whole journal, is overwritten and
// flushed before it is removed.
#pragma once

#include "platform/file_lock.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kalmira::platform {

// 1 to 4 consecutive carrier bytes: a pixel's channels, a sample.
struct ByteChange {
    std::int64_t offset = 0;
    std::uint8_t length = 1;
    std::array<std::uint8_t, 4> before{};
    std::array<std::uint8_t, 4> after{};
};

// Fills out[0..n) with the new values of the n bytes at `offset`, given their old ones.
using NewBytes = std::function<void(std::int64_t offset, const std::uint8_t *old, std::uint8_t *out, std::size_t n)>;

// A contiguous span whose new bytes are known before the write.
struct JournalRegion {
    std::int64_t offset = 0;
    std::int64_t length = 0;
    NewBytes newBytes;
};

enum class JournalError {
    None,
    CarrierUnreadable, // cannot be opened, is no regular file, read failed
    BadRegion,         // a change lies outside the carrier, or a change is empty or too long
    JournalPresent,    // a journal of this file is still there (not recovered)
    WriteFailed,       // the journal could not be written or flushed (full disk)
};

// (bytes recorded so far, total) while regions are recorded.
using JournalProgress = std::function<void(std::int64_t done, std::int64_t total)>;

class CarrierJournal {
public:
    explicit CarrierJournal(std::string carrierPath);
    // Rolls back when begun and neither committed nor rolled back.
    ~CarrierJournal();
    CarrierJournal(const CarrierJournal &) = delete;
    CarrierJournal &operator=(const CarrierJournal &) = delete;

    // Records the file's identity, permissions and the regions (none: sparse
    // batches follow) and makes them durable. `wasReadOnly`: the run lifted
    // the file's read-only flag; a roll-back sets it again. On failure
    // nothing of the journal remains and the carrier must not be written.
    JournalError begin(const std::vector<JournalRegion> &regions = {}, const JournalProgress &progress = {},
                       bool wasReadOnly = false);
    // Records a batch of changes, durable on return; only then may the
    // caller write those bytes. Each byte is journaled at most once.
    JournalError append(std::span<const ByteChange> batch);
    // Call after the carrier has been written and flushed: the new content
    // stands. True once the journal is void on the device.
    bool commit();
    // A carrier write failed: puts the old bytes back now. When that fails
    // too, the journal stays for the next run.
    bool rollback();
    bool active() const { return fd_ >= 0; }
    // Bytes the journal takes on the device so far.
    std::int64_t size() const { return length_; }

private:
    JournalError writeRegions(int carrierFd, const std::vector<JournalRegion> &regions,
                              const JournalProgress &progress);
    bool writeFrame(std::span<const std::uint8_t> plain);
    bool seal();
    void close();

    std::string carrierPath_;
    std::string path_;     // the journal's final name
    std::string indexKey_; // entered in the per-user index under this key ("" when not)
    int fd_ = -1;          // open (and locked) from begin() until commit or rollback
    std::int64_t length_ = 0;
    std::int64_t carrierSize_ = 0;
    std::uint64_t frames_ = 0;
    std::array<std::uint8_t, 32> key_{};
    std::array<std::uint8_t, 24> nonce_{};
};

enum class RecoverResult {
    Nothing,    // no journal: the carrier is as the last run left it
    RolledBack, // an interrupted write was undone (say so once)
    SetAside,   // a journal was found but not applied; see Recovery::why
    Busy,       // another run holds the carrier
    Failed,     // the roll-back could not be completed; the journal stays
};

struct Recovery {
    enum class Why {
        None,
        OtherFile, // the journal is this file's by identity, but the bytes are not the interrupted ones
        Damaged,   // the journal cannot be read back (changed, truncated)
    };
    RecoverResult result = RecoverResult::Nothing;
    Why why = Why::None;
    std::string setAside; // where the journal lies now
    bool operator==(RecoverResult r) const { return result == r; }
};

// The caller holds an exclusive lock on the carrier.
Recovery Recover(const std::string &carrierPath, const FileLock &exclusiveLock);

// Every run's first step on a carrier: takes the lock of `kind` (waiting up
// to `wait`), undoes an interrupted write under an exclusive lock, removes
// what killed runs left beside the carrier and in the temporary folder, and
// returns with `lock` held as `kind` unless the result is Busy or Failed.
Recovery LockAndRecover(const std::string &carrierPath, FileLock::Kind kind, FileLock &lock,
                        std::chrono::milliseconds wait = FileLock::kDefaultWait);

// Where the journal of the file at `carrierPath` lies ("" when the file cannot be queried).
std::string JournalPathFor(const std::string &carrierPath);

} // namespace kalmira::platform
