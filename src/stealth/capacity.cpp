#include "carrier/classify.h"
#include "carrier/element_file.h"
#include "platform/binary_file.h"
#include "stealth/format.h"
#include "stealth/standard_costs.h"
#include "stealth/stealth.h"
#include "stealth/stealth2.h"

namespace kalmira::stealth {

// Version 1's capacity: what an older carrier of this layout may hold.
CapacityResult CapacityOf(const Layout &layout) {
    CapacityResult res;
    if (layout.problem != Unsuitable::None) {
        res.reason = layout.problem;
        res.outcome = CapacityResult::Outcome::CarrierUnsuitable;
        return res;
    }
    res.usableBytes = layout.usable();
    res.largestPayload = format::LargestPlain(res.usableBytes);
    res.outcome = CapacityResult::Outcome::Ok;
    return res;
}

bool MayHoldData(const std::string &carrierPath) {
    platform::BinaryFile file;
    if (!file.open(carrierPath, platform::BinaryFile::Mode::Read)) return false;
    // PNG, FLAC: only their whole decoding tells; the run does that.
    std::uint8_t head[8] = {};
    if (file.size() >= 8 && file.readAt(0, head, sizeof head) &&
        (carrier::IsPngStart(head, sizeof head) || carrier::IsFlacStart(head, sizeof head)))
        return true;
    const CapacityResult v1 = CapacityOf(ReadLayout(file));
    return v1.outcome == CapacityResult::Outcome::Ok && v1.largestPayload > 0;
}

CapacityResult Capacity(const std::string &carrierPath) {
    CapacityResult res;
    const carrier::ElementFile file = carrier::OpenElementFile(carrierPath, carrier::ElementAccess::Read);
    switch (file.outcome) {
    case carrier::ElementFile::Outcome::Ready: break;
    case carrier::ElementFile::Outcome::Unsuitable:
        res.outcome = CapacityResult::Outcome::CarrierUnsuitable;
        res.reason = file.reason;
        return res;
    case carrier::ElementFile::Outcome::IoError: return res;
    }
    return CarrierCapacity(*file.elements, StandardCosts(file.elements->shape()));
}

CapacityResult CarrierCapacity(ElementReader &reader, const CostModel &costs, const Tuning2 &tuning,
                               CountedSurvey *keep) {
    CapacityResult res = Capacity2(reader, costs, tuning, keep);
    // A carrier of the right kind that is merely too small holds nothing: the
    // fit rule words that as too small, not as the wrong kind of file.
    if (res.outcome == CapacityResult::Outcome::CarrierUnsuitable && res.reason == Unsuitable::None) {
        res.outcome = CapacityResult::Outcome::Ok;
        res.largestPayload = res.recommendedPayload = 0;
    }
    return res;
}

FitCheck CheckFit(const CapacityResult &cap, std::uint64_t payloadBytes) {
    FitCheck fit;
    fit.reason = cap.reason;
    fit.largestPayload = cap.largestPayload;
    fit.payloadBytes = payloadBytes;
    switch (cap.outcome) {
    case CapacityResult::Outcome::Ok:
        fit.outcome = payloadBytes <= cap.largestPayload ? FitCheck::Outcome::Fits : FitCheck::Outcome::TooSmall;
        break;
    case CapacityResult::Outcome::CarrierUnsuitable: fit.outcome = FitCheck::Outcome::CarrierUnsuitable; break;
    case CapacityResult::Outcome::IoError: fit.outcome = FitCheck::Outcome::IoError; break;
    }
    return fit;
}

FitCheck CheckFit(const std::string &carrierPath, std::uint64_t payloadBytes) {
    return CheckFit(Capacity(carrierPath), payloadBytes);
}

} // namespace kalmira::stealth
