// Small picture files built byte by byte for the fuzz seed corpora.
#pragma once

#include <cstdint>
#include <vector>

namespace kalmira::test {

// Uncompressed or RLE-compressed palette BMP; `data` is the pixel data as
// stored (bottom-up rows), `palette` colours are 0x00RRGGBB.
std::vector<std::uint8_t> PaletteBmp(int width, int height, int bits, int compression,
                                     const std::vector<std::uint32_t> &palette, const std::vector<std::uint8_t> &data);

// GIF of palette indices (row-major, top-down); palette up to 256 colours.
std::vector<std::uint8_t> MakeGif(int width, int height, const std::vector<std::uint32_t> &palette,
                                  const std::vector<std::uint8_t> &indices);

// Placeable metafile of width x height units at 96 units per inch: white
// background and a filled rectangle [left, right) x [top, bottom) in `colour`
// (0x00RRGGBB), drawn without outline.
std::vector<std::uint8_t> MakeWmf(int width, int height, int left, int top, int right, int bottom,
                                  std::uint32_t colour);

} // namespace kalmira::test
