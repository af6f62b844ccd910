#include "platform/terminal.h"

#include "platform/posix_io.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <iostream>

namespace kalmira::platform {

namespace {
int Descriptor(StdStream s) {
    switch (s) {
    case StdStream::Input: return STDIN_FILENO;
    case StdStream::Output: return STDOUT_FILENO;
    case StdStream::Error: break;
    }
    return STDERR_FILENO;
}
} // namespace

bool IsTerminal(StdStream stream) { return ::isatty(Descriptor(stream)) == 1; }

std::optional<std::string> ReadLineHidden(const std::string &prompt) {
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    termios old{};
    const bool tty = ::tcgetattr(STDIN_FILENO, &old) == 0;
    if (tty) {
        termios quiet = old;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool ok = static_cast<bool>(std::getline(std::cin, line));
    if (tty) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    if (!ok) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::optional<SecureBytes> ReadStandardInputLine(std::size_t limit) {
    SecureBytes line;
    line.reserve(limit); // no reallocation leaves a copy behind
    // A byte at a time: whatever follows the line stays for the next reader.
    while (line.size() < limit) {
        std::uint8_t c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        line.push_back(c);
        if (c == '\n') break;
    }
    return line;
}

bool WriteStandardOutput(const void *data, std::size_t n) {
    std::cout.flush();
    return posix::WriteAll(STDOUT_FILENO, data, n);
}

} // namespace kalmira::platform
