// Stealth runs as the programs start them: under the carrier's lock, after an
// interrupted earlier write has been undone, and (hiding) with every byte the
// run changes in a rollback journal before it is written, so a run that dies
// midway leaves the old carrier, never a half-written one.
#pragma once

#include "carrier/access.h"
#include "stealth/stealth.h"
#include "stealth/stealth2.h"

#include <memory>
#include <optional>
#include <string>

namespace kalmira::stealth {

// What the lock and the journal around a run report, beside the engine's result.
struct Safety {
    enum class Problem {
        None,
        NoAccess,      // see `access`: not a file, not writable, busy, recovery failed (nothing done)
        JournalFailed, // the journal could not be written (carrier unchanged)
    } problem = Problem::None;
    carrier::CarrierAccess access = carrier::CarrierAccess::Ready;
    carrier::Recovered recovered;  // an interrupted earlier write was undone (or its journal set aside) first
    bool rolledBack = false;       // this run's write failed and was undone
    std::int64_t journalBytes = 0; // what the journal took (hiding)
};

// Hiding writes version 2 with the standard costs; extracting reads
// version 2 and, where its head does not open, version 1. With a Safety
// problem the result's outcome is IoError and the carrier is unchanged.
HideResult GuardedHide(const std::string &carrierPath, std::string_view password, Kind kind,
                       const std::string &storedName, const HideSource &source, Safety &safety,
                       const Progress &progress = {}, const Tuning2 &tuning = {});
// A guarded hide in two steps, as the tool runs it: the constructor locks
// the carrier (undoing an interrupted earlier write first), opens it for
// writing and surveys it once, so that the fit, the recommended payload and
// a JPEG origin are known before the password is asked; run() writes with
// that survey. The lock is held until the object ends.
class PreparedStealthHide {
public:
    explicit PreparedStealthHide(const std::string &carrierPath, const Tuning2 &tuning = {});
    ~PreparedStealthHide();
    PreparedStealthHide(const PreparedStealthHide &) = delete;
    PreparedStealthHide &operator=(const PreparedStealthHide &) = delete;

    // With a problem the carrier was not surveyed, and run() changes nothing.
    const Safety &safety() const;
    // What Capacity(carrierPath) says, of the carrier as it is under the lock.
    const CapacityResult &capacity() const;
    // Once; as GuardedHide.
    HideResult run(std::string_view password, Kind kind, const std::string &storedName, const HideSource &source,
                   const Progress &progress = {});

private:
    struct State;
    std::unique_ptr<State> state_;
};

ExtractResult GuardedExtract(const std::string &carrierPath, std::string_view password, Sink &sink, Safety &safety,
                             const Progress &progress = {}, const Tuning2 &tuning = {});

// Messages only: declines a file payload, as the programs show messages only.
class MessageSink : public MemorySink {
public:
    explicit MessageSink(std::uint64_t maxBytes) : MemorySink(maxBytes) {}
    bool begin(const PayloadFacts &facts, bool &tooLarge) override {
        isFile_ = facts.kind != Kind::Message;
        return !isFile_ && MemorySink::begin(facts, tooLarge);
    }
    bool isFile() const { return isFile_; }

private:
    bool isFile_ = false;
};

} // namespace kalmira::stealth
