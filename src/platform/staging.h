// Inside the platform layer only: the files a run makes beside its output
// or in the temporary folder, and their removal after a killed run.
//
// Every such file is named ".~" + ten random letters or digits + ".part"
// (names that say nothing of the program), is private (0600) and is locked
// (flock) for as long as its run keeps it open. A lock ends with the process
// however it ends, so an unlocked file of that pattern is a killed run's.
#pragma once

#include "platform/posix_io.h"

#include <string>

namespace kalmira::platform::staging {

// "dir/" of "dir/name" ("./" for a bare name) and "name".
std::string FolderOf(const std::string &path);
std::string NameOf(const std::string &path);

bool IsStagingName(const std::string &name);

// A new, empty, locked file in `folder`; its name in `path`. Invalid on failure.
posix::Fd Create(const std::string &folder, std::string &path);

// Overwrites the open file with zeros and flushes it to the device.
bool Overwrite(int fd);

// Wipes and removes the staging files of ended runs in `folder` (only the
// user's own); how many.
int Sweep(const std::string &folder);

bool FlushFolder(const std::string &folder);

} // namespace kalmira::platform::staging
