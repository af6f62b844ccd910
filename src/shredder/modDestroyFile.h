// Attribute, truncation and rename-and-delete steps of destroying a file.
#pragma once

#include <ctime>
#include <string>

namespace kalmira::shredder {

// A regular file under this path, hidden ones included.
bool file_exists(const std::string &path);

// The path itself is a symbolic link (to whatever, or dangling).
bool is_link(const std::string &path);

// Attributes leave the file free to be truncated. On POSIX only the missing
// write permission counts: a leading dot is part of the name and cannot be
// cleared, nor does it stand in the way.
bool is_plain_file(const std::string &path);

void clear_attributes(const std::string &path);

// Cuts the file to length 0 and flushes that to the device; true only when
// the file is empty afterwards.
bool truncate_file(const std::string &path);

// Eight digits from day, month, minute and second: "ddmmMMSS.del".
std::string DelFileName(const std::tm &when);

// A ".del" name in the file's own folder that no file holds yet, starting from
// `when` and trying later seconds; "" when all sixty are taken.
std::string FreeDelPath(const std::string &path, const std::tm &when);

// Renames the file to a free ".del" name in its folder and deletes it there.
// False when the rename or the delete fails; after a failed delete the file is
// given its own name back, so it is never left behind under the odd name.
bool rename_and_kill(const std::string &path);
bool rename_and_kill(const std::string &path, const std::tm &when);

} // namespace kalmira::shredder
