#include "hide/carrier_access.h"

#include "platform/journal.h"
#include "platform/platform.h"
#include "shell/helpers.h"

namespace kalmira::hide {

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
        o.recovered.kind = r.why == platform::Recovery::Why::Damaged ? Recovered::Kind::DamagedJournal
                                                                     : Recovered::Kind::NotThisFile;
        o.recovered.journal = r.setAside;
        break;
    case RecoverResult::Nothing: break;
    }
    o.access = CarrierAccess::Ready;
    return o;
}

std::string CarrierAccessText(CarrierAccess access, const std::string &path) {
    const std::string name = "Die Containerdatei \"" + path + "\"";
    switch (access) {
    case CarrierAccess::NotRegular: return name + " ist keine gewöhnliche Datei.";
    case CarrierAccess::NotWritable:
        return name + " kann nicht geschrieben werden (schreibgeschützt). Es wurde nichts verändert.";
    case CarrierAccess::Busy:
        return name + " wird gerade von einem anderen Kalmira-Vorgang benutzt. Bitte später noch einmal "
                      "versuchen. Es wurde nichts verändert.";
    case CarrierAccess::RecoveryFailed:
        return "Ein unterbrochener Schreibvorgang in der Containerdatei \"" + path +
               "\" konnte nicht rückgängig gemacht werden. Die Datei wurde nicht verwendet.";
    case CarrierAccess::Ready:
    case CarrierAccess::Missing: break;
    }
    return "";
}

std::string RecoveredText(const Recovered &recovered, const std::string &path) {
    const std::string q = "\"" + path + "\"";
    switch (recovered.kind) {
    case Recovered::Kind::RolledBack:
        return "Ein unterbrochener Schreibvorgang in der Containerdatei " + q +
               " wurde rückgängig gemacht. Sie enthält wieder ihren früheren Inhalt.";
    case Recovered::Kind::NotThisFile:
        return "Für die Containerdatei " + q + " lag noch die Sicherung eines abgebrochenen Schreibvorgangs vor. "
               "Die Datei wurde seitdem ersetzt oder verändert; die Sicherung passt nicht mehr zu ihr und wurde "
               "deshalb nicht angewandt, sondern als \"" + recovered.journal + "\" beiseitegelegt. Die Datei "
               "selbst blieb unverändert. Wird die Sicherung nicht mehr gebraucht, kann sie gelöscht werden.";
    case Recovered::Kind::DamagedJournal:
        return "Für die Containerdatei " + q + " lag noch die Sicherung eines abgebrochenen Schreibvorgangs vor, "
               "sie ist jedoch beschädigt und wurde nicht angewandt, sondern als \"" + recovered.journal +
               "\" beiseitegelegt. Die Datei selbst blieb unverändert; ihr Inhalt ist womöglich nur zum Teil "
               "geschrieben. Falls vorhanden, bitte eine Sicherheitskopie zurückspielen.";
    case Recovered::Kind::None: break;
    }
    return "";
}

} // namespace kalmira::hide
