// Syndrome-trellis coder: the receiver reads the message from the parities
// alone, the sender's choice is the cheapest one, wet elements stay, every
// path and thread count gives the same bits, and H is the documented one.
#include "stealth/stc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace kalmira::stealth::stc;

namespace {

struct Cover {
    std::vector<std::uint8_t> parities, message;
    std::vector<float> costs;
};

// Heavy-tailed costs (1/|Laplace|, as in textured images) with a share of wet
// elements; `eighths` rounds them to multiples of 1/8 so float sums are exact.
Cover MakeCover(std::size_t n, std::size_t m, double wet, std::uint64_t seed, bool eighths = false) {
    std::mt19937_64 rng(seed);
    std::exponential_distribution<float> laplace(1.0f);
    std::uniform_real_distribution<double> unit(0, 1);
    Cover c;
    for (std::size_t j = 0; j < n; ++j) {
        c.parities.push_back(static_cast<std::uint8_t>(rng() & 0xFF)); // only the low bit counts
        float cost = std::min(1.0f / std::max(laplace(rng), 1e-6f), 1e6f);
        if (eighths) cost = std::round(cost * 8) / 8;
        c.costs.push_back(unit(rng) < wet ? kWet : cost);
    }
    for (std::size_t i = 0; i < m; ++i) c.message.push_back(static_cast<std::uint8_t>(rng() & 1));
    return c;
}

std::vector<std::uint8_t> Read(const Code &code, const std::vector<std::uint8_t> &parities) {
    std::vector<std::uint8_t> message(code.bits());
    EXPECT_TRUE(Extract(code, parities, message));
    return message;
}

// H as docs/stc.md states it: message bit i is fed by the columns
// S_i .. S_{i+1} - 1, S_0 = 0, S_i = E + floor(i*n'/m) with E = min(2h, n - m)
// and n' = n - E; column j is column j - S_i of the H_hat of that width,
// placed at rows i .. i+h-1 and cut at row m - 1. Row r as a mask of columns.
std::vector<std::uint32_t> DenseRows(const Code &code, std::optional<std::uint32_t> candidate) {
    const std::size_t n = code.length(), m = code.bits();
    const int h = code.height();
    const std::size_t e = std::min<std::size_t>(2 * h, n - m);
    auto s = [&](std::size_t i) { return i == 0 ? 0 : e + i * (n - e) / m; };
    std::vector<std::uint32_t> rows(m, 0);
    for (std::size_t i = 0; i < m; ++i) {
        const auto hhat = Submatrix(h, s(i + 1) - s(i), candidate.value_or(ChosenCandidate(h, s(i + 1) - s(i))));
        for (std::size_t j = s(i); j < s(i + 1); ++j)
            for (int r = 0; r < h; ++r)
                if (i + r < m && (hhat[j - s(i)] >> r & 1)) rows[i + r] |= 1u << j;
    }
    return rows;
}

TEST(Stc, SubmatrixAndColumnLayoutAreTheDocumentedOnes) {
    // SplitMix64 from (h << 48) | (w << 32) | k, low h bits, first and last row set.
    EXPECT_EQ(Submatrix(7, 3, 5), (std::vector<std::uint32_t>{0x51, 0x5b, 0x6d}));
    EXPECT_EQ(Submatrix(8, 2, ChosenCandidate(8, 2)), (std::vector<std::uint32_t>{0x9f, 0xcb}));
    const auto code = Code::Make(40, 8, 7);
    std::vector<std::uint8_t> parities;
    for (int i = 0; i < 40; ++i) parities.push_back("1011001011"[i % 10] - '0');
    EXPECT_EQ(Read(*code, parities), (std::vector<std::uint8_t>{0, 0, 0, 1, 0, 1, 1, 0}));

    std::mt19937_64 rng(5);
    for (int round = 0; round < 300; ++round) {
        const std::size_t n = 1 + rng() % 32, m = 1 + rng() % n;
        const auto candidate = round % 2 ? std::optional<std::uint32_t>(rng() % 100) : std::nullopt;
        const auto c = Code::Make(n, m, 1 + static_cast<int>(rng() % kMaxHeight), candidate);
        ASSERT_TRUE(c);
        const auto rows = DenseRows(*c, candidate);
        std::vector<std::uint8_t> y(n);
        std::uint32_t bits = 0;
        for (std::size_t j = 0; j < n; ++j) bits |= static_cast<std::uint32_t>(y[j] = rng() & 1) << j;
        const auto message = Read(*c, y);
        for (std::size_t i = 0; i < m; ++i)
            ASSERT_EQ(message[i], std::popcount(rows[i] & bits) & 1) << "n " << n << " m " << m << " row " << i;
    }
}

TEST(Stc, ParametersOutOfRangeAndBadInputsAreRefused) {
    EXPECT_FALSE(Code::Make(10, 11, 7));
    EXPECT_FALSE(Code::Make(10, 5, 0));
    EXPECT_FALSE(Code::Make(10, 5, kMaxHeight + 1));
    EXPECT_FALSE(Code::Make(kMaxBlockLength + 1, 5, 7));
    const auto code = Code::Make(64, 16, 7);
    Cover c = MakeCover(64, 16, 0, 1);
    std::vector<std::uint8_t> stego(64, 7), tooShort(15);
    Embedder embedder;
    EXPECT_EQ(embedder.embed(*code, c.parities, c.costs, tooShort, stego).status, Status::InvalidInput);
    EXPECT_FALSE(Extract(*code, c.parities, tooShort));
    for (const float bad : {std::nanf(""), -1.0f, 2 * kMaxCost, -kWet}) {
        Cover b = c;
        b.costs[40] = bad;
        EXPECT_EQ(embedder.embed(*code, b.parities, b.costs, b.message, stego).status, Status::InvalidInput);
        for (std::size_t j = 0; j < 64; ++j) ASSERT_EQ(stego[j], c.parities[j] & 1);
    }
    std::vector<std::uint8_t> out(16);
    EXPECT_FALSE(ExtractAll({7, 0}, c.parities, out));
    EXPECT_FALSE(ExtractAll({7, 1024}, std::span(c.parities).first(8), out));
}

// Every flip pattern of tiny blocks: the embedder's cost is the least over
// all stego vectors with the message as syndrome, and infeasible exactly when
// none exists.
TEST(Stc, EmbeddingIsOptimalOnTinyBlocks) {
    std::mt19937_64 rng(11);
    Embedder embedder(Path::Portable);
    int infeasible = 0;
    for (int round = 0; round < 400; ++round) {
        const std::size_t n = 1 + rng() % 14, m = 1 + rng() % n;
        const int h = 1 + static_cast<int>(rng() % 6);
        const std::uint32_t candidate = rng() % 100;
        const auto code = Code::Make(n, m, h, candidate);
        const Cover c = MakeCover(n, m, round % 3 == 0 ? 0.4 : 0.0, rng(), true);
        const auto rows = DenseRows(*code, candidate);
        std::uint32_t cover = 0, wanted = 0;
        for (std::size_t j = 0; j < n; ++j) cover |= static_cast<std::uint32_t>(c.parities[j] & 1) << j;
        for (std::size_t i = 0; i < m; ++i) wanted |= static_cast<std::uint32_t>(c.message[i]) << i;
        double best = INFINITY;
        for (std::uint32_t flips = 0; flips < (1u << n); ++flips) {
            std::uint32_t syndrome = 0;
            for (std::size_t i = 0; i < m; ++i)
                syndrome |= static_cast<std::uint32_t>(std::popcount(rows[i] & (cover ^ flips)) & 1) << i;
            if (syndrome != wanted) continue;
            double cost = 0;
            for (std::size_t j = 0; j < n; ++j)
                if (flips >> j & 1) cost += c.costs[j];
            best = std::min(best, cost);
        }
        std::vector<std::uint8_t> stego(n);
        const EmbedResult r = embedder.embed(*code, c.parities, c.costs, c.message, stego);
        if (std::isinf(best)) {
            ++infeasible;
            EXPECT_EQ(r.status, Status::Infeasible) << "round " << round;
        } else {
            ASSERT_EQ(r.status, Status::Ok) << "round " << round;
            EXPECT_EQ(r.cost, best) << "round " << round;
            EXPECT_EQ(Read(*code, stego), c.message);
        }
    }
    EXPECT_GT(infeasible, 10);
}

// Many shapes, edges included: one bit, half rate, full rate, widths that do
// not divide, every height. The message comes back, wet elements stay, and
// the reported cost and count are those of the changes made.
TEST(Stc, MessagesComeBackAndWetElementsNeverChange) {
    std::mt19937_64 rng(3);
    Embedder embedder;
    int ok = 0, rounds = 0;
    for (const std::size_t n : {1, 2, 7, 64, 333, 1000, 4099}) {
        for (const std::size_t m : {std::size_t{1}, n / 2, n - n / 3, n, 1 + rng() % n}) {
            for (int h = kMinHeight; h <= kMaxHeight; h += 1 + (n > 1000)) {
                if (m == 0) continue;
                ++rounds;
                const auto code = Code::Make(n, m, h, rng() % 100);
                const Cover c = MakeCover(n, m, 0.1, rng());
                std::vector<std::uint8_t> stego(n);
                const EmbedResult r = embedder.embed(*code, c.parities, c.costs, c.message, stego);
                double cost = 0;
                std::size_t changes = 0;
                for (std::size_t j = 0; j < n; ++j) {
                    if (stego[j] == (c.parities[j] & 1)) continue;
                    ASSERT_FALSE(std::isinf(c.costs[j])) << "wet element " << j << " changed";
                    cost += c.costs[j];
                    ++changes;
                }
                if (r.status == Status::Infeasible) {
                    EXPECT_EQ(changes, 0u);
                    continue;
                }
                ASSERT_EQ(r.status, Status::Ok);
                ++ok;
                EXPECT_EQ(Read(*code, stego), c.message) << "n " << n << " m " << m << " h " << h;
                EXPECT_NEAR(r.cost, cost, 1e-9 * cost);
                EXPECT_EQ(r.changes, changes);
            }
        }
    }
    EXPECT_GT(ok, rounds * 3 / 4); // only full-rate blocks with wet elements may fail
}

TEST(Stc, InfeasibleMessagesAreReported) {
    const auto code = Code::Make(500, 100, 8);
    Cover c = MakeCover(500, 100, 0, 4);
    c.costs.assign(500, kWet);
    std::vector<std::uint8_t> stego(500);
    Embedder embedder;
    // All wet: only the message the cover carries already.
    c.message = Read(*code, c.parities);
    EXPECT_EQ(embedder.embed(*code, c.parities, c.costs, c.message, stego).status, Status::Ok);
    c.message[37] ^= 1;
    EXPECT_EQ(embedder.embed(*code, c.parities, c.costs, c.message, stego).status, Status::Infeasible);

    // Only the tail wet: the last bit cannot change. EmbedAll names the block.
    std::fill(c.costs.begin(), c.costs.begin() + 450, 1.0f);
    c.message = Read(*code, c.parities);
    c.message[99] ^= 1;
    EXPECT_EQ(embedder.embed(*code, c.parities, c.costs, c.message, stego).status, Status::Infeasible);
    std::vector<std::uint8_t> parities = MakeCover(1500, 300, 0, 5).parities, message(300), all(1500);
    std::vector<float> costs(1500, 1.0f);
    std::copy(c.parities.begin(), c.parities.end(), parities.begin() + 500);
    std::copy(c.costs.begin(), c.costs.end(), costs.begin() + 500);
    std::copy(c.message.begin(), c.message.end(), message.begin() + 100);
    const EmbedResult r = EmbedAll({8, 500}, parities, costs, message, all);
    EXPECT_EQ(r.status, Status::Infeasible);
    EXPECT_EQ(r.block, 1u);
    for (std::size_t j = 0; j < all.size(); ++j) ASSERT_EQ(all[j], parities[j] & 1);
}

// Only message bit 0's columns reach the first row: without the extra head
// columns about one such block in 200 was infeasible with 10 % wet elements.
TEST(Stc, HalfRateBlocksWithTenPercentWetAreFeasible) {
    const std::size_t n = 1000 * 256, m = n / 2;
    const Cover c = MakeCover(n, m, 0.1, 12);
    std::vector<std::uint8_t> stego(n);
    const EmbedResult r = EmbedAll({10, 256}, c.parities, c.costs, c.message, stego);
    EXPECT_EQ(r.status, Status::Ok) << "block " << r.block;
}

TEST(Stc, EveryPathGivesTheSameBits) {
    std::mt19937_64 rng(8);
    for (int h = kMinHeight; h <= kMaxHeight; ++h) {
        for (const double wet : {0.0, 0.3}) {
            const std::size_t n = 600 + rng() % 900, m = 1 + rng() % (n / 2);
            const auto code = Code::Make(n, m, h, rng() % 100);
            const Cover c = MakeCover(n, m, wet, rng());
            Embedder portable(Path::Portable);
            std::vector<std::uint8_t> want(n), got(n);
            const EmbedResult expected = portable.embed(*code, c.parities, c.costs, c.message, want);
            for (const Path path : {Path::Sse2, Path::Avx2, Path::Avx512}) {
                if (!PathAvailable(path)) continue;
                Embedder embedder(path);
                const EmbedResult r = embedder.embed(*code, c.parities, c.costs, c.message, got);
                EXPECT_EQ(r.status, expected.status) << "h " << h;
                EXPECT_EQ(r.cost, expected.cost) << "h " << h;
                EXPECT_EQ(got, want) << "h " << h;
            }
        }
    }
}

TEST(Stc, PartitionCoversEverythingWithinBounds) {
    std::mt19937_64 rng(2);
    for (int round = 0; round < 2000; ++round) {
        const bool small = round % 2;
        const std::size_t n = 1 + rng() % (small ? 200 : 100'000'000), m = rng() % (n + 1);
        const std::size_t max = 1 + rng() % (small ? 50 : kMaxBlockLength);
        const auto blocks = Partition(n, m, max);
        ASSERT_EQ(blocks.size(), (n + max - 1) / max);
        std::size_t first = 0, firstBit = 0;
        for (const Block &b : blocks) {
            ASSERT_EQ(b.first, first);
            ASSERT_EQ(b.firstBit, firstBit);
            ASSERT_LE(b.length, max);
            ASSERT_LE(b.bits, b.length);
            first += b.length;
            firstBit += b.bits;
        }
        ASSERT_EQ(first, n);
        ASSERT_EQ(firstBit, m);
    }
}

TEST(Stc, WholePayloadsComeBackWhateverTheThreadCount) {
    const std::size_t n = 300'000, m = 70'001;
    const Cover c = MakeCover(n, m, 0.1, 6);
    const Params params{7, 20'000};
    std::vector<std::uint8_t> one(n), stego(n), message(m);
    const EmbedResult r1 = EmbedAll(params, c.parities, c.costs, c.message, one, 1);
    ASSERT_EQ(r1.status, Status::Ok);
    ASSERT_TRUE(ExtractAll(params, one, message));
    EXPECT_EQ(message, c.message);
    for (const unsigned threads : {2u, 7u, 0u}) {
        const EmbedResult r = EmbedAll(params, c.parities, c.costs, c.message, stego, threads);
        EXPECT_EQ(r.cost, r1.cost);
        EXPECT_EQ(r.changes, r1.changes);
        EXPECT_EQ(stego, one);
    }
    // Another height is another code.
    ASSERT_TRUE(ExtractAll({8, 20'000}, one, message));
    EXPECT_NE(message, c.message);
}

} // namespace
