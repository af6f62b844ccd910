// The FLAC carrier codec on arbitrary files: facts, decoding within a memory
// limit and, for every recording it takes, a change and a re-encoding that
// must decode again to the same samples and metadata blocks.
#include "carrier/flac_file.h"

#include <cstdlib>

using namespace kalmira::carrier;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    FlacFacts facts;
    (void)ReadFlacFacts(file, facts);
    constexpr std::uint64_t kLimit = std::uint64_t{8} << 20;
    FlacAudio audio;
    if (ReadFlac(file, kLimit, audio) != CodecProblem::None) return 0;
    if (audio.samples.size() != audio.frames * audio.channels) std::abort();
    if (!audio.samples.empty()) {
        const ElementChange change[] = {{0, audio.changeAllowed(0, 1) ? 1 : -1}};
        if (ApplyChanges(audio, change) != CodecProblem::None) std::abort();
    }
    std::vector<std::uint8_t> out;
    MemorySink sink(out);
    if (WriteFlac(audio, sink) != CodecProblem::None) std::abort();
    FlacAudio back;
    if (ReadFlac(out, kLimit, back) != CodecProblem::None || back.samples != audio.samples ||
        back.blocks.size() != audio.blocks.size() || back.leadingTag != audio.leadingTag ||
        back.trailingTag != audio.trailingTag)
        std::abort();
    for (std::size_t i = 0; i < back.blocks.size(); ++i)
        if (back.blocks[i].type != audio.blocks[i].type || back.blocks[i].data != audio.blocks[i].data) std::abort();
    return 0;
}
