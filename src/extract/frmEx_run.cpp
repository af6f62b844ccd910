// The extraction runs of both extract windows: the engine's two steps, the
// password dialog between them, and what the window shows meanwhile and after.
#include "carrier/carrier_texts.h"
#include "extract/extract_texts.h"
#include "extract/frmEx_file.h"
#include "extract/frmEx_message.h"
#include "platform/secure_memory.h"
#include "shell/qt_services.h"
#include "shell/window_helpers.h"
#include "shell/window_parts.h"

namespace kalmira::extract {

// The engine's steps as the window's captions.
template <class Progress>
class CaptionProgress : public Progress {
public:
    explicit CaptionProgress(FrmEx &w) : w_(w) {}
    void step(Step step, int percent) override {
        const std::string caption = ExtractCaption(w_.s_.program, mode, step, percent);
        if (caption.empty()) return;
        w_.setWindowTitle(Q(caption));
        if (step == Step::Read && w_.s_.program == Program::A) w_.QWidget::repaint();
    }
    void processEvents() override { w_.s_.pump->processEvents(); }
    payload::Mode mode = payload::Mode::Plain; // of the opened payload

protected:
    FrmEx &w_;
};

class FileRunView : public CaptionProgress<ExtractView> {
public:
    using CaptionProgress::CaptionProgress;
    std::string chooseDestination(const std::string &defaultName) override {
        QString folder = w_.saveFolder();
        const QString name = ShowSaveDialog(w_.s_, &w_, "Extrahierte Datei speichern unter", folder, Q(defaultName),
                                            "Extrahierte-Datei|*.*|Alle Dateien|*.*", "");
        if (!name.isEmpty()) w_.savedIn(folder);
        w_.setCursor(Qt::WaitCursor);
        return name.isEmpty() ? std::string() : S(WithSeparator(folder) + name);
    }
};

template <class Result, class Progress, class Run>
Result FrmEx::classicRun(Progress &progress, Run &&run) {
    setCursor(Qt::WaitCursor);
    OpenedPayload opened = engine_->open(progress, s_.program, S(Text4->text()));
    progress.mode = opened.result().mode;
    payloadOpened(opened.result());
    std::optional<std::string> padded;
    Result r;
    if (opened.needsPassword() && !(padded = passwordFor(opened))) {
        Command4->click(); // the third wrong password ends the program
        static_cast<ExtractResult &>(r) = engine_->endProgram(opened);
    } else {
        r = run(opened, padded.value_or(""));
    }
    if (padded) platform::WipeString(*padded);
    unsetCursor();
    showEnd(r);
    if (r.recovered)
        tell(Notice{Icon::Information, "Kalmira-Nachricht", carrier::RecoveredText(r.recovered, r.carrierPath)});
    return r;
}

bool FrmEx::stealthOnly() {
    if (!carrier::StealthOnly(carrier::Classify(S(Text4->text())))) return false;
    // The classic format never lives in a PNG or FLAC.
    if (!extractStealth()) {
        ExtractResult none;
        none.outcome = ExtractOutcome::NoPayload;
        none.program = s_.program;
        tell(ExtractNotice(none));
    }
    return true;
}

void FrmEx::showEnd(const ExtractResult &result) {
    for (const TimedCaption &c : ExtractEndCaptions(result)) {
        if (c.pauseBefore > 0) pauseFor(c.pauseBefore);
        setWindowTitle(Q(c.caption));
    }
}

void FrmExFile::extractRun() {
    Text1->clear();
    if (!Text4->text().isEmpty()) {
        Label4->clear();
        Label5->clear();
    }
    FileRunView view(*this);
    if (stealthOnly()) return;
    const FileExtractResult r = classicRun<FileExtractResult>(
        view, [&](OpenedPayload &opened, const std::string &pw) { return engine_->runFile(view, opened, pw); });
    if (r.outcome == ExtractOutcome::NoPayload && extractStealth()) return;
    tell(ExtractNotice(r));
    if (r.outcome == ExtractOutcome::ProgramEnded) return;
    if (r.outcome == ExtractOutcome::Extracted) {
        extractedFile_ = Q(r.destination);
        Command5->setEnabled(true);
        const FileResultLines lines = ResultLines(r);
        Label4->setText(Q(lines.sizes));
        Label5->setText(Q(lines.seconds));
        Label6->setText(Q(lines.cipher));
    }
    Text1->clear(); // the password does not outlive the run
}

void FrmExMessage::payloadOpened(const ExtractResult &r) {
    if (r.outcome == ExtractOutcome::NoCarrierChosen)
        Label3->clear();
    else if (r.outcome != ExtractOutcome::LibraryMissing && r.outcome != ExtractOutcome::Busy)
        showMessageText("");
}

void FrmExMessage::extractRun() {
    Command2->setEnabled(false);
    Text1->clear();
    CaptionProgress<ExtractProgress> progress(*this);
    if (stealthOnly()) {
        Command2->setEnabled(true);
        return;
    }
    const MessageExtractResult r =
        classicRun<MessageExtractResult>(progress, [&](OpenedPayload &opened, const std::string &pw) {
            MessageExtractResult m = engine_->runMessage(progress, opened, s_.maxMessageSize, pw);
            if (m.messageShown) {
                showMessageText(m.messageAnsi);
                Label3->setText(Q(MessageResultLine(m)));
            }
            return m;
        });
    if (r.outcome == ExtractOutcome::NoPayload && extractStealth()) {
        Command6->setEnabled(true); // whatever the box holds may be saved, as after a classic run
        Command2->setEnabled(true);
        return;
    }
    tell(ExtractNotice(r));
    if (r.outcome == ExtractOutcome::ProgramEnded) return;
    if (!r.storedName.empty()) hiddenName_ = Q(r.storedName);
    // An empty carrier box and a missing library end before the run proper.
    if (r.outcome != ExtractOutcome::NoCarrierChosen && r.outcome != ExtractOutcome::LibraryMissing)
        Command6->setEnabled(r.saveEnabled);
    Command2->setEnabled(true);
    Text1->clear();
}

} // namespace kalmira::extract
