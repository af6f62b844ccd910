// The boundary between the converter engine and its picture decoders. The
// decoders (Qt's image readers, libwmf) live in a module of their own that is
// loaded on the first picture, so that the tool's other commands start
// without any picture library. Plain C types only: engine and module share no
// allocator or C++ object across the boundary.
#pragma once

#include <cstdint>

extern "C" {

// Room for width x height pixels 0x00RRGGBB, top-down rows, asked for once
// the size is known; null refuses the picture.
using KalmiraPixelRoom = std::uint32_t *(*)(void *context, int width, int height);

struct KalmiraDecoder {
    int version; // kKalmiraDecoderVersion
    // Decodes the file: 1 done, 0 no readable picture. A metafile is drawn at
    // width x height when both are positive, else at its own size; raster
    // pictures always come at their own size.
    int (*load)(const char *path, int width, int height, KalmiraPixelRoom room, void *context);
    // 1 metafile, 0 anything else, -1 unreadable.
    int (*isMetafile)(const char *path);
    // The readers' memory limit in megabytes; and its value now.
    void (*setMemoryLimitMb)(int megabytes);
    int (*memoryLimitMb)();
    // The size the header gives, without decoding; 0 when it gives none.
    int (*headerSize)(const char *path, int *width, int *height);
    void (*setMetafileTimeLimit)(double seconds);
};

// The module's one exported symbol.
using KalmiraDecoderEntry = const KalmiraDecoder *(*)();
}

namespace kalmira::convert {
inline constexpr int kKalmiraDecoderVersion = 1;
inline constexpr const char *kDecoderEntryName = "kalmira_decoder";
inline constexpr const char *kDecoderBaseName = "KalmiraDecode";
} // namespace kalmira::convert
