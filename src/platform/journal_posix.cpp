#include "platform/journal.h"

#include "platform/journal_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace kalmira::platform {

using namespace journal_io;

std::string CarrierJournal::PathFor(const std::string &carrierPath) {
    return FolderOf(carrierPath) + "." + NameOf(carrierPath) + kJournalSuffix;
}

CarrierJournal::CarrierJournal(std::string carrierPath) : carrierPath_(std::move(carrierPath)) {}

CarrierJournal::~CarrierJournal() {
    if (active()) rollback();
}

namespace {

bool resolveRegions(const std::vector<JournalRegion> &in, std::int64_t carrierSize,
                    std::vector<JournalRegion> &out) {
    if (in.empty() || in.size() > kMaxRegions) return false;
    out.clear();
    for (JournalRegion r : in) {
        if (r.length == JournalRegion::kToEnd) r.length = carrierSize - r.offset;
        if (r.offset < 0 || r.length < 0 || r.offset > carrierSize ||
            r.length > carrierSize - r.offset)
            return false;
        out.push_back(r);
    }
    return true;
}

// No replacing: a journal already at the name is never overwritten.
bool renameNoReplace(const std::string &from, const std::string &to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat st{};
    if (::lstat(to.c_str(), &st) == 0 || errno != ENOENT) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

} // namespace

JournalError CarrierJournal::begin(const std::vector<JournalRegion> &regions,
                                   const JournalProgress &progress) {
    if (active()) return JournalError::JournalPresent;
    Fd carrier{::open(carrierPath_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    struct stat cst{};
    if (carrier.fd < 0 || ::fstat(carrier.fd, &cst) != 0 || !S_ISREG(cst.st_mode))
        return JournalError::CarrierUnreadable;
    std::vector<JournalRegion> resolved;
    if (!resolveRegions(regions, cst.st_size, resolved)) return JournalError::BadRegion;
    const std::string finalPath = PathFor(carrierPath_);
    struct stat jst{};
    if (::lstat(finalPath.c_str(), &jst) == 0) return JournalError::JournalPresent;

    std::string temp = finalPath + ".XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return JournalError::WriteFailed;
    fd_ = fd;
    tempPath_ = temp;
    JournalError err = writeJournal(carrier.fd, resolved, progress);
    if (err == JournalError::None && !renameNoReplace(tempPath_, finalPath))
        err = errno == EEXIST ? JournalError::JournalPresent : JournalError::WriteFailed;
    if (err != JournalError::None) {
        discard();
        return err;
    }
    tempPath_.clear();
    // Once the folder entry is durable the carrier may change.
    if (!FlushFolder(FolderOf(carrierPath_))) {
        ::unlink(finalPath.c_str());
        discard();
        return JournalError::WriteFailed;
    }
    return JournalError::None;
}

JournalError CarrierJournal::writeJournal(int carrierFd, const std::vector<JournalRegion> &regions,
                                          const JournalProgress &progress) {
    struct stat cst{};
    if (::fstat(carrierFd, &cst) != 0) return JournalError::CarrierUnreadable;
    JournalHeader h;
    h.device = static_cast<std::uint64_t>(cst.st_dev);
    h.inode = static_cast<std::uint64_t>(cst.st_ino);
    h.carrierSize = cst.st_size;
    h.regions = regions;
    for (const JournalRegion &r : regions) h.dataBytes += r.length;
    if (!Fingerprint(carrierFd, h, h.fingerprintBytes, h.fingerprintCrc))
        return JournalError::CarrierUnreadable;

    Checksum sum;
    std::string head = EncodeHeader(h);
    sum.add(head.data(), head.size());
    if (!WriteAll(fd_, head.data(), head.size())) return JournalError::WriteFailed;
    std::vector<unsigned char> buf(kBlock);
    std::int64_t done = 0;
    for (const JournalRegion &r : regions) {
        for (std::int64_t pos = 0; pos < r.length;) {
            auto n = static_cast<std::size_t>(std::min<std::int64_t>(kBlock, r.length - pos));
            if (!ReadAt(carrierFd, buf.data(), n, r.offset + pos))
                return JournalError::CarrierUnreadable;
            sum.add(buf.data(), n);
            if (!WriteAll(fd_, buf.data(), n)) return JournalError::WriteFailed;
            pos += static_cast<std::int64_t>(n);
            done += static_cast<std::int64_t>(n);
            if (progress) progress(done, h.dataBytes);
        }
    }
    std::string tail = EncodeTrailer(static_cast<std::uint64_t>(head.size()) + h.dataBytes, sum);
    if (!WriteAll(fd_, tail.data(), tail.size()) || ::fsync(fd_) != 0)
        return JournalError::WriteFailed;
    return JournalError::None;
}

void CarrierJournal::discard() {
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
    tempPath_.clear();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool CarrierJournal::commit() {
    if (!active()) return false;
    const std::string path = PathFor(carrierPath_);
    bool ok = ::unlink(path.c_str()) == 0 && FlushFolder(FolderOf(carrierPath_));
    discard();
    return ok;
}

bool CarrierJournal::rollback() {
    if (!active()) return false;
    bool ok = RollBackFrom(fd_, carrierPath_) == RecoverResult::RolledBack;
    discard(); // a failed roll-back leaves the journal for the next run
    return ok;
}

} // namespace kalmira::platform
