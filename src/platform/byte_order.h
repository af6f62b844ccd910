// Little-endian fields of BMP and WAV headers, signed as the headers define them.
#pragma once

#include <cstdint>

namespace kalmira::platform {

inline std::uint32_t Le32u(const std::uint8_t *p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::int32_t Le32(const std::uint8_t *p) { return static_cast<std::int32_t>(Le32u(p)); }
// An unsigned 16-bit field, widened so that products of two cannot overflow.
inline std::uint32_t Le16u(const std::uint8_t *p) { return static_cast<std::uint32_t>(p[0] | p[1] << 8); }
inline std::int16_t Le16(const std::uint8_t *p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8));
}

} // namespace kalmira::platform
