// The German words for what the hide runs decide: one place for the windows
// and the command-line tool.
#pragma once

#include "carrier/payload_fit.h"
#include "hide/hide_engine.h"
#include "hide/run_view.h"

#include <optional>
#include <string>

namespace kalmira::hide {

// What the user is told when a run has ended; nullopt when nothing
// (written, cancelled, busy).
std::optional<Notice> HideNotice(const HideResult &result);

// "Die ausgewählte Containerdatei "c.bmp" ist zu klein (8.625 Byte). Um die
// Datei "x" zu verstecken, muss die Containerdatei mindestens 8.626 Byte
// gross sein." Names are shown as file names.
std::string TooSmallText(const std::string &carrier, std::int64_t carrierSize,
                         const std::string &hiddenFile, std::int64_t requiredSize);
// The same with the hint of the window of `program` on finding carrier sizes.
std::string TooSmallTextWithHint(Program program, const std::string &carrier, std::int64_t carrierSize,
                                 const std::string &hiddenFile, std::int64_t requiredSize);
// "... ist zu klein (9.054 Byte)" as the tool's capacity command says it.
std::string CapacityTooSmallText(const std::string &carrier, std::int64_t carrierSize);

// "Die zu versteckende Datei darf komprimiert nicht grösser 9.999.999 Byte ..."
std::string DataTooLargeText();

// The German refusal for a damaged-structure result.
std::string CarrierStructureMessage(payload::CarrierStructure result, const std::string &carrierName);

// The question before an existing backup copy is replaced.
std::string ReplaceBackupQuestion(const std::string &copyName);

// Asks the run's questions through message boxes ("Ja" replaces the copy).
class MessageQuestions : public RunQuestions {
public:
    explicit MessageQuestions(Messages &messages) : messages_(messages) {}
    bool replaceBackup(const std::string &copyName) override;

private:
    Messages &messages_;
};

} // namespace kalmira::hide
