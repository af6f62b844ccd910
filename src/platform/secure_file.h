// Removal of files that held secret data.
#pragma once

#include <string>

namespace kalmira::platform {

// Overwrites a regular file with zeros, flushes, truncates and unlinks it.
// A name that is not a regular file (a planted link, FIFO, device) is only
// unlinked, never written through. True when the name is gone afterwards.
bool WipeAndRemove(const std::string &path);

} // namespace kalmira::platform
