#include "hide/hide_texts.h"

#include "carrier/carrier_texts.h"
#include "compress/ZorbComprFile.h"
#include "shell/helpers.h"

namespace kalmira::hide {

namespace {

const char *const kTitleCommon = "Kalmira-Nachricht";
const char *const kRestCaptionB = "KalmiraB - Verstecken";
const char *const kRestCaptionA = "KalmiraA - Verstecken";
const char *const kErrorTitle = "Kalmira - Fehlernachricht";

const char *const kHintB =
    "Um schon bei der Auswahl der Containerdatei deren Grösse zu erkennen, clickt man im "
    "Datei-Auswahlfenster auf den Button \"Details\" (Unter XP ->Ansicht->Details, rechts oben im "
    "Datei-Auswahlfenster). Die Dateigrösse wird dann im Datei-Auswahlfenster in KByte angezeigt.";
const char *const kHintA = "Um bei der Auswahl der Containerdatei deren Grösse zu erkennen, clickt man im "
                           "Datei-Auswahlfenster auf den Button \"Details\" (rechts oben im Auswahlfenster). Die "
                           "Dateigrösse wird dann im Datei-Auswahlfenster in KByte angezeigt.";

std::string WriteFailedText(const HideResult &r) {
    std::string text = "Die Containerdatei \"" + r.carrierPath +
                       "\" konnte nicht vollständig beschrieben werden (Datei gesperrt, "
                       "schreibgeschützt oder Datenträger voll). Die versteckte Datei wurde NICHT gespeichert";
    text += r.carrierIntact ? "; die Containerdatei ist unverändert."
                            : ". Die Containerdatei wird beim nächsten Zugriff in ihren früheren Zustand "
                              "zurückversetzt.";
    if (!r.backupPath.empty())
        text += "\r\n\r\nDie Sicherheitskopie \"" + r.backupPath + "\" enthält den Zustand vor dem Verstecken.";
    return text;
}

std::string EncryptCaption(Program program, payload::Mode mode) {
    const char *cipher = mode == payload::Mode::Rc4 ? "RC4" : "AES-256";
    return program == Program::B ? std::string(">>>>>>>>>>>>>  Datei wird ") + cipher + " verschlüsselt..."
                                 : std::string("***********  Datei wird ") + cipher + " verschlüsselt  *********\"";
}

} // namespace

std::string WithSign(long long value) { return (value >= 0 ? " " : "") + std::to_string(value); }

std::string HideStepLabel(Program program, const std::string &backupPath, Step step) {
    switch (step) {
    case Step::Backup: return "Erstelle Kopie -> " + FileNameOf(backupPath);
    case Step::Write: return program == Program::B ? "Die Datei wird versteckt..." : "Versteck-Vorgang läuft ...";
    default: break;
    }
    return "";
}

std::string HideCaption(Program program, payload::Mode mode, const std::string &backupPath, Step step, int pct) {
    const bool b = program == Program::B;
    const std::string label = HideStepLabel(program, backupPath, step);
    switch (step) {
    case Step::Backup: return label + " " + WithSign(pct) + " %";
    case Step::BackupDone: return HideStepLabel(program, backupPath, Step::Backup) + " 100 %";
    case Step::Encrypt: return EncryptCaption(program, mode);
    case Step::Encrypted: return b ? "" : kRestCaptionA;
    case Step::Compose: return b ? "" : ">>>>>>>>>> ByteArrays erzeugen ...";
    case Step::Write: return ">>>>>>>>>> " + label + (b ? " " : "   ") + WithSign(pct) + " % bearbeitet";
    case Step::Written: return b ? "" : ">>>>>>>>>> Versteck-Vorgang beendet, 100% bearbeitet";
    }
    return "";
}

std::vector<TimedCaption> HideEndCaptions(const HideResult &r) {
    const bool b = r.program == Program::B;
    std::vector<TimedCaption> out;
    switch (r.outcome) {
    case HideOutcome::Ready:
    case HideOutcome::Cancelled:
    case HideOutcome::LibraryMissing:
    case HideOutcome::Busy: return out;
    case HideOutcome::WriteFailed: return {{0, b ? kRestCaptionB : kRestCaptionA}};
    default: break;
    }
    if (b && r.outcome != HideOutcome::NoCarrierChosen)
        out.push_back({0, ">>>>>>>>>> Die Datei wurde versteckt... 100 %"});
    const bool pauses = r.outcome == HideOutcome::Written || r.outcome == HideOutcome::NoCarrierChosen;
    out.push_back({b && pauses ? 1.0 : 0.0, b ? kFinishedCaption : kFinishedCaptionA});
    out.push_back({pauses ? (b ? 4.0 : 3.0) : 0.0, b ? kRestCaptionB : kRestCaptionA});
    return out;
}

std::string MessageSizeLine(const HideResult &r) {
    if (r.compressedSize <= 0) return "";
    const std::int64_t p = payload::RoundedForRun(r.compressedSize), msgLen = r.messageSize;
    const std::string sizes =
        " Byte, ContainerMinSize: " + FormatThousands(payload::MinCarrierForRun(r.compressedSize)) + " Byte";
    const std::string carrierSize = FormatThousands(r.fit.carrierSize);
    if (p >= msgLen) return "Botschaft: " + FormatThousands(msgLen) + " Byte.  ContainerSize: " + carrierSize + sizes;
    return "Botschaft: " + FormatThousands(msgLen) + " Byte, komprimiert zu: " + FormatThousands(p) + " Byte [" +
           std::to_string(p * 100 / msgLen) + " %]. ContainerSize: " + carrierSize + sizes;
}

std::string MessageSizeLineCancelled(const HideResult &r) {
    return "Botschaft: " + FormatThousands(r.messageSize) + " Byte";
}

std::string TooSmallText(const std::string &carrier, std::int64_t carrierSize, const std::string &hiddenFile,
                         std::int64_t requiredSize) {
    return "Die ausgewählte Containerdatei \"" + FileNameOf(carrier) + "\" ist zu klein (" +
           FormatThousands(carrierSize) + " Byte). Um die Datei \"" + FileNameOf(hiddenFile) +
           "\" zu verstecken, muss die Containerdatei mindestens " + FormatThousands(requiredSize) +
           " Byte gross sein.";
}

std::string TooSmallTextWithHint(Program program, const std::string &carrier, std::int64_t carrierSize,
                                 const std::string &hiddenFile, std::int64_t requiredSize) {
    return TooSmallText(carrier, carrierSize, hiddenFile, requiredSize) + "\r\n\r\nHinweis:\r\n" +
           (program == Program::B ? kHintB : kHintA);
}

std::string DataTooLargeText() {
    return "Die zu versteckende Datei darf komprimiert nicht grösser 9.999.999 Byte (ca. 9,53 MByte) sein.";
}

std::string CapacityTooSmallText(const std::string &carrier, std::int64_t carrierSize) {
    return "Die Containerdatei \"" + FileNameOf(carrier) + "\" ist zu klein (" + FormatThousands(carrierSize) +
           " Byte) oder kann nicht verwendet werden.";
}

std::string CarrierStructureMessage(payload::CarrierStructure result, const std::string &name) {
    switch (result) {
    case payload::CarrierStructure::BmpHeaderTooLong:
        return "Die Containerdatei \"" + name +
               "\" kann nicht verwendet werden: Ihr BMP-Dateikopf ist länger als 91 Byte und "
               "würde beim Verstecken beschädigt. Bitte die Datei mit dem BildConverter in "
               "eine 24-Bit-BMP-Datei umwandeln oder eine andere Containerdatei wählen.";
    case payload::CarrierStructure::WavDataTooShort:
        return "Die Containerdatei \"" + name +
               "\" kann nicht verwendet werden: Ihre Klangdaten beginnen zu spät oder sind zu "
               "kurz, so dass der WAV-Dateikopf beim Verstecken beschädigt würde. Bitte eine "
               "andere WAV-Datei wählen.";
    case payload::CarrierStructure::Unreadable: return "Die Containerdatei \"" + name + "\" kann nicht gelesen werden.";
    case payload::CarrierStructure::Ok: break;
    }
    return "";
}

std::string StoredNameText(const std::string &fileName, const std::string &storedName) {
    return "Versteckt ist die Datei unter dem Namen \"" + storedName + "\" statt \"" + fileName +
           "\": Das klassische Format speichert höchstens 25 Zeichen, und nur Zeichen des "
           "westeuropäischen Zeichensatzes (Windows-1252). Unter diesem Namen wird sie auch wieder "
           "extrahiert.";
}

std::string ReplaceBackupQuestion(const std::string &copyName) {
    return "Es existiert bereits eine Sicherheitskopie (" + copyName +
           ") der ContainerDatei.\r\nSoll eine neue Kopie erzeugt werden?\r\n\r\n"
           "\"Ja\"   -> Die bestehende Sicherheitskopie wird überschrieben.\r\n\r\n"
           "\"Nein\" -> Die bestehende Sicherheitskopie bleibt erhalten. Es wird keine neue Kopie "
           "erzeugt.\r\r\nSicherheits-Hinweis:"
           "\rEs sollten möglichst keine Kopien der Containerdateien erzeugt werden. Zumindest "
           "sollten Kopie und "
           "\rOriginal nicht zusammen an einem Ort aufbewahrt werden. Ein Angreifer könnte durch "
           "Vergleich der  "
           "\rbeidenDateien versteckte Daten rekonstruieren. Diese sind dann aber immer noch sehr "
           "sicher AES-256 "
           "\roder RC4-kompatibel verschlüsselt. "
           "\rDeshalb sollte immer die Option \"Zu versteckende Datei zusätzlich verschlüsseln\" "
           "verwendet werden.";
}

std::optional<Notice> HideNotice(const HideResult &r) {
    const bool b = r.program == Program::B;
    const std::string title = b ? "KalmiraB-Nachricht" : "KalmiraA-Nachricht";
    switch (r.outcome) {
    case HideOutcome::NoCarrierChosen:
        return Notice{Icon::Information, title,
                      "Bitte eine BMP-Bild oder eine WAV-Datei als Containerdatei auswählen. (Befehl OPEN)"};
    case HideOutcome::CarrierMissing: return Notice{Icon::None, title, "Die ContainerDatei wurde nicht gefunden!"};
    case HideOutcome::NoSourceChosen:
        return Notice{Icon::None, title, "Es wurde noch keine zu versteckende Datei ausgewählt!"};
    case HideOutcome::NoMessage:
        return Notice{Icon::None, title,
                      "Das Textfeld enthält keine zu versteckende Botschaft. Bitte eine Textdatei "
                      "öffnen, Text direkt in das Textfeld eingeben oder eine Textdatei in das "
                      "Textfeld ziehen."};
    case HideOutcome::BackupFailed:
        return Notice{Icon::Critical, kErrorTitle,
                      "Die Sicherheitskopie \"" + r.backupPath +
                          "\" konnte nicht erstellt werden. Die Containerdatei wurde nicht verändert."};
    case HideOutcome::BackupNotRegular:
        return Notice{Icon::Critical, kErrorTitle,
                      "Die Sicherheitskopie \"" + r.backupPath +
                          "\" kann nicht angelegt werden: Unter diesem Namen besteht bereits eine Verknüpfung, "
                          "ein Ordner oder eine Gerätedatei. Die Containerdatei wurde nicht verändert."};
    case HideOutcome::NoAccess:
        return Notice{Icon::Critical, kErrorTitle, carrier::CarrierAccessText(r.access, r.carrierPath)};
    case HideOutcome::LibraryMissing: return Notice{Icon::Critical, kTitleCommon, ZorbMissingMessage()};
    case HideOutcome::CompressionFailed:
        return Notice{Icon::Critical, kErrorTitle,
                      "Die Botschaft konnte nicht komprimiert werden. Die Containerdatei wurde nicht verändert."};
    case HideOutcome::CarrierVanished: return Notice{Icon::None, kTitleCommon, "ContainerDatei wurde nicht gefunden!"};
    case HideOutcome::CarrierTooLarge: return Notice{Icon::Exclamation, title, DataTooLargeText()};
    case HideOutcome::CarrierTooSmall:
        return Notice{
            Icon::Exclamation, kTitleCommon,
            TooSmallTextWithHint(r.program, r.carrierPath, r.fit.carrierSize, r.sourcePath, r.fit.requiredSize)};
    case HideOutcome::CarrierStructure:
        return Notice{Icon::Exclamation, title, CarrierStructureMessage(r.fit.structure, FileNameOf(r.carrierPath))};
    case HideOutcome::WriteFailed: return Notice{Icon::Critical, kErrorTitle, WriteFailedText(r)};
    case HideOutcome::Ready:
    case HideOutcome::Written:
    case HideOutcome::Cancelled:
    case HideOutcome::Busy: break;
    }
    return std::nullopt;
}

} // namespace kalmira::hide
