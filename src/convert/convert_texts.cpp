#include "convert/convert_texts.h"

#include <cerrno>
#include <cstring>

namespace kalmira::convert {

std::string ErrorText(int err) {
    switch (err) {
    case 0: return "Schreibfehler";
    case EACCES:
    case EPERM: return "Zugriff verweigert: Für diesen Ordner fehlt die Schreibberechtigung.";
    case EROFS: return "Der Datenträger ist schreibgeschützt.";
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return "Auf dem Datenträger ist nicht genügend Speicherplatz frei.";
    case ENOENT:
    case ENOTDIR: return "Der Ordner wurde nicht gefunden.";
    case EISDIR: return "Unter diesem Namen besteht bereits ein Ordner.";
    case ENXIO: return "Unter diesem Namen besteht eine Verknüpfung ins Leere, eine Pipe oder ein Gerät.";
    case EFBIG: return "Die Datei wäre zu groß.";
    case ENAMETOOLONG: return "Der Dateiname ist zu lang.";
    default: return std::string("Systemfehler ") + std::to_string(err) + ": " + std::strerror(err);
    }
}

std::optional<std::string> SaveFailureText(std::int64_t result, int error) {
    if (result == -1) return std::string("Fehler!\r\nDieses Bildformat wird nicht unterstützt!");
    if (result == 0) return "Fehler!\r\n" + ErrorText(error);
    return std::nullopt;
}

} // namespace kalmira::convert
