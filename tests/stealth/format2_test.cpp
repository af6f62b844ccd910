// The arithmetic of version 2 where writer and reader must agree exactly:
// windows, the fixed sets, the share-out of the body bits, the orders.
#include "stealth/format2.h"
#include "stealth/orders2.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

using namespace kalmira::stealth;
using format2::Geometry;

namespace {

Geometry Make(const ElementShape &shape, std::uint64_t windowMax = format2::kWindowMax) {
    return *Geometry::Make(shape, windowMax);
}

TEST(Format2Geometry, WindowsTakeEveryElementOnceAndStayWithinTheirLimit) {
    struct Case {
        ElementShape shape;
        std::uint64_t windowMax;
        std::uint64_t windows;
    };
    const Case cases[] = {
        {PictureShape(300, 200, 3, 8, false), format2::kWindowMax, 1},
        {PictureShape(321, 403, 1, 16, false), 65536, 3}, // ceil(N/W) = 2 would leave window 0 over W
        {PictureShape(1000, 640, 3, 8, false), 64000, 10},
        {SoundShape(2, 100000, 16), 65536, 4},
        {SoundShape(6, 50000, 24), 100000, 4},
        {PictureShape(100, 1, 3, 8, false), 10, 1}, // one stripe cannot be split
    };
    for (const Case &c : cases) {
        const Geometry g = Make(c.shape, c.windowMax);
        SCOPED_TRACE(c.shape.width * 1000000 + c.shape.rows);
        EXPECT_EQ(g.windows(), c.windows);
        std::vector<std::uint8_t> seen(static_cast<std::size_t>(g.elements()), 0);
        for (std::uint64_t j = 0; j < g.windows(); ++j) {
            EXPECT_TRUE(g.windowSize(j) <= c.windowMax || g.windows() == g.stripes());
            EXPECT_LE(g.windowSize(j), g.windowSize(0));
            std::uint64_t last = 0;
            for (std::uint64_t l = 0; l < g.windowSize(j); ++l) {
                const std::uint64_t e = g.element(j, l);
                ASSERT_LT(e, g.elements());
                ASSERT_TRUE(l == 0 || e > last) << "element order inside a window";
                ASSERT_EQ(seen[e]++, 0);
                EXPECT_EQ((e / g.stripeElements()) % g.windows(), j);
                last = e;
            }
        }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<std::ptrdiff_t>(g.elements()));
    }
}

TEST(Format2Geometry, FixedSetsAndTheSmallestCarrier) {
    EXPECT_EQ(format2::SaltCount(40960), 4096u);
    EXPECT_EQ(format2::SaltCount(1 << 20), 16384u);
    EXPECT_EQ(format2::SaltCount(20000), 2500u);
    // N_s = 4096 needs 2 * 5 * 4096 elements in window 0; below, N_s = n0 / 8 never fits.
    EXPECT_TRUE(Make(PictureShape(40960, 1, 3, 8, false)).fitsFormat());
    EXPECT_FALSE(Make(PictureShape(40959, 1, 3, 8, false)).fitsFormat());
    EXPECT_FALSE(Make(SoundShape(1, 1000, 16)).fitsFormat());
    EXPECT_FALSE(Make(PictureShape(2000, 128, 3, 8, false), 100000).fitsFormat()); // a stripe over a window
    const Geometry g = Make(PictureShape(400, 300, 3, 8, false));
    EXPECT_EQ(g.bodyTotal(), g.elements() - 5 * g.saltCount());
    EXPECT_FALSE(Geometry::Make(PictureShape(0, 10, 3, 8, false)));
}

TEST(Format2BodyPlan, BitsAndPositionsAddUpExactly) {
    const Geometry g = Make(PictureShape(700, 997, 3, 8, false), 200000);
    ASSERT_GT(g.windows(), 2u);
    std::mt19937_64 gen(1);
    for (std::uint64_t bits : {std::uint64_t{0}, std::uint64_t{456}, g.bodyTotal() / 3, g.bodyTotal() / 2 + 5,
                               gen() % (g.bodyTotal() / 2)}) {
        const format2::BodyPlan plan(g, bits);
        EXPECT_TRUE(plan.consistent());
        std::uint64_t total = 0;
        for (std::uint64_t j = 0; j < g.windows(); ++j) {
            std::uint64_t pos = 0, wbits = 0;
            for (std::uint64_t i = 0; i < plan.blocks(j); ++i) {
                const format2::BodyBlock b = plan.block(j, i);
                EXPECT_EQ(b.first, pos);
                EXPECT_EQ(b.firstBit, wbits);
                EXPECT_LE(b.length, format2::kBlockMax);
                EXPECT_LE(b.bits, b.length);
                pos += b.length;
                wbits += b.bits;
            }
            EXPECT_EQ(pos, g.bodySize(j));
            EXPECT_EQ(wbits, plan.windowBits(j));
            total += wbits;
        }
        EXPECT_EQ(total, bits);
    }
    EXPECT_FALSE(format2::BodyPlan(g, g.bodyTotal() + 1).consistent());
}

