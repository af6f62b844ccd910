// Version 2 of the stealth format over an element carrier (elements.h):
// content-adaptive +-1 changes chosen by a block coder, nothing at fixed
// places, memory bounded by the window size. The file formats hand in an
// ElementReader / ElementWriter; the costs are the writer's choice and come
// in through CostModel. Result types extend version 1's (stealth.h).
#pragma once

#include "stealth/elements.h"
#include "stealth/stealth.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace kalmira::stealth {

struct CountedSurvey;

// A stripe of rows handed to the cost function with `halo` rows of context
// above and below; rows beyond the carrier's edges are mirrored (row -1 is
// row 1, row R is row R - 2, and so on periodically).
struct CostStripe {
    const ElementShape &shape;
    std::uint64_t firstRow = 0, rows = 0; // the stripe
    std::uint64_t halo = 0;
    std::span<const std::int32_t> values; // halo + rows + halo rows of rowValues() values
    std::span<const std::uint8_t> locked; // one per element of the stripe's own rows; empty without alpha
    int shift = 0;                        // sound: the effective shift t
};

// The writer's costs (without a function: the same cost everywhere). `costs`
// fills rows * width costs of the stripe's own
// elements, +infinity for elements that must not change; a cost must not depend
// on where stripes begin (only on the rows within haloRows). It runs on several
// threads at once. The format adds the wet elements it needs itself (locked
// pixels, elements that can move in neither direction, the shift's anchor).
struct CostModel {
    std::uint64_t haloRows = 0;
    std::function<void(const CostStripe &stripe, std::span<float> costs)> costs;
    // Optional: whether a picture was once a JPEG (reported by Capacity2).
    std::function<bool(ElementReader &reader)> jpegOrigin;
    // Optional: these costs already counted on the carrier (Capacity2's
    // `keep`); the next survey on the same reader starts from them.
    std::shared_ptr<CountedSurvey> counted;
};

// Tuning beyond version 1's: the window size is the format's (only tests
// lower it, carriers made so are unreadable otherwise); threads and the body
// code's height are the writer's choice.
struct Tuning2 : Tuning {
    Tuning2() = default;
    Tuning2(const Tuning &t) : Tuning(t) {} // NOLINT: the guarded runs take version 1's tuning
    std::uint64_t windowElements = std::uint64_t{1} << 24;
    unsigned threads = 0; // 0: one per core
    int bodyHeight = 0;   // outside the coder's range (0): its default
};

// Facts beyond version 1's results.
struct ElementFacts {
    std::uint64_t elements = 0;    // N
    std::uint64_t dryElements = 0; // body elements the writer may change (a lower bound)
    std::uint64_t wetElements = 0; // elements of the whole carrier that must not change
    int shift = 0;                 // sound: the effective shift t
    // CarrierUnsuitable: window 0 cannot hold the salt and head sets (or one
    // stripe alone is larger than a window: rows of over 2^18 pixels)
    bool formatTooSmall = false;
};

struct Capacity2Result : CapacityResult, ElementFacts {};
// usableBytes counts colour values (pictures) or samples. With `keep` the
// survey is kept there for a hide that follows (CostModel::counted).
Capacity2Result Capacity2(ElementReader &reader, const CostModel &costs, const Tuning2 &tuning = {},
                          CountedSurvey *keep = nullptr);

// Capacity2 as the programs report it (Capacity(path) on an open carrier).
CapacityResult CarrierCapacity(ElementReader &reader, const CostModel &costs, const Tuning2 &tuning = {},
                               CountedSurvey *keep = nullptr);

struct Hide2Result : HideResult, ElementFacts {
    std::uint64_t changedElements = 0;
    int bodyHeight = 0;
    bool infeasible = false; // a code block found no change set (TooSmall, or IoError after a window was written)
};

// Cancel is honoured until the first window is handed to `writer`.
Hide2Result Hide2(ElementReader &reader, ElementWriter &writer, std::string_view password, Kind kind,
                  const std::string &storedName, const HideSource &source, const CostModel &costs,
                  const Progress &progress = {}, const Tuning2 &tuning = {});

// Where version 1 can live (BMP, WAV): its extraction, run whenever version 2's
// head does not open, so that no data and a wrong password cost the same.
using Version1Attempt = std::function<ExtractResult()>;

struct Extract2Result : ExtractResult {
    int version = 0; // the version that opened: 1 or 2, 0 when none
};
Extract2Result Extract2(ElementReader &reader, std::string_view password, Sink &sink,
                        const Version1Attempt &version1 = {}, const Progress &progress = {},
                        const Tuning2 &tuning = {});

} // namespace kalmira::stealth
