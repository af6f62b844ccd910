// The stealth format in both hide windows: the option, the carrier check by
// the stealth capacity, and the run through the stealth engine.
#include "carrier/payload.h"
#include "crypto/register.h"
#include "hide/frmV_file.h"
#include "hide/frmV_message.h"
#include "platform/platform.h"
#include "platform/secure_memory.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"
#include "stealth/guarded.h"
#include "stealth/stealth_texts.h"

namespace kalmira::hide {

namespace {

QString CarrierSizeLine(const std::string &carrier) {
    return "Dateigrösse der ausgewählten Containerdatei: " + Thousands(platform::FileSize(carrier)) + " Byte";
}

void Wipe(std::string &s) {
    platform::WipeString(s);
    s.clear();
}

} // namespace

void FrmV::buildStealthOption() {
    checkTarn = new QCheckBox("Im Tarnformat verstecken (schwer zu entdecken)", this);
    checkTarn->setObjectName("checkTarn");
    connect(checkTarn, &QCheckBox::clicked, this, [this] { stealthToggled(); });
}

void FrmV::stealthToggled() {
    const bool on = stealth();
    // The stealth format always encrypts, and guards the carrier itself while writing it.
    for (QWidget *w : std::initializer_list<QWidget *>{Check1, optCrypt[0], optCrypt[1], Label7, checkKopie})
        w->setEnabled(!on);
    if (working_) return;
    Befehl1->setEnabled(false);
    Label3->setToolTip({});
    if (!Text1->text().isEmpty()) Label3->setText(CarrierSizeLine(S(Text1->text())));
    formatSwitched();
}

void FrmV::formatSwitched() {
    if (!Text1->text().isEmpty()) checkCarrier(Text1->text());
}

bool FrmV::stealthCarrierUsable(const std::string &carrier) {
    capacity_ = capacityOf(carrier);
    const stealth::CapacityResult &cap = capacity_;
    if (cap.outcome == stealth::CapacityResult::Outcome::Ok) {
        Label3->setText(Q(stealth::CapacityLine(platform::FileSize(carrier), cap)));
        Label3->setToolTip(Q(stealth::CapacityDetails(cap)));
    }
    const std::int64_t need = stealthPayloadBytes();
    const stealth::FitCheck fit = stealth::CheckFit(cap, need < 0 ? 0 : static_cast<std::uint64_t>(need));
    if (fit.outcome != stealth::FitCheck::Outcome::Fits) {
        const stealth::Wording w = stealth::FitWording(fit, FileNameOf(carrier));
        s_.messages->show(Icon::Exclamation, w.title, w.text);
        return false;
    }
    // Once per chosen carrier, not again when the file or the format changes.
    if (cap.jpegOrigin && jpegNoted_ != Q(carrier)) {
        jpegNoted_ = Q(carrier);
        const stealth::Wording w = stealth::JpegOriginNote(FileNameOf(carrier));
        s_.messages->show(Icon::Information, w.title, w.text);
    }
    return true;
}

bool FrmV::acceptAboveRecommended(std::uint64_t payloadBytes, const std::string &carrier) {
    // 0: the capacity could not say (a carrier too small is refused before).
    const std::uint64_t recommended = capacity_.recommendedPayload;
    if (recommended == 0 || payloadBytes <= recommended) return true;
    const stealth::Wording q = stealth::AboveRecommendedQuestion(payloadBytes, recommended, FileNameOf(carrier));
    return s_.messages->show(Icon::Question, q.title, q.text, Buttons::YesNoDefaultNo) == Answer::Yes;
}

void FrmV::runStealthHide() {
    const std::string carrier = S(Text1->text());
    if (carrier.empty()) {
        HideResult none;
        none.outcome = HideOutcome::NoCarrierChosen;
        if (const auto n = HideNotice(none)) s_.messages->show(n->icon, n->title, n->text);
        return;
    }
    StealthPayload payload;
    if (!stealthPayload(payload)) return;
    // capacity_ is the carrier's as checked when it was chosen (the survey takes long).
    const std::int64_t need = stealthPayloadBytes();
    if (need > 0 && !acceptAboveRecommended(static_cast<std::uint64_t>(need), carrier)) return Wipe(payload.bytes);
    // As typed: the padding of the classic format does not apply.
    std::optional<QString> typed = askPassword ? askPassword() : crypto::AskHidePasswordAsTyped(s_, this);
    if (!typed || typed->isEmpty()) return Wipe(payload.bytes);
    std::string password = platform::AnsiFromUtf8(S(*typed));
    typed->fill(QChar(' '));
    stealth::HideSource source;
    source.path = payload.path;
    if (source.path.empty())
        source.bytes = {reinterpret_cast<const std::uint8_t *>(payload.bytes.data()), payload.bytes.size()};
    int shown = -1;
    const stealth::Progress progress = [&](double f) {
        if (const int pct = static_cast<int>(f * 100); pct != shown) {
            shown = pct;
            setCaption(">>>>>>>>>> Tarnformat: " + std::to_string(pct) + " % bearbeitet...");
            processEvents();
        }
        return true;
    };
    setBusy(true);
    stealth::Safety safety;
    const stealth::HideResult r =
        stealth::GuardedHide(carrier, password, payload.kind, payload.name, source, safety, progress);
    Wipe(password);
    Wipe(payload.bytes);
    setBusy(false);
    setWindowTitle(t_.title);
    const bool written = r.outcome == stealth::HideResult::Outcome::Written;
    if (written) Flags().hideRunDone = true;
    const std::string name = FileNameOf(carrier);
    if (const auto note = stealth::SafetyNote(safety, name)) s_.messages->show(Icon::Information, "Kalmira", *note);
    const stealth::Wording w =
        stealth::SafetyWording(safety, name).value_or(stealth::HideWording(r, name, payload.name));
    s_.messages->show(written ? Icon::Information : Icon::Exclamation, w.title, w.text);
}

// ---- KalmiraB: the file itself, not compressed -------------------------------------

bool FrmVFile::takeForStealth(const std::string &path, std::int64_t length) {
    Text5->setText(Q(path));
    nameField_.clear();
    changedName_.reset();
    data_.clear();
    data_.shrink_to_fit();
    Label4->setText("Grösse der zu versteckenden Datei: " + Thousands(length) +
                    " Bytes (im Tarnformat nicht komprimiert)");
    Label5->setText("Notwendiger Platz im Tarnformat (Name und Daten): " +
                    Thousands(length + static_cast<std::int64_t>(FileNameOf(path).size())) + " Byte");
    return true;
}

bool FrmVFile::stealthPayload(StealthPayload &out) {
    out.kind = stealth::Kind::File;
    out.path = S(Text5->text());
    out.name = FileNameOf(out.path);
    return !out.path.empty();
}

std::int64_t FrmVFile::stealthPayloadBytes() const {
    const std::string path = S(Text5->text());
    const std::int64_t size = path.empty() ? -1 : platform::FileSize(path);
    return size < 0 ? -1 : size + static_cast<std::int64_t>(FileNameOf(path).size());
}

void FrmVFile::formatSwitched() {
    if (Text5->text().isEmpty()) return FrmV::formatSwitched();
    // The file is taken again in the other format's way; that checks the carrier too.
    droppedFile_ = Text5->text();
    chooseSource();
}

// ---- KalmiraA: the message as Windows-1252 bytes ---------------------------------

bool FrmVMessage::stealthPayload(StealthPayload &out) {
    out.kind = stealth::Kind::Message;
    out.bytes = messageAnsi();
    if (out.bytes.empty()) {
        HideResult none;
        none.outcome = HideOutcome::NoMessage;
        if (const auto n = HideNotice(none)) s_.messages->show(n->icon, n->title, n->text);
        focusMessage();
        return false;
    }
    const std::string loaded = S(Text5->text());
    out.name = loaded.empty() ? std::string(payload::kTypedMessageFile) : FileNameOf(loaded);
    return true;
}

std::int64_t FrmVMessage::stealthPayloadBytes() const {
    const std::string message = messageAnsi();
    const std::string loaded = S(Text5->text());
    if (message.empty()) return -1;
    const std::size_t name = loaded.empty() ? payload::kTypedMessageFile.size() : FileNameOf(loaded).size();
    return static_cast<std::int64_t>(message.size() + name);
}

} // namespace kalmira::hide
