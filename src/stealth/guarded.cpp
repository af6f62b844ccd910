#include "stealth/guarded.h"

#include "carrier/carrier_texts.h"
#include "carrier/stealth_layout.h"
#include "platform/binary_file.h"
#include "platform/journal.h"
#include "platform/platform.h"
#include "stealth/format.h"

#include <sodium.h>

#include <algorithm>
#include <functional>

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

// Whether the engine will write at all; otherwise it returns its refusal
// itself, and no journal is begun.
bool WillWrite(const std::string &carrierPath, const HideSource &source, const std::string &storedName,
               std::string_view password) {
    platform::BinaryFile file;
    if (password.empty() || password.size() > kMaxPasswordBytes ||
        !file.open(carrierPath, platform::BinaryFile::Mode::Read))
        return false;
    const Layout layout = ReadLayout(file);
    if (layout.problem != Unsuitable::None) return false;
    const std::int64_t data = source.path.empty() ? static_cast<std::int64_t>(source.bytes.size())
                                                  : platform::FileSize(source.path);
    return data >= 0 && CheckFit(CapacityOf(layout), PayloadBytes(storedName, static_cast<std::uint64_t>(data))).outcome ==
                            FitCheck::Outcome::Fits;
}

// Writes the engine's changed chunks through the journal: the changed bytes
// of a batch of chunks go into the journal, durable, before those bytes are
// written; so the journal grows with the bytes that change, not with the carrier.
class JournaledWriter {
public:
    JournaledWriter(platform::CarrierJournal &journal, const std::string &carrierPath) : journal_(journal) {
        file_.open(carrierPath, platform::BinaryFile::Mode::ReadWrite);
    }
    ~JournaledWriter() { sodium_memzero(pending_.data(), pending_.size() * sizeof(platform::ByteChange)); }
    bool operator()(std::int64_t at, std::span<const std::uint8_t> was, std::span<const std::uint8_t> now) {
        if (at < 0) return flush();
        for (std::size_t i = 0; i < now.size();) {
            if (was[i] == now[i]) {
                ++i;
                continue;
            }
            platform::ByteChange c;
            c.offset = at + static_cast<std::int64_t>(i);
            for (c.length = 0; c.length < 4 && i < now.size() && was[i] != now[i]; ++c.length, ++i) {
                c.before[c.length] = was[i];
                c.after[c.length] = now[i];
            }
            pending_.push_back(c);
        }
        return pending_.size() < kBatch || flush();
    }

private:
    static constexpr std::size_t kBatch = 1 << 18;
    static constexpr std::int64_t kSpan = 1 << 16;

    // Journal first, then the bytes, read-modify-write in spans of up to 64 KiB.
    bool flush() {
        if (pending_.empty()) return true;
        if (!file_.isOpen() || journal_.append(pending_) != platform::JournalError::None) return false;
        std::vector<std::uint8_t> buf;
        for (std::size_t i = 0; i < pending_.size();) {
            const std::int64_t lo = pending_[i].offset;
            std::size_t j = i;
            std::int64_t hi = lo;
            for (; j < pending_.size() && pending_[j].offset >= lo && pending_[j].offset + pending_[j].length <= lo + kSpan; ++j)
                hi = std::max(hi, pending_[j].offset + pending_[j].length);
            buf.resize(static_cast<std::size_t>(hi - lo));
            if (!file_.readAt(lo, buf.data(), buf.size())) return false;
            for (; i < j; ++i)
                std::copy_n(pending_[i].after.begin(), pending_[i].length, buf.begin() + (pending_[i].offset - lo));
            if (!file_.writeAt(lo, buf.data(), buf.size())) return false;
        }
        pending_.clear();
        return true;
    }

    platform::CarrierJournal &journal_;
    platform::BinaryFile file_;
    std::vector<platform::ByteChange> pending_;
};

} // namespace

HideResult GuardedHide(const std::string &carrierPath, std::string_view password, Kind kind,
                       const std::string &storedName, const HideSource &source, Safety &safety,
                       const Progress &progress, const Tuning &tuning) {
    HideResult refused; // IoError, nothing touched
    FileLock lock;
    if (!Lock(carrierPath, true, lock, safety)) return refused;
    if (!WillWrite(carrierPath, source, storedName, password))
        return Hide(carrierPath, password, kind, storedName, source, progress, tuning);
    platform::CarrierJournal journal(carrierPath);
    if (journal.begin() != platform::JournalError::None) {
        safety.problem = Safety::Problem::JournalFailed;
        return refused;
    }
    JournaledWriter writer(journal, carrierPath);
    HideResult r = Hide(carrierPath, password, kind, storedName, source, progress, tuning, std::ref(writer));
    safety.journalBytes = journal.size();
    if (r.outcome == HideResult::Outcome::Written) {
        if (!journal.commit()) {
            safety.rolledBack = journal.rollback();
            r.outcome = HideResult::Outcome::IoError;
            r.carrierTouched = !safety.rolledBack;
        }
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
    return carrier::RecoveredText(safety.recovered, carrier);
}

} // namespace kalmira::stealth
