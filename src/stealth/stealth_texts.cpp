#include "stealth/stealth_texts.h"

#include "carrier/carrier_texts.h"
#include "shell/helpers.h"
#include "stealth/guarded.h"

namespace kalmira::stealth {

namespace {

std::string Quoted(const std::string &s) { return "\"" + s + "\""; }

// The programs' number format; it leaves 0 empty, a size says "0 Byte".
std::string Bytes(std::uint64_t n) {
    return (n == 0 ? std::string("0") : FormatThousands(static_cast<long long>(n))) + " Byte";
}

const char *const kHideTitle = "Verstecken im Tarnformat";

const std::string kEasierToFind = "Das Versteck ist so für statistische Prüfungen leichter zu entdecken.";

std::string JpegCore(const std::string &carrier) {
    return Quoted(carrier) + " war einmal ein JPEG-Bild. Jede Änderung um ±1 fällt einer Prüfung auf "
                             "JPEG-Spuren auf, auch im Tarnformat.";
}

std::string TooSmallText(const std::string &carrier, std::uint64_t largest, std::uint64_t payload) {
    return Quoted(carrier) + " ist zu klein: im Tarnformat passen höchstens " + Bytes(largest) +
           " hinein, gebraucht werden " + Bytes(payload) + ".";
}

std::string UnchangedText(const std::string &carrier) {
    return Quoted(carrier) + " kann nicht gelesen oder geschrieben werden; die Datei ist unverändert.";
}

} // namespace

std::string UnsuitableText(Unsuitable reason) {
    switch (reason) {
    case Unsuitable::NotBmpOrWav:
        return "Die Datei ist weder ein BMP- oder PNG-Bild noch eine WAV- oder FLAC-Klangdatei.";
    case Unsuitable::PaletteBmp:
        return "Das Bild hat eine Farbpalette (1, 4 oder 8 Bit). Das Tarnformat braucht ein 24- oder "
               "32-Bit-Bild; bitte das Bild mit dem BildConverter umwandeln.";
    case Unsuitable::UnsupportedBmp:
        return "Das Bild ist komprimiert, hat 16 Bit Farbtiefe oder ist extrem breit. Das Tarnformat "
               "braucht ein unkomprimiertes 24- oder 32-Bit-Bild mit Zeilen bis 256 KB.";
    case Unsuitable::CompressedWav:
        return "Die Klangdaten sind kein ganzzahliges PCM (sondern komprimiert oder Gleitkommazahlen). "
               "Das Tarnformat braucht unkomprimierte PCM-Klangdaten mit 8, 16 oder 24 Bit je Abtastwert.";
    case Unsuitable::UnsupportedWav: return "Das Tarnformat braucht Klangdaten mit 8, 16 oder 24 Bit je Abtastwert.";
    case Unsuitable::Malformed: return "Die Datei " + carrier::DamagedClause() + ".";
    case Unsuitable::PalettePng:
        return "Das PNG-Bild hat eine Farbpalette oder weniger als 8 Bit Graustufen. Das Tarnformat braucht "
               "ein Bild mit 8 oder 16 Bit je Kanal; bitte das Bild mit dem BildConverter umwandeln.";
    case Unsuitable::UnsupportedPng:
        return "Das PNG-Bild ist animiert oder enthält unbekannte kritische Chunks, die beim Neuschreiben "
               "verloren gingen.";
    case Unsuitable::UnsupportedFlac:
        return "Das Tarnformat braucht eine FLAC-Aufnahme mit 8 bis 24 Bit je Abtastwert und gleichbleibenden "
               "Stromparametern.";
    case Unsuitable::TooLarge: return "Die Datei " + carrier::TooLargeClause() + ".";
    case Unsuitable::HardLinked:
        return "Die Datei hat weitere Namen (harte Links). Sie wird beim Verstecken als Ganzes neu geschrieben, "
               "die anderen Namen behielten den alten Inhalt; bitte eine Kopie ohne weitere Namen verwenden.";
    case Unsuitable::None: break;
    }
    return "";
}

Wording HideWording(const HideResult &r, const std::string &carrier, const std::optional<std::string> &storedName) {
    using O = HideResult::Outcome;
    const std::string title = kHideTitle;
    switch (r.outcome) {
    case O::Written: {
        const std::string what = storedName && storedName->size() <= r.payloadBytes
                                     ? "Die Daten (" + Bytes(r.payloadBytes - storedName->size()) + ")"
                                     : "Name und Daten (" + Bytes(r.payloadBytes) + ")";
        return {title, what + " sind im Tarnformat verschlüsselt in " + Quoted(carrier) + " versteckt."};
    }
    case O::CarrierUnsuitable:
        return FitWording(FitCheck{FitCheck::Outcome::CarrierUnsuitable, r.reason, 0, 0}, carrier);
    case O::TooSmall: return {title, TooSmallText(carrier, r.largestPayload, r.payloadBytes)};
    case O::BadPassword: return {title, "Das Passwort muss 1 bis 16 Zeichen lang sein."};
    case O::NameTooLong: return {title, "Der Dateiname ist zu lang."};
    case O::SourceError: return {title, "Die zu versteckende Datei kann nicht gelesen werden."};
    case O::Cancelled: return {title, "Abgebrochen. " + Quoted(carrier) + " ist unverändert."};
    case O::IoError:
        return {title, r.carrierTouched ? Quoted(carrier) + " konnte nicht vollständig geschrieben werden."
                                        : UnchangedText(carrier)};
    }
    return {title, ""};
}

Wording AboveRecommendedQuestion(std::uint64_t payloadBytes, std::uint64_t recommended, const std::string &carrier) {
    return {"Kalmira - Anfrage", "Name und Daten (" + Bytes(payloadBytes) + ") sind mehr, als für " + Quoted(carrier) +
                                     " empfohlen ist (" + Bytes(recommended) + "). " + kEasierToFind +
                                     "\r\nTrotzdem verstecken?"};
}

std::string CapacityLine(std::int64_t carrierSize, const CapacityResult &cap) {
    // Under the carrier's path: its size needs no name.
    std::string line = Bytes(carrierSize < 0 ? 0 : static_cast<std::uint64_t>(carrierSize));
    if (cap.outcome != CapacityResult::Outcome::Ok) return line;
    if (cap.recommendedPayload > 0) return line + "; Tarnformat empfohlen: bis " + Bytes(cap.recommendedPayload);
    return line + "; Tarnformat: höchstens " + Bytes(cap.largestPayload);
}

std::string CapacityDetails(const CapacityResult &cap) {
    if (cap.outcome != CapacityResult::Outcome::Ok) return "";
    std::string text = "Im Tarnformat passen höchstens " + Bytes(cap.largestPayload) + " (Name und Daten).";
    if (cap.recommendedPayload > 0)
        text += " Bis " + Bytes(cap.recommendedPayload) + " bleibt es für geübte Prüfprogramme unauffällig.";
    return text;
}

Wording JpegOriginNote(const std::string &carrier) {
    return {"Kalmira-Nachricht", JpegCore(carrier) +
                                     "\r\nEin besserer Container entsteht, wenn das ursprüngliche Bild im "
                                     "BildConverter mit \"verkleinern\" umgewandelt wird."};
}

Wording FitWording(const FitCheck &fit, const std::string &carrier) {
    using O = FitCheck::Outcome;
    switch (fit.outcome) {
    case O::CarrierUnsuitable:
        return {kHideTitle, Quoted(carrier) + " kann nicht verwendet werden. " + UnsuitableText(fit.reason)};
    case O::TooSmall: return {kHideTitle, TooSmallText(carrier, fit.largestPayload, fit.payloadBytes)};
    case O::IoError: return {kHideTitle, UnchangedText(carrier)};
    case O::Fits: break;
    }
    return {kHideTitle, ""};
}

Wording ExtractWording(const ExtractResult &r, const std::string &carrier) {
    using O = ExtractResult::Outcome;
    const std::string title = "Auslesen im Tarnformat";
    switch (r.outcome) {
    case O::Extracted: return {title, "Die Daten (" + Bytes(r.facts.length) + ") sind ausgelesen."};
    case O::NoDataOrWrongPassword:
        return {title, "In " + Quoted(carrier) +
                           " wurden keine Daten gefunden, oder das Passwort ist falsch. Im Tarnformat "
                           "lässt sich beides absichtlich nicht unterscheiden."};
    case O::Damaged:
        return {title, "Die versteckten Daten in " + Quoted(carrier) +
                           " sind beschädigt oder unvollständig. Es wurde nichts gespeichert."};
    case O::CarrierUnsuitable:
        return {title, Quoted(carrier) + " kann keine Daten im Tarnformat enthalten. " + UnsuitableText(r.reason)};
    case O::BadPassword: return {title, "Das Passwort muss 1 bis 16 Zeichen lang sein."};
    case O::TooLarge: return {title, "Die versteckten Daten sind zu groß für diese Anzeige."};
    case O::Cancelled: return {title, "Abgebrochen. Es wurde nichts gespeichert."};
    case O::IoError: return {title, "Lesen oder Speichern ist fehlgeschlagen. Es wurde nichts gespeichert."};
    }
    return {title, ""};
}

std::string RecommendedText(std::uint64_t recommended) {
    return "Empfohlen: höchstens " + Bytes(recommended) +
           ". Bis dahin bleibt das Versteck auch für statistische Prüfungen unauffällig.";
}

std::string AboveRecommendedText(std::uint64_t payloadBytes, std::uint64_t recommended) {
    return "Warnung: " + Bytes(payloadBytes) + " sind mehr als die empfohlenen " + Bytes(recommended) + ". " +
           kEasierToFind + " Es wird trotzdem angelegt.";
}

std::string JpegOriginText(const std::string &carrier) { return "Hinweis: " + JpegCore(carrier); }

std::optional<Wording> SafetyWording(const Safety &safety, const std::string &carrier) {
    const std::string q = "\"" + carrier + "\"";
    switch (safety.problem) {
    case Safety::Problem::NoAccess: return Wording{"Kalmira", carrier::CarrierAccessText(safety.access, carrier)};
    case Safety::Problem::JournalFailed:
        return Wording{"Kalmira", "Für " + q +
                                      " konnte keine Sicherung angelegt werden (Datenträger voll "
                                      "oder schreibgeschützt?). Die Datei ist unverändert."};
    case Safety::Problem::None: break;
    }
    if (safety.rolledBack)
        return Wording{"Verstecken im Tarnformat",
                       "Das Schreiben ist fehlgeschlagen. " + q + " wurde wiederhergestellt und ist unverändert."};
    return std::nullopt;
}

std::optional<std::string> SafetyNote(const Safety &safety, const std::string &carrier) {
    if (!safety.recovered) return std::nullopt;
    return carrier::RecoveredText(safety.recovered, carrier);
}

} // namespace kalmira::stealth
