// Setting and reading payload bits in 64 MiB of carrier on each path, the
// byte loop beside the word paths. Rates are bytes of carrier per second;
// the target is 3 GB/s or more.
#include "carrier/bits.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

using namespace kalmira::payload;

namespace {

constexpr std::size_t kCarrier = std::size_t{64} << 20;

struct Buffers {
    std::vector<std::uint8_t> carrier = Random(kCarrier, 1);
    std::vector<std::uint8_t> data = Random(kCarrier / 8, 2);
    static std::vector<std::uint8_t> Random(std::size_t n, unsigned seed) {
        std::mt19937_64 rng(seed);
        std::vector<std::uint8_t> v(n);
        for (auto &b : v) b = static_cast<std::uint8_t>(rng());
        return v;
    }
};

Buffers &buffers() {
    static Buffers b;
    return b;
}

void BM_Embed(benchmark::State &state, BitPath path) {
    if (!BitPathAvailable(path)) return state.SkipWithError("processor lacks this path");
    Buffers &b = buffers();
    for (auto _ : state) {
        EmbedBytes(path, b.data.data(), b.data.size(), b.carrier.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kCarrier));
}

void BM_Read(benchmark::State &state, BitPath path) {
    if (!BitPathAvailable(path)) return state.SkipWithError("processor lacks this path");
    Buffers &b = buffers();
    for (auto _ : state) {
        ReadBytes(path, b.carrier.data(), b.data.size(), b.data.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kCarrier));
}

} // namespace

BENCHMARK_CAPTURE(BM_Embed, ByteLoop, BitPath::ByteLoop)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Embed, Word, BitPath::Word)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Embed, Bmi2, BitPath::Bmi2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read, ByteLoop, BitPath::ByteLoop)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read, Word, BitPath::Word)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Read, Bmi2, BitPath::Bmi2)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
