#include "carrier/carrier_texts.h"

#include "carrier/whole_file.h"

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
        return "Für die Containerdatei " + q +
               " lag noch die Sicherung eines abgebrochenen Schreibvorgangs vor. "
               "Die Datei wurde seitdem ersetzt oder verändert; die Sicherung passt nicht mehr zu ihr und wurde "
               "deshalb nicht angewandt, sondern als \"" +
               recovered.journal +
               "\" beiseitegelegt. Die Datei "
               "selbst blieb unverändert. Wird die Sicherung nicht mehr gebraucht, kann sie gelöscht werden.";
    case Recovered::Kind::DamagedJournal:
        return "Für die Containerdatei " + q +
               " lag noch die Sicherung eines abgebrochenen Schreibvorgangs vor, "
               "sie ist jedoch beschädigt und wurde nicht angewandt, sondern als \"" +
               recovered.journal +
               "\" beiseitegelegt. Die Datei selbst blieb unverändert; ihr Inhalt ist womöglich nur zum Teil "
               "geschrieben. Falls vorhanden, bitte eine Sicherheitskopie zurückspielen.";
    case Recovered::Kind::None: break;
    }
    return "";
}

std::string DamagedClause() { return "ist beschädigt oder unvollständig"; }

std::string TooLargeClause() {
    return "ist zu gross: Entpackt bräuchte sie mehr als " + std::to_string(kWholeFileMemoryLimit >> 30) +
           " GiB Arbeitsspeicher";
}

std::string CodecProblemText(CodecProblem problem, const std::string &path) {
    const std::string name = "Die Containerdatei \"" + path + "\"";
    const std::string damaged = name + " " + DamagedClause();
    switch (problem) {
    case CodecProblem::None: break;
    case CodecProblem::ReadFailed: return name + " kann nicht gelesen werden.";
    case CodecProblem::WriteFailed:
        return name + " konnte nicht neu geschrieben werden. Ist der Datenträger voll? Sie blieb unverändert.";
    case CodecProblem::NotThisFormat: return name + " ist keine gültige PNG- oder FLAC-Datei.";
    case CodecProblem::Truncated: return damaged + " (sie endet vorzeitig). Es wurde nichts verändert.";
    case CodecProblem::ChecksumMismatch: return damaged + " (eine Prüfsumme stimmt nicht). Es wurde nichts verändert.";
    case CodecProblem::Malformed: return damaged + " (ihr Aufbau ist fehlerhaft). Es wurde nichts verändert.";
    case CodecProblem::PalettePicture:
    case CodecProblem::LowBitDepth:
        return name + " ist ein PNG-Bild mit " +
               (problem == CodecProblem::PalettePicture ? std::string("Farbpalette") : "weniger als 8 Bit Graustufen") +
               " und kann nicht verwendet werden. Bitte das Bild mit dem BildConverter in ein Echtfarbenbild "
               "umwandeln oder eine andere Containerdatei wählen.";
    case CodecProblem::Animated:
        return name + " ist ein animiertes PNG-Bild und kann nicht verwendet werden (die weiteren Bilder gingen "
                      "verloren).";
    case CodecProblem::Unsupported:
        return name + " verwendet Merkmale, die Kalmira nicht verarbeitet (unbekannte kritische PNG-Chunks, "
                      "FLAC mit mehr als 24 Bit oder wechselnden Stromparametern).";
    case CodecProblem::TooLarge: return name + " " + TooLargeClause() + ". Es wurde nichts verändert.";
    case CodecProblem::InvalidChange: return name + " konnte nicht verändert werden. Sie blieb unverändert.";
    }
    return "";
}

std::string ClassicOnlyText(const std::string &path) {
    return "Die Datei \"" + path +
           "\" kann nur im Tarnformat verwendet werden: Das klassische Format nimmt nur "
           "BMP- und WAV-Dateien, PNG-Bilder und FLAC-Aufnahmen nur das Tarnformat.";
}

std::optional<Notice> RefusalNotice(CarrierKind kind, const std::string &path, bool stealth) {
    switch (kind) {
    case CarrierKind::Bmp:
    case CarrierKind::Wav: break;
    case CarrierKind::Png:
    case CarrierKind::Flac:
        if (stealth) break;
        return Notice{Icon::Critical, "Kalmira", ClassicOnlyText(path)};
    case CarrierKind::NotBmp:
        return Notice{Icon::Critical, "Kalmira",
                      "Die ausgewählte Datei ist keine gültige BMP-Datei, oder sie ist fehlerhaft!"};
    case CarrierKind::NotWav:
        return Notice{Icon::Critical, "Kalmira-Fehlernachricht",
                      "Die Datei: " + path + " ist keine gültige WAV-Datei."};
    case CarrierKind::NotPng:
        return Notice{Icon::Critical, "Kalmira", "Die Datei \"" + path + "\" ist keine gültige PNG-Datei."};
    case CarrierKind::NotFlac:
        return Notice{Icon::Critical, "Kalmira", "Die Datei \"" + path + "\" ist keine gültige FLAC-Datei."};
    case CarrierKind::OtherName:
        return Notice{Icon::Critical, "Kalmira",
                      stealth ? "Die Datei \"" + path +
                                    "\" ist keine BMP-, WAV-, PNG- oder FLAC-Datei (.bmp, .wav, .png, .flac)."
                              : "Die Datei \"" + path + "\" ist keine BMP- oder WAV-Datei (.bmp, .wav)."};
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
