#include "cli/commands.h"

#include "carrier/carrier_texts.h"
#include "carrier/payload_fit.h"
#include "cli/console.h"
#include "compress/ZorbComprFile.h"
#include "compress/zlib_memory.h"
#include "convert/modConvert.h"
#include "extract/extract_engine.h"
#include "extract/extract_texts.h"
#include "hide/hide_engine.h"
#include "hide/hide_texts.h"
#include "platform/binary_file.h"
#include "platform/platform.h"
#include "platform/secure_memory.h"
#include "platform/temp_file.h"
#include "platform/terminal.h"
#include "shell/helpers.h"
#include "shell/scope_guard.h"
#include "shredder/wipe.h"

#include <iostream>

namespace kalmira::cli {

using platform::BinaryFile;
using platform::TempFile;

namespace {

const char *const kNameIfNone = "Extrahierte-Datei";

bool ReadFile(const std::string &path, std::string &out) {
    BinaryFile f;
    if (!f.open(path, BinaryFile::Mode::Read)) return false;
    const std::int64_t size = f.size();
    if (size < 0) return false;
    out.assign(static_cast<std::size_t>(size), '\0');
    return size == 0 || f.readAt(0, out.data(), out.size());
}

bool ValidUtf8(const std::string &s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += len;
    }
    return true;
}

void Say(const std::optional<Notice> &notice) {
    if (notice) Complain(notice->text);
}

// The password of an encrypted payload, checked once; kOk or the exit code.
int ExtractPassword(const payload::ParsedHeader &header, const Options &o, std::string &padded) {
    if (*header.mode == payload::Mode::Plain) return kOk;
    std::optional<std::string> pw = ObtainPassword(o.passwordFile, false, true);
    if (!pw) return kUsage;
    if (!extract::PasswordMatches(header, *pw)) {
        Complain("Falsches Passwort!");
        return kWrongPassword;
    }
    padded.swap(*pw);
    platform::WipeString(*pw);
    return kOk;
}

int ExtractExit(extract::ExtractOutcome outcome) {
    switch (outcome) {
    case extract::ExtractOutcome::Extracted: return kOk;
    case extract::ExtractOutcome::NoPayload: return kNoPayload;
    case extract::ExtractOutcome::Damaged: return kDamaged;
    case extract::ExtractOutcome::ProgramEnded: return kWrongPassword;
    case extract::ExtractOutcome::TooLarge: return kUnsuitable;
    default: break;
    }
    return kIoError;
}

int ExtractMessage(const Options &o, const std::string &dest, const std::string &padded, ProgressBar &bar) {
    extract::ExtractEngine engine;
    ExtractView view(bar, Program::A);
    extract::OpenedPayload opened = engine.open(view, Program::A, o.args[0]);
    const extract::MessageExtractResult r = engine.runMessage(view, opened, static_cast<int>(kMaxMessageSize), padded);
    bar.finish();
    Say(extract::ExtractNotice(r));
    if (r.outcome != extract::ExtractOutcome::Extracted) return ExtractExit(r.outcome);
    return WriteMessage(o, r.messageAnsi, dest);
}

int ExtractFile(const Options &o, const std::string &dest, const std::string &padded, ProgressBar &bar) {
    const bool toStdout = o.output == "-";
    extract::ExtractEngine engine;
    ExtractView view(bar, Program::B, toStdout ? "-" : dest, o.force);
    extract::OpenedPayload opened = engine.open(view, Program::B, o.args[0]);
    extract::FileExtractResult r = engine.runFile(view, opened, padded);
    bar.finish();
    if (toStdout) r.destination = "-";
    Say(extract::ExtractNotice(r));
    if (r.outcome != extract::ExtractOutcome::Extracted) return ExtractExit(r.outcome);
    if (!toStdout) std::cout << Printable(dest) << std::endl;
    return kOk;
}

} // namespace

const char *CipherName(payload::Mode mode) {
    switch (mode) {
    case payload::Mode::Aes: return "AES-256";
    case payload::Mode::Rc4: return "RC4-256";
    case payload::Mode::Plain: break;
    }
    return "unverschlüsselt";
}

