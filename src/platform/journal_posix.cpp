#include "platform/journal.h"

#include "platform/journal_io.h"
#include "platform/platform.h"
#include "platform/secure_memory.h"
#include "platform/staging.h"

#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>

#include <algorithm>
#include <utility>

namespace kalmira::platform {

using namespace journal_io;

CarrierJournal::CarrierJournal(std::string carrierPath) : carrierPath_(std::move(carrierPath)) {}

CarrierJournal::~CarrierJournal() {
    if (active()) rollback();
}

namespace {

// Recorded bytes of a region between two progress calls (frames are smaller).
constexpr std::int64_t kProgressSpan = 1 << 20;

bool RegionsFit(const std::vector<JournalRegion> &regions, std::int64_t size) {
    return std::all_of(regions.begin(), regions.end(), [&](const JournalRegion &r) {
        return r.offset >= 0 && r.length > 0 && r.offset <= size && r.length <= size - r.offset && r.newBytes;
    });
}

} // namespace

JournalError CarrierJournal::begin(const std::vector<JournalRegion> &regions, const JournalProgress &progress,
                                   bool wasReadOnly) {
    if (active()) return JournalError::JournalPresent;
    if (!InitCrypto()) return JournalError::WriteFailed;
    posix::Fd carrier(::open(carrierPath_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat st {};
    const std::string real = RealPath(carrierPath_);
    if (!carrier || ::fstat(carrier.fd, &st) != 0 || !S_ISREG(st.st_mode) || real.empty())
        return JournalError::CarrierUnreadable;
    if (!RegionsFit(regions, st.st_size)) return JournalError::BadRegion;
    const std::string folder = staging::FolderOf(real);
    const std::string path = folder + JournalName(st.st_dev, st.st_ino);
    struct stat jst {};
    if (::lstat(path.c_str(), &jst) == 0) return JournalError::JournalPresent;

    std::string staged;
    posix::Fd fd = staging::Create(folder, staged);
    if (!fd) return JournalError::WriteFailed;
    fd_ = fd.release();
    randombytes_buf(key_.data(), key_.size());
    randombytes_buf(nonce_.data(), nonce_.size());
    length_ = kHeadBytes;
    frames_ = 0;
    carrierSize_ = st.st_size;
    const mode_t mode = (st.st_mode & 07777) & (wasReadOnly ? ~mode_t{0222} : ~mode_t{0});
    const Identity id{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), st.st_size,
                      static_cast<std::uint32_t>(mode), st.st_nlink > 1 ? kHadLinks : 0u};
    JournalError err =
        writeFrame(EncodeIdentity(id)) ? writeRegions(carrier.fd, regions, progress) : JournalError::WriteFailed;
    if (err == JournalError::None && !seal()) err = JournalError::WriteFailed;
    // Links in other folders find the journal through the index (best effort).
    if (err == JournalError::None && st.st_nlink > 1) {
        indexKey_ = IndexKey(id.device, id.inode);
        IndexAdd(indexKey_, path);
    }
    if (err == JournalError::None && !RenameNoReplace(staged, path))
        err = errno == EEXIST ? JournalError::JournalPresent : JournalError::WriteFailed;
    if (err == JournalError::None) {
        path_ = path;
        // Once the folder entry is durable the carrier may change.
        if (staging::FlushFolder(folder)) return JournalError::None;
        err = JournalError::WriteFailed;
        staged = path;
    }
    staging::Overwrite(fd_);
    ::unlink(staged.c_str());
    if (!indexKey_.empty()) IndexRemove(indexKey_, path);
    close();
    return err;
}

JournalError CarrierJournal::writeRegions(int carrierFd, const std::vector<JournalRegion> &regions,
                                          const JournalProgress &progress) {
    std::int64_t total = 0, done = 0, longest = 0;
    for (const JournalRegion &r : regions) total += r.length, longest = std::max(longest, r.length);
    // Carrier bytes old and new, wiped however the loop ends.
    const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(kRegionChunk, longest));
    SecureBytes before(chunk), after(chunk);
    for (const JournalRegion &r : regions) {
        for (std::int64_t pos = 0; pos < r.length;) {
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(kRegionChunk, r.length - pos));
            if (!posix::ReadAll(carrierFd, before.data(), n, r.offset + pos)) return JournalError::CarrierUnreadable;
            r.newBytes(r.offset + pos, before.data(), after.data(), n);
            std::vector<std::uint8_t> plain = EncodeRegion(r.offset + pos, before.data(), after.data(), n);
            const bool ok = writeFrame(plain);
            sodium_memzero(plain.data(), plain.size());
            if (!ok) return JournalError::WriteFailed;
            pos += static_cast<std::int64_t>(n);
            done += static_cast<std::int64_t>(n);
            if (progress && (pos % kProgressSpan == 0 || pos == r.length)) progress(done, total);
        }
    }
    return JournalError::None;
}

