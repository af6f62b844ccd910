// The German words for what the extract runs decide: one place for the
// windows and the command-line tool.
#pragma once

#include "extract/extract_engine.h"

#include <optional>
#include <string>
#include <vector>

namespace kalmira::extract {

// The caption both extract runs hold on screen when they are done.
inline constexpr const char *kExtractFinishedCaption = "          **********   FERTIG!  **********";

// "0,153": seconds with three decimals, German decimal comma.
std::string FormatSeconds(double seconds);

// What the window of `program` shows in its title bar for a step of a run on
// a payload hidden with `mode`; "" when it shows nothing.
std::string ExtractCaption(Program program, payload::Mode mode, Step step, int percent);
// The tool's progress bar: the label of a step that counts in percent; "" for the others.
std::string ExtractStepLabel(Program program, Step step);
// The captions an extract window shows once a run has ended.
std::vector<TimedCaption> ExtractEndCaptions(const ExtractResult &result);

// What the user is told when a run has ended; nullopt when nothing
// (extracted, cancelled, program ended, busy).
std::optional<Notice> ExtractNotice(const ExtractResult &result);
std::optional<Notice> ExtractNotice(const FileExtractResult &result);
std::optional<Notice> ExtractNotice(const MessageExtractResult &result);

// "Falsches Passwort! Sie haben noch 2 Versuche!" in the window of `program`.
Notice WrongPasswordNotice(Program program, int attemptsLeft);

// The three result lines of KalmiraB's extract window.
struct FileResultLines {
    std::string sizes;   // "Extrahierte Datei: 3.000 Bytes (z.bin)"
    std::string seconds; // "0,153"
    std::string cipher;  // "Die extrahierten Daten waren ..."
};
FileResultLines ResultLines(const FileExtractResult &result);

// KalmiraB's cipher line after data came out of the stealth format.
inline constexpr const char *kStealthCipherLine = "Die extrahierten Daten waren im Tarnformat verschlüsselt.";

// The password question once the classic format found nothing: only the
// stealth format may still hold data, and only then is a password needed.
inline constexpr const char *kStealthPasswordQuestion =
    "Im klassischen Format wurde in dieser Datei nichts gefunden. Ein Passwort ist nur nötig, wenn "
    "die Daten im Tarnformat versteckt wurden. Dann bitte das Passwort eingeben (sonst Esc):";

// KalmiraA's result line: "Extrahierte Botschaft: 12 Byte,  ContainerSize: ..."
std::string MessageResultLine(const MessageExtractResult &result);

} // namespace kalmira::extract
