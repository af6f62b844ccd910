#include "inspect/frmMain.h"

#include "inspect/centre.h"
#include "inspect/sound.h"
#include "platform/platform.h"
#include "shell/qt_services.h"
#include "shell/registry.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>

namespace kalmira::inspect {

QString &WavInfoFile() {
    static QString path;
    return path;
}

void CentreOnScreen(QWidget *w) {
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect g = screen->availableGeometry();
        w->move(g.x() + (g.width() - w->width()) / 2, g.y() + (g.height() - w->height()) / 2);
    }
}

void MakePathLabel(QLabel *label) {
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setMinimumWidth(200);
}

QLabel *NamedLabel(QWidget *parent, const char *name, const QString &text) {
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

// The facts of the file, caption beside value, in a framed grid.
QFrame *FrmMain::createFacts() {
    auto *Shape1 = new QFrame(this);
    Shape1->setObjectName("Shape1");
    Shape1->setFrameShape(QFrame::Box);
    auto *facts = new QGridLayout(Shape1);
    auto value = [this](const char *name) {
        QLabel *l = NamedLabel(this, name, {});
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    lblFileName = value("lblFileName");
    MakePathLabel(lblFileName);
    lblFileSize = value("lblFileSize");
    lblCompression = value("lblCompression");
    lblChannels = value("lblChannels");
    lblSampleRate = value("lblSampleRate");
    lblBytesPerSec = value("lblBytesPerSec");
    lblBlockAlign = value("lblBlockAlign");
    lblBitsPerSample = value("lblBitsPerSample");
    const std::pair<QLabel *, QLabel *> rows[] = {
        {NamedLabel(this, "Label1", "Dateiname:"), lblFileName},
        {NamedLabel(this, "Label3", "Dateigröße (ohne Header):"), lblFileSize},
        {NamedLabel(this, "Label5", "Komprimierung:"), lblCompression},
        {NamedLabel(this, "Label7", "Kanäle:"), lblChannels},
        {NamedLabel(this, "Label9", "Sample-Rate:"), lblSampleRate},
        {NamedLabel(this, "Label4", "Datenrate:"), lblBytesPerSec},
        {NamedLabel(this, "Label11", "Größe eines Sample-Frame:"), lblBlockAlign},
        {NamedLabel(this, "Label13", "Bits pro Sample:"), lblBitsPerSample},
    };
    int row = 0;
    for (auto [caption, field] : rows) {
        facts->addWidget(caption, row, 0);
        facts->addWidget(field, row, 1);
        ++row;
    }
    facts->setColumnMinimumWidth(1, 220);
    return Shape1;
}

FrmMain::FrmMain(Services &services, QWidget *parent) : QWidget(parent), s_(services) {
    setObjectName("frmMain");
    setWindowTitle("WavInfo");
    setAttribute(Qt::WA_QuitOnClose, false);

    auto *grid = new QGridLayout(this);
    QFrame *Shape1 = createFacts();
    auto *Shape2 = new QFrame(this);
    Shape2->setObjectName("Shape2");
    Shape2->setFrameShape(QFrame::HLine);
    QLabel *Label6 = NamedLabel(this, "Label6", {});
    Label6->hide();
    int row = 0;
    grid->addWidget(Shape1, row++, 0, 1, 2);
    grid->addWidget(Shape2, row++, 0, 1, 2);
    grid->addWidget(NamedLabel(this, "Label2", "Chunks:"), row++, 0, 1, 2);
    lstChunks = new QListWidget(this);
    lstChunks->setObjectName("lstChunks");
    grid->addWidget(lstChunks, row++, 0, 1, 2);
    Command3 = new QPushButton("play", this);
    Command3->setObjectName("Command3");
    Command2 = new QPushButton("<<", this);
    Command2->setObjectName("Command2");
    Command1 = new QPushButton("Command1", this);
    Command1->setObjectName("Command1");
    Command1->hide();
    grid->addWidget(Command2, row, 0);
    grid->addWidget(Command3, row, 1);
    grid->addWidget(Label6, row, 1);
    resize(460, 400);
    CentreOnScreen(this);

    connect(Command1, &QPushButton::clicked, this, [this] {
        const QString path = WavInfoFile();
        if (!path.isEmpty() && QFileInfo(path).isFile())
            ReadWavChunks(path);
        else
            s_.messages->show(Icon::Critical, "Kalmira-WAV-Info", "WAV-Datei nicht vorhanden!");
    });
    connect(Command2, &QPushButton::clicked, this, [this] { s_.registry->unload("frmMain"); });
    connect(Command3, &QPushButton::clicked, this, [this] {
        const QString path = WavInfoFile();
        if (!PlayWithExternalPlayer(path)) s_.desktop->open(path);
    });
}

bool FrmMain::ReadWavChunks(const QString &path) {
    WavChunks chunks;
    if (carrier::ReadWavChunks(S(path), chunks) != WavRead::Ok) {
        s_.messages->show(Icon::Critical, "Kalmira - Info",
                          S("Die Datei '" + path + "' ist keine gültige Wave-Datei."));
        return false;
    }
    lblFileSize->setText(QString::number(chunks.riffSize) + " Byte");
    lstChunks->clear();
    for (const std::string &id : chunks.ids) lstChunks->addItem(Q(platform::Utf8FromAnsi(id)));
    if (chunks.hasFormat) {
        ShowWavFormat(chunks.format);
    } else {
        // Without a format record, values of an earlier file must not stay.
        ShowWavFormat(WavFormat{});
        for (QLabel *l : {lblCompression, lblChannels, lblSampleRate, lblBytesPerSec, lblBlockAlign, lblBitsPerSample})
            l->clear();
    }
    return true;
}

void FrmMain::ShowWavFormat(const WavFormat &f) {
    lblFileName->setText(Q(Nurdatei(S(WavInfoFile()))));
    lblCompression->setText(Q(FormatTagName(f.formatTag)));
    lblChannels->setText(Q(ChannelText(f.channels)));
    lblSampleRate->setText(QString::number(f.sampleRate) + " Hz");
    lblBytesPerSec->setText(QString::number(f.bytesPerSec) + " Byte/s");
    lblBlockAlign->setText(QString::number(f.blockAlign) + " Byte");
    lblBitsPerSample->setText(Q(BitsPerSampleText(f.bitsPerSample)));
}

void FrmMain::closeEvent(QCloseEvent *event) {
    event->accept();
    s_.registry->unload("frmMain");
}

} // namespace kalmira::inspect
