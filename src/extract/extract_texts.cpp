#include "extract/extract_texts.h"

#include "carrier/carrier_texts.h"
#include "compress/ZorbComprFile.h"
#include "shell/helpers.h"

#include <cstdio>

namespace kalmira::extract {

namespace {

const char *const kErrorTitle = "Kalmira - Fehlernachricht";
const char *const kRestCaptionB = "KalmiraB - Extraktion";
const char *const kRestCaptionA = "KalmiraA - Extraktion";

std::string Title(Program program) { return program == Program::B ? "KalmiraB-Nachricht" : "KalmiraA-Nachricht"; }

std::string DamageReason(const ExtractResult &r) {
    switch (r.damage) {
    case Damage::LengthField: return "ungültige Längenangabe";
    case Damage::LengthBeyondCarrier:
        return "die angegebene Länge von " + FormatThousands(r.dataLength) + " Byte passt nicht in die Container-Datei";
    case Damage::AesBlocks: return "die Länge der AES-verschlüsselten Daten ist kein Vielfaches von 16 Byte";
    case Damage::Decryption: return "die Daten lassen sich nicht entschlüsseln";
    case Damage::Decompression:
    case Damage::None: break;
    }
    return "";
}

std::optional<Notice> DamagedNotice(const ExtractResult &r, const std::string &destination) {
    if (r.damage != Damage::Decompression)
        return Notice{Icon::Exclamation, Title(r.program),
                      "Die versteckten Daten in der Container-Datei sind beschädigt oder unvollständig (" +
                          DamageReason(r) + "). Es wurde nichts gespeichert."};
    std::string text = "Die versteckten Daten konnten nicht dekomprimiert werden. Die Container-Datei ist "
                       "beschädigt oder wurde verändert.";
    if (r.program == Program::B) text += " Die Datei \"" + destination + "\" wurde nicht geschrieben.";
    return Notice{Icon::Critical, kErrorTitle, text};
}

// Outcomes that only the file run has.
std::optional<Notice> FileNotice(const FileExtractResult &r) {
    const std::string &dest = r.destination;
    switch (r.outcome) {
    case ExtractOutcome::FolderUnwritable:
        return Notice{Icon::Critical, kErrorTitle,
                      "Im Zielordner \"" + (FolderOf(dest).empty() ? std::string("./") : FolderOf(dest)) +
                          "\" kann nicht geschrieben werden. Es wurde nichts gespeichert."};
    case ExtractOutcome::WriteFailed:
        return Notice{Icon::Critical, kErrorTitle,
                      "Die Datei \"" + dest +
                          "\" konnte nicht geschrieben werden. Ist der Datenträger voll? Es wurde nichts gespeichert."};
    case ExtractOutcome::ReplaceFailed:
        return Notice{Icon::Critical, kErrorTitle, "Die Datei \"" + dest + "\" konnte nicht geschrieben werden."};
    case ExtractOutcome::DestinationNotRegular:
        return Notice{Icon::Critical, kErrorTitle,
                      "\"" + dest +
                          "\" ist keine gewöhnliche Datei (ein Ordner, eine Pipe oder ein Gerät) und wird "
                          "nicht ersetzt. Es wurde nichts gespeichert."};
    case ExtractOutcome::DestinationExists:
        return Notice{Icon::Critical, kErrorTitle,
                      "Die Datei \"" + dest + "\" existiert bereits. Mit --force wird sie überschrieben."};
    default: break;
    }
    return ExtractNotice(static_cast<const ExtractResult &>(r));
}

std::string DecryptCaption(Program program, payload::Mode mode) {
    const bool rc4 = mode == payload::Mode::Rc4;
    if (program == Program::B)
        return rc4 ? ">>>>>>>>>>>>>  Datei wird entschlüsselt (RC4) ..."
                   : ">>>>>>>>>>>>>  Datei wird entschlüsselt (AES-256)...";
    return rc4 ? ">>>>>>>>>> Entschlüsseln (RC4) ..." : ">>>>>>>>>> Entschlüsseln (AES) ...";
}

} // namespace

std::string FormatSeconds(double seconds) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", seconds < 0 ? 0.0 : seconds);
    std::string s = buf;
    for (char &c : s)
        if (c == '.') c = ',';
    return s;
}

