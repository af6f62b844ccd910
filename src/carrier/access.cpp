#include "carrier/access.h"

#include "platform/journal.h"
#include "platform/platform.h"
#include "platform/temp_file.h"
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
    switch (platform::LockAndRecover(path, kind, lock)) {
    case RecoverResult::Busy: o.access = CarrierAccess::Busy; return o;
    case RecoverResult::Failed: o.access = CarrierAccess::RecoveryFailed; return o;
    case RecoverResult::RolledBack: o.rolledBack = true; break;
    default: break;
    }
    // Leftovers of killed runs: the exclusive recovery removed unfinished
    // journals; staged backups go here.
    if (forWriting) platform::StagedFile::RemoveLeftovers(FolderOf(path).empty() ? "./" : FolderOf(path));
    o.access = CarrierAccess::Ready;
    return o;
}

} // namespace kalmira::carrier
