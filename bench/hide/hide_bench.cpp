// Hides and extracts 1.5 MiB in an 18 MB BMP; the baseline copies a file as
// large as the touched carrier region, as `cp` would. Rates are MB/s of
// carrier bytes touched (8 per payload byte).
#include "carriers.h"
#include "extract/extract_engine.h"
#include "hide/hide_engine.h"
#include "run_fakes.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

using namespace kalmira;
using namespace kalmira::test;

namespace {

constexpr std::size_t kPayload = 3 * 512 * 1024; // 1.5 MiB
constexpr int kSide = 2450;                      // 2450 x 2450 x 3 = 18 MB

struct Setup {
    TempDir dir;
    std::vector<std::uint8_t> data; // incompressible: stays ~1.5 MiB
    std::string carrier = dir.file("big.bmp");
    Setup() {
        data = Compressed(dir, RandomBytes(kPayload, 5));
        WriteAll(carrier, MakeBmp(kSide, kSide));
    }
    double touched() const { return 8.0 * static_cast<double>(data.size()); }
};

Setup &setup() {
    static Setup s;
    return s;
}

void BM_Hide(benchmark::State &state) {
    Setup &s = setup();
    FakeMessages messages;
    FakePasswords passwords;
    hide::HideEngine engine(KeepBackups());
    FakeHideProgress view;
    hide::FileHideInput in;
    in.carrierPath = s.carrier;
    in.sourcePath = "x.bin";
    in.nameField = *payload::NameField("x.bin");
    for (auto _ : state) {
        if (HideAsWindow(engine, view, passwords, in, s.data).outcome != hide::HideOutcome::Written)
            state.SkipWithError("hide failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.touched()));
}

void BM_Extract(benchmark::State &state) {
    Setup &s = setup();
    FakeMessages messages;
    FakePasswords passwords;
    extract::ExtractEngine engine;
    FakeExtractView view;
    view.destination = s.dir.file("out.bin");
    for (auto _ : state) {
        if (ExtractAsWindow(engine, view, passwords, s.carrier).outcome != extract::ExtractOutcome::Extracted)
            state.SkipWithError("extract failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.touched()));
}

void BM_CopyTouchedRegion(benchmark::State &state) {
    Setup &s = setup();
    const std::string region = s.dir.file("region.bin");
    WriteAll(region, RandomBytes(static_cast<std::size_t>(s.touched()), 3));
    const std::string cmd = "cp '" + region + "' '" + s.dir.file("copy.bin") + "'";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("cp failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.touched()));
}

} // namespace

BENCHMARK(BM_Hide)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Extract)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyTouchedRegion)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
