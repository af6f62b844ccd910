// Advisory whole-file locks on a carrier: exclusive while a run writes it,
// shared while runs only read it. Locks belong to the open file, so they
// vanish with the process however it ends.
#pragma once

#include <chrono>
#include <string>

namespace kalmira::platform {

class FileLock {
public:
    enum class Kind {
        Shared,
        Exclusive
    };
    enum class Result {
        Locked, // held from now until release() or destruction
        Busy,   // another run held a conflicting lock for the whole wait
        Failed, // the file cannot be opened or does not support locks
    };
    static constexpr std::chrono::milliseconds kDefaultWait{2000};

    FileLock() = default;
    ~FileLock();
    FileLock(FileLock &&other) noexcept;
    FileLock &operator=(FileLock &&other) noexcept;
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    // Releases any lock held before; retries until `wait` has passed.
    Result acquire(const std::string &path, Kind kind, std::chrono::milliseconds wait = kDefaultWait);
    void release();

    bool held() const { return fd_ >= 0; }
    Kind kind() const { return kind_; }
    const std::string &path() const { return path_; }

private:
    int fd_ = -1;
    Kind kind_ = Kind::Shared;
    std::string path_;
};

} // namespace kalmira::platform
