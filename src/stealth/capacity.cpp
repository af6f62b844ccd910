#include "platform/binary_file.h"
#include "stealth/format.h"
#include "stealth/stealth.h"

namespace kalmira::stealth {

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

CapacityResult Capacity(const std::string &carrierPath) {
    platform::BinaryFile file;
    if (!file.open(carrierPath, platform::BinaryFile::Mode::Read)) return {};
    return CapacityOf(ReadLayout(file));
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
