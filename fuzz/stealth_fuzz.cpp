// The stealth format's readers on hostile carriers, run as the extractor runs
// them: version 2 over in-memory elements (MemoryElements), and version 1 on
// the same values as a BMP or WAV file whenever version 2's head does not open.
//
// Byte 0 chooses the carrier: bit 0 a picture or a sound; bit 1 either a
// valid version-2 carrier made at start-up, changed by the rest of the input
// as (element: 3 bytes, delta: 1 byte) records, or values taken from the
// input itself. Bits 2..7 cut that many rows off the end (a truncated carrier).
// An extraction may fail in any way but crash; it may succeed only with the
// bytes that were hidden: the authentication must let nothing changed through.
#include "fuzz_common.h"

#include "fakes.h"
#include "stealth/memory_elements.h"
#include "stealth/standard_costs.h"
#include "stealth/stealth2.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace kalmira;
using namespace kalmira::stealth;

namespace {

const std::string kPassword = "Sesam-Fuzz";
constexpr int kWidth = 256, kHeight = 192, kChannels = 2; // window 0 needs 40960 elements
constexpr std::uint64_t kFrames = 24000;
constexpr std::size_t kWavHeader = 44, kBmpHeader = 54;

Tuning2 Fast() {
    Tuning2 t;
    t.kdfOps = 1;
    t.kdfMemBytes = 8192;
    t.threads = 1;
    return t;
}

struct Prepared {
    ElementShape shape;
    std::vector<std::int32_t> values;
};

std::vector<std::uint8_t> Hidden() {
    std::vector<std::uint8_t> data(300);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 131 + 7);
    return data;
}

// A carrier with Hidden() in it; noise so that the costs find room.
Prepared MakeValid(bool sound) {
    const ElementShape shape = sound ? SoundShape(kChannels, kFrames, 16) : PictureShape(kWidth, kHeight, 3, 8, false);
    const std::vector<std::uint8_t> noise = test::RandomBytes(shape.elements() * shape.channels * 2, 5);
    std::vector<std::int32_t> values(shape.elements() * static_cast<std::uint64_t>(shape.channels));
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = sound ? static_cast<std::int16_t>(noise[2 * i] | noise[2 * i + 1] << 8) : 40 + noise[i] % 160;
    MemoryElements m(shape, values);
    const std::vector<std::uint8_t> data = Hidden();
    const Hide2Result r =
        Hide2(m, m, kPassword, Kind::File, "geheim.bin", {"", data}, StandardCosts(shape), {}, Fast());
    if (r.outcome != HideResult::Outcome::Written) {
        std::fprintf(stderr, "no carrier to start from (%s): outcome %d\n", sound ? "sound" : "picture",
                     static_cast<int>(r.outcome));
        std::abort();
    }
    return {shape, m.values()};
}

const Prepared &Valid(bool sound) {
    static const Prepared picture = MakeValid(false), audio = MakeValid(true);
    return sound ? audio : picture;
}

std::int32_t Clamp(const ElementShape &s, std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, s.minValue, s.maxValue));
}

// Version 1 reads files: the same values as the bytes of a BMP or WAV.
ExtractResult Version1(const fuzz::Scratch &scratch, const ElementShape &shape, const std::vector<std::int32_t> &v) {
    const bool sound = shape.medium == Medium::Sound;
    std::vector<std::uint8_t> file =
        sound ? test::MakeWav(v.size() * 2, kChannels) : test::MakeBmp(kWidth, static_cast<int>(shape.rows));
    const std::size_t at = sound ? kWavHeader : kBmpHeader;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (sound) {
            file[at + 2 * i] = static_cast<std::uint8_t>(v[i]);
            file[at + 2 * i + 1] = static_cast<std::uint8_t>(v[i] >> 8);
        } else if (at + i < file.size()) {
            file[at + i] = static_cast<std::uint8_t>(v[i]);
        }
    }
    const std::string path = scratch.file(sound ? "c.wav" : "c.bmp");
    fuzz::Write(path, file.data(), file.size());
    MemorySink sink(1 << 20);
    return Extract(path, kPassword, sink, {}, Fast());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static fuzz::Scratch scratch;
    if (size < 1) return 0;
    const bool sound = data[0] & 1, fromInput = data[0] & 2;
    const std::uint64_t cut = data[0] >> 2;
    const Prepared &valid = Valid(sound);
    ElementShape shape = valid.shape;
    std::vector<std::int32_t> values = valid.values;
    if (fromInput) {
        for (std::size_t i = 1; i < size && i - 1 < values.size(); ++i)
            values[i - 1] = Clamp(shape, sound ? static_cast<std::int8_t>(data[i]) * 257 : data[i]);
    } else {
        for (std::size_t i = 1; i + 4 <= size; i += 4) {
            const std::uint64_t e = (data[i] | data[i + 1] << 8 | std::uint64_t{data[i + 2]} << 16) % values.size();
            values[e] = Clamp(shape, values[e] + static_cast<std::int8_t>(data[i + 3]));
        }
    }
    shape.rows -= std::min(cut, shape.rows - 1);
    values.resize(shape.elements() * static_cast<std::uint64_t>(shape.channels));

    MemoryElements m(shape, values);
    MemorySink sink(1 << 20);
    const Extract2Result r = Extract2(
        m, kPassword, sink, [&] { return Version1(scratch, shape, values); }, {}, Fast());
    if (r.outcome == ExtractResult::Outcome::Extracted && r.version == 2 && sink.data() != Hidden()) std::abort();
    scratch.clear();
    return 0;
}
