// The syndrome-trellis coder: first a report, then Google Benchmark entries.
//
// Coding loss: the cost of the coder's changes against the rate-distortion
// bound of the payload-limited sender with the same costs (each element i
// changes with p_i = e^(-lambda rho_i) / (1 + e^(-lambda rho_i)), lambda such
// that sum H2(p_i) = m; bound D = sum p_i rho_i), as (D_stc - D) / D, for
// three cost profiles, relative payloads m/n and heights h. Goal: 10 %.
// Throughput: elements per second through one block embedding (forward pass
// and back-tracking) on one core, per path and height. Goal 20 million, floor
// 7 million (a 24-bit pixel is one element carrying three usable bytes).
//
//   stc_bench [--no-report] [Google Benchmark flags]
//   stc_bench --search    chooses the submatrices (the table in stc.cpp)
#include "stealth/stc.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <thread>

using namespace kalmira::stealth::stc;

namespace {

constexpr double kLossGoal = 0.10;
constexpr double kSpeedGoal = 20e6, kSpeedFloor = 7e6;
constexpr double kAlphas[] = {0.05, 0.1, 0.2, 0.3, 0.5};
constexpr int kHeights[] = {6, 7, 8, 9, 10};

enum class Profile {
    Constant,
    Uniform,
    Image
};
const char *Name(Profile p) {
    return p == Profile::Constant ? "constant" : p == Profile::Uniform ? "uniform" : "image (1/|Laplace|, 10 % wet)";
}

struct Carrier {
    std::vector<std::uint8_t> parities, message;
    std::vector<float> costs;
};

Carrier MakeCarrier(Profile profile, std::size_t n, std::size_t m, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<float> unit(0, 1);
    std::exponential_distribution<float> laplace(1.0f); // |Laplace(0, 1)|
    Carrier c;
    c.parities.resize(n);
    c.costs.resize(n);
    for (std::size_t j = 0; j < n; ++j) {
        c.parities[j] = static_cast<std::uint8_t>(rng() & 1);
        switch (profile) {
        case Profile::Constant: c.costs[j] = 1; break;
        case Profile::Uniform: c.costs[j] = 1 - unit(rng); break; // (0, 1]
        case Profile::Image:
            c.costs[j] = unit(rng) < 0.1f ? kWet : std::min(1 / std::max(laplace(rng), 1e-20f), kMaxCost);
            break;
        }
    }
    c.message.resize(m);
    for (auto &b : c.message) b = static_cast<std::uint8_t>(rng() & 1);
    return c;
}

// The payload-limited sender's least expected cost for m bits.
double Bound(const std::vector<float> &costs, std::size_t m) {
    auto at = [&](double lambda, double &distortion) {
        double bits = 0;
        distortion = 0;
        for (const float rho : costs) {
            if (std::isinf(rho)) continue;
            const double x = lambda * rho;
            if (x > 700) continue;
            const double p = 1 / (1 + std::exp(x));
            if (p <= 0 || p >= 1) continue;
            bits += -(p * std::log2(p) + (1 - p) * std::log2(1 - p));
            distortion += p * rho;
        }
        return bits;
    };
    double lo = -40, hi = 40, distortion = 0; // log(lambda); more lambda, fewer bits
    for (int it = 0; it < 60; ++it) {
        const double mid = (lo + hi) / 2;
        (at(std::exp(mid), distortion) > static_cast<double>(m) ? lo : hi) = mid;
    }
    at(std::exp(hi), distortion);
    return distortion;
}

void LossReport() {
    constexpr std::size_t n = std::size_t{1} << 18;
    std::printf("Coding loss (D_stc - D_bound) / D_bound, n = %zu in blocks of %zu; goal %.0f %%\n", n,
                kDefaultBlockLength, kLossGoal * 100);
    for (const Profile profile : {Profile::Constant, Profile::Uniform, Profile::Image}) {
        std::printf("\n  %s\n  %-8s", Name(profile), "alpha");
        for (const int h : kHeights) std::printf("   h=%-3d", h);
        std::printf("\n");
        for (const double alpha : kAlphas) {
            const std::size_t m = static_cast<std::size_t>(alpha * n);
            const Carrier c = MakeCarrier(profile, n, m, 17);
            const double bound = Bound(c.costs, m);
            std::printf("  %-8.2f", alpha);
            for (const int h : kHeights) {
                std::vector<std::uint8_t> stego(n);
                const EmbedResult r = EmbedAll({h, kDefaultBlockLength}, c.parities, c.costs, c.message, stego);
                if (r.status != Status::Ok)
                    std::printf("  %6s", "fail");
                else
                    std::printf("  %5.1f%%", (r.cost - bound) / bound * 100);
            }
            std::printf("\n");
        }
    }
}

// Block length against coding loss at the default height.
void LengthReport() {
    constexpr std::size_t n = std::size_t{1} << 18;
    std::printf("\nCoding loss by block length, h = %d, image profile\n  %-8s", kDefaultHeight, "alpha");
    const std::size_t lengths[] = {1024, 4096, 32768, 262144};
    for (const std::size_t l : lengths) std::printf("  n=%-7zu", l);
    std::printf("\n");
    for (const double alpha : {0.1, 0.5}) {
        const std::size_t m = static_cast<std::size_t>(alpha * n);
        const Carrier c = MakeCarrier(Profile::Image, n, m, 23);
        const double bound = Bound(c.costs, m);
        std::printf("  %-8.2f", alpha);
        for (const std::size_t l : lengths) {
            std::vector<std::uint8_t> stego(n);
            const EmbedResult r = EmbedAll({kDefaultHeight, l}, c.parities, c.costs, c.message, stego);
            if (r.status != Status::Ok)
                std::printf("  %9s", "fail");
            else
                std::printf("  %8.1f%%", (r.cost - bound) / bound * 100);
        }
        std::printf("\n");
    }
}

const char *Name(Path p) {
    return p == Path::Portable ? "portable" : p == Path::Sse2 ? "sse2" : p == Path::Avx2 ? "avx2" : "avx512";
}

// Elements per second through Embedder::embed on one block: processor time
// (the development machine is shared), best of seven runs.
double Rate(Path path, int h, double alpha) {
    const std::size_t n = kDefaultBlockLength, m = static_cast<std::size_t>(alpha * n);
    const Carrier c = MakeCarrier(Profile::Image, n, m, 5);
    const auto code = Code::Make(n, m, h);
    Embedder embedder(path);
    std::vector<std::uint8_t> stego(n);
    double best = 0;
    for (int run = 0; run < 7; ++run) {
        const std::clock_t t0 = std::clock();
        int reps = 0;
        do {
            embedder.embed(*code, c.parities, c.costs, c.message, stego);
            ++reps;
        } while (std::clock() - t0 < CLOCKS_PER_SEC / 20);
        const double s = static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
        best = std::max(best, reps * static_cast<double>(n) / s);
    }
    return best;
}

void SpeedReport() {
    std::printf(
        "\nMillion elements per second, one core, processor time (goal %.0f, floor %.0f), alpha 0.5 / 0.1\n  %-9s",
        kSpeedGoal / 1e6, kSpeedFloor / 1e6, "path");
    for (const int h : kHeights) std::printf("   h=%-9d", h);
    std::printf("\n");
    for (const Path path : {Path::Portable, Path::Sse2, Path::Avx2, Path::Avx512}) {
        if (!PathAvailable(path)) continue;
        std::printf("  %-9s", Name(path));
        for (const int h : kHeights) std::printf("  %5.1f /%5.1f", Rate(path, h, 0.5) / 1e6, Rate(path, h, 0.1) / 1e6);
        std::printf("\n");
    }
}

// The submatrix search: for each height and width, candidates 0 .. 95 of the
// column stream on one constant-profile block of 2048 bits, the best eight
// again on three blocks of 32768 bits; the least total cost wins (ties: the
// lower candidate). Prints the table for stc.cpp.
double CodingCost(int h, std::uint32_t k, const Carrier &c, Embedder &embedder) {
    const auto code = Code::Make(c.parities.size(), c.message.size(), h, k);
    std::vector<std::uint8_t> stego(c.parities.size());
    return embedder.embed(*code, c.parities, c.costs, c.message, stego).cost;
}

template <class Fn>
void OnAllCores(std::size_t count, const Fn &fn) {
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        Embedder embedder;
        for (std::size_t i; (i = next.fetch_add(1)) < count;) fn(i, embedder);
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < std::max(1u, std::thread::hardware_concurrency()); ++t) pool.emplace_back(worker);
    worker();
    for (auto &t : pool) t.join();
}

