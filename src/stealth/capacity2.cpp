#include "stealth/stealth2.h"
#include "stealth/survey2.h"

namespace kalmira::stealth {

Capacity2Result Capacity2(ElementReader &reader, const CostModel &costs, const Tuning2 &tuning, CountedSurvey *keep) {
    Capacity2Result res;
    const ElementShape &shape = reader.shape();
    res.elements = shape.elements();
    res.usableBytes = shape.elements() * static_cast<std::uint64_t>(shape.channels);
    Survey survey(reader, &costs, tuning);
    auto status = survey.prepare();
    if (status == Survey::Status::Ok) status = survey.count();
    switch (status) {
    case Survey::Status::Ok: break;
    case Survey::Status::ReadError:
    case Survey::Status::Cancelled: return res;
    default:
        res.formatTooSmall = status == Survey::Status::FormatTooSmall;
        res.outcome = CapacityResult::Outcome::CarrierUnsuitable;
        return res;
    }
    FillFacts(survey, res);
    res.largestPayload = survey.largestPlain();
    res.recommendedPayload = survey.recommendedPlain();
    if (costs.jpegOrigin && shape.medium == Medium::Picture) res.jpegOrigin = costs.jpegOrigin(reader);
    if (keep) survey.keep(*keep);
    res.outcome = CapacityResult::Outcome::Ok;
    return res;
}

} // namespace kalmira::stealth
