// Version 2 over in-memory carriers: round trips, what may change, damage,
// refusals and cancel.
#include "stealth/coder2.h"
#include "stealth/format2.h"
#include "stealth/orders2.h"
#include "stealth/standard_costs.h"
#include "stealth/stealth2.h"
#include "stealth/survey2.h"
#include "stealth2_carriers.h"

#include <gtest/gtest.h>

using namespace kalmira;
using namespace kalmira::stealth;
using namespace kalmira::test;

namespace {

const std::string kPassword = "Gr\xFCn-Tee!";

Tuning2 Fast(std::uint64_t window = format2::kWindowMax) {
    Tuning2 t;
    t.kdfOps = 1;
    t.kdfMemBytes = 8192;
    t.windowElements = window;
    return t;
}

std::vector<std::uint8_t> Data(std::size_t n, std::uint32_t seed = 1) {
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> v(n);
    for (auto &b : v) b = static_cast<std::uint8_t>(gen());
    return v;
}

Hide2Result HideInto(MemoryElements &m, const CostModel &costs, const std::vector<std::uint8_t> &data, const Tuning2 &t,
                     const Progress &progress = {}) {
    return Hide2(m, m, kPassword, Kind::File, "x.bin", {"", data}, costs, progress, t);
}

Extract2Result ExtractFrom(MemoryElements &m, MemorySink &sink, const Tuning2 &t, std::string_view password = kPassword,
                           const Version1Attempt &v1 = {}) {
    return Extract2(m, password, sink, v1, {}, t);
}

int TrailingZeros(std::int32_t s) { return std::countr_zero(static_cast<std::uint32_t>(s)); }

// The effective shift and its anchor, worked out here independently.
std::pair<int, std::int64_t> ShiftOf(const ElementCarrier &c, const std::vector<std::int32_t> &v) {
    int least = 32;
    std::int64_t first = -1;
    for (std::size_t i = 0; i < v.size(); ++i)
        if (v[i] != 0 && TrailingZeros(v[i]) < least) least = TrailingZeros(v[i]), first = static_cast<std::int64_t>(i);
    const int cap = c.shape.bits - 8;
    return {least == 32 ? 0 : std::min(least, cap), least <= cap ? first : -1};
}

// Elements the format must never change, by the test's own rules.
std::vector<bool> WetElements(const ElementCarrier &c) {
    const std::uint64_t n = c.shape.elements();
    std::vector<bool> wet(static_cast<std::size_t>(n), false);
    const int ch = c.shape.channels;
    for (std::uint64_t e = 0; e < n; ++e) {
        if (c.shape.medium == Medium::Sound) {
            wet[e] = c.values[e] == 0;
            continue;
        }
        const auto *v = &c.values[e * ch];
        const bool low = *std::min_element(v, v + ch) == 0, high = *std::max_element(v, v + ch) == c.shape.maxValue;
        wet[e] = (low && high) || (!c.alpha.empty() && c.alpha[e] == 0);
    }
    if (const auto anchor = ShiftOf(c, c.values).second; anchor >= 0) wet[static_cast<std::size_t>(anchor)] = true;
    return wet;
}

struct Case {
    const char *name;
    ElementCarrier (*make)();
    std::uint64_t window;
};

const Case kCases[] = {
    {"Grey8", [] { return Picture(256, 200, 1, 8, false); }, format2::kWindowMax},
    {"Rgb8", [] { return Picture(240, 220, 3, 8, false); }, format2::kWindowMax},
    {"Rgba16Transparent", [] { return Picture(230, 240, 3, 16, true); }, format2::kWindowMax},
    {"GreyAlpha8", [] { return Picture(250, 200, 1, 8, true); }, format2::kWindowMax},
    {"Rgb8ThreeWindows", [] { return Picture(321, 403, 3, 8, false); }, 65536},
    {"Grey16TwoWindows", [] { return Picture(300, 300, 1, 16, false); }, 65536},
    {"Sound8Mono", [] { return Sound(60000, 1, 8); }, format2::kWindowMax},
    {"Sound16StereoSilentEnd", [] { return Sound(40000, 2, 16, 0.7); }, format2::kWindowMax},
    {"Sound24LowByteZero", [] { return Sound(50000, 1, 24, 0.9, 8); }, format2::kWindowMax},
    {"Sound16StereoThreeWindows", [] { return Sound(90000, 2, 16, 0.8); }, 65536},
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

class Stealth2RoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(Stealth2RoundTrip, DataComeBackAndOnlyDryElementsMoveByOneStep) {
    const ElementCarrier cover = GetParam().make();
    const Tuning2 t = Fast(GetParam().window);
    MemoryElements m = cover.make();
    CheckedCosts costs;
    costs.live = &m;
    const CostModel model = costs.model(cover.shape.medium == Medium::Sound ? 81 : 9); // the real costs' context
    const auto cap = Capacity2(m, model, t);
    ASSERT_EQ(cap.outcome, CapacityResult::Outcome::Ok);
    ASSERT_GT(cap.recommendedPayload, 100u);
    EXPECT_LE(cap.recommendedPayload, cap.largestPayload);
    EXPECT_LE(cap.dryElements + cap.wetElements, cap.elements);

    const auto data = Data(cap.recommendedPayload / 3);
    const Hide2Result h = HideInto(m, model, data, t);
    ASSERT_EQ(h.outcome, HideResult::Outcome::Written);
    EXPECT_EQ(costs.faults, 0) << "cost stripes without their context rows";

    const auto [shift, anchor] = ShiftOf(cover, cover.values);
    EXPECT_EQ(h.shift, shift);
    EXPECT_EQ(ShiftOf(cover, m.values()).first, shift) << "the reader finds the same shift";
    const std::vector<bool> wet = WetElements(cover);
    const int ch = cover.shape.channels;
    const std::int32_t step = cover.shape.medium == Medium::Sound ? 1 << shift : 1;
    std::uint64_t changed = 0;
    for (std::uint64_t e = 0; e < cover.shape.elements(); ++e) {
        const std::int32_t d = m.values()[e * ch] - cover.values[e * ch];
        for (int c = 1; c < ch; ++c) ASSERT_EQ(m.values()[e * ch + c] - cover.values[e * ch + c], d) << e;
        if (d == 0) continue;
        ++changed;
        ASSERT_EQ(std::abs(d), step) << e;
        ASSERT_FALSE(wet[e]) << "wet element " << e << " changed";
    }
    EXPECT_EQ(changed, h.changedElements);
    EXPECT_EQ(m.alpha(), cover.alpha);

    for (unsigned threads : {1u, 3u}) { // the same result on any number of cores
        Tuning2 tt = t;
        tt.threads = threads;
        MemorySink sink(1 << 20);
        const Extract2Result e = ExtractFrom(m, sink, tt);
        ASSERT_EQ(e.outcome, ExtractResult::Outcome::Extracted);
        EXPECT_EQ(e.version, 2);
        EXPECT_EQ(e.facts.storedName, "x.bin");
        EXPECT_EQ(sink.data(), data);
    }
}

INSTANTIATE_TEST_SUITE_P(Carriers, Stealth2RoundTrip, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Stealth2, LargestPayloadFitsAndOneByteMoreIsRefusedUntouched) {
    const ElementCarrier cover = Picture(240, 220, 3, 8, false);
    MemoryElements m = cover.make();
    CheckedCosts costs;
    const auto cap = Capacity2(m, costs.model(), Fast());
    const auto data = Data(cap.largestPayload - 5); // name "x.bin"
    const Hide2Result over = Hide2(m, m, kPassword, Kind::Message, "x.bin6", {"", data}, costs.model(), {}, Fast());
    EXPECT_EQ(over.outcome, HideResult::Outcome::TooSmall);
    EXPECT_EQ(m.values(), cover.values);
    ASSERT_EQ(HideInto(m, costs.model(), data, Fast()).outcome, HideResult::Outcome::Written);
    MemorySink sink(1 << 20);
    ASSERT_EQ(ExtractFrom(m, sink, Fast()).outcome, ExtractResult::Outcome::Extracted);
    EXPECT_EQ(sink.data(), data);
}

// The tool checks the fit before it hides: the hide takes that survey over,
// so the carrier's costs are worked out once (later windows are read again
// only to be coded); a survey made on another reader is not taken.
TEST(Stealth2, AHideTakesOverTheSurveyOfItsCapacity) {
    for (std::uint64_t window : {format2::kWindowMax, std::uint64_t{65536}}) {
        SCOPED_TRACE(window);
        const ElementCarrier cover = Picture(321, 403, 3, 8, false);
        const Tuning2 t = Fast(window);
        MemoryElements plain = cover.make(), kept = cover.make(), other = cover.make();
        CheckedCosts costs;
        const auto data = Data(3000);
        ASSERT_EQ(HideInto(plain, costs.model(), data, t).outcome, HideResult::Outcome::Written);
        const int hideAlone = costs.calls.exchange(0);

        CostModel model = costs.model();
        model.counted = std::make_shared<CountedSurvey>();
        ASSERT_EQ(CarrierCapacity(kept, model, t, model.counted.get()).outcome, CapacityResult::Outcome::Ok);
        const int survey = costs.calls.exchange(0);
        ASSERT_GT(survey, 0);
        ASSERT_EQ(HideInto(kept, model, data, t).outcome, HideResult::Outcome::Written);
        EXPECT_EQ(costs.calls.exchange(0), hideAlone - survey);

        model.counted = std::make_shared<CountedSurvey>();
        ASSERT_EQ(Capacity2(plain, model, t, model.counted.get()).outcome, CapacityResult::Outcome::Ok);
        costs.calls = 0;
        ASSERT_EQ(HideInto(other, model, data, t).outcome, HideResult::Outcome::Written);
        EXPECT_EQ(costs.calls, hideAlone);
        for (MemoryElements *m : {&kept, &other}) {
            MemorySink sink(1 << 20);
            ASSERT_EQ(ExtractFrom(*m, sink, t).outcome, ExtractResult::Outcome::Extracted);
            EXPECT_EQ(sink.data(), data);
        }
    }
}

// The real costs and coder at the largest payload the writer's fit rule allows.
TEST(Stealth2, StandardCostsCarryTheLargestPayload) {
    for (const ElementCarrier &cover : {Picture(300, 260, 3, 8, true), Sound(60000, 2, 16, 0.7)}) {
        MemoryElements m = cover.make();
        const CostModel costs = StandardCosts(cover.shape);
        const auto cap = Capacity2(m, costs, Fast());
        ASSERT_EQ(cap.outcome, CapacityResult::Outcome::Ok);
        ASSERT_GT(cap.largestPayload, 1000u);
        const auto data = Data(cap.largestPayload - 5);
        ASSERT_EQ(HideInto(m, costs, data, Fast()).outcome, HideResult::Outcome::Written);
        MemorySink sink(1 << 20);
        ASSERT_EQ(ExtractFrom(m, sink, Fast()).outcome, ExtractResult::Outcome::Extracted);
        EXPECT_EQ(sink.data(), data);
    }
}

// The public salt elements change at the body's rate, small payload or large:
// a set of its own rate would tell a carrier with data from one without.
TEST(Stealth2, SaltChangesAtTheBodysRateAndNeighboursMoveTogether) {
    const ElementCarrier cover = Picture(512, 512, 3, 8, false);
    const CostModel costs = StandardCosts(cover.shape);
    for (const double bitsPerValue : {0.02, 0.12}) {
        MemoryElements m = cover.make();
        const auto bytes = static_cast<std::size_t>(bitsPerValue * 512 * 512 * 3 / 8);
        ASSERT_EQ(HideInto(m, costs, Data(bytes), Fast()).outcome, HideResult::Outcome::Written);
        const format2::Geometry g = *format2::Geometry::Make(cover.shape);
        double salt = 0, rest = 0;
        for (std::uint64_t e = 0; e < cover.shape.elements(); ++e)
            if (m.values()[e * 3] != cover.values[e * 3]) (IsSaltElement(g, e) ? salt : rest) += 1;
        const double saltRate = salt / double(g.saltCount()),
                     restRate = rest / double(cover.shape.elements() - g.saltCount());
        EXPECT_GT(saltRate, restRate / 2) << bitsPerValue;
        EXPECT_LT(saltRate, restRate * 2) << bitsPerValue;

        // Changed neighbours move the same way, so the difference between them
        // stays (at random directions half the pairs would differ).
        int same = 0, opposite = 0;
        for (std::uint64_t e = 0; e + 1 < cover.shape.elements(); ++e) {
            if ((e + 1) % 512 == 0) continue;
            const std::int32_t a = m.values()[e * 3] - cover.values[e * 3],
                               b = m.values()[(e + 1) * 3] - cover.values[(e + 1) * 3];
            if (a != 0 && b != 0) ++(a == b ? same : opposite);
        }
        EXPECT_GT(same, 8 * opposite) << bitsPerValue;
    }
}

TEST(Stealth2, WrongPasswordAndUntouchedCarrierLookTheSameAndVersionOneIsTried) {
    const ElementCarrier cover = Sound(45000, 1, 16);
    MemoryElements untouched = cover.make(), stego = cover.make();
    CheckedCosts costs;
    ASSERT_EQ(HideInto(stego, costs.model(), Data(500), Fast()).outcome, HideResult::Outcome::Written);
    int attempts = 0;
    const Version1Attempt v1 = [&] {
        ++attempts;
        ExtractResult r;
        r.outcome = ExtractResult::Outcome::NoDataOrWrongPassword;
        return r;
    };
    MemorySink sink(1 << 20);
    const auto wrong = ExtractFrom(stego, sink, Fast(), "Gr\xFCn-Tee?", v1);
    const auto none = ExtractFrom(untouched, sink, Fast(), kPassword, v1);
    EXPECT_EQ(wrong.outcome, ExtractResult::Outcome::NoDataOrWrongPassword);
    EXPECT_EQ(none.outcome, ExtractResult::Outcome::NoDataOrWrongPassword);
    EXPECT_EQ(wrong.version, 0);
    EXPECT_EQ(attempts, 2);
    EXPECT_TRUE(sink.data().empty());
    // An opened version 2 never asks version 1; a version-1 result comes through.
    ASSERT_EQ(ExtractFrom(stego, sink, Fast(), kPassword, v1).outcome, ExtractResult::Outcome::Extracted);
    EXPECT_EQ(attempts, 2);
    const auto one = ExtractFrom(untouched, sink, Fast(), kPassword, [] {
        ExtractResult r;
        r.outcome = ExtractResult::Outcome::Extracted;
        return r;
    });
    EXPECT_EQ(one.outcome, ExtractResult::Outcome::Extracted);
    EXPECT_EQ(one.version, 1);
}

// The first body element of window 0, found as a reader would: salt, key, order.
std::uint64_t FirstBodyElement(const MemoryElements &m, const Tuning2 &t) {
    const auto g = *format2::Geometry::Make(m.shape(), t.windowElements);
    const auto salt = SaltSequence(g);
    std::vector<std::uint8_t> parities(salt.size()), bits(format2::kSaltBits);
    const int ch = m.shape().channels;
    for (std::size_t i = 0; i < salt.size(); ++i) {
        const std::uint64_t e = g.element(0, salt[i]);
        for (int c = 0; c < ch; ++c) parities[i] ^= m.values()[e * ch + c] & 1;
    }
    coder::Extract(*coder::Code::Make(salt.size(), bits.size(), format2::kHeadHeight), parities, bits);
    std::uint8_t bytes[16] = {};
    for (std::size_t i = 0; i < bits.size(); ++i) bytes[i / 8] |= static_cast<std::uint8_t>(bits[i] << (i % 8));
    format2::Keys keys;
    EXPECT_TRUE(format2::DeriveKeys(kPassword, bytes, t, keys));
    std::uint64_t local = 0;
    BodyOrder(g, keys, 0).positions(0, 1, &local);
    return g.element(0, local);
}

TEST(Stealth2, ChangedParityInTheBodyIsDamageInTheSaltNoData) {
    const ElementCarrier cover = Picture(256, 200, 3, 8, false);
    MemoryElements m = cover.make();
    CheckedCosts costs;
    ASSERT_EQ(HideInto(m, costs.model(), Data(1000), Fast()).outcome, HideResult::Outcome::Written);
    const auto flip = [&](std::uint64_t e) { m.values()[e * 3] ^= 1; };
    const std::uint64_t body = FirstBodyElement(m, Fast());
    flip(body);
    MemorySink sink(1 << 20);
    const auto damaged = ExtractFrom(m, sink, Fast());
    EXPECT_EQ(damaged.outcome, ExtractResult::Outcome::Damaged);
    EXPECT_EQ(damaged.facts.storedName, ""); // the name's chunk did not authenticate
    EXPECT_EQ(damaged.facts.length, 1000u);
    EXPECT_TRUE(sink.data().empty());
    flip(body);
    const auto g = *format2::Geometry::Make(m.shape());
    flip(g.element(0, SaltSequence(g)[0]));
    EXPECT_EQ(ExtractFrom(m, sink, Fast()).outcome, ExtractResult::Outcome::NoDataOrWrongPassword);
}

TEST(Stealth2, SameDataTwiceGiveDifferentCarriers) {
    const ElementCarrier cover = Picture(256, 200, 1, 8, false);
    MemoryElements a = cover.make(), b = cover.make();
    CheckedCosts costs;
    const auto data = Data(1000);
    ASSERT_EQ(HideInto(a, costs.model(), data, Fast()).outcome, HideResult::Outcome::Written);
    ASSERT_EQ(HideInto(b, costs.model(), data, Fast()).outcome, HideResult::Outcome::Written);
    std::size_t same = 0;
    for (std::size_t i = 0; i < a.values().size(); ++i)
        same += a.values()[i] != cover.values[i] && a.values()[i] == b.values()[i];
    EXPECT_LT(same, a.values().size() / 100); // chance agreement only
}

TEST(Stealth2, CancelCountsUntilTheFirstWindowIsWritten) {
    const ElementCarrier cover = Picture(321, 403, 1, 8, false);
    MemoryElements m = cover.make();
    CheckedCosts costs;
    double last = 0;
    const Progress lateCancel = [&](double f) {
        EXPECT_GE(f, last);
        last = f;
        return f < 0.3; // the check before window 0 is written
    };
    EXPECT_EQ(HideInto(m, costs.model(), Data(1000), Fast(65536), lateCancel).outcome, HideResult::Outcome::Cancelled);
    EXPECT_EQ(m.values(), cover.values);
    const Progress tooLate = [](double f) { return f < 0.5; }; // after window 0 of three
    EXPECT_EQ(HideInto(m, costs.model(), Data(1000), Fast(65536), tooLate).outcome, HideResult::Outcome::Written);
    EXPECT_NE(m.values(), cover.values);
}

TEST(Stealth2, CarriersTooSmallForTheFormatAreRefusedAndVersionOneAsked) {
    const ElementCarrier cover = Picture(150, 150, 3, 8, false);
    MemoryElements m = cover.make();
    CheckedCosts costs;
    const auto cap = Capacity2(m, costs.model(), Fast());
    EXPECT_EQ(cap.outcome, CapacityResult::Outcome::CarrierUnsuitable);
    EXPECT_TRUE(cap.formatTooSmall);
    const Hide2Result h = HideInto(m, costs.model(), Data(10), Fast());
    EXPECT_EQ(h.outcome, HideResult::Outcome::CarrierUnsuitable);
    EXPECT_TRUE(h.formatTooSmall);
    EXPECT_EQ(m.values(), cover.values);
    int attempts = 0;
    MemorySink sink(100);
    const auto e = ExtractFrom(m, sink, Fast(), kPassword, [&] {
        ++attempts;
        return ExtractResult{};
    });
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(e.outcome, ExtractResult::Outcome::IoError); // what version 1 said
}

// A carrier that fails its reads from a given row on, or its writes.
class Failing : public MemoryElements {
public:
    using MemoryElements::MemoryElements;
    bool read(std::uint64_t first, std::uint64_t rows, std::span<std::int32_t> v, std::span<std::uint8_t> l) override {
        return first + rows <= failFrom && MemoryElements::read(first, rows, v, l);
    }
    bool apply(std::span<const Change> c) override { return !failWrites && MemoryElements::apply(c); }
    std::uint64_t failFrom = ~std::uint64_t{0};
    bool failWrites = false;
};

TEST(Stealth2, ReadAndWriteErrorsAreReported) {
    const ElementCarrier cover = Picture(256, 200, 3, 8, false);
    CheckedCosts costs;
    Failing m(cover.shape, cover.values);
    m.failWrites = true;
    const Hide2Result h = HideInto(m, costs.model(), Data(500), Fast());
    EXPECT_EQ(h.outcome, HideResult::Outcome::IoError);
    EXPECT_TRUE(h.carrierTouched);
    m.failWrites = false;
    ASSERT_EQ(HideInto(m, costs.model(), Data(500), Fast()).outcome, HideResult::Outcome::Written);
    m.failFrom = 150;
    MemorySink sink(1 << 20);
    EXPECT_EQ(ExtractFrom(m, sink, Fast()).outcome, ExtractResult::Outcome::IoError);
    EXPECT_EQ(HideInto(m, costs.model(), Data(500), Fast()).outcome, HideResult::Outcome::IoError);
    EXPECT_EQ(Capacity2(m, costs.model(), Fast()).outcome, CapacityResult::Outcome::IoError);
}

} // namespace