std::uint32_t Choose(int h, std::size_t w) {
    constexpr std::uint32_t kCandidates = 96;
    constexpr std::size_t kFinalists = 8, kSets = 3;
    const Carrier quick = MakeCarrier(Profile::Constant, 2048 * w, 2048, 100 + w);
    std::vector<std::pair<double, std::uint32_t>> scores(kCandidates);
    OnAllCores(kCandidates, [&](std::size_t k, Embedder &e) {
        scores[k] = {CodingCost(h, static_cast<std::uint32_t>(k), quick, e), static_cast<std::uint32_t>(k)};
    });
    std::sort(scores.begin(), scores.end());
    std::vector<Carrier> sets;
    for (std::size_t s = 0; s < kSets; ++s) sets.push_back(MakeCarrier(Profile::Constant, 32768 * w, 32768, 200 + s));
    std::vector<double> totals(kFinalists * kSets);
    OnAllCores(totals.size(), [&](std::size_t i, Embedder &e) {
        totals[i] = CodingCost(h, scores[i / kSets].second, sets[i % kSets], e);
    });
    std::pair<double, std::uint32_t> best{INFINITY, 0};
    for (std::size_t f = 0; f < kFinalists; ++f) {
        double total = 0;
        for (std::size_t s = 0; s < kSets; ++s) total += totals[f * kSets + s];
        best = std::min(best, std::pair{total, scores[f].second});
    }
    return best.second;
}

