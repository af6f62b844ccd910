// Rendering of Windows metafiles through libwmf. Kept apart from everything
// Qt: libwmf's headers define macros that clash with Qt's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kalmira::convert {

// Pixels 0x00RRGGBB, top-down rows. Empty when the file is no readable metafile.
struct WmfRaster {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// True when the bytes start like a metafile (placeable or plain header).
bool LooksLikeWmf(const std::vector<std::uint8_t> &bytes);

// Renders the metafile at the size it gives itself (96 dpi), or stretched to
// width x height when both are positive. Transparent areas come out white.
// Rendering runs in a child process; one that takes longer than the time
// limit (10 s by default) or crashes yields an empty raster.
WmfRaster RenderWmf(const std::vector<std::uint8_t> &bytes, int width = 0, int height = 0);
void SetWmfRenderTimeLimit(double seconds);

} // namespace kalmira::convert