std::optional<std::string> MessageText(const std::string &path, int &rc) {
    std::string bytes;
    rc = kUnsuitable;
    const std::int64_t size = platform::FileSize(path);
    if (size > kMaxMessageSize) { // refused before it is read
        Complain("Die Datei \"" + path + "\" ist keine Textdatei von 1 bis " + std::to_string(kMaxMessageSize) +
                 " Byte, wie KalmiraA sie versteckt. Bitte ohne --text verstecken.");
        return std::nullopt;
    }
    if (!ReadFile(path, bytes)) {
        Complain("Die Datei \"" + path + "\" kann nicht gelesen werden.");
        rc = kIoError;
        return std::nullopt;
    }
    if (bytes.empty() || static_cast<std::int64_t>(bytes.size()) > kMaxMessageSize ||
        bytes.find('\0') != std::string::npos) {
        Complain("Die Datei \"" + path + "\" ist keine Textdatei von 1 bis " + std::to_string(kMaxMessageSize) +
                 " Byte, wie KalmiraA sie versteckt. Bitte ohne --text verstecken.");
        return std::nullopt;
    }
    if (!ValidUtf8(bytes)) return bytes; // already single-byte text
    std::string ansi = platform::AnsiFromUtf8(bytes);
    if (platform::Utf8FromAnsi(ansi) != bytes) {
        Complain("Die Datei \"" + path + "\" enthält Zeichen, die im Zeichensatz Windows-1252 nicht vorkommen.");
        return std::nullopt;
    }
    return ansi;
}

// A stored name never makes a hidden dot-file.
std::string Destination(const Options &o, const std::string &storedName) {
    const auto first = storedName.find_first_not_of('.');
    std::string name = first == std::string::npos ? kNameIfNone : platform::SafeFileName(storedName.substr(first));
    if (o.output.empty()) return name;
    if (platform::IsDirectory(o.output)) return o.output + (o.output.back() == '/' ? "" : "/") + name;
    return o.output;
}

int WriteMessage(const Options &o, const std::string &ansi, const std::string &dest) {
    std::string bytes = o.raw ? ansi : platform::Utf8FromAnsi(ansi);
    // A carrier's message may hold escape codes: a terminal shows them, not obeys them.
    if (o.output == "-" && !o.raw && platform::IsTerminal(platform::StdStream::Output)) bytes = TerminalText(bytes);
    if (o.output == "-") return platform::WriteStandardOutput(bytes.data(), bytes.size()) ? kOk : kIoError;
    platform::StagedFile staged(dest);
    BinaryFile f;
    if (!staged.valid() || !f.open(staged.path(), BinaryFile::Mode::CreateTruncate) ||
        !f.writeAt(0, bytes.data(), bytes.size()) || !f.close()) {
        Complain("Die Datei \"" + dest + "\" konnte nicht geschrieben werden.");
        return kIoError;
    }
    switch (staged.commit(o.force)) {
    case platform::StagedFile::Commit::Done: std::cout << dest << std::endl; return kOk;
    case platform::StagedFile::Commit::Exists:
        Complain("Die Datei \"" + dest + "\" existiert bereits. Mit --force wird sie überschrieben.");
        break;
    case platform::StagedFile::Commit::Failed:
        Complain("Die Datei \"" + dest + "\" konnte nicht geschrieben werden.");
        break;
    }
    return kIoError;
}

int SayOpening(const carrier::CarrierOpening &opening, const std::string &path) {
    if (opening.recovered) Complain(carrier::RecoveredText(opening.recovered, path));
    switch (opening.access) {
    case carrier::CarrierAccess::Ready: return kOk;
    case carrier::CarrierAccess::Missing: Complain("Die ContainerDatei \"" + path + "\" wurde nicht gefunden!"); break;
    default: Complain(carrier::CarrierAccessText(opening.access, path)); break;
    }
    return kIoError;
}

int TakeCarrier(const std::string &path, bool write, platform::FileLock &lock) {
    return SayOpening(carrier::OpenCarrier(path, write, lock), path);
}

