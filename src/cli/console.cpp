#include "cli/console.h"

#include "crypto/keys.h"
#include "crypto/password_text.h"
#include "extract/extract_texts.h"
#include "platform/platform.h"
#include "platform/secure_memory.h"

#include "platform/binary_file.h"
#include "platform/terminal.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace kalmira::cli {

namespace {

// Window texts break lines with CR, CR LF or LF; a terminal wants LF.
std::string Lines(const std::string &text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::size_t Utf8Length(const std::string &s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

// The head of a file, enough for any first line a password can have.
std::optional<std::string> FileHead(const std::string &path, std::size_t limit) {
    platform::BinaryFile f;
    if (!f.open(path, platform::BinaryFile::Mode::Read)) return std::nullopt;
    const std::int64_t size = f.size();
    if (size < 0) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(std::min<std::int64_t>(size, static_cast<std::int64_t>(limit))), '\0');
    if (!bytes.empty() && !f.readAt(0, bytes.data(), bytes.size())) return std::nullopt;
    return bytes;
}

// Wipes a string holding a password when the scope ends.
struct ScopeWipe {
    std::string &s;
    ~ScopeWipe() { platform::WipeString(s); }
};

} // namespace

// Stored names reach messages too: nothing but line ends goes out raw.
void Complain(const std::string &text) { std::cerr << "kalmira: " << Printable(Lines(text), true) << std::endl; }

ProgressBar::ProgressBar() : enabled_(platform::IsTerminal(platform::StdStream::Error)) {}

void ProgressBar::show(int percent, const std::string &label) {
    if (!enabled_) return;
    percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    if (percent == last_ && label == label_) return;
    last_ = percent;
    label_ = label;
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    std::string line = "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
                       std::string(static_cast<std::size_t>(kWidth - filled), '.') + "] ";
    char pct[8];
    std::snprintf(pct, sizeof pct, "%3d %%", percent);
    line += pct;
    line += " " + label + "\033[K";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::finish() {
    if (!drawn_) return;
    std::fputs("\n", stderr);
    std::fflush(stderr);
    drawn_ = false;
    last_ = -1;
    label_.clear();
}

std::string PasswordProblem(const std::string &utf8, bool allowEmpty) {
    if (utf8.empty() && !allowEmpty) return "Das Passwort ist leer.";
    if (Utf8Length(utf8) > 16) return "Das Passwort ist länger als 16 Zeichen.";
    const std::string ansi = platform::AnsiFromUtf8(utf8);
    if (platform::Utf8FromAnsi(ansi) != utf8)
        return "Das Passwort enthält Zeichen, die im Zeichensatz Windows-1252 nicht vorkommen.";
    return "";
}

std::optional<std::string> ObtainPassword(const std::string &passwordFile, bool confirm, bool allowEmpty) {
    std::optional<std::string> ansi = ObtainAnsiPassword(passwordFile, confirm, allowEmpty);
    if (!ansi) return std::nullopt;
    ScopeWipe wipe{*ansi};
    return crypto::PadPassword(*ansi);
}

std::optional<std::string> ObtainAnsiPassword(const std::string &passwordFile, bool confirm, bool allowEmpty) {
    std::optional<std::string> pw;
    // "-" at a terminal is someone typing: the prompt without echo serves them.
    const bool typed = passwordFile == "-" && platform::IsTerminal(platform::StdStream::Input);
    if (!passwordFile.empty() && !typed) {
        return PasswordFromFileAt(passwordFile, allowEmpty);
    } else if (const char *env = std::getenv("KALMIRA_PASSWORD"); env && !typed) {
        pw = std::string(env);
    } else if (platform::IsTerminal(platform::StdStream::Input)) {
        pw = platform::ReadLineHidden("Bitte ein Passwort eingeben - max. 16 Zeichen: ");
        if (pw && confirm) {
            std::optional<std::string> again = platform::ReadLineHidden("Kontrollwiederholung: ");
            if (!again || *again != *pw) {
                Complain("Die beiden Eingaben des Passworts stimmen nicht überein.");
                return std::nullopt;
            }
        }
        if (!pw) {
            Complain("Keine Passworteingabe.");
            return std::nullopt;
        }
    } else {
        Complain("Kein Passwort: bitte --password-file DATEI oder die Umgebungsvariable "
                 "KALMIRA_PASSWORD angeben (oder am Terminal eingeben).");
        return std::nullopt;
    }
    ScopeWipe wipe{*pw};
    const std::string problem = PasswordProblem(*pw, allowEmpty);
    if (!problem.empty()) {
        Complain(problem);
        return std::nullopt;
    }
    return platform::AnsiFromUtf8(*pw);
}

std::optional<std::string> PasswordFromFileAt(const std::string &path, bool allowEmpty) {
    constexpr std::size_t kLimit = 4096;
    crypto::PasswordText text;
    if (path == "-") {
        const std::optional<platform::SecureBytes> line = platform::ReadStandardInputLine(kLimit);
        if (!line) {
            Complain("Das Passwort kann nicht von der Standardeingabe gelesen werden.");
            return std::nullopt;
        }
        text = crypto::PasswordFromFile({reinterpret_cast<const char *>(line->data()), line->size()});
    } else {
        std::optional<std::string> bytes = FileHead(path, kLimit);
        if (!bytes) {
            Complain("Die Passwortdatei \"" + path + "\" kann nicht gelesen werden.");
            return std::nullopt;
        }
        text = crypto::PasswordFromFile(*bytes);
        platform::WipeString(*bytes);
    }
    switch (text.status) {
    case crypto::PasswordText::Status::Ok: break;
    case crypto::PasswordText::Status::Unrepresentable: {
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(text.refused));
        Complain("Das Passwort enthält an Stelle " + std::to_string(text.refusedAt) + " das Zeichen \"" +
                 Printable(text.refusedUtf8) + "\" (" + code + "), das im Zeichensatz Windows-1252 nicht vorkommt.");
        return std::nullopt;
    }
    case crypto::PasswordText::Status::InvalidUtf8:
        Complain((path == "-" ? std::string("Die Standardeingabe") : "Die Passwortdatei \"" + path + "\"") +
                 " beginnt mit einer UTF-8-Markierung, enthält aber kein gültiges UTF-8.");
        return std::nullopt;
    }
    if (text.ansi.empty() && !allowEmpty) {
        Complain("Das Passwort ist leer.");
        return std::nullopt;
    }
    if (text.ansi.size() > 16) {
        Complain("Das Passwort ist länger als 16 Zeichen.");
        return std::nullopt;
    }
    return std::string(text.ansi.view());
}

std::string Printable(const std::string &utf8, bool keepLineEnds) {
    std::string out;
    char hex[8];
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const bool c1 = c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(utf8[i + 1]) <= 0x9F;
        if ((c < 0x20 && !(keepLineEnds && (c == '\n' || c == '\t'))) || c == 0x7F || c1) {
            std::snprintf(hex, sizeof hex, "\\x%02X", c1 ? static_cast<unsigned char>(utf8[++i]) : c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string TerminalText(const std::string &utf8) { return Printable(Lines(utf8), true); }

void ExtractView::step(extract::Step step, int percent) {
    const std::string label = extract::ExtractStepLabel(program_, step);
    if (!label.empty() && percent >= 0) bar_.show(percent, label);
}

bool ExtractView::write(const std::uint8_t *data, std::size_t n) { return platform::WriteStandardOutput(data, n); }

} // namespace kalmira::cli
