#include "carrier/carrier_texts.h"

namespace kalmira::carrier {

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

std::optional<Notice> RefusalNotice(CarrierKind kind, const std::string &path) {
    switch (kind) {
    case CarrierKind::Bmp:
    case CarrierKind::Wav: break;
    case CarrierKind::NotBmp:
        return Notice{Icon::Critical, "Kalmira", "Die ausgewählte Datei ist keine gültige BMP-Datei, oder sie ist fehlerhaft!"};
    case CarrierKind::NotWav:
        return Notice{Icon::Critical, "Kalmira-Fehlernachricht", "Die Datei: " + path + " ist keine gültige WAV-Datei."};
    case CarrierKind::OtherName:
        return Notice{Icon::Critical, "Kalmira", "Die Datei \"" + path + "\" ist keine BMP- oder WAV-Datei (.bmp, .wav)."};
    case CarrierKind::Missing:
        return Notice{Icon::Critical, "Kalmira", "Die ContainerDatei \"" + path + "\" wurde nicht gefunden!"};
    case CarrierKind::NotRegular:
        return Notice{Icon::Critical, "Kalmira", CarrierAccessText(CarrierAccess::NotRegular, path)};
    case CarrierKind::Unreadable:
        return Notice{Icon::Critical, "Kalmira", "Die ContainerDatei \"" + path + "\" kann nicht gelesen werden."};
    }
    return std::nullopt;
}

} // namespace kalmira::carrier
