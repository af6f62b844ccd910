// The hide runs of both hide windows: where the windows call the engine.
#include "carrier/carrier_texts.h"
#include "hide/frmV_file.h"
#include "hide/frmV_message.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"

namespace kalmira::hide {

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
        const HideResult result = hideWith(optCrypt[1]->isChecked() ? payload::Mode::Rc4 : payload::Mode::Aes);
        if (ReachedCarrier(result.outcome)) Flags().hideRunDone = true;
        if (result.rolledBack)
            s_.messages->show(Icon::Information, "Kalmira-Nachricht", carrier::RolledBackText(result.carrierPath));
        if (const auto notice = HideNotice(result)) s_.messages->show(notice->icon, notice->title, notice->text);
    }
    setBusy(false);
    Text3->clear();
    Command3->setEnabled(fileOn);
    Befehl2->setEnabled(carrierOn);
    Befehl1->setEnabled(true);
}

// The window's side of a run's input (both programs' inputs share these fields).
template <class Input> Input FrmV::runInput(payload::Mode cipher) const {
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

HideResult FrmVFile::hideWith(payload::Mode cipher) {
    return engine_.hideFile(*this, runInput<FileHideInput>(cipher), data_);
}

HideResult FrmVMessage::hideWith(payload::Mode cipher) {
    MessageHideInput in = runInput<MessageHideInput>(cipher);
    in.messageAnsi = messageAnsi();
    return engine_.hideMessage(*this, in);
}

} // namespace kalmira::hide
