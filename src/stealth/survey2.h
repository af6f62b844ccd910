// What every version-2 run learns first about a carrier: its geometry, the
// sound's effective shift, and (writer) how many bits each window can take.
#pragma once

#include "stealth/format2.h"
#include "stealth/scan2.h"
#include "stealth/stealth2.h"

#include <memory>
#include <optional>
#include <vector>

namespace kalmira::stealth {

// A counted survey kept for the run that follows on the same reader (a hide
// whose fit and recommended payload were checked first): that run takes it
// over instead of reading the carrier and working out its costs again. Valid
// only while the carrier stays as it was (the guarded runs hold its lock).
struct CountedSurvey {
    const ElementReader *reader = nullptr; // none: nothing kept
    std::uint64_t windowElements = 0;
    std::optional<format2::Geometry> geometry;
    Shift shift;
    std::vector<std::uint64_t> capacity;
    std::uint64_t dry = 0, wet = 0;
    WindowState window0;
};

class Survey {
public:
    enum class Status {
        Ok,
        Empty,
        FormatTooSmall,
        ReadError,
        Cancelled
    };

    // Without costs (reader) count() is not available.
    Survey(ElementReader &reader, const CostModel *costs, const Tuning2 &tuning);

    // Geometry and shift (sound: one pass over the samples); taken from the
    // cost model's counted survey when it was made on this reader.
    Status prepare(const std::function<bool(double)> &progress = {});
    // Costs of every window, last to first, so that window 0's stay in window0().
    Status count(const std::function<bool(double)> &progress = {});
    // Hands a counted survey over (this one is spent).
    void keep(CountedSurvey &out);

    const format2::Geometry &geometry() const { return *geometry_; }
    const Shift &shift() const { return shift_; }
    WindowScanner &scanner() { return *scanner_; }
    WindowState &window0() { return window0_; }

    // From count(): body bits window j may carry (writer's fit rule), dry body
    // elements (lower bound), wet elements of the carrier.
    const std::vector<std::uint64_t> &capacity() const { return capacity_; }
    std::uint64_t dry() const { return dry_; }
    std::uint64_t wet() const { return wet_; }
    std::uint64_t largestPlain() const;
    std::uint64_t recommendedPlain() const;

private:
    ElementReader &reader_;
    const CostModel *costs_;
    Tuning2 tuning_;
    std::optional<format2::Geometry> geometry_;
    Shift shift_;
    std::unique_ptr<WindowScanner> scanner_;
    WindowState window0_;
    std::vector<std::uint64_t> capacity_;
    std::uint64_t dry_ = 0, wet_ = 0;
    CountedSurvey *adopted_ = nullptr; // count() takes its capacities and window 0
};

// Fills the facts a survey found (elements, dry, wet, shift).
void FillFacts(Survey &survey, ElementFacts &facts);

} // namespace kalmira::stealth
