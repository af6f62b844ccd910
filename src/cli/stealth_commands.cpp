// The stealth format ("Tarnformat") in the tool: hide, capacity, the extract
// fallback for carriers without a classic payload, and what info can say.
#include "carrier/element_file.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "platform/platform.h"
#include "platform/secure_memory.h"
#include "platform/temp_file.h"
#include "platform/terminal.h"
#include "shell/helpers.h"
#include "stealth/guarded.h"
#include "stealth/stealth_texts.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>

namespace kalmira::cli {

namespace {

using stealth::ExtractResult;
using stealth::HideResult;

// The bar's label and the engine's progress.
stealth::Progress BarProgress(ProgressBar &bar, const std::string &label) {
    return [&bar, label](double f) {
        bar.show(static_cast<int>(f * 100), label);
        return true;
    };
}

// Lock problems and roll-backs first; otherwise the engine's own words.
void SayOutcome(const stealth::Safety &safety, const stealth::Wording &engineWords, const std::string &carrier,
                bool success) {
    if (const auto note = stealth::SafetyNote(safety, carrier)) Complain(*note);
    if (const auto w = stealth::SafetyWording(safety, carrier))
        Complain(w->text);
    else if (success)
        std::cout << engineWords.text << std::endl;
    else
        Complain(engineWords.text);
}

int HideExit(const HideResult &r) {
    using O = HideResult::Outcome;
    switch (r.outcome) {
    case O::Written: return kOk;
    case O::CarrierUnsuitable:
    case O::TooSmall:
    case O::NameTooLong: return kUnsuitable;
    case O::BadPassword:
    case O::Cancelled: return kUsage;
    default: break;
    }
    return kIoError;
}

int ExtractExit(const ExtractResult &r) {
    using O = ExtractResult::Outcome;
    switch (r.outcome) {
    case O::Extracted: return kOk;
    case O::NoDataOrWrongPassword: return kNoPayload;
    case O::Damaged: return kDamaged;
    case O::TooLarge: return kUnsuitable;
    case O::BadPassword: return kUsage;
    default: break;
    }
    return kIoError;
}

const char *const kCipherDoesNotApply =
    "--cipher gilt nicht mit --stealth: das Tarnformat verschlüsselt immer (XChaCha20-Poly1305, "
    "Schlüssel aus dem Passwort mit Argon2id).";

std::string NoClassicPayload(const Options &o) {
    return o.text ? "Diese Datei enthält keine versteckte Botschaft!"
                  : "Die ausgewählte Container-Datei enthält keine versteckte Datei!";
}

int ExtractMessageStealth(const Options &o, const std::string &password, ProgressBar &bar) {
    const std::string &carrier = o.args[0];
    stealth::MessageSink sink(static_cast<std::uint64_t>(kMaxMessageSize));
    stealth::Safety safety;
    const ExtractResult r =
        stealth::GuardedExtract(carrier, password, sink, safety, BarProgress(bar, "Tarnformat: auslesen"));
    bar.finish();
    if (sink.isFile()) {
        Complain("\"" + carrier + "\" enthält im Tarnformat eine Datei, keine Botschaft. Bitte ohne --text auslesen.");
        return kUnsuitable;
    }
    const bool ok = r.outcome == ExtractResult::Outcome::Extracted && safety.problem == stealth::Safety::Problem::None;
    if (!ok) {
        SayOutcome(safety, stealth::ExtractWording(r, carrier), carrier, false);
        return safety.problem != stealth::Safety::Problem::None ? kIoError : ExtractExit(r);
    }
    std::string ansi(sink.data().begin(), sink.data().end());
    const int rc = WriteMessage(o, ansi, Destination(o, r.facts.storedName));
    platform::WipeString(ansi);
    return rc;
}

// Standard output: held in memory up to a bound, so that damage found at the
// end writes nothing; a larger payload streams once the held part is full.
class StdoutSink : public stealth::Sink {
public:
    bool begin(const stealth::PayloadFacts &, bool &) override { return true; }
    bool write(std::span<const std::uint8_t> data) override {
        if (held_.size() + data.size() <= kHold) {
            held_.insert(held_.end(), data.begin(), data.end());
            return true;
        }
        return flush() && platform::WriteStandardOutput(data.data(), data.size());
    }
    bool commit() override { return flush(); }
    void abort() override { held_.clear(); }

private:
    bool flush() {
        const bool ok = held_.empty() || platform::WriteStandardOutput(held_.data(), held_.size());
        held_.clear();
        return ok;
    }
    static constexpr std::size_t kHold = std::size_t{32} << 20;
    platform::SecureBytes held_;
};

int ExtractFileStealth(const Options &o, const std::string &password, ProgressBar &bar) {
    const std::string &carrier = o.args[0];
    const bool toStdout = o.output == "-";
    std::string refusal; // why the chosen destination was declined
    StdoutSink toOutput;
    stealth::StagedFileSink toFile([&](const stealth::PayloadFacts &facts) -> std::string {
        const std::string dest = Destination(o, FileNameOf(facts.storedName));
        const platform::PathKind kind = platform::KindOf(dest);
        const bool dangling = kind == platform::PathKind::Absent && platform::KindOf(dest, false) != kind;
        if (kind == platform::PathKind::Directory)
            refusal = "\"" + Printable(dest) + "\" ist ein Ordner.";
        else if (dangling || (kind != platform::PathKind::Absent && kind != platform::PathKind::Regular))
            refusal = "\"" + Printable(dest) +
                      "\" ist keine gewöhnliche Datei und wird nicht ersetzt, auch nicht mit --force.";
        else if (kind == platform::PathKind::Regular && !o.force)
            refusal = "Die Datei \"" + Printable(dest) + "\" existiert bereits. Mit --force wird sie überschrieben.";
        return refusal.empty() ? dest : std::string();
    });
    stealth::Safety safety;
    const ExtractResult r =
        stealth::GuardedExtract(carrier, password, toStdout ? static_cast<stealth::Sink &>(toOutput) : toFile, safety,
                                BarProgress(bar, "Tarnformat: auslesen"));
    bar.finish();
    if (!refusal.empty()) {
        Complain(refusal);
        return kIoError;
    }
    const bool ok = r.outcome == ExtractResult::Outcome::Extracted && safety.problem == stealth::Safety::Problem::None;
    if (!ok) {
        SayOutcome(safety, stealth::ExtractWording(r, carrier), carrier, false);
        return safety.problem != stealth::Safety::Problem::None ? kIoError : ExtractExit(r);
    }
    if (!toStdout) std::cout << Printable(toFile.destination()) << std::endl;
    return kOk;
}

// Could a password be had without asking? A script without one learns that
// the carrier holds nothing classic, as it always did.
bool PasswordAvailable(const Options &o) {
    return !o.passwordFile.empty() || std::getenv("KALMIRA_PASSWORD") ||
           platform::IsTerminal(platform::StdStream::Input);
}

// How a picture that was once a JPEG can become a better carrier.
const char *const kScaleDownHint = " Verkleinert (kalmira convert --verkleinern N) ergibt es einen besseren Container.";

void NoteJpegOrigin(const stealth::CapacityResult &cap, const std::string &carrier) {
    if (cap.jpegOrigin) Complain(stealth::JpegOriginText(carrier) + kScaleDownHint);
}

// An unsuitable or too small carrier is refused before the password is
// asked; a payload above the recommended one, or a picture that was once a
// JPEG, is warned about and the run goes on.
int RefuseStealthFit(const stealth::CapacityResult &cap, const std::string &carrier, std::uint64_t payloadBytes) {
    using O = stealth::FitCheck::Outcome;
    const stealth::FitCheck fit = stealth::CheckFit(cap, payloadBytes);
    if (fit.outcome == O::IoError) return kOk; // a read error is the run's to report
    if (fit.outcome != O::Fits) {
        Complain(stealth::FitWording(fit, carrier).text);
        return kUnsuitable;
    }
    if (payloadBytes > cap.recommendedPayload)
        Complain(stealth::AboveRecommendedText(payloadBytes, cap.recommendedPayload));
    NoteJpegOrigin(cap, carrier);
    return kOk;
}

} // namespace

int HideStealth(const Options &o) {
    const std::string &carrier = o.args[0];
    const std::string &file = o.args[1];
    if (o.cipherGiven) {
        Complain(kCipherDoesNotApply);
        return kUsage;
    }
    if (o.backup) {
        Complain("--backup gilt nicht mit --stealth: das Tarnformat sichert den Container während des "
                 "Schreibens selbst und stellt ihn nach einem Abbruch wieder her.");
        return kUsage;
    }
    if (int rc = CheckHideFiles(carrier, file, false)) return rc;
    std::string message;
    if (o.text) {
        int rc = kOk;
        std::optional<std::string> text = MessageText(file, rc);
        if (!text) return rc;
        message = std::move(*text);
    }
    const std::string name = FileNameOf(file);
    const std::int64_t dataBytes = o.text ? static_cast<std::int64_t>(message.size()) : platform::FileSize(file);
    const std::uint64_t payloadBytes =
        stealth::PayloadBytes(name, static_cast<std::uint64_t>(std::max<std::int64_t>(0, dataBytes)));
    // Locked and surveyed once: the fit and the warning come from the survey the write uses.
    stealth::PreparedStealthHide prepared(carrier);
    if (prepared.safety().problem != stealth::Safety::Problem::None) {
        SayOutcome(prepared.safety(), {}, carrier, false);
        return kIoError;
    }
    if (int rc = RefuseStealthFit(prepared.capacity(), carrier, payloadBytes)) {
        if (const auto note = stealth::SafetyNote(prepared.safety(), carrier)) Complain(*note);
        return rc;
    }
    std::optional<std::string> password = ObtainAnsiPassword(o.passwordFile, true, false);
    if (!password) return kUsage;
    ProgressBar bar;
    stealth::HideSource source;
    if (o.text)
        source.bytes = {reinterpret_cast<const std::uint8_t *>(message.data()), message.size()};
    else
        source.path = file;
    const HideResult r = prepared.run(*password, o.text ? stealth::Kind::Message : stealth::Kind::File, name, source,
                                      BarProgress(bar, "Tarnformat: verstecken"));
    bar.finish();
    platform::WipeString(*password);
    platform::WipeString(message);
    const stealth::Safety &safety = prepared.safety();
    SayOutcome(safety, stealth::HideWording(r, carrier), carrier, r.outcome == HideResult::Outcome::Written);
    return safety.problem != stealth::Safety::Problem::None ? kIoError : HideExit(r);
}

int ExtractStealth(const Options &o) {
    const std::string &carrier = o.args[0];
    if (!PasswordAvailable(o)) {
        Complain(NoClassicPayload(o) + " Ob Daten im Tarnformat versteckt sind, lässt sich nur mit dem "
                                       "Passwort prüfen (--password-file oder KALMIRA_PASSWORD).");
        return kNoPayload;
    }
    const carrier::ElementFile elements = carrier::OpenElementFile(carrier, carrier::ElementAccess::Read);
    if (elements.outcome == carrier::ElementFile::Outcome::Unsuitable) {
        // Nothing in the stealth format can be read from it either; a cut-short file says so.
        const bool cut = elements.reason == stealth::Unsuitable::Malformed;
        Complain(NoClassicPayload(o) + (cut ? " " + stealth::UnsuitableText(elements.reason) : std::string()));
        return kNoPayload;
    }
    if (o.output != "-" && !o.output.empty() && !platform::IsDirectory(o.output) && platform::FileExists(o.output) &&
        !o.force) {
        Complain("Die Datei \"" + o.output + "\" existiert bereits. Mit --force wird sie überschrieben.");
        return kIoError;
    }
    std::optional<std::string> password = ObtainAnsiPassword(o.passwordFile, false, false);
    if (!password) return kUsage;
    ProgressBar bar;
    const int rc = o.text ? ExtractMessageStealth(o, *password, bar) : ExtractFileStealth(o, *password, bar);
    platform::WipeString(*password);
    return rc;
}

int CapacityStealth(const Options &o) {
    const std::string &carrier = o.args[0];
    if (o.cipherGiven) {
        Complain(kCipherDoesNotApply);
        return kUsage;
    }
    if (int rc = CheckCarrier(carrier)) return rc;
    const stealth::CapacityResult cap = stealth::Capacity(carrier);
    switch (cap.outcome) {
    case stealth::CapacityResult::Outcome::Ok:
        // The largest payload stays the first line: scripts read it.
        std::cout << cap.largestPayload << "\n" << stealth::RecommendedText(cap.recommendedPayload) << std::endl;
        NoteJpegOrigin(cap, carrier);
        return kOk;
    case stealth::CapacityResult::Outcome::CarrierUnsuitable:
        Complain("\"" + carrier + "\" kann nicht im Tarnformat verwendet werden. " +
                 stealth::UnsuitableText(cap.reason));
        return kUnsuitable;
    case stealth::CapacityResult::Outcome::IoError: break;
    }
    Complain("Die ContainerDatei \"" + carrier + "\" kann nicht gelesen werden.");
    return kIoError;
}

void PrintNoClassicPayload(const std::string &carrier, const carrier::Layout &layout) {
    // Older carriers may hold version 1 wherever its layout fits.
    const stealth::CapacityResult cap = stealth::CapacityOf(layout);
    if (cap.reason == stealth::Unsuitable::Malformed) {
        std::cout << "Versteckte Daten: keine im klassischen Format\n"
                  << "  Tarnformat: nicht lesbar (" << stealth::UnsuitableText(cap.reason) << ")\n";
        return;
    }
    if (cap.outcome != stealth::CapacityResult::Outcome::Ok || cap.largestPayload == 0) {
        std::cout << "Versteckte Daten: nein\n";
        return;
    }
    const stealth::CapacityResult now = stealth::Capacity(carrier);
    std::cout << "Versteckte Daten: keine im klassischen Format\n"
              << "  Tarnformat: ohne Passwort nicht feststellbar (absichtlich; kalmira extract prüft es)\n"
              << "  Kapazität im Tarnformat: " << now.largestPayload << " Byte (Name und Daten), "
              << "empfohlen höchstens " << now.recommendedPayload << " Byte\n";
}

} // namespace kalmira::cli
