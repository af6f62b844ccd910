#include "stealth/guarded.h"

#include "carrier/carrier_texts.h"
#include "platform/binary_file.h"
#include "platform/journal.h"
#include "platform/platform.h"
#include "carrier/stealth_layout.h"

namespace kalmira::stealth {

namespace {

using platform::FileLock;

// The shared first step of every run on a carrier; false (with the problem
// set) when the run must not go on.
bool Lock(const std::string &carrierPath, bool forWriting, FileLock &lock, Safety &safety) {
    const carrier::CarrierOpening opening = carrier::OpenCarrier(carrierPath, forWriting, lock);
    safety.recovered = opening.rolledBack;
    if (opening.access == carrier::CarrierAccess::Ready || opening.access == carrier::CarrierAccess::Missing)
        return true; // a missing carrier is the engine's refusal
    safety.problem = Safety::Problem::NoAccess;
    safety.access = opening.access;
    return false;
}

// Where the usable bytes start, when the carrier takes the payload at all;
// otherwise the engine itself returns the refusal without writing.
std::optional<std::int64_t> WritableFrom(const std::string &carrierPath, const HideSource &source,
                                         const std::string &storedName) {
    platform::BinaryFile file;
    if (!file.open(carrierPath, platform::BinaryFile::Mode::Read)) return std::nullopt;
    const Layout layout = ReadLayout(file);
    const std::int64_t data = source.path.empty() ? static_cast<std::int64_t>(source.bytes.size())
                                                  : platform::FileSize(source.path);
    const auto bytes = PayloadBytes(storedName, static_cast<std::uint64_t>(data));
    if (data < 0 || CheckFit(CapacityOf(layout), bytes).outcome != FitCheck::Outcome::Fits) return std::nullopt;
    return static_cast<std::int64_t>(layout.offset);
}

} // namespace

HideResult GuardedHide(const std::string &carrierPath, std::string_view password, Kind kind,
                       const std::string &storedName, const HideSource &source, Safety &safety,
                       const Progress &progress, const Tuning &tuning) {
    HideResult refused; // IoError, nothing touched
    FileLock lock;
    if (!Lock(carrierPath, true, lock, safety)) return refused;
    const std::optional<std::int64_t> from = WritableFrom(carrierPath, source, storedName);
    if (!from || password.empty() || password.size() > kMaxPasswordBytes)
        return Hide(carrierPath, password, kind, storedName, source, progress, tuning);

    // The journal takes the first tenth of the progress; it cannot be cancelled.
    constexpr double kJournalShare = 0.1;
    platform::CarrierJournal journal(carrierPath);
    const auto copied = [&](std::int64_t done, std::int64_t total) {
        if (progress && total > 0) progress(kJournalShare * double(done) / double(total));
    };
    if (journal.begin({platform::JournalRegion::From(*from)}, copied) != platform::JournalError::None) {
        safety.problem = Safety::Problem::JournalFailed;
        return refused;
    }
    const Progress rest = [&](double f) { return !progress || progress(kJournalShare + (1 - kJournalShare) * f); };
    HideResult r = Hide(carrierPath, password, kind, storedName, source, rest, tuning);
    if (r.outcome == HideResult::Outcome::Written) {
        if (!journal.commit()) r.outcome = HideResult::Outcome::IoError, r.carrierTouched = true;
    } else if (r.carrierTouched) {
        safety.rolledBack = journal.rollback();
        r.carrierTouched = !safety.rolledBack;
    } else {
        journal.commit(); // nothing written: the journal only goes
    }
    return r;
}

ExtractResult GuardedExtract(const std::string &carrierPath, std::string_view password, Sink &sink,
                             Safety &safety, const Progress &progress, const Tuning &tuning) {
    FileLock lock;
    if (!Lock(carrierPath, false, lock, safety)) return {};
    return Extract(carrierPath, password, sink, progress, tuning);
}

std::optional<Wording> SafetyWording(const Safety &safety, const std::string &carrier) {
    const std::string q = "\"" + carrier + "\"";
    switch (safety.problem) {
    case Safety::Problem::NoAccess: return Wording{"Kalmira", carrier::CarrierAccessText(safety.access, carrier)};
    case Safety::Problem::JournalFailed:
        return Wording{"Kalmira", "Für " + q + " konnte keine Sicherung angelegt werden (Datenträger voll "
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
    return carrier::RolledBackText(carrier);
}

} // namespace kalmira::stealth
