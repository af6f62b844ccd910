// Journal encoding, validation and roll-back.
#include "platform/journal_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kalmira::platform {

using namespace journal_io;

namespace journal_io {

namespace {
constexpr char kMagic[8] = {'K', 'A', 'L', 'M', 'J', 'R', 'N', '1'};
constexpr char kEndMagic[8] = {'K', 'A', 'L', 'M', 'J', 'E', 'N', 'D'};
constexpr std::uint32_t kVersion = 1;

void put(std::string &out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint64_t get(const unsigned char *p, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}
} // namespace

Checksum::Checksum()
    : crc(static_cast<std::uint32_t>(::crc32(0, nullptr, 0))),
      adler(static_cast<std::uint32_t>(::adler32(0, nullptr, 0))) {}

void Checksum::add(const void *data, std::size_t n) {
    auto *p = static_cast<const Bytef *>(data);
    while (n > 0) {
        auto k = static_cast<uInt>(std::min<std::size_t>(n, 1u << 30));
        crc = static_cast<std::uint32_t>(::crc32(crc, p, k));
        adler = static_cast<std::uint32_t>(::adler32(adler, p, k));
        p += k;
        n -= k;
    }
}

std::string EncodeHeader(const JournalHeader &h) {
    std::string out(kMagic, sizeof kMagic);
    put(out, kVersion, 4);
    put(out, h.regions.size(), 4);
    put(out, h.device, 8);
    put(out, h.inode, 8);
    put(out, static_cast<std::uint64_t>(h.carrierSize), 8);
    put(out, static_cast<std::uint64_t>(h.dataBytes), 8);
    put(out, h.fingerprintBytes, 4);
    put(out, h.fingerprintCrc, 4);
    for (const JournalRegion &r : h.regions) {
        put(out, static_cast<std::uint64_t>(r.offset), 8);
        put(out, static_cast<std::uint64_t>(r.length), 8);
    }
    return out;
}

std::string EncodeTrailer(std::uint64_t journalLength, const Checksum &sum) {
    std::string out(kEndMagic, sizeof kEndMagic);
    put(out, journalLength, 8);
    put(out, sum.crc, 4);
    put(out, sum.adler, 4);
    return out;
}

bool WriteAll(int fd, const void *data, std::size_t n) {
    auto *p = static_cast<const char *>(data);
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

static bool writeAt(int fd, const void *data, std::size_t n, std::int64_t offset) {
    auto *p = static_cast<const char *>(data);
    while (n > 0) {
        ssize_t w = ::pwrite(fd, p, n, static_cast<off_t>(offset));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
        offset += w;
    }
    return true;
}

bool ReadAt(int fd, void *data, std::size_t n, std::int64_t offset) {
    auto *p = static_cast<char *>(data);
    while (n > 0) {
        ssize_t r = ::pread(fd, p, n, static_cast<off_t>(offset));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<std::size_t>(r);
        offset += r;
    }
    return true;
}

std::string FolderOf(const std::string &path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string NameOf(const std::string &path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool FlushFolder(const std::string &folder) {
    Fd d{::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    return d.fd >= 0 && ::fsync(d.fd) == 0;
}

bool Fingerprint(int carrierFd, const JournalHeader &h, std::uint32_t &bytes, std::uint32_t &crc) {
    std::vector<JournalRegion> touched = h.regions;
    std::sort(touched.begin(), touched.end(),
              [](const JournalRegion &a, const JournalRegion &b) { return a.offset < b.offset; });
    Checksum sum;
    std::int64_t taken = 0, pos = 0;
    std::vector<unsigned char> buf(static_cast<std::size_t>(kFingerprintBudget));
    auto take = [&](std::int64_t end) { // the untouched bytes from pos up to end
        auto n = std::min(end - pos, kFingerprintBudget - taken);
        if (n <= 0) return true;
        if (!ReadAt(carrierFd, buf.data(), static_cast<std::size_t>(n), pos)) return false;
        sum.add(buf.data(), static_cast<std::size_t>(n));
        taken += n;
        return true;
    };
    for (const JournalRegion &r : touched) {
        if (!take(r.offset)) return false;
        pos = std::max(pos, r.offset + r.length);
    }
    if (!take(h.carrierSize)) return false;
    bytes = static_cast<std::uint32_t>(taken);
    crc = sum.crc;
    return true;
}

namespace {

enum class Check { Valid, Invalid, Unreadable };

// The carrier the journal was written for (see journal.h).
bool sameCarrier(int carrierFd, const struct stat &st, const JournalHeader &h) {
    if (!S_ISREG(st.st_mode) || st.st_size != h.carrierSize) return false;
    if (static_cast<std::uint64_t>(st.st_dev) == h.device &&
        static_cast<std::uint64_t>(st.st_ino) == h.inode)
        return true;
    std::uint32_t bytes = 0, crc = 0;
    return h.fingerprintBytes > 0 && Fingerprint(carrierFd, h, bytes, crc) &&
           bytes == h.fingerprintBytes && crc == h.fingerprintCrc;
}

Check readHeader(int fd, std::int64_t total, JournalHeader &h, std::int64_t &dataStart) {
    unsigned char head[kHeaderBytes];
    if (!ReadAt(fd, head, sizeof head, 0)) return Check::Invalid;
    if (std::memcmp(head, kMagic, sizeof kMagic) != 0 || get(head + 8, 4) != kVersion)
        return Check::Invalid;
    const std::uint64_t count = get(head + 12, 4);
    h.device = get(head + 16, 8);
    h.inode = get(head + 24, 8);
    h.carrierSize = static_cast<std::int64_t>(get(head + 32, 8));
    h.dataBytes = static_cast<std::int64_t>(get(head + 40, 8));
    h.fingerprintBytes = static_cast<std::uint32_t>(get(head + 48, 4));
    h.fingerprintCrc = static_cast<std::uint32_t>(get(head + 52, 4));
    dataStart = static_cast<std::int64_t>(kHeaderBytes + count * kRegionBytes);
    if (count == 0 || count > kMaxRegions || h.carrierSize < 0 || h.dataBytes < 0 ||
        dataStart + static_cast<std::int64_t>(kTrailerBytes) > total ||
        h.dataBytes != total - dataStart - static_cast<std::int64_t>(kTrailerBytes))
        return Check::Invalid;
    std::vector<unsigned char> table(count * kRegionBytes);
    if (!ReadAt(fd, table.data(), table.size(), kHeaderBytes)) return Check::Unreadable;
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        JournalRegion r{static_cast<std::int64_t>(get(&table[i * kRegionBytes], 8)),
                        static_cast<std::int64_t>(get(&table[i * kRegionBytes + 8], 8))};
        if (r.offset < 0 || r.length < 0 || r.offset > h.carrierSize ||
            r.length > h.carrierSize - r.offset || r.length > h.dataBytes - sum)
            return Check::Invalid;
        sum += r.length;
        h.regions.push_back(r);
    }
    return sum == h.dataBytes ? Check::Valid : Check::Invalid;
}

// Complete and undamaged: the whole file is read once for the checksums.
Check readJournal(int fd, JournalHeader &h, std::int64_t &dataStart) {
    struct stat st{};
    if (::fstat(fd, &st) != 0) return Check::Unreadable;
    const std::int64_t total = st.st_size;
    if (total < static_cast<std::int64_t>(kHeaderBytes + kTrailerBytes)) return Check::Invalid;
    Check c = readHeader(fd, total, h, dataStart);
    if (c != Check::Valid) return c;
    const std::int64_t body = total - static_cast<std::int64_t>(kTrailerBytes);
    Checksum sum;
    std::vector<unsigned char> buf(kBlock);
    for (std::int64_t pos = 0; pos < body;) {
        auto n = static_cast<std::size_t>(std::min<std::int64_t>(kBlock, body - pos));
        if (!ReadAt(fd, buf.data(), n, pos)) return Check::Unreadable;
        sum.add(buf.data(), n);
        pos += static_cast<std::int64_t>(n);
    }
    unsigned char tail[kTrailerBytes];
    if (!ReadAt(fd, tail, sizeof tail, body)) return Check::Unreadable;
    const std::string expected = EncodeTrailer(static_cast<std::uint64_t>(body), sum);
    return std::memcmp(tail, expected.data(), kTrailerBytes) == 0 ? Check::Valid : Check::Invalid;
}

bool applyJournal(int journalFd, int carrierFd, const JournalHeader &h, std::int64_t dataStart) {
    std::vector<unsigned char> buf(kBlock);
    std::int64_t src = dataStart;
    for (const JournalRegion &r : h.regions) {
        for (std::int64_t pos = 0; pos < r.length;) {
            auto n = static_cast<std::size_t>(std::min<std::int64_t>(kBlock, r.length - pos));
            if (!ReadAt(journalFd, buf.data(), n, src) ||
                !writeAt(carrierFd, buf.data(), n, r.offset + pos))
                return false;
            pos += static_cast<std::int64_t>(n);
            src += static_cast<std::int64_t>(n);
        }
    }
    return ::fsync(carrierFd) == 0;
}

bool removeJournal(const std::string &carrierPath) {
    return ::unlink(CarrierJournal::PathFor(carrierPath).c_str()) == 0 &&
           FlushFolder(FolderOf(carrierPath));
}

} // namespace

RecoverResult RollBackFrom(int journalFd, const std::string &carrierPath) {
    JournalHeader h;
    std::int64_t dataStart = 0;
    switch (readJournal(journalFd, h, dataStart)) {
    case Check::Unreadable: return RecoverResult::Failed;
    case Check::Invalid:
        removeJournal(carrierPath);
        return RecoverResult::DiscardedIncomplete;
    case Check::Valid: break;
    }
    Fd carrier{::open(carrierPath.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    struct stat st{};
    if (carrier.fd < 0 && (errno == ENOENT || errno == ENOTDIR)) return RecoverResult::LeftAlone;
    if (carrier.fd < 0 || ::fstat(carrier.fd, &st) != 0) return RecoverResult::Failed;
    if (!sameCarrier(carrier.fd, st, h)) return RecoverResult::LeftAlone;
    if (!applyJournal(journalFd, carrier.fd, h, dataStart)) return RecoverResult::Failed;
    removeJournal(carrierPath); // the bytes are back; a stale journal would only repeat this
    return RecoverResult::RolledBack;
}

bool JournalOfAnotherFile(const std::string &carrierPath) {
    Fd journal{::open(CarrierJournal::PathFor(carrierPath).c_str(),
                      O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK)};
    Fd carrier{::open(carrierPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    struct stat jst{}, cst{};
    if (journal.fd < 0 || carrier.fd < 0 || ::fstat(journal.fd, &jst) != 0 ||
        ::fstat(carrier.fd, &cst) != 0 || !S_ISREG(jst.st_mode))
        return false;
    JournalHeader h;
    std::int64_t dataStart = 0;
    return readHeader(journal.fd, jst.st_size, h, dataStart) == Check::Valid &&
           !sameCarrier(carrier.fd, cst, h);
}

} // namespace journal_io

namespace {

// Temporary journals are only ever incomplete: a writer renames its journal
// before it touches the carrier, and no writer runs while we hold the lock.
void removeUnfinishedJournals(const std::string &carrierPath) {
    const std::string folder = FolderOf(carrierPath);
    const std::string prefix = NameOf(CarrierJournal::PathFor(carrierPath)) + ".";
    DIR *dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return;
    bool removed = false;
    while (dirent *e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        struct stat st{};
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && ::unlinkat(::dirfd(dir), e->d_name, 0) == 0)
            removed = true;
    }
    ::closedir(dir);
    if (removed) FlushFolder(folder);
}

} // namespace

RecoverResult Recover(const std::string &carrierPath, const FileLock &exclusiveLock) {
    if (!exclusiveLock.held() || exclusiveLock.kind() != FileLock::Kind::Exclusive)
        return RecoverResult::Failed;
    removeUnfinishedJournals(carrierPath);
    const std::string path = CarrierJournal::PathFor(carrierPath);
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT ? RecoverResult::Nothing : RecoverResult::Failed;
    if (!S_ISREG(st.st_mode)) return RecoverResult::LeftAlone; // not ours: never followed
    Fd journal{::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC)};
    if (journal.fd < 0) return RecoverResult::Failed;
    return RollBackFrom(journal.fd, carrierPath);
}

RecoverResult LockAndRecover(const std::string &carrierPath, FileLock::Kind kind, FileLock &lock,
                             std::chrono::milliseconds wait) {
    auto outcome = [](FileLock::Result r) {
        return r == FileLock::Result::Busy ? RecoverResult::Busy : RecoverResult::Failed;
    };
    FileLock::Result r = lock.acquire(carrierPath, kind, wait);
    if (r != FileLock::Result::Locked) return outcome(r);
    if (kind == FileLock::Kind::Exclusive) {
        RecoverResult res = Recover(carrierPath, lock);
        if (res == RecoverResult::Failed) lock.release();
        return res;
    }
    struct stat st{};
    if (::lstat(CarrierJournal::PathFor(carrierPath).c_str(), &st) != 0)
        return RecoverResult::Nothing;
    // Readers at once on a carrier beside a stranger's journal need no writer's lock.
    if (JournalOfAnotherFile(carrierPath)) return RecoverResult::LeftAlone;
    // A reader met a journal: undo under an exclusive lock, then read shared.
    lock.release();
    RecoverResult res = LockAndRecover(carrierPath, FileLock::Kind::Exclusive, lock, wait);
    if (res == RecoverResult::Busy || res == RecoverResult::Failed) return res;
    r = lock.acquire(carrierPath, FileLock::Kind::Shared, wait);
    return r == FileLock::Result::Locked ? res : outcome(r);
}

} // namespace kalmira::platform
