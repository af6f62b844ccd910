// The German words for what the hide runs decide: one place for the windows
// and the command-line tool.
#pragma once

#include "carrier/payload_fit.h"
#include "hide/hide_engine.h"
#include "shell/ui.h"

#include <optional>
#include <string>
#include <vector>

namespace kalmira::hide {

// The captions a run holds on screen when it is done.
inline constexpr const char *kFinishedCaption = "          **********   FERTIG!  **********";
inline constexpr const char *kFinishedCaptionA = "          **********   FERTIG   **********";

// " 37": the number format with a leading blank for non-negative numbers.
std::string WithSign(long long value);

// What the window of `program` shows in its title bar for a step of a run
// hiding with `mode` (and copying to `backupPath`); "" when it shows nothing.
std::string HideCaption(Program program, payload::Mode mode, const std::string &backupPath, Step step, int percent);
// The tool's progress bar: the label of a step that counts in percent; "" for the others.
std::string HideStepLabel(Program program, const std::string &backupPath, Step step);

// The captions a hide window shows once a run has ended (see TimedCaption).
std::vector<TimedCaption> HideEndCaptions(const HideResult &result);

// KalmiraA's size line once the message is compressed ("" before): message,
// compressed and carrier sizes, and the least carrier size.
std::string MessageSizeLine(const HideResult &result);
// ... when no password was given.
std::string MessageSizeLineCancelled(const HideResult &result);

// What the user is told when a run has ended; nullopt when nothing
// (written, cancelled, busy).
std::optional<Notice> HideNotice(const HideResult &result);

// "Die ausgewählte Containerdatei "c.bmp" ist zu klein (8.625 Byte). Um die
// Datei "x" zu verstecken, muss die Containerdatei mindestens 8.626 Byte
// gross sein." Names are shown as file names.
std::string TooSmallText(const std::string &carrier, std::int64_t carrierSize, const std::string &hiddenFile,
                         std::int64_t requiredSize);
// The same with the hint of the window of `program` on finding carrier sizes.
std::string TooSmallTextWithHint(Program program, const std::string &carrier, std::int64_t carrierSize,
                                 const std::string &hiddenFile, std::int64_t requiredSize);
// "... ist zu klein (9.054 Byte)" as the tool's capacity command says it.
std::string CapacityTooSmallText(const std::string &carrier, std::int64_t carrierSize);

// "Die zu versteckende Datei darf komprimiert nicht grösser 9.999.999 Byte ..."
std::string DataTooLargeText();

// The German refusal for a damaged-structure result.
std::string CarrierStructureMessage(payload::CarrierStructure result, const std::string &carrierName);

// After a classic hide that stored the file under another name than its own
// (payload::ChangedStoredName): which name, and why.
std::string StoredNameText(const std::string &fileName, const std::string &storedName);

// The question before an existing backup copy is replaced: title, text.
inline constexpr const char *kReplaceBackupTitle = "Kalmira - Anfrage";
std::string ReplaceBackupQuestion(const std::string &copyName);

} // namespace kalmira::hide
