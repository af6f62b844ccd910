// Every run's first step on a carrier, for the classic and the stealth runs
// of the windows and the tool alike: the carrier must be a regular file (and
// writable for a hide), is locked (exclusive to write, shared to read), and an
// interrupted write of an earlier run is rolled back before anything else.
#pragma once

#include "platform/file_lock.h"

#include <string>

namespace kalmira::carrier {

enum class CarrierAccess {
    Ready,          // locked as asked
    Missing,        // no such file
    NotRegular,     // a folder, FIFO or device
    NotWritable,    // a hide cannot open it for writing (read-only mount, foreign file)
    Busy,           // another run holds it (after the short wait)
    RecoveryFailed, // an interrupted write could not be rolled back; nothing done
};

// What the opening did about an earlier run's journal (say so once).
struct Recovered {
    enum class Kind {
        None,
        RolledBack,     // an interrupted write was undone
        NotThisFile,    // a journal of a file that has since changed: set aside, not applied
        DamagedJournal, // a journal that does not read back: set aside, not applied
    } kind = Kind::None;
    std::string journal; // where a set-aside journal lies now
    explicit operator bool() const { return kind != Kind::None; }
};

struct CarrierOpening {
    CarrierAccess access = CarrierAccess::Missing;
    Recovered recovered;
};

// Takes `lock` (Exclusive when `forWriting`) and recovers. A writer also
// removes staging leftovers of killed runs beside the carrier.
CarrierOpening OpenCarrier(const std::string &path, bool forWriting, platform::FileLock &lock);

} // namespace kalmira::carrier