TEST(Format2BodyPlan, LargestPayloadFitsEveryWindowAndNoMore) {
    const Geometry g = Make(PictureShape(500, 700, 3, 8, false), 100000);
    std::vector<std::uint64_t> cap;
    for (std::uint64_t j = 0; j < g.windows(); ++j) cap.push_back(g.bodySize(j) / (j == 1 ? 5 : 2));
    const std::uint64_t m = format2::LargestBodyBits(g, cap);
    EXPECT_EQ(m % 8, 0u);
    const auto fits = [&](std::uint64_t bits) {
        const format2::BodyPlan plan(g, bits);
        for (std::uint64_t j = 0; j < g.windows(); ++j)
            if (plan.windowBits(j) > cap[j]) return false;
        return true;
    };
    EXPECT_TRUE(fits(m));
    EXPECT_FALSE(fits(m + 64));
    for (std::uint64_t bits :
         {std::uint64_t{0}, std::uint64_t{8 * 17}, std::uint64_t{8 * 18}, std::uint64_t{8 * 70000}, m}) {
        const std::uint64_t plain = format2::PlainFor(bits);
        EXPECT_LE(format::BodyBytes(plain) * 8, std::max<std::uint64_t>(bits, 8 * 17));
        EXPECT_GT(format::BodyBytes(plain + 1) * 8, bits);
    }
}

TEST(Format2Info, RoundTripAndVersionsStayApart) {
    const format2::Info info{10, Kind::Message, 1024, (std::uint64_t{1} << 40) + 3};
    const auto block = format2::EncodeInfo(info);
    const auto back = format2::DecodeInfo(block.data());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->height, 10);
    EXPECT_EQ(back->kind, Kind::Message);
    EXPECT_EQ(back->nameBytes, 1024);
    EXPECT_EQ(back->dataBytes, info.dataBytes);
    EXPECT_FALSE(format::DecodeInfo(block.data())); // version 1's reader refuses version 2
    const auto v1 = format::EncodeInfo({3, Kind::File, 5, 100});
    EXPECT_TRUE(format::DecodeInfo(v1.data()));
    EXPECT_FALSE(format2::DecodeInfo(v1.data()));
    auto bad = block;
    bad[3] = 1; // unknown flag
    EXPECT_FALSE(format2::DecodeInfo(bad.data()));
}

void Fill(format2::Keys &k, std::uint8_t fill) {
    for (std::size_t i = 0; i < k.order.size(); ++i) k.order.data()[i] = static_cast<std::uint8_t>(fill + i);
}

TEST(Format2Orders, SaltHeadAndBodyPartitionWindowZero) {
    const Geometry g = Make(PictureShape(300, 250, 3, 8, false));
    format2::Keys keys, other;
    Fill(keys, 7);
    Fill(other, 8);
    const std::uint64_t n0 = g.windowSize(0);
    std::vector<int> role(static_cast<std::size_t>(n0), 0);
    const auto salt = SaltSequence(g);
    ASSERT_EQ(salt.size(), g.saltCount());
    for (const auto e : salt) role[e] += 1;
    const BodyOrder order(g, keys, 0);
    ASSERT_EQ(order.head().size(), g.headCount());
    for (const auto e : order.head()) role[e] += 10;
    std::vector<std::uint64_t> body(static_cast<std::size_t>(order.size()));
    order.positions(0, body.size(), body.data());
    for (const auto e : body) role[e] += 100;
    for (std::uint64_t e = 0; e < n0; ++e) {
        ASSERT_TRUE(role[e] == 1 || role[e] == 10 || role[e] == 100) << e;
        ASSERT_EQ(IsSaltElement(g, e), role[e] == 1) << e;
    }
    // Any block boundary finds its place in the body without a walk from the start.
    std::mt19937_64 gen(2);
    for (int t = 0; t < 50; ++t) {
        const std::uint64_t first = gen() % body.size(), n = std::min<std::uint64_t>(gen() % 5000, body.size() - first);
        std::vector<std::uint64_t> part(static_cast<std::size_t>(n));
        order.positions(first, part.size(), part.data());
        ASSERT_TRUE(std::equal(part.begin(), part.end(), body.begin() + static_cast<std::ptrdiff_t>(first)));
    }
    // The salt is public, the head and body keyed.
    EXPECT_NE(BodyOrder(g, other, 0).head(), order.head());
    EXPECT_EQ(SaltSequence(g), salt);
}

TEST(Format2Orders, LaterWindowsUseAllTheirElementsInAKeyedOrder) {
    const Geometry g = Make(SoundShape(2, 90000, 16), 65536);
    ASSERT_GT(g.windows(), 1u);
    format2::Keys keys, other;
    Fill(keys, 9);
    Fill(other, 10);
    const BodyOrder a(g, keys, 1), b(g, keys, 2);
    std::vector<std::uint64_t> pa(static_cast<std::size_t>(a.size())), pb(pa.size());
    ASSERT_EQ(a.size(), g.windowSize(1));
    a.positions(0, pa.size(), pa.data());
    b.positions(0, std::min(pb.size(), static_cast<std::size_t>(b.size())), pb.data());
    EXPECT_NE(pa, pb);
    std::sort(pa.begin(), pa.end());
    for (std::size_t i = 0; i < pa.size(); ++i) ASSERT_EQ(pa[i], i);
    EXPECT_NE(format2::WindowOrderKey(keys, 1), format2::WindowOrderKey(other, 1));
}

} // namespace
