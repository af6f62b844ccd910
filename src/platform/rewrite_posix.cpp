#include "platform/rewrite.h"

#include "platform/platform.h"
#include "platform/staging.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <string_view>

namespace kalmira::platform {

void (*FileRewrite::stepHook)(int) = nullptr;

namespace {

void Step(int n) {
    if (FileRewrite::stepHook) FileRewrite::stepHook(n);
}

bool SameInode(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Attributes the file system or this process cannot keep: unsupported by the
// file system or namespace, or reserved to privileged processes (trusted.*,
// security.*). The file goes on without them, as all files did before
// attributes were copied.
bool Unkeepable(int error) { return error == ENOTSUP || error == EOPNOTSUPP || error == EPERM || error == EACCES; }

// The names of a file's extended attributes, or false with errno set. A list
// that grows between the two calls is read again.
bool Names(int fd, std::vector<std::string> &names) {
    names.clear();
    std::vector<char> buf;
    for (;;) {
        const ssize_t n = ::flistxattr(fd, nullptr, 0);
        if (n < 0) return errno == ENOTSUP || errno == EOPNOTSUPP; // none to keep, none to drop
        buf.resize(static_cast<std::size_t>(n));
        const ssize_t got = n == 0 ? 0 : ::flistxattr(fd, buf.data(), buf.size());
        if (got >= 0) {
            buf.resize(static_cast<std::size_t>(got));
            break;
        }
        if (errno != ERANGE) return false;
    }
    for (std::size_t at = 0; at < buf.size();) {
        const std::string_view name(buf.data() + at);
        if (!name.empty()) names.emplace_back(name);
        at += name.size() + 1;
    }
    return true;
}

// The old file's extended attributes on the staging file (POSIX ACLs are
// the system.posix_acl_access attribute), and none it did not have (a
// default ACL of the folder inherits to the staging file). Attributes that
// cannot be kept are left out; any other failure (disk full, I/O error) is
// one to write the staging file, as before: false, nothing is replaced.
bool CopyAttributes(int from, int to) {
    std::vector<std::string> names, present;
    if (!Names(from, names) || !Names(to, present)) return false;
    for (const std::string &name : present)
        if (std::find(names.begin(), names.end(), name) == names.end() && ::fremovexattr(to, name.c_str()) != 0 &&
            errno != ENODATA && !Unkeepable(errno))
            return false;
    std::vector<char> value;
    for (const std::string &name : names) {
        ssize_t n;
        for (;;) {
            n = ::fgetxattr(from, name.c_str(), nullptr, 0);
            if (n < 0) break;
            value.resize(static_cast<std::size_t>(n));
            n = n == 0 ? 0 : ::fgetxattr(from, name.c_str(), value.data(), value.size());
            if (n >= 0 || errno != ERANGE) break;
        }
        if (n < 0) {
            if (errno == ENODATA || Unkeepable(errno)) continue; // removed meanwhile, or not ours to read
            return false;
        }
        if (::fsetxattr(to, name.c_str(), value.data(), static_cast<std::size_t>(n), 0) != 0 && !Unkeepable(errno))
            return false;
    }
    return true;
}

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
    // Attributes before owner and mode: the mode then sets the ACL's mask,
    // and a group that cannot be kept loses its access through it too.
    if (!CopyAttributes(old_, new_)) return problem_ = Problem::WriteFailed;
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
