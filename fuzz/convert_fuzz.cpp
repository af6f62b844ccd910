// The converter's picture decoders (Qt's image readers, libwmf for
// metafiles), the optimised redraw and the BMP writer.
#include "fuzz_common.h"

#include "convert/modConvert.h"

#include <cstdlib>

using namespace kalmira;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static fuzz::Scratch scratch;
    // Metafiles that draw forever are cut off (and a known finding).
    static const bool limited = (convert::SetMetafileTimeLimit(2), true);
    (void)limited;
    const std::string path = scratch.file("picture.img");
    fuzz::Write(path, data, size);
    auto picture = convert::LoadPicture(path);
    if (picture) {
        if (picture->pixels.size() !=
            static_cast<std::size_t>(picture->width) * static_cast<std::size_t>(picture->height))
            std::abort();
        // Small pictures also go through the optimised redraw and the writer.
        if (static_cast<long long>(picture->width) * picture->height <= 512 * 512) {
            convert::elim_padbytes(*picture, path);
            if (convert::save_bitmap(*picture, 24, scratch.file("out.bmp")) < 1) std::abort();
        }
    }
    scratch.clear();
    return 0;
}
