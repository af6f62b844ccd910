// The terminal the command-line tool runs in.
#pragma once

#include "platform/secure_memory.h"

#include <cstddef>
#include <optional>
#include <string>

namespace kalmira::platform {

enum class StdStream {
    Input,
    Output,
    Error
};

bool IsTerminal(StdStream stream);

// Shows `prompt` on standard error and reads one line from standard input,
// without echo when it is a terminal. nullopt at the end of the input.
std::optional<std::string> ReadLineHidden(const std::string &prompt);

// Reads standard input up to and including its first line end, at most
// `limit` bytes, leaving the rest unread; nullopt on a read error.
std::optional<SecureBytes> ReadStandardInputLine(std::size_t limit);

// Writes all bytes to standard output unchanged.
bool WriteStandardOutput(const void *data, std::size_t n);

} // namespace kalmira::platform
