// Work that may hang or crash (old C libraries on hostile input) runs in a
// child process that answers through a pipe and is killed after a time limit.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>

namespace kalmira::platform {

class ChildProcess {
public:
    // Writes part of the child's answer; false when the parent has gone.
    using Writer = std::function<bool(const void *data, std::size_t n)>;
    // The child's work: returns whether it answered completely.
    using Work = std::function<bool(const Writer &answer)>;

    ChildProcess() = default;
    ~ChildProcess(); // kills the child, finished or not, and reaps it
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Starts `work` in a child; the answer must arrive within `seconds`.
    bool start(const Work &work, double seconds);
    // Reads exactly n bytes of the answer, unless the time is up or the child ended.
    bool read(void *data, std::size_t n);

private:
    int pid_ = -1;
    int fd_ = -1;
    std::chrono::steady_clock::time_point deadline_;
};

} // namespace kalmira::platform
