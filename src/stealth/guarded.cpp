#include "stealth/guarded.h"

#include "carrier/carrier_texts.h"
#include "carrier/element_file.h"
#include "platform/journal.h"
#include "platform/platform.h"
#include "stealth/standard_costs.h"

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

} // namespace

HideResult GuardedHide(const std::string &carrierPath, std::string_view password, Kind kind,
                       const std::string &storedName, const HideSource &source, Safety &safety,
                       const Progress &progress, const Tuning2 &tuning) {
    HideResult res; // IoError, nothing touched
    if (password.empty() || password.size() > kMaxPasswordBytes)
        return res.outcome = HideResult::Outcome::BadPassword, res;
    if (storedName.size() > kMaxNameBytes) return res.outcome = HideResult::Outcome::NameTooLong, res;
    FileLock lock;
    if (!Lock(carrierPath, true, lock, safety)) return res;
    // The writer begins the journal with its first change: a run refused or
    // cancelled before leaves none behind.
    platform::CarrierJournal journal(carrierPath);
    bool journalFailed = false;
    carrier::ElementFile file =
        carrier::OpenElementFile(carrierPath, carrier::ElementAccess::Write, &journal, &journalFailed);
    if (file.outcome != carrier::ElementFile::Outcome::Ready) {
        if (file.outcome == carrier::ElementFile::Outcome::Unsuitable)
            res.outcome = HideResult::Outcome::CarrierUnsuitable;
        res.reason = file.reason;
        return res;
    }
    res = Hide2(*file.elements, *file.elements, password, kind, storedName, source,
                StandardCosts(file.elements->shape()), progress, tuning);
    safety.journalBytes = journal.size();
    if (res.outcome == HideResult::Outcome::CarrierUnsuitable && res.reason == Unsuitable::None) {
        // The right kind of file, too small for the format: nothing fits (as Capacity says).
        const std::int64_t data =
            source.path.empty() ? static_cast<std::int64_t>(source.bytes.size()) : platform::FileSize(source.path);
        res.outcome = HideResult::Outcome::TooSmall;
        res.largestPayload = 0;
        res.payloadBytes = PayloadBytes(storedName, static_cast<std::uint64_t>(std::max<std::int64_t>(0, data)));
    }
    if (journalFailed) {
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

std::optional<Wording> SafetyWording(const Safety &safety, const std::string &carrier) {
    const std::string q = "\"" + carrier + "\"";
    switch (safety.problem) {
    case Safety::Problem::NoAccess: return Wording{"Kalmira", carrier::CarrierAccessText(safety.access, carrier)};
    case Safety::Problem::JournalFailed:
        return Wording{"Kalmira", "Für " + q +
                                      " konnte keine Sicherung angelegt werden (Datenträger voll "
                                      "oder schreibgeschützt?). Die Datei ist unverändert."};
    case Safety::Problem::None: break;
    }
    if (safety.rolledBack)
        return Wording{"Verstecken im Tarnformat",
                       "Das Schreiben ist fehlgeschlagen. " + q + " wurde wiederhergestellt und ist unverändert."};
    return std::nullopt;
}

std::optional<std::string> SafetyNote(const Safety &safety, const std::string &carrier) {
    if (!safety.recovered) return std::nullopt;
    return carrier::RecoveredText(safety.recovered, carrier);
}

} // namespace kalmira::stealth
