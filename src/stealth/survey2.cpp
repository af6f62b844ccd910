#include "stealth/survey2.h"

#include <algorithm>
#include <cmath>

namespace kalmira::stealth {

Survey::Survey(ElementReader &reader, const CostModel *costs, const Tuning2 &tuning)
    : reader_(reader), costs_(costs), tuning_(tuning) {}

Survey::Status Survey::prepare(const std::function<bool(double)> &progress) {
    const ElementShape &shape = reader_.shape();
    if (CountedSurvey *c = costs_ ? costs_->counted.get() : nullptr;
        c && c->reader == &reader_ && c->windowElements == tuning_.windowElements && c->geometry) {
        geometry_ = c->geometry;
        shift_ = c->shift;
        scanner_ = std::make_unique<WindowScanner>(reader_, *geometry_, shift_, costs_, tuning_.threads);
        adopted_ = c;
        return Status::Ok;
    }
    geometry_ = format2::Geometry::Make(shape, tuning_.windowElements);
    if (!geometry_) return Status::Empty;
    if (!geometry_->fitsFormat()) return Status::FormatTooSmall;
    bool cancelled = false;
    const auto report = [&](double f) { return !(cancelled = progress && !progress(f)); };
    if (shape.medium == Medium::Sound && !FindShift(reader_, *geometry_, shift_, report))
        return cancelled ? Status::Cancelled : Status::ReadError;
    scanner_ = std::make_unique<WindowScanner>(reader_, *geometry_, shift_, costs_, tuning_.threads);
    return Status::Ok;
}

Survey::Status Survey::count(const std::function<bool(double)> &progress) {
    if (adopted_) {
        // Spent here: a later survey of the same reader reads again.
        capacity_ = std::move(adopted_->capacity);
        dry_ = adopted_->dry;
        wet_ = adopted_->wet;
        window0_ = std::move(adopted_->window0);
        *adopted_ = CountedSurvey{};
        adopted_ = nullptr;
        return !progress || progress(1) ? Status::Ok : Status::Cancelled;
    }
    const format2::Geometry &g = *geometry_;
    const std::uint64_t windows = g.windows(), fixed = g.saltCount() + g.headCount();
    capacity_.assign(static_cast<std::size_t>(windows), 0);
    dry_ = wet_ = 0;
    for (std::uint64_t done = 0; done < windows; ++done) {
        const std::uint64_t j = windows - 1 - done;
        const auto report = [&](double f) { return !progress || progress((double(done) + f) / double(windows)); };
        if (!scanner_->scan(j, window0_, report)) return scanner_->cancelled() ? Status::Cancelled : Status::ReadError;
        // Window 0's salt and head elements are keyed: count them all as dry.
        const std::uint64_t dry = j == 0 ? window0_.dry - std::min(window0_.dry, fixed) : window0_.dry;
        capacity_[static_cast<std::size_t>(j)] =
            static_cast<std::uint64_t>(std::floor(format2::kAlphaMax * double(dry)));
        dry_ += dry;
        wet_ += g.windowSize(j) - window0_.dry;
    }
    return Status::Ok;
}

void Survey::keep(CountedSurvey &out) {
    out.reader = &reader_;
    out.windowElements = tuning_.windowElements;
    out.geometry = geometry_;
    out.shift = shift_;
    out.capacity = std::move(capacity_);
    out.dry = dry_;
    out.wet = wet_;
    out.window0 = std::move(window0_);
}

std::uint64_t Survey::largestPlain() const {
    return format2::PlainFor(format2::LargestBodyBits(*geometry_, capacity_));
}

std::uint64_t Survey::recommendedPlain() const {
    const double values = double(dry_) * double(reader_.shape().channels);
    const auto bits = static_cast<std::uint64_t>(std::floor(format2::kRecommendedRate * values));
    return std::min(largestPlain(), format2::PlainFor(bits));
}

void FillFacts(Survey &survey, ElementFacts &facts) {
    facts.elements = survey.geometry().elements();
    facts.dryElements = survey.dry();
    facts.wetElements = survey.wet();
    facts.shift = survey.shift().t;
}

} // namespace kalmira::stealth
