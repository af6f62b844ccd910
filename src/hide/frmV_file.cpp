#include "hide/frmV_file.h"

#include "carrier/payload_fit.h"
#include "compress/ZorbComprFile.h"
#include "compress/zlib_memory.h"
#include "inspect/register.h"
#include "platform/platform.h"
#include "platform/secure_memory.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"
#include "shell/window_helpers.h"

#include <QVBoxLayout>

namespace kalmira::hide {

namespace {

const FrmVTexts kTexts{
    "KalmiraB - Verstecken",
    "KalmiraB-Nachricht",
    "Eine Datei in einem BMP-Bild oder in einer WAV- Sounddatei verstecken",
    "Zu versteckende Datei öffnen",
    "Zu versteckende Datei  zusätzlich verschlüsseln?",
    " AES",
    "Eine Kopie der ContainerDatei erzeugen?",
    "BMP-Container im Anzeigefeld darstellen? ",
    "Datei  in BMP o. WAV-Datei verstecken",
    "Show bmp",
    "Play wav",
    "ContainerInfo",
    "Extract >",
    "Exit",
    "Datei in Bild oder Sounddatei verstecken.",
    "Containerdatei auswählen, in der eine Datei versteckt werden soll.",
    "Vor dem Verstecken wird AES-256 oder RC4-kompatibel verschlüsselt. (zu empfehlen!)",
    "Eine BMP-Containerdatei wird im mittleren Bildfeld angezeigt. Abschalten spart Speicher und Ladezeit.",
    "-> Zum Programmteil \"Datei extrahieren\".",
    "Die zu versteckende Datei auswählen. Die Datei wird komprimiert (Originaldatei bleibt erhalten).",
    "Spielt die ausgewählte Container-WAV-Sounddatei ab.",
    "Zeigt die ausgewählte Container-BMP-Bilddatei in Originalgrösse.",
    "Zeigt Informationen zur ausgewählten Containerdatei (WAV-Bitrate, BMP-Grösse, Farbanzahl, etc.)",
    "Name der zu versteckenden Datei."};

} // namespace

FrmVFile::FrmVFile(Services &services) : FrmV(services, kTexts) {
    Label4 = label("Label4", "");
    Label5 = label("Label5", "");
    Command4 = button("Command4", "Shredder");
    Command10 = button("Command10", "Convert");
    Befehl2->setEnabled(false); // first needs a compressed file
    connectTools(Command4, Command10);

    // File and carrier rows, options beside the picture, tools, the help line.
    auto *root = new QVBoxLayout(this);
    root->setSpacing(8);
    root->addWidget(Label1);
    root->addSpacing(4);
    root->addLayout(pathRow(Command3, framed(Text5, "Shape2", 4), Label4, Label5));
    root->addLayout(pathRow(Befehl2, framed(Text1, "Shape3", 4), Label3, nullptr));
    auto *middle = new QHBoxLayout;
    middle->addLayout(optionsColumn(), 1);
    middle->addSpacing(24);
    middle->addWidget(framed(Picture2, "Shape1", 4), 0, Qt::AlignTop);
    root->addLayout(middle);
    bottomRows(root, {Command6, Command5, Command9, Command4, Command10, Command7});
    for (QLabel *l : {Label4, Label5}) l->setMinimumHeight(2 * fontMetrics().lineSpacing());
    finish(root);
}

bool FrmVFile::carrierDropAllowed() {
    if (!Text5->text().isEmpty()) return true;
    s_.messages->show(Icon::Information, S(s_.programName()), "Bitte erst die zu versteckende Datei auswählen.");
    return false;
}

bool FrmVFile::carrierAcceptable(const std::string &carrier) {
    const payload::FitCheck fit = payload::CheckFit(carrier, payload::Mode::Plain, dataLength());
    if (fit.fit != payload::Fit::TooSmall) return true;
    s_.messages->show(Icon::Exclamation, "Kalmira-Nachricht",
                      TooSmallTextWithHint(Program::B, carrier, fit.carrierSize, S(Text5->text()), fit.requiredSize));
    return false;
}

void FrmVFile::setCarrierFlag(bool usable) { Flags().carrierUsable = usable; }

bool FrmVFile::showThumbnail(const QString &path) {
    ShowBmpThumbnail(s_, this, path);
    return Flags().carrierUsable;
}

void FrmVFile::showCarrierInfo() {
    const QString path = Text1->text();
    if (carrierKind_ == carrier::CarrierKind::Bmp)
        inspect::ShowImageInfo(s_, path);
    else if (carrierKind_ == carrier::CarrierKind::Wav)
        inspect::ShowWavInfo(s_, path);
    else if (carrier::StealthOnly(carrierKind_))
        inspect::ShowCodecInfo(s_, path);
}

void FrmVFile::chooseSource() {
    if (working_) return;
    Label4->clear();
    Text5->clear();
    Label5->clear();
    nameField_.clear();
    changedName_.reset();
    data_.clear();
    data_.shrink_to_fit();
    // Without data there is nothing to hide, whatever carrier is shown.
    Befehl1->setEnabled(false);

    QString path;
    if (!droppedFile_.isEmpty()) {
        path = droppedFile_;
        droppedFile_.clear();
    } else {
        QString folder = StartFolder(s_, folders::kHidden, lastFileFolder_);
        const QString name = ShowOpenDialog(s_, this, "Die zu versteckende Datei öffnen", folder, "",
                                            "Zu versteckende Datei (*.*)|*.*", "*.*");
        QWidget::repaint();
        path = name.isEmpty() ? QString() : WithSeparator(folder) + name;
    }
    if (!path.isEmpty()) {
        lastFileFolder_ = WithSeparator(Q(FolderOf(S(path))));
        RememberFolder(s_, folders::kHidden, lastFileFolder_);
    }
    const std::string p = S(path);
    const std::int64_t length = path.isEmpty() ? -1 : platform::FileSize(p);
    if (length < 0 || !platform::IsRegularFile(p) || !(stealth() ? takeForStealth(p, length) : compress(p, length))) {
        Befehl2->setEnabled(false);
        setBusy(false);
        return;
    }
    Befehl2->setEnabled(true);

    // A carrier still named in Text1 is checked again against the new data.
    const std::string carrier = S(Text1->text());
    if (!carrier.empty() && platform::FileExists(carrier) &&
        (stealth() || payload::CheckFit(carrier, payload::Mode::Plain, dataLength()).fit != payload::Fit::TooSmall))
        checkCarrier(Text1->text());
}

int FrmVFile::compressTo(const std::string &path, platform::SecureBytes &packed) {
    shownPercent_ = -1;
    // In memory: a classic payload is at most 9,999,999 bytes, and nothing of
    // it can be left in the temporary folder.
    DeflatedFile d = DeflateFile(path, payload::kMaxStorableCompressed, [this](int percent) {
        if (percent == shownPercent_) return;
        shownPercent_ = percent;
        setWindowTitle(">>>>>>>>>> Die Datei wird komprimiert: " + QString::number(percent) + " % bearbeitet...");
        processEvents();
    });
    switch (d.status) {
    case DeflateStatus::Ok: packed = std::move(d.bytes); return 0;
    case DeflateStatus::TooLarge: return ZorbComprFile::kTooLarge;
    case DeflateStatus::ReadFailed: return -200;
    case DeflateStatus::Failed: break;
    }
    return -1;
}

bool FrmVFile::compress(const std::string &p, std::int64_t length) {
    Label4->setText("Grösse der zu versteckenden Datei: " + Thousands(length) + " Bytes");
    std::optional<std::string> field = payload::NameField(FileNameOf(p));
    if (!field) {
        s_.messages->show(Icon::Exclamation, t_.messageTitle,
                          "Der Dateiname \"" + FileNameOf(p) +
                              "\" ist zu lang und lässt sich nicht auf 25 Zeichen kürzen. Bitte die "
                              "Datei umbenennen.");
        return false;
    }
    nameField_ = *field;
    changedName_ = payload::ChangedStoredName(FileNameOf(p));
    Text5->setText(Q(p));

    WorkingScope working(working_);
    setWindowTitle(">>>>>>>>>>>>>>>>>> Datei wird komprimiert...");
    setBusy(true);
    if (!ZorbLibraryPresent()) {
        s_.messages->show(Icon::Critical, "Kalmira-Nachricht", ZorbMissingMessage());
        setWindowTitle(t_.title);
        return false;
    }
    platform::SecureBytes packed;
    const int status = compressTo(p, packed);
    setBusy(false);
    setWindowTitle(t_.title);
    auto failed = [&] {
        if (status == -200)
            s_.messages->show(Icon::Critical, "Kalmira - Fehlernachricht",
                              "Error -200: Die Datei \"" + p +
                                  "\" kann nicht versteckt werden. Wahrscheinlich wird die Datei gerade "
                                  "von einer anderen Anwendung benutzt.");
        return false;
    };
    if (status == ZorbComprFile::kTooLarge) {
        s_.messages->show(Icon::Exclamation, "KalmiraB-Nachricht", DataTooLargeText());
        return failed();
    }
    const auto c = static_cast<std::int64_t>(packed.size());
    if (status != 0 || c <= 0) return failed();
    const std::int64_t rounded = payload::RoundedForDisplay(c);
    if (rounded < length)
        Label4->setText(Label4->text() + " , wurde komprimiert zu: " + Thousands(rounded) + " Byte, (" +
                        QString::number(rounded * 100 / length) + " %)");
    if (rounded > 9'999'999) {
        s_.messages->show(Icon::Exclamation, "KalmiraB-Nachricht", DataTooLargeText());
        return failed();
    }
    Label5->setText("Notwendige Dateigrösse für die Containerdatei (BMP, WAV) mindestens: " +
                    Thousands(payload::MinCarrierForDisplay(c)) + " Byte");
    QWidget::repaint();

    data_.assign(packed.begin(), packed.end());
    return true;
}

} // namespace kalmira::hide
