// Refusing a payload that cannot fit: a 1 GiB incompressible file compressed
// against a limit (the largest storable payload), next to the targets of
// under 1 s and under 64 MB. Counters: limit_MB, peak_MB (resident high-water
// mark of the whole run), and the targets max_s / max_MB.
// Run: build/bin/compress_bench
#include "compress/ZorbComprFile.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace kalmira;

namespace {

constexpr long long kInputBytes = 1LL << 30;

// Written once in blocks, so the bench itself stays small in memory.
const std::string &IncompressibleFile() {
    static const std::string path = [] {
        std::string p = (std::filesystem::temp_directory_path() / "kalmira-bench-1g.bin").string();
        if (std::filesystem::exists(p) && std::filesystem::file_size(p) == kInputBytes) return p;
        std::FILE *f = std::fopen(p.c_str(), "wb");
        std::vector<std::uint64_t> block(1 << 17);
        std::uint64_t x = 0x9E3779B97F4A7C15ULL;
        for (long long done = 0; f && done < kInputBytes; done += block.size() * 8) {
            for (auto &w : block) {
                x ^= x << 13;
                x ^= x >> 7;
                x ^= x << 17;
                w = x;
            }
            std::fwrite(block.data(), 8, block.size(), f);
        }
        if (f) std::fclose(f);
        return p;
    }();
    return path;
}

double PeakMB() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_maxrss) / 1024.0;
}

void BM_RefuseIncompressible1GiB(benchmark::State &state) {
    const std::string in = IncompressibleFile();
    const std::string out = in + ".z";
    for (auto _ : state) {
        ZorbComprFile z;
        z.InputFile = in;
        z.OutputFile = out;
        z.MaxOutput = state.range(0) << 10;
        z.Compress();
        if (z.ResultStatus() != ZorbComprFile::kTooLarge) state.SkipWithError("not refused");
    }
    state.counters["limit_MB"] = static_cast<double>(state.range(0)) / 1024.0;
    state.counters["peak_MB"] = PeakMB();
    state.counters["max_s"] = 1.0;
    state.counters["max_MB"] = 64.0;
}

} // namespace

// Limits in KiB: the payload of a 1.3 MB picture, a 100 MB and a 400 MB WAV.
// The first is refused unread (deflate never shrinks below 1/1032); the others
// cost one deflate pass over about `limit` input bytes.
BENCHMARK(BM_RefuseIncompressible1GiB)
    ->Arg(160)
    ->Arg(12 << 10)
    ->Arg(48 << 10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove(IncompressibleFile()); // 1 GiB is no thing to leave behind
    return 0;
}
