#include "cli/commands.h"

#include "cli/console.h"
#include "compress/ZorbComprFile.h"
#include "compress/zlib_memory.h"
#include "convert/modConvert.h"
#include "extract/extract_engine.h"
#include "extract/extract_texts.h"
#include "carrier/carrier_texts.h"
#include "carrier/payload_fit.h"
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

const char *const kTooLargeText = "\" ist zu gross: komprimiert mehr als 9.999.999 Byte.";

// Compresses a file as the hide windows do; the temporary result is wiped.
// A file that cannot fit any carrier stops the compression early (kUnsuitable).
std::optional<std::vector<std::uint8_t>> CompressFile(const std::string &path, ProgressBar &bar, int &rc) {
    rc = kIoError;
    TempFile packed(TempFile::Removal::Wipe);
    if (!packed.valid()) {
        Complain("Im temporären Ordner kann nicht geschrieben werden.");
        return std::nullopt;
    }
    ZorbComprFile z;
    z.InputFile = path;
    z.OutputFile = packed.path();
    z.MaxOutput = payload::kMaxStorableCompressed;
    {
        CompressionProgressScope hook([&](int pct) { bar.show(pct, "Datei wird komprimiert..."); });
        z.Compress();
    }
    bar.finish();
    if (z.ResultStatus() == ZorbComprFile::kTooLarge) {
        Complain("Die Datei \"" + FileNameOf(path) + kTooLargeText);
        rc = kUnsuitable;
        return std::nullopt;
    }
    std::string bytes;
    if (z.ResultStatus() != 0 || !ReadFile(packed.path(), bytes)) {
        Complain("Die Datei \"" + path + "\" konnte nicht komprimiert werden (Fehler " +
                 std::to_string(z.ResultStatus()) + ").");
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// The compressed size the run will store, as the message run compresses it
// (in memory, as the run does).
std::optional<std::vector<std::uint8_t>> CompressMessage(const std::string &message, int &rc) {
    const auto packed = DeflateMemory(reinterpret_cast<const std::uint8_t *>(message.data()), message.size());
    if (!packed) {
        Complain("Die Botschaft konnte nicht komprimiert werden.");
        rc = kIoError;
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(packed->begin(), packed->end());
}

int RefuseFit(const payload::FitCheck &fit, const std::string &carrier, const std::string &file) {
    switch (fit.fit) {
    case payload::Fit::TooLarge:
        Complain("Die Datei \"" + FileNameOf(file) + kTooLargeText);
        break;
    case payload::Fit::TooSmall:
        Complain(hide::TooSmallText(carrier, fit.carrierSize, file, fit.requiredSize));
        break;
    case payload::Fit::Structure:
        Complain(hide::CarrierStructureMessage(fit.structure, FileNameOf(carrier)));
        break;
    case payload::Fit::Ok: return kOk;
    }
    return kUnsuitable;
}

int HideExit(const hide::HideResult &r) {
    switch (r.outcome) {
    case hide::HideOutcome::Written: return kOk;
    case hide::HideOutcome::Cancelled: return kUsage;
    case hide::HideOutcome::CarrierTooLarge:
    case hide::HideOutcome::CarrierTooSmall:
    case hide::HideOutcome::CarrierStructure: return kUnsuitable;
    default: break;
    }
    return kIoError;
}

hide::HideResult RunHide(const Options &o, const std::string &message, const std::string &nameField,
                         const std::string &padded, std::vector<std::uint8_t> &data, ProgressBar &bar) {
    const std::string &carrier = o.args[0];
    StderrMessages messages;
    hide::MessageQuestions questions(messages);
    FixedPassword passwords(padded);
    hide::HideEngine engine(questions, passwords);
    const bool encrypt = o.cipher != payload::Mode::Plain;
    const std::string backupPath = FolderOf(carrier) + BaseNameOf(carrier) + "-Kopie" + ExtensionOf(carrier);
    if (o.text) {
        MessageHideView view(bar);
        hide::MessageHideInput in{carrier, message, o.args[1], nameField, encrypt,
                                  encrypt ? o.cipher : payload::Mode::Aes, o.backup, backupPath};
        return engine.hideMessage(view, in);
    }
    HideView view(bar);
    hide::FileHideInput in{carrier, o.args[1], nameField, encrypt, encrypt ? o.cipher : payload::Mode::Aes,
                           o.backup, backupPath};
    return engine.hideFile(view, in, data);
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
    FixedPassword passwords(padded);
    extract::ExtractEngine engine(passwords);
    MessageExtractView view(bar);
    const extract::MessageExtractResult r =
        engine.extractMessage(view, o.args[0], static_cast<int>(kMaxMessageSize));
    bar.finish();
    Say(extract::ExtractNotice(r));
    if (r.outcome != extract::ExtractOutcome::Extracted) return ExtractExit(r.outcome);
    return WriteMessage(o, r.messageAnsi, dest);
}

int ExtractFile(const Options &o, const std::string &dest, const std::string &padded, ProgressBar &bar) {
    const bool toStdout = o.output == "-";
    FixedPassword passwords(padded);
    extract::ExtractEngine engine(passwords);
    ExtractView view(bar, toStdout ? "-" : dest, o.force);
    extract::FileExtractResult r = engine.extractFile(view, o.args[0]);
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
    const std::string name = first == std::string::npos ? kNameIfNone : storedName.substr(first);
    if (o.output.empty()) return name;
    if (platform::IsDirectory(o.output)) return o.output + (o.output.back() == '/' ? "" : "/") + name;
    return o.output;
}

int WriteMessage(const Options &o, const std::string &ansi, const std::string &dest) {
    std::string bytes = o.raw ? ansi : platform::Utf8FromAnsi(ansi);
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
    if (opening.rolledBack) Complain(carrier::RolledBackText(path));
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
    const std::optional<Notice> refusal = carrier::RefusalNotice(kind, path);
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

int CheckHideFiles(const std::string &carrier, const std::string &file, bool library) {
    if (!platform::IsRegularFile(file)) {
        Complain("Die zu versteckende Datei \"" + file + "\" wurde nicht gefunden!");
        return kIoError;
    }
    if (int rc = CheckCarrier(carrier, library)) return rc;
    if (platform::SameFile(carrier, file)) {
        Complain("Die Containerdatei kann sich nicht selbst verstecken.");
        return kUsage;
    }
    return kOk;
}

int Hide(const Options &o) {
    if (o.stealth) return HideStealth(o);
    const std::string &carrier = o.args[0];
    const std::string &file = o.args[1];
    if (int rc = CheckHideFiles(carrier, file, true)) return rc;
    const std::optional<std::string> nameField = payload::NameField(FileNameOf(file));
    if (!nameField) {
        Complain("Der Dateiname \"" + FileNameOf(file) + "\" ist länger als 25 Zeichen und lässt sich nicht kürzen.");
        return kUnsuitable;
    }
    {
        platform::FileLock lock; // released again: the run takes its own
        if (int rc = TakeCarrier(carrier, true, lock)) return rc;
    }
    ProgressBar bar;
    std::string message;
    std::optional<std::vector<std::uint8_t>> data;
    int rc = kOk;
    if (o.text) {
        std::optional<std::string> text = MessageText(file, rc);
        if (!text) return rc;
        message = std::move(*text);
        data = CompressMessage(message, rc); // the size check needs the compressed size first
    } else {
        data = CompressFile(file, bar, rc);
    }
    if (!data) return rc;
    const auto n = static_cast<std::int64_t>(data->size());
    if (int rc = RefuseFit(payload::CheckFit(carrier, o.cipher, n), carrier, file)) return rc;

    std::string padded;
    ScopeGuard wipe{[&] { platform::WipeString(padded); platform::WipeString(message); }};
    if (o.cipher != payload::Mode::Plain) {
        std::optional<std::string> pw = ObtainPassword(o.passwordFile, true, false);
        if (!pw) return kUsage;
        padded.swap(*pw);
    }
    const hide::HideResult r = RunHide(o, message, *nameField, padded, *data, bar);
    bar.finish();
    Say(hide::HideNotice(r));
    if (r.outcome == hide::HideOutcome::Written)
        std::cout << "Die Datei \"" << FileNameOf(file) << "\" wurde in \"" << carrier << "\" versteckt (" << n
                  << " Byte komprimiert, " << CipherName(o.cipher) << ")." << std::endl;
    return HideExit(r);
}

int Extract(const Options &o) {
    const std::string &carrier = o.args[0];
    if (int rc = CheckCarrier(carrier, true)) return rc;
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
            Complain("\"" + Printable(dest) + "\" ist keine gewöhnliche Datei und wird nicht ersetzt, auch nicht mit --force.");
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
    const std::int64_t capacity = payload::Capacity(carrier, o.cipher);
    if (capacity < 0) {
        Complain(hide::CapacityTooSmallText(carrier, platform::FileSize(carrier)));
        return kUnsuitable;
    }
    std::cout << capacity << std::endl;
    return kOk;
}

} // namespace kalmira::cli
