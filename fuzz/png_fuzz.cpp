// The PNG carrier codec on arbitrary files: facts, decoding within a memory
// limit and, for every picture it takes, a change and a rewrite that must
// decode again to the same pixels and chunks.
#include "carrier/png_file.h"

#include <cstdlib>

using namespace kalmira::carrier;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    PngFacts facts;
    (void)ReadPngFacts(file, facts);
    constexpr std::uint64_t kLimit = std::uint64_t{8} << 20;
    PngImage image;
    if (ReadPng(file, kLimit, image) != CodecProblem::None) return 0;
    if (image.pixels.size() != image.rowBytes() * image.height) std::abort();
    for (std::uint64_t p = 0; p < image.pixelCount(); ++p)
        if (image.changeAllowed(p, 1)) {
            const ElementChange change[] = {{p, 1}};
            if (ApplyChanges(image, change) != CodecProblem::None) std::abort();
            break;
        }
    std::vector<std::uint8_t> out;
    MemorySink sink(out);
    if (WritePng(image, sink) != CodecProblem::None) std::abort();
    PngImage back;
    if (ReadPng(out, kLimit, back) != CodecProblem::None || back.pixels != image.pixels ||
        back.chunks.size() != image.chunks.size() || back.trailer != image.trailer)
        std::abort();
    for (std::size_t i = 0; i < back.chunks.size(); ++i)
        if (back.chunks[i].data != image.chunks[i].data || back.chunks[i].type != image.chunks[i].type) std::abort();
    return 0;
}
