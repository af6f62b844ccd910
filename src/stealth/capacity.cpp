#include "platform/binary_file.h"
#include "stealth/carrier_layout.h"
#include "stealth/format.h"
#include "stealth/stealth.h"

namespace kalmira::stealth {

CapacityResult Capacity(const std::string &carrierPath) {
    CapacityResult res;
    platform::BinaryFile file;
    if (!file.open(carrierPath, platform::BinaryFile::Mode::Read)) return res;
    const Layout layout = ReadLayout(file);
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

} // namespace kalmira::stealth
