// How much memory the image readers may take for one picture. Qt's readers
// refuse anything above 128 MB by default (33.5 megapixels), which turns
// away today's camera pictures; the limit follows the machine's memory instead, set once at
// program start for every window and the engine alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kalmira::convert {

// A quarter of the machine's memory, never below 256 MB (also when the
// memory is unknown) and never above 4096 MB, beyond which no picture fits a
// BMP file anyway.
int ImageMemoryLimitMb(std::uint64_t physicalBytes);

// Sets the readers' limit from this machine's memory; the later calls do nothing.
void ApplyImageMemoryLimit();

// Megabytes a picture of this size takes once decoded (4 bytes per pixel).
std::int64_t DecodedMegabytes(std::int64_t width, std::int64_t height);

struct OversizedPicture {
    int width = 0, height = 0;
    std::int64_t neededMb = 0, limitMb = 0;
};
// The picture's size as its header gives it, when decoding it would need
// more than the readers may take; nullopt otherwise (also for unreadable files).
std::optional<OversizedPicture> TooLargeToDecode(const std::string &path);

} // namespace kalmira::convert