JournalError CarrierJournal::append(std::span<const ByteChange> batch) {
    if (!active()) return JournalError::WriteFailed;
    std::vector<ByteChange> sorted(batch.begin(), batch.end());
    for (const ByteChange &c : sorted)
        if (c.length < 1 || c.length > 4 || c.offset < 0 || c.offset > carrierSize_ - c.length)
            return JournalError::BadRegion;
    std::sort(sorted.begin(), sorted.end(),
              [](const ByteChange &a, const ByteChange &b) { return a.offset < b.offset; });
    for (std::size_t at = 0; at < sorted.size(); at += kSparseFrame) {
        const std::size_t n = std::min(kSparseFrame, sorted.size() - at);
        std::vector<std::uint8_t> plain = EncodeSparse(std::span<const ByteChange>(sorted).subspan(at, n));
        const bool ok = writeFrame(plain);
        sodium_memzero(plain.data(), plain.size());
        if (!ok) return JournalError::WriteFailed;
    }
    sodium_memzero(sorted.data(), sorted.size() * sizeof(ByteChange));
    return sorted.empty() || seal() ? JournalError::None : JournalError::WriteFailed;
}

bool CarrierJournal::writeFrame(std::span<const std::uint8_t> plain) {
    std::vector<std::uint8_t> frame;
    if (!SealFrame(key_.data(), nonce_.data(), frames_, plain, frame) ||
        !posix::WriteAll(fd_, frame.data(), frame.size(), length_))
        return false;
    length_ += static_cast<std::int64_t>(frame.size());
    ++frames_;
    return true;
}

// The first block names the durable length: frames written after it are
// ignored until the next seal.
bool CarrierJournal::seal() {
    std::uint8_t head[kHeadBytes] = {};
    std::copy(key_.begin(), key_.end(), head);
    std::copy(nonce_.begin(), nonce_.end(), head + 32);
    for (int i = 0; i < 8; ++i)
        head[kLengthAt + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(length_) >> (8 * i));
    LengthDigest(key_.data(), static_cast<std::uint64_t>(length_), head + kLengthAt + 8);
    const bool ok = posix::WriteAll(fd_, head, sizeof head, 0) && ::fdatasync(fd_) == 0;
    sodium_memzero(head, sizeof head);
    return ok;
}

void CarrierJournal::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    sodium_memzero(key_.data(), key_.size());
    path_.clear();
    indexKey_.clear();
}

// Once the key's zeros are durable the journal is void: a name that survives
// a crash names a void journal, which the next run removes unread. The frames
// (old carrier bytes, sealed) are then zeroed and flushed too, so that not
// even ciphertext of the original stays in free space. The folder need not
// be flushed: a removal lost to a crash leaves only that void journal.
bool CarrierJournal::commit() {
    if (!active()) return false;
    static const std::uint8_t zeros[kHeadBytes] = {};
    if (!posix::WriteAll(fd_, zeros, sizeof zeros, 0) || ::fdatasync(fd_) != 0) return false; // still whole
    staging::Overwrite(fd_);
    ::unlink(path_.c_str());
    if (!indexKey_.empty()) IndexRemove(indexKey_, path_);
    close();
    return true;
}

bool CarrierJournal::rollback() {
    if (!active()) return false;
    const RollBackVerdict v = RollBack(fd_, carrierPath_);
    const bool ok = v == RollBackVerdict::Applied || v == RollBackVerdict::Unchanged;
    if (ok) {
        commit();
        return true;
    }
    close(); // the journal stays for the next run
    return false;
}

} // namespace kalmira::platform
