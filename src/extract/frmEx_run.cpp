// The extraction runs of both extract windows: where the windows call the
// engine, and what the runs see of the windows.
#include "carrier/carrier_texts.h"
#include "extract/extract_texts.h"
#include "extract/frmEx_file.h"
#include "extract/frmEx_message.h"
#include "shell/qt_services.h"
#include "shell/window_helpers.h"
#include "shell/window_parts.h"

namespace kalmira::extract {

// What a run sees of its window: captions, pointer, pauses, the exit button.
template <class View, class Window> class RunViewOf : public View {
public:
    explicit RunViewOf(Window &w) : w_(w) {}
    void setCaption(const std::string &c) override { w_.setWindowTitle(Q(c)); }
    void setBusy(bool busy) override { busy ? w_.setCursor(Qt::WaitCursor) : w_.unsetCursor(); }
    void pause(double seconds) override { w_.pauseFor(seconds); }
    void processEvents() override { w_.s_.pump->processEvents(); }
    void repaint() override { w_.QWidget::repaint(); }
    void exitProgram() override { w_.Command4->click(); }

protected:
    Window &w_;
};

class FileRunView : public RunViewOf<ExtractView, FrmExFile> {
public:
    using RunViewOf::RunViewOf;
    std::string chooseDestination(const std::string &defaultName) override {
        QString folder;
        const QString name = ShowSaveDialog(w_.s_, &w_, "Extrahierte Datei speichern unter", folder,
                                            Q(defaultName), "Extrahierte-Datei|*.*|Alle Dateien|*.*", "");
        return name.isEmpty() ? std::string() : S(WithSeparator(folder) + name);
    }
};

class MessageRunView : public RunViewOf<MessageExtractView, FrmExMessage> {
public:
    using RunViewOf::RunViewOf;
    void showMessage(const std::string &ansi) override { w_.showMessageText(ansi); }
    void setResultLine(const std::string &text) override { w_.Label3->setText(Q(text)); }
};

void FrmExFile::extractRun() {
    Text1->clear();
    if (!Text4->text().isEmpty()) {
        Label4->clear();
        Label5->clear();
    }
    FileRunView view(*this);
    const FileExtractResult r = engine_->extractFile(view, S(Text4->text()));
    if (r.rolledBack) tell(Notice{Icon::Information, "Kalmira-Nachricht", carrier::RolledBackText(r.carrierPath)});
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

void FrmExMessage::extractRun() {
    Command2->setEnabled(false);
    Text1->clear();
    MessageRunView view(*this);
    const MessageExtractResult r = engine_->extractMessage(view, S(Text4->text()), s_.maxMessageSize);
    if (r.rolledBack) tell(Notice{Icon::Information, "Kalmira-Nachricht", carrier::RolledBackText(r.carrierPath)});
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
