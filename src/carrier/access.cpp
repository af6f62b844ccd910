#include "carrier/access.h"

#include "platform/journal.h"
#include "platform/platform.h"
#include "shell/helpers.h"

namespace kalmira::carrier {

using platform::FileLock;
using platform::RecoverResult;

CarrierOpening OpenCarrier(const std::string &path, bool forWriting, FileLock &lock) {
    CarrierOpening o;
    switch (platform::KindOf(path)) {
    case platform::PathKind::Absent: return o;
    case platform::PathKind::Regular: break;
    default: o.access = CarrierAccess::NotRegular; return o;
    }
    if (forWriting && !platform::IsWritable(path)) {
        o.access = CarrierAccess::NotWritable;
        return o;
    }
    const auto kind = forWriting ? FileLock::Kind::Exclusive : FileLock::Kind::Shared;
    const platform::Recovery r = platform::LockAndRecover(path, kind, lock);
    switch (r.result) {
    case RecoverResult::Busy: o.access = CarrierAccess::Busy; return o;
    case RecoverResult::Failed: o.access = CarrierAccess::RecoveryFailed; return o;
    case RecoverResult::RolledBack: o.recovered.kind = Recovered::Kind::RolledBack; break;
    case RecoverResult::SetAside:
        o.recovered.kind =
            r.why == platform::Recovery::Why::Damaged ? Recovered::Kind::DamagedJournal : Recovered::Kind::NotThisFile;
        o.recovered.journal = r.setAside;
        break;
    case RecoverResult::Nothing: break;
    }
    o.access = CarrierAccess::Ready;
    return o;
}

} // namespace kalmira::carrier