std::string ExtractStepLabel(Program program, Step step) {
    switch (step) {
    case Step::Read:
        return program == Program::B ? "Versteckte Datei wird extrahiert ..." : "Extraktion - Vorgang läuft ...";
    case Step::Inflate: return "Die Datei wird dekomprimiert:";
    default: break;
    }
    return "";
}

std::string ExtractCaption(Program program, payload::Mode mode, Step step, int pct) {
    const bool b = program == Program::B;
    switch (step) {
    case Step::Prepare: return b ? "" : ">>>>>>>>>> Extraktion vorbereiten (ByteArray erzeugen) ...";
    case Step::Read:
        return (b ? ">>>>>>>>>>" : ">>>>>>>>>> ") + ExtractStepLabel(program, step) + "   " + std::to_string(pct) +
               " % bearbeitet";
    case Step::ReadDone:
        return b ? ">>>>>>>>>>Versteckte Datei wurde extrahiert ...   100 % bearbeitet"
                 : ">>>>>>>>>> Extraktion - Vorgang ...   100 % bearbeitet";
    case Step::Decrypt: return mode == payload::Mode::Plain ? "" : DecryptCaption(program, mode);
    case Step::Inflate:
        return pct < 0
                   ? ">>>>>>>>>>>>>>> Datei wird dekomprimiert..."
                   : ">>>>>>>>>> " + ExtractStepLabel(program, step) + " " + std::to_string(pct) + " % bearbeitet...";
    }
    return "";
}

std::vector<TimedCaption> ExtractEndCaptions(const ExtractResult &r) {
    const bool b = r.program == Program::B;
    const char *rest = b ? kRestCaptionB : kRestCaptionA;
    switch (r.outcome) {
    case ExtractOutcome::Ready:
    case ExtractOutcome::Busy:
    case ExtractOutcome::LibraryMissing:
    case ExtractOutcome::ProgramEnded: return {};
    case ExtractOutcome::TooLarge:
        if (!b) return {{0, rest}};
        break;
    case ExtractOutcome::Extracted:
        if (b)
            return {{0, rest},
                    {0, ">>>>>>>>>>Versteckte Datei wurde extrahiert ...100 % bearbeitet"},
                    {0, kExtractFinishedCaption},
                    {1, rest}};
        break;
    default: break;
    }
    // A carrier that could not be opened does not hold the caption.
    const bool pause = r.outcome != ExtractOutcome::CarrierMissing && r.outcome != ExtractOutcome::NoAccess &&
                       r.outcome != ExtractOutcome::NoPayload;
    return {{0, kExtractFinishedCaption}, {pause ? 1.0 : 0.0, rest}};
}

Notice WrongPasswordNotice(Program program, int attemptsLeft) {
    return Notice{Icon::Exclamation, Title(program),
                  "Falsches Passwort! Sie haben noch " + std::to_string(attemptsLeft) +
                      (attemptsLeft == 1 ? " Versuch!" : " Versuche!")};
}

