#include "inspect/frmFlacInfo.h"

#include "inspect/centre.h"
#include "inspect/modWAV.h"
#include "shell/qt_services.h"
#include "shell/registry.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <cmath>

namespace kalmira::inspect {

// The facts, caption beside value, in a framed grid as in "WavInfo".
QFrame *FrmFlacInfo::createFacts() {
    auto *Shape1 = new QFrame(this);
    Shape1->setObjectName("Shape1");
    Shape1->setFrameShape(QFrame::Box);
    auto *facts = new QGridLayout(Shape1);
    auto value = [this](const char *name) {
        QLabel *l = NamedLabel(this, name, {});
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    const struct {
        const char *caption, *name;
        QLabel **field;
    } rows[] = {
        {"Dateiname:", "lblFileName", &lblFileName},
        {"Dateigröße:", "lblFileSize", &lblFileSize},
        {"Komprimierung:", "lblCompression", &lblCompression},
        {"Kanäle:", "lblChannels", &lblChannels},
        {"Sample-Rate:", "lblSampleRate", &lblSampleRate},
        {"Datenrate:", "lblBytesPerSec", &lblBytesPerSec},
        {"Größe eines Sample-Frame:", "lblBlockAlign", &lblBlockAlign},
        {"Bits pro Sample:", "lblBitsPerSample", &lblBitsPerSample},
        {"Spieldauer:", "lblDuration", &lblDuration},
        {"Blockgröße:", "lblBlockSize", &lblBlockSize},
        {"Vorbis-Kommentare:", "lblComments", &lblComments},
    };
    int row = 0;
    for (const auto &r : rows) {
        *r.field = value(r.name);
        facts->addWidget(NamedLabel(this, "lblCaption", r.caption), row, 0);
        facts->addWidget(*r.field, row++, 1);
    }
    MakePathLabel(lblFileName);
    facts->setColumnMinimumWidth(1, 220);
    return Shape1;
}

FrmFlacInfo::FrmFlacInfo(Services &services, QWidget *parent) : QWidget(parent), s_(services) {
    setObjectName("frmFlacInfo");
    setWindowTitle("FlacInfo");
    setAttribute(Qt::WA_QuitOnClose, false);

    auto *grid = new QGridLayout(this);
    auto *Shape2 = new QFrame(this);
    Shape2->setObjectName("Shape2");
    Shape2->setFrameShape(QFrame::HLine);
    int row = 0;
    grid->addWidget(createFacts(), row++, 0, 1, 2);
    grid->addWidget(Shape2, row++, 0, 1, 2);
    grid->addWidget(NamedLabel(this, "Label2", "Metadaten-Blöcke:"), row++, 0, 1, 2);
    lstBlocks = new QListWidget(this);
    lstBlocks->setObjectName("lstBlocks");
    grid->addWidget(lstBlocks, row++, 0, 1, 2);
    Command2 = new QPushButton("<<", this);
    Command2->setObjectName("Command2");
    Command3 = new QPushButton("play", this);
    Command3->setObjectName("Command3");
    grid->addWidget(Command2, row, 0);
    grid->addWidget(Command3, row, 1);
    resize(460, 480);
    CentreOnScreen(this);

    connect(Command2, &QPushButton::clicked, this, [this] { s_.registry->unload("frmFlacInfo"); });
    connect(Command3, &QPushButton::clicked, this, [this] { play(); });
}

void FrmFlacInfo::showFacts(const QString &path, const CodecFacts &facts) {
    path_ = path;
    const carrier::FlacFacts &f = facts.flac;
    const std::uint32_t frameBytes = f.channels * ((f.bitsPerSample + 7) / 8);
    lblFileName->setText(Q(Nurdatei(S(path))));
    lblFileSize->setText(Q(GroupedNumber(static_cast<std::uint64_t>(facts.length)) + " Byte"));
    lblCompression->setText("FLAC (verlustfrei)");
    lblChannels->setText(Q(ChannelText(static_cast<std::int16_t>(f.channels))));
    lblSampleRate->setText(QString::number(f.sampleRate) + " Hz");
    // The recording's own rate, and what it would take as a WAV.
    const std::string pcmRate = GroupedNumber(std::uint64_t{f.sampleRate} * frameBytes);
    lblBytesPerSec->setText(Q(f.seconds > 0
                                  ? GroupedNumber(static_cast<std::uint64_t>(std::llround(f.audioBytes / f.seconds))) +
                                        " Byte/s (unkomprimiert " + pcmRate + ")"
                                  : "unbekannt (unkomprimiert " + pcmRate + " Byte/s)"));
    lblBlockAlign->setText(QString::number(frameBytes) + " Byte");
    lblBitsPerSample->setText(Q(BitsPerSampleText(static_cast<std::int16_t>(f.bitsPerSample))));
    lblDuration->setText(Q(f.totalSamples > 0
                               ? SecondsText(f.seconds) + " (" + GroupedNumber(f.totalSamples) + " Samples je Kanal)"
                               : std::string("unbekannt")));
    lblBlockSize->setText(Q(BlockSizeText(f)));
    bool comments = false;
    lstBlocks->clear();
    for (const carrier::FlacBlockFact &b : f.blocks) {
        lstBlocks->addItem(Q(FlacBlockName(b.type) + " (" + GroupedNumber(b.length) + " Byte)"));
        comments = comments || b.type == carrier::FlacVorbisComment;
    }
    lblComments->setText(comments ? QString::number(f.vorbisComments) : "keine");
}

// Played by the desktop's player, as the WAV info window does.
void FrmFlacInfo::play() {
    if (s_.desktop->open(path_) == 31)
        s_.messages->show(Icon::Information, S(s_.programName() + "-Nachricht"),
                          "Für FLAC-Aufnahmen ist kein Abspielprogramm eingerichtet.");
}

void FrmFlacInfo::closeEvent(QCloseEvent *event) {
    event->accept();
    s_.registry->unload("frmFlacInfo");
}

} // namespace kalmira::inspect
