// The image info window's header reading and its eight lines.
#include "fuzz_common.h"

#include "inspect/bmp_info.h"

#include <array>

using namespace kalmira;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static fuzz::Scratch scratch;
    const std::string path = scratch.file("carrier.bmp");
    fuzz::Write(path, data, size);
    carrier::BmpHeader facts;
    std::string error;
    if (inspect::ReadBmpHeaderFacts(path, facts, error)) {
        std::array<std::string, 8> lines;
        (void)inspect::BmpInfoLines(facts, lines, error);
    }
    return 0;
}
