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

std::string RolledBackText(const std::string &path) {
    return "Ein unterbrochener Schreibvorgang in der Containerdatei \"" + path +
           "\" wurde rückgängig gemacht. Sie enthält wieder ihren früheren Inhalt.";
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
