#include "shell/frmStart.h"

#include "carrier/classify.h"

#include "platform/platform.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"
#include "shell/registry.h"
#include "shell/window_parts.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QPainter>
#include <QTextEdit>

namespace kalmira {

void GradientBox::paintEvent(QPaintEvent *) {
    QPainter p(this);
    // 256 bands on a scale of 510: from black at the top to red at the bottom.
    const double scale = height() / 510.0;
    for (int i = 0; i < 256; ++i) {
        int y0 = static_cast<int>(2 * i * scale);
        int y1 = static_cast<int>((2 * i + 2) * scale) + 1;
        p.fillRect(QRect(-2, y0, width() + 4, y1 - y0), QColor(i, 0, 0));
    }
}

FrmStart::FrmStart(Services &services, QWidget *parent) : QWidget(parent), s_(services) {
    setObjectName("frmStart");
    const bool a = s_.program == Program::A;
    setWindowTitle(a ? "Steganographie mit KalmiraA   (für ASCII-Textdateien)" : "Steganographie mit KalmiraB  ");
    setFixedSize(520, 380);

    Picture2 = new GradientBox(this);
    Picture2->setObjectName("Picture2");
    Picture2->setGeometry(0, 0, width(), height());

    const QString name = a ? "KALMIRAA" : "KALMIRAB";
    QFont big("DejaVu Sans", 34, QFont::Bold);
    for (int shadow = 1; shadow >= 0; --shadow) {
        auto *label = new QLabel(name, Picture2);
        label->setObjectName("Label1");
        label->setFont(big);
        label->setAlignment(Qt::AlignCenter);
        label->setStyleSheet(shadow ? "color: #300000; background: transparent;"
                                    : "color: #ffd24a; background: transparent;");
        label->setGeometry(shadow ? 23 : 20, shadow ? 33 : 30, width() - 40, 70);
    }

    auto button = [this](const char *objName, const QString &caption, int y) {
        auto *b = new QPushButton(caption, Picture2);
        b->setObjectName(objName);
        b->setGeometry(60, y, width() - 120, 40);
        return b;
    };
    Command1 = button("Command1",
                      a ? " Botschaft in einer BMP-Bild oder WAV-Sounddatei verstecken"
                        : "Eine Datei in einer BMP-Bild oder WAV-Sounddatei verstecken",
                      130);
    Command2 =
        button("Command2",
               a ? "Eine vorher versteckte Botschaft  extrahieren" : "Eine vorher versteckte Datei  extrahieren", 185);
    Command4 = button("Command4", "Info", 240);
    Command3 = button("Command3", "Beenden", 295);

    connect(Command1, &QPushButton::clicked, this, [this] {
        if (s_.registry->show("frmV")) hide();
    });
    connect(Command2, &QPushButton::clicked, this, [this] {
        if (s_.registry->show("frmEx")) hide();
    });
    connect(Command4, &QPushButton::clicked, this, [this] { s_.registry->show("frmInfo"); });
    connect(Command3, &QPushButton::clicked, this, [this] { close(); });
}

void FrmStart::load() {
    CentreOnScreen(this);
    if (s_.program == Program::A)
        s_.maxMessageSize = platform::WindowsPlatform() == "NT" ? kMaxMessageBytes : kMaxMessageBytesOldWindows;
    if (!handleCommandLine(s_.commandLine)) show();
}

bool FrmStart::handleCommandLine(const QString &argument) {
    if (argument.isEmpty()) return false;
    QString path = argument;
    path.remove('"');
    if (!carrier::HasCarrierName(S(path))) return false;

    QWidget *ex = s_.registry->window("frmEx");
    if (!ex) return false;
    auto *carrierBox = ex->findChild<QLineEdit *>("Text4");
    auto *carrierButton = ex->findChild<QPushButton *>("Command1");
    auto *extractButton = ex->findChild<QPushButton *>("Command2");
    if (!carrierBox || !carrierButton || !extractButton) return false;
    ex->show();
    carrierBox->setText(path);
    carrierButton->setProperty("Tag", path);
    carrierButton->click();
    extractButton->click();
    carrierButton->setProperty("Tag", QString());
    hide();
    return true;
}

void FrmStart::closeEvent(QCloseEvent *event) {
    // Unloading the start window ends the program, whatever else is open.
    event->accept();
    s_.registry->unload("frmInfo");
    if (s_.exitProgram) s_.exitProgram(0);
}

} // namespace kalmira