int RefuseCarrier(carrier::CarrierKind kind, const std::string &path) {
    const std::optional<Notice> refusal = carrier::RefusalNotice(kind, path, carrier::StealthOnly(kind));
    if (!refusal) return kOk;
    Complain(refusal->text);
    using K = carrier::CarrierKind;
    return kind == K::Missing || kind == K::NotRegular || kind == K::Unreadable ? kIoError : kUnsuitable;
}

int CheckCarrier(const std::string &path, bool library) {
    if (int rc = RefuseCarrier(carrier::Classify(path), path)) return rc;
    if (library && !ZorbLibraryPresent()) {
        Complain(ZorbMissingMessage());
        return kIoError;
    }
    return kOk;
}

int RefuseStealthOnly(const std::string &carrier) {
    if (!carrier::StealthOnly(carrier::Classify(carrier))) return kOk;
    Complain(carrier::ClassicOnlyText(carrier) + " Bitte mit --stealth aufrufen.");
    return kUnsuitable;
}

int CheckHideFiles(const std::string &carrier, const std::string &file, bool library) {
    if (!platform::IsRegularFile(file)) {
        Complain(platform::KindOf(file) == platform::PathKind::Absent
                     ? "Die zu versteckende Datei \"" + file + "\" wurde nicht gefunden!"
                     : "\"" + file +
                           "\" ist keine gewöhnliche Datei (ein Ordner, eine Pipe oder ein Gerät) und "
                           "kann nicht versteckt werden.");
        return kIoError;
    }
    if (int rc = CheckCarrier(carrier, library)) return rc;
    if (platform::SameFile(carrier, file)) {
        Complain("Die Containerdatei kann sich nicht selbst verstecken.");
        return kUsage;
    }
    return kOk;
}

int Extract(const Options &o) {
    const std::string &carrier = o.args[0];
    if (int rc = CheckCarrier(carrier, true)) return rc;
    if (carrier::StealthOnly(carrier::Classify(carrier))) return ExtractStealth(o);
    platform::FileLock lock; // shared, for the whole run
    if (int rc = TakeCarrier(carrier, false, lock)) return rc;
    const std::optional<payload::ParsedHeader> header = extract::ReadPayloadHeader(carrier);
    if (!header) {
        Complain("Die ContainerDatei \"" + carrier + "\" kann nicht gelesen werden.");
        return kIoError;
    }
    if (!header->mode) return ExtractStealth(o);
    const std::string dest = Destination(o, payload::PlainFileName(payload::StoredFileName(*header)));
    if (o.output != "-") {
        switch (platform::KindOf(dest)) {
        case platform::PathKind::Absent:
        case platform::PathKind::Regular: break;
        case platform::PathKind::Directory: Complain("\"" + Printable(dest) + "\" ist ein Ordner."); return kIoError;
        default:
            Complain("\"" + Printable(dest) +
                     "\" ist keine gewöhnliche Datei und wird nicht ersetzt, auch nicht mit --force.");
            return kIoError;
        }
        if (platform::FileExists(dest) && !o.force) {
            Complain("Die Datei \"" + Printable(dest) + "\" existiert bereits. Mit --force wird sie überschrieben.");
            return kIoError;
        }
    }
    std::string padded;
    ScopeGuard wipe{[&] { platform::WipeString(padded); }};
    if (int rc = ExtractPassword(*header, o, padded)) return rc;
    ProgressBar bar;
    return o.text ? ExtractMessage(o, dest, padded, bar) : ExtractFile(o, dest, padded, bar);
}

int CapacityCommand(const Options &o) {
    if (o.stealth) return CapacityStealth(o);
    const std::string &carrier = o.args[0];
    if (int rc = CheckCarrier(carrier)) return rc;
    if (int rc = RefuseStealthOnly(carrier)) return rc;
    const std::int64_t capacity = payload::Capacity(carrier, o.cipher);
    if (capacity < 0) {
        Complain(hide::CapacityTooSmallText(carrier, platform::FileSize(carrier)));
        return kUnsuitable;
    }
    std::cout << capacity << std::endl;
    return kOk;
}

} // namespace kalmira::cli