std::optional<Notice> ExtractNotice(const ExtractResult &r) {
    const bool b = r.program == Program::B;
    switch (r.outcome) {
    case ExtractOutcome::NoCarrierChosen:
        return Notice{Icon::Information, Title(r.program),
                      std::string("Bitte eine BMP-Bild oder eine WAV-Datei  auswählen, in welcher vorher eine ") +
                          (b ? "Datei" : "Botschaft") + " versteckt wurde. (Befehl OPEN)"};
    case ExtractOutcome::CarrierMissing:
        return Notice{Icon::Information, Title(r.program),
                      b ? "ContainerDatei wurde nicht gefunden!" : "Die ContainerDatei wurde nicht gefunden!"};
    case ExtractOutcome::CarrierUnreadable:
        return Notice{Icon::Critical, kErrorTitle,
                      "Die Container-Datei \"" + r.carrierPath +
                          "\" kann nicht gelesen werden. Es wurde nichts gespeichert."};
    case ExtractOutcome::NoAccess:
        return Notice{Icon::Critical, kErrorTitle, carrier::CarrierAccessText(r.access, r.carrierPath)};
    case ExtractOutcome::NoPayload:
        return Notice{Icon::Information, Title(r.program),
                      b ? "Die ausgewählte Container-Datei enthält keine versteckte Datei!"
                        : "Diese Datei enthält keine versteckte Botschaft!"};
    case ExtractOutcome::Damaged: return DamagedNotice(r, "");
    case ExtractOutcome::TempWriteFailed:
        return Notice{Icon::Critical, kErrorTitle,
                      b ? "Die extrahierten Daten konnten nicht in den temporären Ordner geschrieben werden. Es "
                          "wurde nichts gespeichert."
                        : "Die Botschaft konnte nicht im temporären Ordner entpackt werden. Ist der Datenträger voll?"};
    case ExtractOutcome::LibraryMissing: return Notice{Icon::Critical, "Kalmira-Nachricht", ZorbMissingMessage()};
    default: break;
    }
    return std::nullopt;
}

std::optional<Notice> ExtractNotice(const FileExtractResult &r) {
    if (r.outcome == ExtractOutcome::Damaged) return DamagedNotice(r, r.destination);
    return FileNotice(r);
}

std::optional<Notice> ExtractNotice(const MessageExtractResult &r) {
    if (r.outcome != ExtractOutcome::TooLarge) return ExtractNotice(static_cast<const ExtractResult &>(r));
    return Notice{Icon::Exclamation, "KalmiraA - Nachricht",
                  "Die eingebettete (versteckte) Datei " + r.storedName + " ist grösser " +
                      std::to_string(r.maxMessageSize) +
                      " Byte oder ist keine ASCII Textdatei. Zum Einbetten (Verstecken) wurde wahrscheinlich "
                      "KalmiraB verwendet. Bitte zum Extrahieren der Datei das Programm KalmiraB verwenden."};
}

FileResultLines ResultLines(const FileExtractResult &r) {
    FileResultLines lines;
    const std::int64_t rounded = ((r.dataLength - 1) / 16 + 1) * 16;
    const std::int64_t f = r.extractedSize;
    const std::string name = FileNameOf(r.destination);
    lines.sizes = f >= rounded ? "Extrahierte Datei (komprimiert): " + FormatThousands(rounded) +
                                     " Bytes, dekomprimiert: " + FormatThousands(f) + " Bytes (" + name + ")"
                               : "Extrahierte Datei: " + FormatThousands(f) + " Bytes (" + name + ")";
    switch (r.mode) {
    case payload::Mode::Rc4:
        lines.cipher = "Die extrahierten Daten waren zusaetzlich verschluesselt. Erkanntes Kryptoverfahren: RC4-256";
        break;
    case payload::Mode::Aes:
        lines.cipher = "Die extrahierten Daten waren zusaetzlich verschluesselt. Erkanntes Kryptoverfahren: AES-256";
        break;
    case payload::Mode::Plain: lines.cipher = "Die extrahierten Daten waren nicht zusaetzlich verschluesselt."; break;
    }
    lines.seconds = FormatSeconds(r.seconds);
    return lines;
}

std::string MessageResultLine(const MessageExtractResult &r) {
    const char *cipherPart = r.mode == payload::Mode::Aes   ? " Byte, erkanntes Kryptoverfahren: AES-256"
                             : r.mode == payload::Mode::Rc4 ? " Byte, erkanntes Kryptoverfahren: RC4-256"
                                                            : " Byte, erkanntes Kryptoverfahren: unverschluesselt";
    return "Extrahierte Botschaft: " + FormatThousands(static_cast<long long>(r.messageAnsi.size())) +
           " Byte,  ContainerSize: " + FormatThousands(r.carrierSize) + cipherPart;
}

} // namespace kalmira::extract