void Search() {
    for (int h = 6; h <= 10; ++h) {
        std::printf("    {0, 0");
        for (std::size_t w = 2; w <= 32; ++w) {
            std::printf(", %u", Choose(h, w));
            std::fflush(stdout);
        }
        std::printf("}, // h = %d\n", h);
    }
}

void BM_Embed(benchmark::State &state, Path path) {
    if (!PathAvailable(path)) return state.SkipWithError("processor lacks this path");
    const int h = static_cast<int>(state.range(0));
    const double alpha = static_cast<double>(state.range(1)) / 100;
    const std::size_t n = kDefaultBlockLength, m = static_cast<std::size_t>(alpha * n);
    const Carrier c = MakeCarrier(Profile::Image, n, m, 5);
    const auto code = Code::Make(n, m, h);
    Embedder embedder(path);
    std::vector<std::uint8_t> stego(n);
    for (auto _ : state) benchmark::DoNotOptimize(embedder.embed(*code, c.parities, c.costs, c.message, stego));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

// All cores on 4 Mi elements (a 2048 x 2048 image), default height.
void BM_EmbedAll(benchmark::State &state) {
    const std::size_t n = std::size_t{1} << 22, m = n / 2;
    const Carrier c = MakeCarrier(Profile::Image, n, m, 5);
    std::vector<std::uint8_t> stego(n);
    for (auto _ : state) benchmark::DoNotOptimize(EmbedAll({}, c.parities, c.costs, c.message, stego));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

void BM_ExtractAll(benchmark::State &state) {
    const std::size_t n = std::size_t{1} << 22, m = n / 2;
    const Carrier c = MakeCarrier(Profile::Image, n, m, 5);
    std::vector<std::uint8_t> message(m);
    for (auto _ : state) benchmark::DoNotOptimize(ExtractAll({}, c.parities, message));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

} // namespace

BENCHMARK_CAPTURE(BM_Embed, portable, Path::Portable)->ArgsProduct({{6, 8, 10}, {50}})->ArgNames({"h", "alpha%"});
BENCHMARK_CAPTURE(BM_Embed, sse2, Path::Sse2)->ArgsProduct({{6, 8, 10}, {50}})->ArgNames({"h", "alpha%"});
BENCHMARK_CAPTURE(BM_Embed, avx2, Path::Avx2)->ArgsProduct({{6, 7, 8, 9, 10}, {10, 50}})->ArgNames({"h", "alpha%"});
BENCHMARK_CAPTURE(BM_Embed, avx512, Path::Avx512)->ArgsProduct({{6, 7, 8, 9, 10}, {10, 50}})->ArgNames({"h", "alpha%"});
BENCHMARK(BM_EmbedAll)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExtractAll)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "--search") == 0) {
        Search();
        return 0;
    }
    bool report = true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--no-report") == 0) {
            report = false;
            for (int k = i; k + 1 < argc; ++k) argv[k] = argv[k + 1];
            --argc;
            break;
        }
    if (report) {
        LossReport();
        LengthReport();
        SpeedReport();
        std::printf("\n");
        std::fflush(stdout);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
