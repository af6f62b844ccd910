// The German words for what the extract runs decide: one place for the
// windows and the command-line tool.
#pragma once

#include "extract/extract_engine.h"

#include <optional>
#include <string>

namespace kalmira::extract {

// What the user is told when a run has ended; nullopt when nothing
// (extracted, cancelled, program ended, busy).
std::optional<Notice> ExtractNotice(const ExtractResult &result);
std::optional<Notice> ExtractNotice(const FileExtractResult &result);
std::optional<Notice> ExtractNotice(const MessageExtractResult &result);

// "Falsches Passwort! Sie haben noch 2 Versuche!" in the window of `program`.
Notice WrongPasswordNotice(Program program, int attemptsLeft);

// The three result lines of KalmiraB's extract window.
struct FileResultLines {
    std::string sizes;    // "Extrahierte Datei: 3.000 Bytes (z.bin)"
    std::string seconds;  // "0,153"
    std::string cipher;   // "Die extrahierten Daten waren ..."
};
FileResultLines ResultLines(const FileExtractResult &result);

// KalmiraA's result line: "Extrahierte Botschaft: 12 Byte,  ContainerSize: ..."
std::string MessageResultLine(const MessageExtractResult &result);

} // namespace kalmira::extract
