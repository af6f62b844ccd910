// Choosing the carrier in both hide windows: the dialog or a drop, the
// checks a run would make anyway, the thumbnail and the buttons it enables.
#include "carrier/carrier_texts.h"
#include "carrier/payload_fit.h"
#include "hide/frmV.h"
#include "platform/platform.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"
#include "shell/window_helpers.h"

namespace kalmira::hide {

void FrmV::clearThumbnail() {
    Anzeige1->clear();
    Anzeige1->hide();
}

void FrmV::thumbnailSwitchedOn() {
    showThumbnail(Text1->text());
    Image1->setVisible(Anzeige1->isHidden());
}

void FrmV::enableForCarrier(bool usable) {
    carrierChecked_ = usable;
    if (usable) {
        const bool bmp = carrierKind_ == carrier::CarrierKind::Bmp || carrierKind_ == carrier::CarrierKind::Png;
        Befehl1->setEnabled(true);
        Command6->setEnabled(bmp);
        Command5->setEnabled(!bmp);
        enableInfoButtons(true, bmp);
    }
    Image1->setVisible(Anzeige1->isHidden());
}

void FrmV::chooseCarrier() {
    if (working_) return;
    Befehl1->setEnabled(false);
    for (QPushButton *b : {Command6, Command9, Command5}) b->setEnabled(false);
    enableInfoButtons(false, false);
    Text1->clear();
    clearThumbnail();
    Label3->clear();
    Label3->setToolTip({});
    jpegNoted_.clear();
    Flags().carrierUsable = false;
    setCarrierFlag(false);
    carrierChecked_ = false;
    Image1->show();

    QString path, folder;
    if (!droppedCarrier_.isEmpty()) {
        path = droppedCarrier_;
        droppedCarrier_.clear();
        if (!carrier::HasCarrierName(S(path), stealth())) {
            s_.messages->show(Icon::Information, S(s_.programName()),
                              stealth() ? "Im Tarnformat können BMP-, WAV-, PNG- oder FLAC-Dateien als Container "
                                          "verwendet werden"
                                        : "Es können nur BMP oder. WAV-Datei als Container verwendet werden");
            return;
        }
        folder = WithSeparator(Q(FolderOf(S(path))));
    } else {
        folder = StartFolder(s_, folders::kCarrier, lastCarrierFolder_);
        const QString name =
            stealth() ? ShowOpenDialog(s_, this, "BMP-, WAV-, PNG- o. FLAC-Datei öffnen (Containerdatei)", folder, "",
                                       "Containerdateien (*.bmp;*.wav;*.png;*.flac)|*.bmp;*.wav;*.png;*.flac",
                                       "*.wav;*.bmp;*.png;*.flac")
                      : ShowOpenDialog(s_, this, "BMP- o. WAV-Datei öffnen (Containerdatei)", folder, "",
                                       "BMP- o. WAV-Dateien (*.bmp;*.wav)|*.bmp;*.wav", "*.wav;*.bmp");
        QWidget::repaint();
        if (name.isEmpty()) return;
        folder = WithSeparator(folder);
        path = folder + name;
    }
    lastCarrierFolder_ = folder;
    RememberFolder(s_, folders::kCarrier, folder);
    const std::string p = S(path);
    const std::int64_t length = platform::FileSize(p);
    if (length < 0 || !platform::IsRegularFile(p)) {
        s_.messages->show(Icon::Exclamation, S(s_.programName()),
                          "Fehler beim Schreiben! Mögliche Ursachen:\r\n"
                          "1. Die ausgewählte Containerdatei befindet sich auf einen schreibgeschützten "
                          "Datenträger.\r\n"
                          "2. Sie besitzen keine Rechte um in diesen Ordner zu schreiben.");
        return;
    }
    lblKopie->setText(Q(BackupPathFor(p)));
    Text1->setText(path);
    Label3->setText("Dateigrösse der ausgewählten Containerdatei: " + Thousands(length) + " Byte");
    checkCarrier(path);
}

void FrmV::checkCarrier(const QString &path) {
    const std::string p = S(path);
    carrierKind_ = carrier::Classify(p);
    const bool classicOnly = !stealth() && carrier::StealthOnly(carrierKind_);
    if (classicOnly) tell(carrier::RefusalNotice(carrierKind_, p));
    if (classicOnly || (stealth() && !stealthCarrierUsable(p))) return enableForCarrier(false);
    if (!stealth() && !carrierAcceptable(p)) return;
    // The run would refuse it anyway: say so now, with what to do.
    const payload::CarrierStructure structure =
        stealth() ? payload::CarrierStructure::Ok : payload::CheckStructure(p, dataLength());
    if (structure != payload::CarrierStructure::Ok) {
        s_.messages->show(Icon::Exclamation, t_.messageTitle, CarrierStructureMessage(structure, FileNameOf(p)));
        enableForCarrier(false);
        return;
    }
    // Checked before the thumbnail: it would also take other picture formats
    // by their content, and those must not be written into.
    bool usable =
        carrierKind_ == carrier::CarrierKind::Wav || (stealth() && carrierKind_ == carrier::CarrierKind::Flac);
    if (carrierKind_ == carrier::CarrierKind::Bmp || (stealth() && carrierKind_ == carrier::CarrierKind::Png)) {
        setBusy(true);
        usable = !checkBmpShow->isChecked() || showThumbnail(path);
        setBusy(false);
    } else if (carrierKind_ != carrier::CarrierKind::OtherName) {
        tell(carrier::RefusalNotice(carrierKind_, p, stealth()));
    }
    if (carrier::NamedBmp(carrierKind_)) setCarrierFlag(usable);
    enableForCarrier(usable);
}

void FrmV::tell(const std::optional<Notice> &notice) {
    if (notice) s_.messages->show(notice->icon, notice->title, notice->text);
}

} // namespace kalmira::hide
