// Finding a file's journal, proving it belongs to the file, rolling back,
// and setting aside what does not belong.
#include "platform/journal.h"

#include "platform/journal_io.h"
#include "platform/platform.h"
#include "platform/staging.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>

namespace kalmira::platform {

using namespace journal_io;

namespace {

constexpr std::int64_t kSpan = 1 << 20; // carrier bytes read at once

// One pass over a frame's changes, grouped into reads of up to kSpan bytes:
// counts the bytes that hold their new value, flags any that holds neither,
// and (when `apply`) writes the old values back.
bool Visit(int carrierFd, const Changes &c, bool apply, bool &mismatch, std::int64_t &restore) {
    std::vector<std::uint8_t> buf;
    std::size_t at = 0; // index into before/after of change i
    for (std::size_t i = 0; i < c.offset.size();) {
        const std::int64_t lo = c.offset[i];
        std::int64_t hi = lo;
        std::size_t j = i;
        for (; j < c.offset.size() && c.offset[j] >= lo && c.offset[j] + c.length[j] <= lo + kSpan; ++j)
            hi = std::max(hi, c.offset[j] + static_cast<std::int64_t>(c.length[j]));
        buf.resize(static_cast<std::size_t>(hi - lo));
        if (!posix::ReadAll(carrierFd, buf.data(), buf.size(), lo)) return false;
        bool changed = false;
        for (; i < j; ++i) {
            for (std::uint32_t k = 0; k < c.length[i]; ++k, ++at) {
                std::uint8_t &v = buf[static_cast<std::size_t>(c.offset[i] - lo) + k];
                if (v == c.before[at]) continue;
                if (v != c.after[at]) {
                    mismatch = true;
                    return true;
                }
                ++restore;
                v = c.before[at];
                changed = true;
            }
        }
        if (apply && changed && !posix::WriteAll(carrierFd, buf.data(), buf.size(), lo)) return false;
    }
    return true;
}

RollBackVerdict FromStatus(Reader::Status s) {
    return s == Reader::Status::Damaged ? RollBackVerdict::Damaged : RollBackVerdict::Failed;
}

} // namespace

namespace journal_io {

RollBackVerdict RollBack(int journalFd, const std::string &carrierPath) {
    if (!InitCrypto()) return RollBackVerdict::Failed;
    Reader reader(journalFd);
    const Reader::Status s = reader.open();
    if (s == Reader::Status::Void) return RollBackVerdict::Unchanged;
    if (s != Reader::Status::Valid) return FromStatus(s);
    const Identity &id = reader.identity();
    struct stat st {};
    if (::stat(carrierPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uint64_t>(st.st_dev) != id.device || static_cast<std::uint64_t>(st.st_ino) != id.inode ||
        st.st_size != id.size)
        return RollBackVerdict::NotThisFile;
    posix::Fd carrier(::open(carrierPath.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat fst {};
    if (!carrier || ::fstat(carrier.fd, &fst) != 0 || fst.st_ino != st.st_ino || fst.st_dev != st.st_dev)
        return RollBackVerdict::Failed;
    // First prove every journaled byte old or new, then write.
    bool mismatch = false, ioError = false, any = false;
    std::int64_t restore = 0;
    Reader::Status r = reader.forEach([&](const Changes &c) {
        any = any || !c.offset.empty();
        ioError = !Visit(carrier.fd, c, false, mismatch, restore);
        return !ioError && !mismatch;
    });
    if (r != Reader::Status::Valid) return FromStatus(r);
    if (ioError) return RollBackVerdict::Failed;
    if (mismatch) return RollBackVerdict::NotThisFile;
    if (restore > 0) {
        r = reader.forEach(
            [&](const Changes &c) { return !(ioError = !Visit(carrier.fd, c, true, mismatch, restore)); });
        if (r != Reader::Status::Valid || ioError || ::fsync(carrier.fd) != 0) return RollBackVerdict::Failed;
    }
    const bool modeBack = (fst.st_mode & 07777) != id.mode;
    if (modeBack && ::fchmod(carrier.fd, static_cast<mode_t>(id.mode)) != 0) return RollBackVerdict::Failed;
    // An interrupted write whose changes were recorded counts as undone, even
    // when it had not reached the carrier yet (or a failed roll-back got that far).
    return any || modeBack ? RollBackVerdict::Applied : RollBackVerdict::Unchanged;
}

} // namespace journal_io

namespace {

// Voids, removes and unindexes a journal whose work is done.
void Remove(int fd, const std::string &path, const struct stat &carrier) {
    staging::Overwrite(fd);
    ::unlink(path.c_str());
    staging::FlushFolder(staging::FolderOf(path));
    IndexRemove(IndexKey(carrier.st_dev, carrier.st_ino), path);
}

// Renames the journal to a visible name that says what it is; "" when it cannot.
std::string SetAside(const std::string &path, const struct stat &carrier, Recovery::Why why) {
    const std::string base = staging::FolderOf(path) +
                             (why == Recovery::Why::Damaged ? "Sicherung-unlesbar-" : "Sicherung-nicht-angewandt-") +
                             JournalName(carrier.st_dev, carrier.st_ino).substr(2);
    for (int n = 1; n < 100; ++n) {
        std::string target = n == 1 ? base : base + "." + std::to_string(n);
        if (RenameNoReplace(path, target)) {
            staging::FlushFolder(staging::FolderOf(path));
            IndexRemove(IndexKey(carrier.st_dev, carrier.st_ino), path);
            return target;
        }
        if (errno != EEXIST) break;
    }
    return "";
}

// Journals that may be this file's: beside its real path, and from the index.
std::vector<std::string> Candidates(const std::string &carrierPath, const struct stat &st) {
    std::vector<std::string> out;
    const std::string real = RealPath(carrierPath);
    if (!real.empty()) out.push_back(staging::FolderOf(real) + JournalName(st.st_dev, st.st_ino));
    if (st.st_nlink > 1)
        for (const std::string &p : IndexFind(IndexKey(st.st_dev, st.st_ino)))
            if (std::find(out.begin(), out.end(), p) == out.end()) out.push_back(p);
    out.erase(std::remove_if(out.begin(), out.end(),
                             [](const std::string &p) {
                                 struct stat j {};
                                 return ::lstat(p.c_str(), &j) != 0 || !S_ISREG(j.st_mode);
                             }),
              out.end());
    return out;
}

Recovery RecoverOne(const std::string &carrierPath, const std::string &journal, const struct stat &st) {
    Recovery rec;
    posix::Fd fd(::open(journal.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return rec.result = RecoverResult::Failed, rec;
    // Locked: the run that writes it lives (through a link we do not hold).
    if (posix::RetryEintr([&] { return ::flock(fd.fd, LOCK_EX | LOCK_NB); }) != 0)
        return rec.result = RecoverResult::Busy, rec;
    switch (RollBack(fd.fd, carrierPath)) {
    case RollBackVerdict::Applied: rec.result = RecoverResult::RolledBack; break;
    case RollBackVerdict::Unchanged: break;
    case RollBackVerdict::Failed: return rec.result = RecoverResult::Failed, rec;
    case RollBackVerdict::NotThisFile: rec.why = Recovery::Why::OtherFile; break;
    case RollBackVerdict::Damaged: rec.why = Recovery::Why::Damaged; break;
    }
    if (rec.why == Recovery::Why::None) {
        Remove(fd.fd, journal, st);
        return rec;
    }
    rec.result = RecoverResult::SetAside;
    rec.setAside = SetAside(journal, st, rec.why);
    if (rec.setAside.empty()) rec.result = RecoverResult::Failed; // never applied, never deleted
    return rec;
}

void Sweep(const std::string &carrierPath) {
    const std::string real = RealPath(carrierPath);
    const std::string given = staging::FolderOf(carrierPath);
    staging::Sweep(given);
    if (!real.empty() && !SameFile(staging::FolderOf(real), given)) staging::Sweep(staging::FolderOf(real));
    staging::Sweep(TempFolder());
}

} // namespace

std::string JournalPathFor(const std::string &carrierPath) {
    struct stat st {};
    const std::string real = RealPath(carrierPath);
    if (real.empty() || ::stat(carrierPath.c_str(), &st) != 0) return "";
    return staging::FolderOf(real) + JournalName(st.st_dev, st.st_ino);
}

Recovery Recover(const std::string &carrierPath, const FileLock &exclusiveLock) {
    Recovery out;
    if (!exclusiveLock.held() || exclusiveLock.kind() != FileLock::Kind::Exclusive)
        return out.result = RecoverResult::Failed, out;
    struct stat st {};
    if (::stat(carrierPath.c_str(), &st) != 0) return out; // a missing carrier is the caller's to report
    for (const std::string &journal : Candidates(carrierPath, st)) {
        Recovery one = RecoverOne(carrierPath, journal, st);
        // A failure outranks a set-aside, which outranks a roll-back.
        if (one.result == RecoverResult::Failed || one.result == RecoverResult::Busy) return one;
        if (one.result == RecoverResult::SetAside || out.result == RecoverResult::Nothing) out = one;
    }
    return out;
}

Recovery LockAndRecover(const std::string &carrierPath, FileLock::Kind kind, FileLock &lock,
                        std::chrono::milliseconds wait) {
    Recovery rec;
    const FileLock::Result r = lock.acquire(carrierPath, kind, wait);
    if (r != FileLock::Result::Locked) {
        rec.result = r == FileLock::Result::Busy ? RecoverResult::Busy : RecoverResult::Failed;
        return rec;
    }
    Sweep(carrierPath);
    if (kind == FileLock::Kind::Exclusive) {
        rec = Recover(carrierPath, lock);
        if (rec.result == RecoverResult::Failed || rec.result == RecoverResult::Busy) lock.release();
        return rec;
    }
    struct stat st {};
    if (::stat(carrierPath.c_str(), &st) != 0 || Candidates(carrierPath, st).empty()) return rec;
    // A reader met a journal: undo under an exclusive lock, then read shared.
    lock.release();
    rec = LockAndRecover(carrierPath, FileLock::Kind::Exclusive, lock, wait);
    if (rec.result == RecoverResult::Busy || rec.result == RecoverResult::Failed) return rec;
    const FileLock::Result again = lock.acquire(carrierPath, FileLock::Kind::Shared, wait);
    if (again != FileLock::Result::Locked)
        rec.result = again == FileLock::Result::Busy ? RecoverResult::Busy : RecoverResult::Failed;
    return rec;
}

} // namespace kalmira::platform
