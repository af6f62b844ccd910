// The hide runs of both hide windows: the checks, the password dialog, the
// write, and what the window shows meanwhile and after.
#include "carrier/carrier_texts.h"
#include "crypto/register.h"
#include "hide/frmV_file.h"
#include "hide/frmV_message.h"
#include "platform/platform.h"
#include "platform/secure_memory.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"

namespace kalmira::hide {

namespace {

// The engine's steps as the window's captions.
class CaptionProgress : public HideProgress {
public:
    CaptionProgress(FrmV &w, Program program, payload::Mode mode, std::string backupPath)
        : w_(w), program_(program), mode_(mode), backupPath_(std::move(backupPath)) {}
    void step(Step step, int percent) override {
        const std::string caption = HideCaption(program_, mode_, backupPath_, step, percent);
        if (!caption.empty()) w_.setCaption(caption);
        w_.setBusy(true);
    }
    void processEvents() override { w_.processEvents(); }

private:
    FrmV &w_;
    Program program_;
    payload::Mode mode_;
    std::string backupPath_;
};

} // namespace

bool BoxQuestions::replaceBackup(const std::string &copyName) {
    return messages_.show(Icon::Question, kReplaceBackupTitle, ReplaceBackupQuestion(copyName),
                          Buttons::YesNoDefaultNo) == Answer::Yes;
}

void FrmV::runHide() {
    if (working_ || engine_.running()) return;
    WorkingScope working(working_);
    Befehl1->setEnabled(false);
    const bool fileOn = Command3->isEnabled(), carrierOn = Befehl2->isEnabled();
    Command3->setEnabled(false);
    Befehl2->setEnabled(false);
    if (stealth()) {
        runStealthHide();
    } else {
        const HideResult result = runClassicHide(optCrypt[1]->isChecked() ? payload::Mode::Rc4 : payload::Mode::Aes);
        if (ReachedCarrier(result.outcome)) Flags().hideRunDone = true;
        if (result.recovered)
            s_.messages->show(Icon::Information, "Kalmira-Nachricht",
                              carrier::RecoveredText(result.recovered, result.carrierPath));
        tell(HideNotice(result));
        tellStoredName(result);
    }
    setBusy(false);
    Text3->clear();
    Command3->setEnabled(fileOn);
    Befehl2->setEnabled(carrierOn);
    Befehl1->setEnabled(true);
}

void FrmV::tellStoredName(const HideResult &result) {
    if (result.outcome != HideOutcome::Written || !changedName_) return;
    s_.messages->show(Icon::Information, t_.messageTitle, StoredNameText(FileNameOf(S(Text5->text())), *changedName_));
}

// The checks, then the password (the window's own dialog), then the write.
HideResult FrmV::runClassicHide(payload::Mode cipher) {
    CaptionProgress progress(*this, s_.program, Check1->isChecked() ? cipher : payload::Mode::Plain,
                             S(lblKopie->text()));
    PreparedHide prepared = prepareWith(progress, cipher);
    HideResult result = prepared.result();
    if (result.outcome == HideOutcome::NoMessage) focusMessage();
    if (const std::string line = MessageSizeLine(result); !line.empty()) setSizeLine(line);
    if (prepared.needsPassword()) {
        std::optional<std::string> padded = askHidePassword();
        if (!padded) {
            setSizeLine(MessageSizeLineCancelled(result));
            return engine_.cancel(prepared);
        }
        result = engine_.run(progress, prepared, *padded);
        platform::WipeString(*padded);
    } else if (prepared.ready()) {
        result = engine_.run(progress, prepared);
    }
    showEnd(result);
    return result;
}

std::optional<std::string> FrmV::askHidePassword() {
    Text3->clear();
    std::optional<QString> padded = askPassword ? askPassword() : crypto::AskHidePassword(s_, this);
    if (!padded || padded->isEmpty()) {
        Text3->clear();
        return std::nullopt;
    }
    Text3->setText(*padded);
    std::string ansi = platform::AnsiFromUtf8(S(*padded));
    padded->fill(QChar(' '));
    return ansi;
}

// Captions and pauses as the windows have always shown them.
void FrmV::showEnd(const HideResult &result) {
    const std::vector<TimedCaption> end = HideEndCaptions(result);
    if (!end.empty() && result.outcome != HideOutcome::NoCarrierChosen) setBusy(false);
    for (const TimedCaption &c : end) {
        if (c.pauseBefore > 0) pause(c.pauseBefore);
        setCaption(c.caption);
        QWidget::repaint();
    }
}

// The window's side of a run's input (both programs' inputs share these fields).
template <class Input>
Input FrmV::runInput(payload::Mode cipher) const {
    Input in;
    in.carrierPath = S(Text1->text());
    in.sourcePath = S(Text5->text());
    in.nameField = nameField_;
    in.encrypt = Check1->isChecked();
    in.cipher = cipher;
    in.backup = checkKopie->isChecked();
    in.backupPath = S(lblKopie->text());
    return in;
}

PreparedHide FrmVFile::prepareWith(HideProgress &progress, payload::Mode cipher) {
    return engine_.prepareFile(progress, runInput<FileHideInput>(cipher), data_);
}

PreparedHide FrmVMessage::prepareWith(HideProgress &progress, payload::Mode cipher) {
    MessageHideInput in = runInput<MessageHideInput>(cipher);
    in.messageAnsi = messageAnsi();
    PreparedHide prepared = engine_.prepareMessage(progress, in);
    platform::WipeString(in.messageAnsi);
    return prepared;
}

} // namespace kalmira::hide
