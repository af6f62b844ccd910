// The stealth format in both extract windows: tried when the carrier holds no
// classic payload. The password is asked once; no data and a wrong password
// are one answer, as the format intends.
#include "extract/extract_texts.h"
#include "extract/frmEx_file.h"
#include "extract/frmEx_message.h"
#include "platform/platform.h"
#include "platform/secure_memory.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"
#include "shell/window_helpers.h"
#include "stealth/guarded.h"
#include "stealth/stealth_texts.h"

namespace kalmira::extract {

bool FrmEx::stealthPossible(const std::string &carrier) const { return stealth::MayHoldData(carrier); }

std::optional<std::string> FrmEx::stealthPassword() {
    Text1->clear();
    typedPassword_ = true;
    passwordQuestion_ = QString::fromUtf8(kStealthPasswordQuestion);
    if (askPassword) askPassword();
    typedPassword_ = false;
    passwordQuestion_.clear();
    std::string password = platform::AnsiFromUtf8(S(Text1->text()));
    Text1->clear(); // the password does not outlive the run
    if (password.empty()) return std::nullopt;
    return password;
}

bool FrmEx::runStealth(const std::string &carrier, const std::string &password, stealth::Sink &sink,
                       stealth::ExtractResult &result) {
    int shown = -1;
    const stealth::Progress progress = [&](double f) {
        if (const int pct = static_cast<int>(f * 100); pct != shown) {
            shown = pct;
            setWindowTitle(Q(">>>>>>>>>> Tarnformat: " + std::to_string(pct) + " % bearbeitet..."));
            s_.pump->processEvents();
        }
        return true;
    };
    setCursor(Qt::WaitCursor);
    stealth::Safety safety;
    result = stealth::GuardedExtract(carrier, password, sink, safety, progress);
    unsetCursor();
    setWindowTitle(t_.title);
    const std::string name = FileNameOf(carrier);
    if (const auto note = stealth::SafetyNote(safety, name)) s_.messages->show(Icon::Information, "Kalmira", *note);
    if (const auto w = stealth::SafetyWording(safety, name)) {
        s_.messages->show(Icon::Exclamation, w->title, w->text);
        return false;
    }
    return true;
}

void FrmEx::tellStealth(const stealth::ExtractResult &result, const std::string &carrier) {
    const stealth::Wording w = stealth::ExtractWording(result, FileNameOf(carrier));
    const bool ok = result.outcome == stealth::ExtractResult::Outcome::Extracted;
    s_.messages->show(ok ? Icon::Information : Icon::Exclamation, w.title, w.text);
}

// ---- KalmiraB: saved through the save dialog, the stored name offered ----------------

bool FrmExFile::extractStealth() {
    const std::string carrier = S(Text4->text());
    if (!stealthPossible(carrier)) return false;
    std::optional<std::string> password = stealthPassword();
    if (!password) return false; // without one, only the classic answer can be given
    stealth::StagedFileSink sink([this](const stealth::PayloadFacts &facts) {
        QString folder = saveFolder();
        const QString name =
            ShowSaveDialog(s_, this, "Extrahierte Datei speichern unter", folder, Q(FileNameOf(facts.storedName)),
                           "Extrahierte-Datei|*.*|Alle Dateien|*.*", "");
        if (!name.isEmpty()) savedIn(folder);
        return name.isEmpty() ? std::string() : S(WithSeparator(folder) + name);
    });
    stealth::ExtractResult r;
    const bool ran = runStealth(carrier, *password, sink, r);
    platform::WipeString(*password);
    if (!ran) return true;
    tellStealth(r, carrier);
    if (r.outcome != stealth::ExtractResult::Outcome::Extracted) return true;
    extractedFile_ = Q(sink.destination());
    Command5->setEnabled(true);
    Label4->setText("Im Tarnformat versteckt: " + Thousands(static_cast<long long>(r.facts.length)) + " Byte");
    Label5->clear();
    Label6->setText(kStealthCipherLine);
    return true;
}

// ---- KalmiraA: shown in the text box like a classic message ------------------------

bool FrmExMessage::extractStealth() {
    const std::string carrier = S(Text4->text());
    if (!stealthPossible(carrier)) return false;
    std::optional<std::string> password = stealthPassword();
    if (!password) return false; // without one, only the classic answer can be given
    stealth::MessageSink sink(static_cast<std::uint64_t>(s_.maxMessageSize));
    stealth::ExtractResult r;
    const bool ran = runStealth(carrier, *password, sink, r);
    platform::WipeString(*password);
    if (!ran) return true;
    if (sink.isFile() || r.outcome == stealth::ExtractResult::Outcome::TooLarge) {
        // A file from KalmiraB: the classic answer says where to take it.
        MessageExtractResult m;
        m.outcome = ExtractOutcome::TooLarge;
        m.storedName = r.facts.storedName;
        m.maxMessageSize = s_.maxMessageSize;
        tell(ExtractNotice(m));
        return true;
    }
    if (r.outcome != stealth::ExtractResult::Outcome::Extracted) {
        tellStealth(r, carrier);
        return true;
    }
    std::string ansi(sink.data().begin(), sink.data().end());
    showMessageText(ansi);
    platform::WipeString(ansi);
    hiddenName_ = Q(r.facts.storedName);
    Label3->setText("Botschaft im Tarnformat: " + Thousands(static_cast<long long>(r.facts.length)) + " Byte");
    Command6->setEnabled(true);
    return true;
}

} // namespace kalmira::extract
