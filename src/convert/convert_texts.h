// The converter's results in words, for its window and the tool.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kalmira::convert {

// The reason a write failed, from the system's error number: German texts
// for the common reasons (permission, disk full, missing folder, ...), the
// system's own text after the number otherwise.
std::string ErrorText(int err);

// What a failed save_bitmap or SavePng says first ("Fehler!" and the
// reason); nullopt for the results that are not told (success, no pixels).
std::optional<std::string> SaveFailureText(std::int64_t result, int error);

} // namespace kalmira::convert
