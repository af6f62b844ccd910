// The WAV chunk walk and playing time on arbitrary files, and the hide
// run's structure check of the same file as a carrier.
#include "fuzz_common.h"

#include "carrier/payload_fit.h"
#include "inspect/modWAV.h"

#include <cstdlib>

using namespace kalmira;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static fuzz::Scratch scratch;
    const std::string path = scratch.file("carrier.wav");
    fuzz::Write(path, data, size);
    carrier::WavChunks chunks;
    if (carrier::ReadWavChunks(path, chunks) == carrier::WavRead::Ok) {
        // Each chunk header takes at least 8 bytes of the file.
        if (chunks.ids.size() > size / 8 + 1) std::abort();
        (void)inspect::FormatTagName(chunks.format.formatTag);
        (void)inspect::ChannelText(chunks.format.channels);
        (void)inspect::BitsPerSampleText(chunks.format.bitsPerSample);
    }
    const double seconds = carrier::WavSeconds(path);
    if (!(seconds == -1 || seconds >= 0)) std::abort();
    const std::int64_t n = size >= 3 ? (data[size - 1] | data[size - 2] << 8 | data[size - 3] << 16) : 1;
    (void)payload::CheckStructure(path, n);
    return 0;
}
