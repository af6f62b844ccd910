// `kalmira hide` in the classic format: the engine's checks, the password,
// the write; as the windows run it, with the tool's words and exit codes.
#include "cli/commands.h"
#include "cli/console.h"
#include "compress/zlib_memory.h"
#include "hide/hide_engine.h"
#include "hide/hide_texts.h"
#include "platform/binary_file.h"
#include "platform/platform.h"
#include "platform/secure_memory.h"
#include "shell/helpers.h"
#include "shell/scope_guard.h"

#include <iostream>

namespace kalmira::cli {

namespace {

using platform::BinaryFile;

const char *const kTooLargeText = "\" ist zu gross: komprimiert mehr als 9.999.999 Byte.";

// Compresses a file as the hide windows do, in memory: nothing of it reaches
// the temporary folder. Output beyond `limit` bytes stops the compression
// early (`overLimit`).
std::optional<platform::SecureBytes> CompressFile(const std::string &path, ProgressBar &bar, int &rc,
                                                  std::int64_t limit, bool &overLimit) {
    rc = kIoError;
    DeflatedFile packed = DeflateFile(path, limit, [&](int pct) { bar.show(pct, "Datei wird komprimiert..."); });
    bar.finish();
    if (packed.status == DeflateStatus::TooLarge) {
        overLimit = true;
        rc = kUnsuitable;
        return std::nullopt;
    }
    if (packed.status != DeflateStatus::Ok) {
        Complain("Die Datei \"" + path + "\" konnte nicht komprimiert werden.");
        return std::nullopt;
    }
    return std::move(packed.bytes);
}

// The engine's steps as the bar.
class BarProgress : public hide::HideProgress {
public:
    BarProgress(ProgressBar &bar, Program program, std::string backupPath)
        : bar_(bar), program_(program), backupPath_(std::move(backupPath)) {}
    void step(hide::Step step, int percent) override {
        const std::string label = hide::HideStepLabel(program_, backupPath_, step);
        if (!label.empty()) bar_.show(percent, label);
    }
    void processEvents() override {}

private:
    ProgressBar &bar_;
    Program program_;
    std::string backupPath_;
};

// A tool run from a script cannot be asked: an existing backup is kept.
class KeepBackups : public hide::RunQuestions {
public:
    bool replaceBackup(const std::string &copyName) override {
        Complain(hide::ReplaceBackupQuestion(copyName) + "\n-> Nein");
        return false;
    }
};

// What the checks refused, in the tool's words where it has its own.
int Refuse(const hide::HideResult &r, const std::string &file) {
    switch (r.outcome) {
    case hide::HideOutcome::CarrierTooLarge: Complain("Die Datei \"" + FileNameOf(file) + kTooLargeText); break;
    case hide::HideOutcome::CarrierTooSmall:
        Complain(hide::TooSmallText(r.carrierPath, r.fit.carrierSize, file, r.fit.requiredSize));
        break;
    case hide::HideOutcome::CarrierStructure:
        Complain(hide::CarrierStructureMessage(r.fit.structure, FileNameOf(r.carrierPath)));
        break;
    default:
        if (const auto notice = hide::HideNotice(r)) Complain(notice->text);
        return kIoError;
    }
    return kUnsuitable;
}

int HideExit(const hide::HideResult &r) {
    switch (r.outcome) {
    case hide::HideOutcome::Written: return kOk;
    case hide::HideOutcome::Cancelled: return kUsage;
    default: break;
    }
    return kIoError;
}

hide::PreparedHide Prepare(hide::HideEngine &engine, hide::HideProgress &progress, const Options &o,
                           const std::string &nameField, const std::string &message,
                           const platform::SecureBytes &data) {
    const std::string &carrier = o.args[0];
    const bool encrypt = o.cipher != payload::Mode::Plain;
    const std::string backupPath = hide::BackupPathFor(carrier);
    if (o.text) {
        const hide::MessageHideInput in{carrier,   message,   o.args[1],
                                        nameField, encrypt,   encrypt ? o.cipher : payload::Mode::Aes,
                                        o.backup,  backupPath};
        return engine.prepareMessage(progress, in);
    }
    const hide::FileHideInput in{carrier,  o.args[1], nameField, encrypt, encrypt ? o.cipher : payload::Mode::Aes,
                                 o.backup, backupPath};
    return engine.prepareFile(progress, in, data);
}

// The payload as the engine takes it: the message itself, or the file compressed.
int LoadPayload(const Options &o, std::string &message, platform::SecureBytes &data, ProgressBar &bar) {
    int rc = kOk;
    if (o.text) {
        std::optional<std::string> text = MessageText(o.args[1], rc);
        if (text) message = std::move(*text);
        return text ? kOk : rc;
    }
    // Compression stops once the output passes what the carrier takes; a
    // file too large for that even at deflate's best ratio is not read at all.
    const std::string &carrier = o.args[0], &file = o.args[1];
    const std::int64_t room = std::max<std::int64_t>(0, payload::MaxCompressed(carrier, o.cipher));
    const std::int64_t limit = std::min(room, payload::kMaxStorableCompressed);
    bool overLimit = false;
    std::optional<platform::SecureBytes> packed = CompressFile(file, bar, rc, limit, overLimit);
    if (overLimit && limit == payload::kMaxStorableCompressed) {
        Complain("Die Datei \"" + FileNameOf(file) + kTooLargeText);
        return kUnsuitable;
    }
    if (overLimit) {
        const payload::FitCheck fit = payload::CheckFit(carrier, o.cipher, limit + 1);
        Complain(fit.fit == payload::Fit::Structure
                     ? hide::CarrierStructureMessage(fit.structure, FileNameOf(carrier))
                     : hide::TooSmallText(carrier, fit.carrierSize, file, fit.requiredSize));
        return kUnsuitable;
    }
    if (packed) data = std::move(*packed);
    return packed ? kOk : rc;
}

} // namespace

int Hide(const Options &o) {
    if (o.stealth) return HideStealth(o);
    const std::string &carrier = o.args[0];
    const std::string &file = o.args[1];
    if (int rc = CheckHideFiles(carrier, file, true)) return rc;
    if (int rc = RefuseStealthOnly(carrier)) return rc;
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
    platform::SecureBytes data; // the file compressed: wiped when freed
    ScopeGuard wipe{[&] { platform::WipeString(message); }};
    if (int rc = LoadPayload(o, message, data, bar)) return rc;

    KeepBackups questions;
    hide::HideEngine engine(questions);
    BarProgress progress(bar, o.text ? Program::A : Program::B, hide::BackupPathFor(carrier));
    hide::PreparedHide prepared = Prepare(engine, progress, o, *nameField, message, data);
    bar.finish();
    if (!prepared.ready()) return Refuse(prepared.result(), file);
    std::optional<std::string> padded;
    if (prepared.needsPassword() && !(padded = ObtainPassword(o.passwordFile, true, false))) return kUsage;
    ScopeGuard wipePassword{[&] {
        if (padded) platform::WipeString(*padded);
    }};
    const hide::HideResult r = engine.run(progress, prepared, padded.value_or(""));
    bar.finish();
    if (const auto notice = hide::HideNotice(r)) Complain(notice->text);
    if (r.outcome == hide::HideOutcome::Written) {
        std::cout << "Die Datei \"" << FileNameOf(file) << "\" wurde in \"" << carrier << "\" versteckt ("
                  << r.compressedSize << " Byte komprimiert, " << CipherName(o.cipher) << ")." << std::endl;
        // Extracting gives back this name, not the file's: say so now, not then.
        if (const auto stored = payload::ChangedStoredName(FileNameOf(file)))
            Complain("Der Name \"" + FileNameOf(file) + "\" wurde als \"" + *stored +
                     "\" gespeichert: das klassische Format speichert Namen in Windows-1252 und mit "
                     "höchstens 25 Zeichen.");
    }
    return HideExit(r);
}

} // namespace kalmira::cli
