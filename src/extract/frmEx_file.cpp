#include "extract/frmEx_file.h"

#include "platform/platform.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"
#include "shell/window_helpers.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace kalmira::extract {

namespace {
const FrmExTexts kTexts{
    "KalmiraB - Extraktion",
    "Eine Versteckte Datei aus BMP-Bild oder WAV-Sounddatei extrahieren",
    "BMP-Container im Anzeigefeld darstellen?",
    "Datei aus Bild- oder WAV-Datei extrahieren",
    "Verstecken >",
    "Exit",
    "ShowExtrakt",
    "Play wav",
    "Show bmp",
    "BMP o. WAV-Datei (mit der versteckten Datei) öffnen",
    "ContainerDatei wurde nicht gefunden!",
    "Es ist keine BMP-Bilddatei mit versteckter Datei ausgewählt.",
    "Eine BMP-Containerdatei wird im mittleren Bildfeld angezeigt. Abschalten spart Speicher und Ladezeit.",
    "BMP- oder WAV-Datei mit einer eingebetteten, versteckten Datei öffnen.",
    "Es wird eine vorher versteckte Datei aus der ausgewählten BMP- oder WAV-Datei extrahiert.",
    "-> Zum Programmteil \"Datei verstecken\".",
    "Spielt die oben ausgewählte WAV-Datei mit versteckter Datei.",
    "Zeigt die oben ausgewählte BMP-Bilddatei mit versteckter Datei in Originalgröße.",
    "Name der BMP oder WAV Datei, welche die versteckte Datei enthält."};
} // namespace

FrmExFile::FrmExFile(Services &services) : FrmEx(services, kTexts) {
    Label4 = label("Label4", "");
    Label4->setWordWrap(true);
    Label4->setMinimumHeight(2 * fontMetrics().lineSpacing());
    Label5 = label("Label5", "Time");
    Label5->hide();
    Label6 = label("Label6", "");
    Label6->setWordWrap(true);
    Command5->setEnabled(false);
    connect(Command5, &QPushButton::clicked, this, [this] { OpenWithApplication(s_, extractedFile_); });
    connect(Label1, &HelpLine::clicked, Label5, &QLabel::show);
    connect(Label1, &HelpLine::doubleClicked, Label5, &QLabel::hide);
    help_->add(Command5, "Extrahierte Datei mit der verknüpften Anwendung starten. (Falls für den DateiTyp "
                         "eine Anwendung existiert.)");
    layOut();
}

void FrmExFile::layOut() {
    QVBoxLayout *root = rootWithCarrierRow(Label3);

    // Carrier tools left, the display field in the middle, result tools right.
    auto *middle = new QHBoxLayout;
    auto column = [](std::initializer_list<QWidget *> widgets) {
        auto *box = new QVBoxLayout;
        for (QWidget *w : widgets) {
            w->setFixedWidth(150);
            box->addWidget(w);
        }
        box->addStretch();
        return box;
    };
    middle->addLayout(column({Command8, Command7}));
    middle->addStretch();
    auto *centre = new QVBoxLayout;
    centre->addWidget(Shape1, 0, Qt::AlignHCenter);
    centre->addWidget(checkBmpShow, 0, Qt::AlignHCenter);
    middle->addLayout(centre);
    middle->addStretch();
    middle->addLayout(column({Command5, Command9}));
    root->addSpacing(4);
    root->addLayout(middle);

    Command2->setMinimumWidth(380);
    root->addSpacing(4);
    root->addWidget(Command2, 0, Qt::AlignHCenter);

    auto *results = new QGridLayout(Shape2);
    results->setContentsMargins(10, 6, 10, 6);
    results->addWidget(Label4, 0, 0);
    results->addWidget(Label5, 0, 1, Qt::AlignRight | Qt::AlignTop);
    results->addWidget(Label6, 1, 0, 1, 2);
    results->setColumnStretch(0, 1);
    root->addWidget(Shape2);

    auto *bottom = new QHBoxLayout;
    Command3->setMinimumWidth(130);
    Command4->setMinimumWidth(130);
    bottom->addWidget(Command3);
    bottom->addStretch();
    bottom->addWidget(Command4);
    root->addLayout(bottom);
    root->addWidget(Label1);
    finish(root, 700);
}

void FrmExFile::clearResults() {
    Command8->setEnabled(false);
    Command7->setEnabled(false);
    Command5->setEnabled(false);
    Label4->clear();
    Label6->clear();
}

void FrmExFile::showThumbnail(const QString &path) { ShowBmpThumbnail(s_, this, path); }

bool FrmExFile::carrierUsable() const { return Flags().carrierUsable; }

void FrmExFile::setCarrierUsable(bool usable) { Flags().carrierUsable = usable; }

void FrmExFile::showCarrierSize(const QString &path) {
    Label3->setText("Dateigrösse der Containerdatei: " + Thousands(platform::FileSize(S(path))) + " Bytes");
}

} // namespace kalmira::extract
