// A forked child that reports steps to the test and waits for a go after each,
// so the test can kill it at an exact point or let it run on.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace kalmira::test {

class SteppedChild {
public:
    // `body` runs in the child and calls step() at each point of interest;
    // the child exits with body's return value.
    explicit SteppedChild(const std::function<int(SteppedChild &)> &body) {
        if (::pipe(up_) != 0 || ::pipe(down_) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(up_[0]);
            ::close(down_[1]);
            ::_exit(body(*this));
        }
        ::close(up_[1]);
        ::close(down_[0]);
    }
    ~SteppedChild() {
        if (pid_ > 0 && status_ < 0) kill();
        ::close(up_[0]);
        ::close(down_[1]);
    }

    // In the child: tells the test a step was reached, waits for go.
    void step() {
        char c = 's';
        if (::write(up_[1], &c, 1) != 1 || ::read(down_[0], &c, 1) != 1) ::_exit(99);
    }

    // In the test: waits for the next step; false when the child ended instead.
    bool nextStep() {
        char c;
        return ::read(up_[0], &c, 1) == 1;
    }
    void go() {
        char c = 'g';
        (void)!::write(down_[1], &c, 1);
    }
    void kill() {
        ::kill(pid_, SIGKILL);
        wait();
    }
    // Lets the child run to its end; its exit code (-1 when killed).
    int finish() {
        while (nextStep()) go();
        return wait();
    }
    int wait() {
        if (status_ < 0) ::waitpid(pid_, &status_, 0);
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

private:
    int up_[2] = {-1, -1};
    int down_[2] = {-1, -1};
    pid_t pid_ = -1;
    int status_ = -1;
};

} // namespace kalmira::test
