#include "stealth/guarded.h"

#include "carrier/element_file.h"
#include "platform/journal.h"
#include "platform/platform.h"
#include "stealth/standard_costs.h"
#include "stealth/survey2.h"

#include <algorithm>

namespace kalmira::stealth {

namespace {

using platform::FileLock;

// The shared first step of every run on a carrier; false (with the problem
// set) when the run must not go on.
bool Lock(const std::string &carrierPath, bool forWriting, FileLock &lock, Safety &safety) {
    const carrier::CarrierOpening opening = carrier::OpenCarrier(carrierPath, forWriting, lock);
    safety.recovered = opening.recovered;
    if (opening.access == carrier::CarrierAccess::Ready || opening.access == carrier::CarrierAccess::Missing)
        return true; // a missing carrier is the engine's refusal
    safety.problem = Safety::Problem::NoAccess;
    safety.access = opening.access;
    return false;
}

// What a guarded hide holds from the carrier's opening to the run's end.
struct HideHold {
    explicit HideHold(const std::string &carrierPath) : journal(carrierPath) {}
    FileLock lock;
    // The writer begins the journal with its first change: a run refused or
    // cancelled before leaves none behind.
    platform::CarrierJournal journal;
    bool journalFailed = false;
    carrier::ElementFile file;
};

// Locks the carrier and opens it for writing; false (with `res` or the
// problem set) when the hide cannot go on.
bool OpenForHide(const std::string &carrierPath, HideHold &hold, Safety &safety, HideResult &res) {
    if (!Lock(carrierPath, true, hold.lock, safety)) return false;
    hold.file =
        carrier::OpenElementFile(carrierPath, carrier::ElementAccess::Write, &hold.journal, &hold.journalFailed);
    if (hold.file.outcome == carrier::ElementFile::Outcome::Ready) return true;
    if (hold.file.outcome == carrier::ElementFile::Outcome::Unsuitable)
        res.outcome = HideResult::Outcome::CarrierUnsuitable;
    res.reason = hold.file.reason;
    return false;
}

// Hide2 on the opened carrier; its changes committed, or rolled back.
HideResult WriteGuarded(HideHold &hold, std::string_view password, Kind kind, const std::string &storedName,
                        const HideSource &source, const CostModel &costs, Safety &safety, const Progress &progress,
                        const Tuning2 &tuning) {
    HideResult res =
        Hide2(*hold.file.elements, *hold.file.elements, password, kind, storedName, source, costs, progress, tuning);
    platform::CarrierJournal &journal = hold.journal;
    safety.journalBytes = journal.size();
    if (res.outcome == HideResult::Outcome::CarrierUnsuitable && res.reason == Unsuitable::None) {
        // The right kind of file, too small for the format: nothing fits (as Capacity says).
        const std::int64_t data =
            source.path.empty() ? static_cast<std::int64_t>(source.bytes.size()) : platform::FileSize(source.path);
        res.outcome = HideResult::Outcome::TooSmall;
        res.largestPayload = 0;
        res.payloadBytes = PayloadBytes(storedName, static_cast<std::uint64_t>(std::max<std::int64_t>(0, data)));
    }
    if (hold.journalFailed) {
        // Nothing of the failing window was written; earlier windows are undone.
        safety.problem = Safety::Problem::JournalFailed;
        res.outcome = HideResult::Outcome::IoError;
        res.carrierTouched = journal.active() && !journal.rollback();
        return res;
    }
    if (!journal.active()) { // nothing was written: every write follows its journal entry
        res.carrierTouched = false;
        return res;
    }
    if (res.outcome == HideResult::Outcome::Written && journal.commit()) return res;
    safety.rolledBack = journal.rollback();
    if (res.outcome == HideResult::Outcome::Written) res.outcome = HideResult::Outcome::IoError;
    res.carrierTouched = !safety.rolledBack;
    return res;
}

} // namespace

HideResult GuardedHide(const std::string &carrierPath, std::string_view password, Kind kind,
                       const std::string &storedName, const HideSource &source, Safety &safety,
                       const Progress &progress, const Tuning2 &tuning) {
    HideResult res; // IoError, nothing touched
    if (password.empty() || password.size() > kMaxPasswordBytes)
        return res.outcome = HideResult::Outcome::BadPassword, res;
    if (storedName.size() > kMaxNameBytes) return res.outcome = HideResult::Outcome::NameTooLong, res;
    HideHold hold(carrierPath);
    if (!OpenForHide(carrierPath, hold, safety, res)) return res;
    return WriteGuarded(hold, password, kind, storedName, source, StandardCosts(hold.file.elements->shape()), safety,
                        progress, tuning);
}

struct PreparedStealthHide::State {
    explicit State(const std::string &carrierPath) : hold(carrierPath) {}
    HideHold hold;
    Safety safety;
    HideResult refusal; // when the carrier could not be opened
    bool opened = false, spent = false;
    CostModel costs;
    CapacityResult capacity;
    Tuning2 tuning;
};

PreparedStealthHide::PreparedStealthHide(const std::string &carrierPath, const Tuning2 &tuning)
    : state_(std::make_unique<State>(carrierPath)) {
    State &s = *state_;
    s.tuning = tuning;
    s.opened = OpenForHide(carrierPath, s.hold, s.safety, s.refusal);
    if (!s.opened) {
        if (s.refusal.outcome == HideResult::Outcome::CarrierUnsuitable) {
            s.capacity.outcome = CapacityResult::Outcome::CarrierUnsuitable;
            s.capacity.reason = s.refusal.reason;
        }
        return;
    }
    s.costs = StandardCosts(s.hold.file.elements->shape());
    s.costs.counted = std::make_shared<CountedSurvey>();
    s.capacity = CarrierCapacity(*s.hold.file.elements, s.costs, tuning, s.costs.counted.get());
}

PreparedStealthHide::~PreparedStealthHide() = default;

const Safety &PreparedStealthHide::safety() const { return state_->safety; }
const CapacityResult &PreparedStealthHide::capacity() const { return state_->capacity; }

HideResult PreparedStealthHide::run(std::string_view password, Kind kind, const std::string &storedName,
                                    const HideSource &source, const Progress &progress) {
    State &s = *state_;
    if (!s.opened || s.spent) return s.refusal;
    s.spent = true;
    return WriteGuarded(s.hold, password, kind, storedName, source, s.costs, s.safety, progress, s.tuning);
}

ExtractResult GuardedExtract(const std::string &carrierPath, std::string_view password, Sink &sink, Safety &safety,
                             const Progress &progress, const Tuning2 &tuning) {
    FileLock lock;
    if (!Lock(carrierPath, false, lock, safety)) return {};
    const Version1Attempt version1 = [&] { return Extract(carrierPath, password, sink, progress, tuning); };
    const carrier::ElementFile file = carrier::OpenElementFile(carrierPath, carrier::ElementAccess::Read);
    if (!file.versionOne) {
        // PNG, FLAC: version 2 alone, and a refusal is the codec's.
        if (file.outcome == carrier::ElementFile::Outcome::Ready)
            return Extract2(*file.elements, password, sink, {}, progress, tuning);
        ExtractResult res;
        if (file.outcome == carrier::ElementFile::Outcome::Unsuitable) {
            res.outcome = ExtractResult::Outcome::CarrierUnsuitable;
            res.reason = file.reason;
        }
        return res;
    }
    // Version 1 words a carrier it cannot read (refused, cut short) itself.
    if (file.outcome != carrier::ElementFile::Outcome::Ready) return version1();
    return Extract2(*file.elements, password, sink, version1, progress, tuning);
}

} // namespace kalmira::stealth
