// The header of a bottom-up 24-bit BMP, for benches that write their
// pictures row by row. Returns the padded row size in bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

inline std::uint32_t WriteBmpHeader(std::ofstream &out, std::uint32_t width, std::uint32_t height) {
    const std::uint32_t row = (width * 3 + 3) / 4 * 4, image = row * height;
    std::vector<std::uint8_t> h(54, 0);
    auto put = [&](int at, std::uint32_t v) { std::memcpy(&h[at], &v, 4); };
    h[0] = 'B';
    h[1] = 'M';
    put(2, 54 + image);
    put(10, 54);
    put(14, 40);
    put(18, width);
    put(22, height);
    h[26] = 1;
    h[28] = 24;
    put(34, image);
    out.write(reinterpret_cast<const char *>(h.data()), 54);
    return row;
}
