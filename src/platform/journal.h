// Rollback journal for in-place carrier writes: old or new, never neither.
//
// A writer declares up front which byte ranges of the carrier it will change.
// begin() copies their original bytes into a journal beside the carrier
// (".<name>.kalmira-journal" in the carrier's folder) and makes it durable;
// only then may the carrier change. After the caller has written and flushed
// the carrier, commit() removes the journal. A run that dies in between leaves
// the journal behind, and the next run on that carrier rolls the ranges back
// before it does anything else (Recover / LockAndRecover).
//
// Journal layout (integers little-endian):
//   header   "KALMJRN1", u32 version (1), u32 region count n,
//            u64 device, u64 inode, i64 carrier size, i64 data bytes,
//            u32 fingerprint bytes, u32 fingerprint CRC-32
//   table    n x (i64 offset, i64 length)
//   data     the original bytes of every region, in table order
//   trailer  "KALMJEND", u64 journal length, u32 CRC-32, u32 Adler-32
//            (both over everything before the trailer)
// The journal is written under a temporary name ("...kalmira-journal.XXXXXX"),
// flushed and renamed, and the folder flushed: the final name only ever
// holds a complete journal. The checksums catch a journal damaged later.
// A journal belongs to the carrier of the same size and device/inode, or,
// where inode numbers do not survive a remount (FAT on a removable stick), of
// the same size and fingerprint: a checksum of up to 64 KiB of the bytes
// outside every region, which the write never changes.
#pragma once

#include "platform/file_lock.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kalmira::platform {

struct JournalRegion {
    static constexpr std::int64_t kToEnd = -1;
    std::int64_t offset = 0;
    std::int64_t length = 0; // kToEnd: from offset up to the carrier's end

    // The whole usable range of a carrier whose payload area starts at
    // `offset` (for writers that touch scattered bytes across it).
    static JournalRegion From(std::int64_t offset) { return {offset, kToEnd}; }
};

enum class JournalError {
    None,
    CarrierUnreadable, // cannot be opened, is no regular file, read failed
    BadRegion,         // a region lies outside the carrier
    JournalPresent,    // a journal already sits at the name (not recovered, or of another file)
    WriteFailed,       // the journal could not be written or flushed (full disk)
};

// (bytes copied so far, total) after every block copied into the journal.
using JournalProgress = std::function<void(std::int64_t done, std::int64_t total)>;

class CarrierJournal {
public:
    explicit CarrierJournal(std::string carrierPath);
    // Rolls back when begun and neither committed nor rolled back.
    ~CarrierJournal();
    CarrierJournal(const CarrierJournal &) = delete;
    CarrierJournal &operator=(const CarrierJournal &) = delete;

    // Records and flushes the original bytes. On failure nothing of the
    // journal remains and the carrier must not be written.
    JournalError begin(const std::vector<JournalRegion> &regions,
                       const JournalProgress &progress = {});
    // Call after the carrier has been written and flushed: the new content stands.
    bool commit();
    // A carrier write failed: puts the original bytes back now. When that
    // fails too, the journal stays for the next run.
    bool rollback();
    bool active() const { return fd_ >= 0; }

    static std::string PathFor(const std::string &carrierPath);

private:
    JournalError writeJournal(int carrierFd, const std::vector<JournalRegion> &regions,
                              const JournalProgress &progress);
    void discard();

    std::string carrierPath_;
    std::string tempPath_;
    int fd_ = -1; // the journal, open from begin() until commit or rollback
};

enum class RecoverResult {
    Nothing,             // no journal: the carrier is as the last run left it
    RolledBack,          // an interrupted write was undone (say so once)
    DiscardedIncomplete, // an unfinished or damaged journal was removed; carrier untouched
    LeftAlone,           // the journal belongs to another file identity; not touched
    Busy,                // another run holds the carrier
    Failed,              // the roll-back could not be completed; the journal stays
};

// The caller holds an exclusive lock on the carrier. Journals a killed run
// left unfinished under their temporary names go too (the carrier was not
// touched yet).
RecoverResult Recover(const std::string &carrierPath, const FileLock &exclusiveLock);

// Every run's first step on a carrier: takes the lock of `kind` (waiting up
// to `wait`), undoes an interrupted write under an exclusive lock, and returns
// with `lock` held as `kind` unless the result is Busy or Failed.
RecoverResult LockAndRecover(const std::string &carrierPath, FileLock::Kind kind,
                             FileLock &lock,
                             std::chrono::milliseconds wait = FileLock::kDefaultWait);

} // namespace kalmira::platform
