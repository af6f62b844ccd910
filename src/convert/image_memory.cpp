#include "convert/image_memory.h"

#include <algorithm>

namespace kalmira::convert {

int ImageMemoryLimitMb(std::uint64_t physicalBytes) {
    const std::uint64_t quarterMb = physicalBytes / 4 / (1024 * 1024);
    return static_cast<int>(std::clamp<std::uint64_t>(quarterMb, 256, 4096));
}

std::int64_t DecodedMegabytes(std::int64_t width, std::int64_t height) {
    return (std::max<std::int64_t>(width, 0) * std::max<std::int64_t>(height, 0) * 4 + (1 << 20) - 1) >> 20;
}

} // namespace kalmira::convert
