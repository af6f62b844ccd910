// The German words for what the carrier layer decides, for the windows and
// the command-line tool alike.
#pragma once

#include "carrier/access.h"
#include "carrier/classify.h"
#include "carrier/codec_common.h"
#include "shell/ui.h"

#include <optional>
#include <string>

namespace kalmira::carrier {

// "Die Containerdatei "x" ist keine gewöhnliche Datei." and the like; "" for
// Ready and Missing (each run has its own words for a missing carrier).
std::string CarrierAccessText(CarrierAccess access, const std::string &path);

// "Ein unterbrochener Schreibvorgang in der Containerdatei "x" wurde rückgängig gemacht."
// and the like; "" when nothing was found.
std::string RecoveredText(const Recovered &recovered, const std::string &path);

// Why a file is refused as a carrier ("Die ausgewählte Datei ist keine
// gültige BMP-Datei, ..."); nullopt for the usable kinds. PNG and FLAC are
// usable only in a `stealth` run.
std::optional<Notice> RefusalNotice(CarrierKind kind, const std::string &path, bool stealth = false);

// Why a PNG or FLAC file cannot be taken as a carrier, or could not be
// written back; "" for None.
// The stealth format's refusals (stealth_texts) say the same of "Die Datei"
// through the clauses below, so both always say it alike.
std::string CodecProblemText(CodecProblem problem, const std::string &path);

// "ist beschädigt oder unvollständig", after the file's name.
std::string DamagedClause();
// "ist zu gross: Entpackt bräuchte sie mehr als 4 GiB Arbeitsspeicher", after
// the file's name; the limit is the whole-file carriers' one.
std::string TooLargeClause();

// A PNG or FLAC carrier in a classic run: the stealth format only.
std::string ClassicOnlyText(const std::string &path);

} // namespace kalmira::carrier
