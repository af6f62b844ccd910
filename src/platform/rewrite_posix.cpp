#include "platform/rewrite.h"

#include "platform/platform.h"
#include "platform/staging.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

namespace kalmira::platform {

void (*FileRewrite::stepHook)(int) = nullptr;

namespace {

void Step(int n) {
    if (FileRewrite::stepHook) FileRewrite::stepHook(n);
}

bool SameInode(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

} // namespace

FileRewrite::FileRewrite(const std::string &path) {
    target_ = path;
    switch (KindOf(path, false)) {
    case PathKind::Regular: break;
    case PathKind::Link:
        target_ = KindOf(path) == PathKind::Regular ? RealPath(path) : "";
        if (target_.empty()) problem_ = Problem::NotRegular;
        break;
    case PathKind::Absent: problem_ = Problem::OpenFailed; break;
    default: problem_ = Problem::NotRegular;
    }
    if (problem_ != Problem::None) return;
    old_ = posix::RetryEintr([&] { return ::open(target_.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC); });
    struct stat st {};
    if (old_ < 0 || ::fstat(old_, &st) != 0) {
        problem_ = Problem::OpenFailed;
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        problem_ = Problem::NotRegular;
        return;
    }
    if (st.st_nlink > 1) {
        problem_ = Problem::HardLinked;
        return;
    }
    const std::string folder = staging::FolderOf(target_);
    staging::Sweep(folder);
    posix::Fd fd = staging::Create(folder, staging_);
    new_ = fd.release();
    if (new_ < 0) problem_ = Problem::StagingFailed;
}

FileRewrite::~FileRewrite() {
    if (new_ >= 0) {
        staging::Overwrite(new_);
        ::close(new_);
    }
    if (!staging_.empty()) ::unlink(staging_.c_str());
    if (old_ >= 0) ::close(old_);
}

FileRewrite::ReadResult FileRewrite::readOld(std::vector<std::uint8_t> &out, std::uint64_t limit) const {
    struct stat st {};
    if (old_ < 0 || ::fstat(old_, &st) != 0 || st.st_size < 0) return ReadResult::Failed;
    if (static_cast<std::uint64_t>(st.st_size) > limit) return ReadResult::TooLarge;
    try {
        out.assign(static_cast<std::size_t>(st.st_size), 0);
    } catch (const std::bad_alloc &) {
        return ReadResult::TooLarge;
    }
    return out.empty() || posix::ReadAll(old_, out.data(), out.size(), 0) ? ReadResult::Ok : ReadResult::Failed;
}

bool FileRewrite::write(const std::uint8_t *data, std::size_t n) {
    if (problem_ != Problem::None || new_ < 0) return false;
    if (!posix::WriteAll(new_, data, n, written_)) {
        problem_ = Problem::WriteFailed;
        return false;
    }
    written_ += static_cast<std::int64_t>(n);
    return true;
}

FileRewrite::Problem FileRewrite::commit() {
    if (problem_ != Problem::None) return problem_;
    struct stat st {};
    if (::fstat(old_, &st) != 0) return problem_ = Problem::OpenFailed;
    // Owner first: a change of owner clears set-id bits that fchmod then sets.
    mode_t mode = st.st_mode & 07777;
    if (::fchown(new_, st.st_uid, st.st_gid) != 0) {
        if (::fchown(new_, static_cast<uid_t>(-1), st.st_gid) != 0) mode &= ~static_cast<mode_t>(S_ISGID | 0070);
        mode &= ~static_cast<mode_t>(S_ISUID);
    }
    if (::fchmod(new_, mode) != 0 || ::ftruncate(new_, written_) != 0 || ::fsync(new_) != 0)
        return problem_ = Problem::WriteFailed;
    Step(1);
    // The name must still denote the file read, with no other name.
    struct stat now {};
    if (::lstat(target_.c_str(), &now) != 0 || !SameInode(st, now) || ::fstat(old_, &now) != 0 || now.st_nlink != 1)
        return problem_ = Problem::Replaced;
    if (!Rename(staging_, target_, true)) return problem_ = Problem::RenameFailed;
    staging_.clear();
    staging::FlushFolder(staging::FolderOf(target_));
    ::close(new_);
    new_ = -1;
    Step(2);
    // Unlinked now; wiped only when no other name appeared meanwhile.
    wiped_ = ::fstat(old_, &now) == 0 && now.st_nlink == 0 && staging::Overwrite(old_);
    ::close(old_);
    old_ = -1;
    Step(3);
    return Problem::None;
}

} // namespace kalmira::platform
