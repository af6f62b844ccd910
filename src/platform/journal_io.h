// Internals shared by the journal's writer and its recovery (not an interface).
//
// Layout: a first block of 80 bytes (random key, random nonce, the length of
// the journal's durable part and a keyed digest of it), then frames, each a
// 32-bit length and the frame encrypted and authenticated with the key
// (XChaCha20-Poly1305, the frame's number in the nonce). Frame 0 names the
// file (device, inode, size, permissions); the others hold changes. Bytes
// past the durable length belong to an append that never completed: the
// carrier bytes they describe were not written yet.
#pragma once

#include "platform/journal.h"
#include "platform/posix_io.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kalmira::platform::journal_io {

inline constexpr std::size_t kHeadBytes = 80;
inline constexpr std::int64_t kLengthAt = 56;
// Carrier bytes per region frame: the writer's buffers stay a few pages, which
// a small hide would otherwise fault in and zero; a large one pays a frame
// header (34 bytes) per 16 KiB. A divisor of the writer's progress span.
inline constexpr std::size_t kRegionChunk = 1 << 14;
inline constexpr std::size_t kSparseFrame = 1 << 16; // changes per sparse frame, at most
inline constexpr std::size_t kMaxFrame = 3 << 20;
inline constexpr std::uint32_t kHadLinks = 1; // flag: the file had links besides the one journaled

struct Identity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::uint32_t mode = 0;
    std::uint32_t flags = 0;
};

// The changes of one frame, ascending by offset; before/after hold the bytes
// of all changes back to back.
struct Changes {
    std::vector<std::int64_t> offset;
    std::vector<std::uint32_t> length;
    std::vector<std::uint8_t> before, after;
    void clear() { offset.clear(), length.clear(), before.clear(), after.clear(); }
};

std::vector<std::uint8_t> EncodeIdentity(const Identity &id);
std::vector<std::uint8_t> EncodeRegion(std::int64_t offset, const std::uint8_t *before, const std::uint8_t *after,
                                       std::size_t n);
// `batch` sorted by offset.
std::vector<std::uint8_t> EncodeSparse(std::span<const ByteChange> batch);

// Encrypts frame `index` into out (length prefix included); false when libsodium fails.
bool SealFrame(const std::uint8_t *key, const std::uint8_t *nonce, std::uint64_t index,
               std::span<const std::uint8_t> plain, std::vector<std::uint8_t> &out);
void LengthDigest(const std::uint8_t *key, std::uint64_t length, std::uint8_t out[16]);
bool InitCrypto();

class Reader {
public:
    enum class Status {
        Valid,
        Void,
        Damaged,
        Unreadable
    };
    explicit Reader(int fd) : fd_(fd) {}
    // Reads the first block and the identity frame.
    Status open();
    const Identity &identity() const { return id_; }
    // Calls fn with each frame's changes, in order. Damaged when a frame
    // does not decode; fn returning false stops with Valid.
    Status forEach(const std::function<bool(const Changes &)> &fn);

private:
    Status frame(std::int64_t &pos, std::vector<std::uint8_t> &plain, std::uint64_t index);
    int fd_;
    Identity id_;
    std::uint8_t key_[32] = {};
    std::uint8_t nonce_[24] = {};
    std::int64_t length_ = 0, firstChange_ = 0;
};

enum class RollBackVerdict {
    Applied,     // old bytes (or permissions) put back
    Unchanged,   // the journal is void, or the carrier holds the old state already
    NotThisFile, // another file, or bytes that are neither old nor new: untouched
    Damaged,     // the journal does not read back: untouched
    Failed,      // reading or writing failed; the journal stays
};

// Checks the journal open at journalFd against the file at carrierPath and
// puts the old bytes back.
RollBackVerdict RollBack(int journalFd, const std::string &carrierPath);

// The journal's name for a file of that identity (it lies beside the file's real path).
std::string JournalName(std::uint64_t device, std::uint64_t inode);

// The per-user index of journals of files with links in several folders:
// "device inode journal-path" lines under $XDG_STATE_HOME (or ~/.local/state).
std::string IndexKey(std::uint64_t device, std::uint64_t inode);
bool IndexAdd(const std::string &key, const std::string &journalPath);
void IndexRemove(const std::string &key, const std::string &journalPath);
std::vector<std::string> IndexFind(const std::string &key);

} // namespace kalmira::platform::journal_io
