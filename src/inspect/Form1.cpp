#include "inspect/Form1.h"

#include "inspect/bmp_info.h"
#include "inspect/centre.h"
#include "shell/qt_services.h"
#include "shell/registry.h"

#include <QCloseEvent>
#include <QFrame>
#include <QVBoxLayout>

namespace kalmira::inspect {

Form1::Form1(Services &services, QWidget *parent) : QWidget(parent), s_(services) {
    setObjectName("Form1");
    setWindowTitle("Informationen zur ausgewählten Bilddatei");
    setAttribute(Qt::WA_QuitOnClose, false);

    auto *outer = new QVBoxLayout(this);
    auto *Shape1 = new QFrame(this);
    Shape1->setObjectName("Shape1");
    Shape1->setFrameShape(QFrame::Box);
    auto *inner = new QVBoxLayout(Shape1);
    lblFileName = new QLabel(Shape1);
    lblFileName->setObjectName("lblFileName");
    MakePathLabel(lblFileName);
    inner->addWidget(lblFileName);
    for (QLabel *&l : lblInfo) {
        l = new QLabel(Shape1);
        l->setObjectName("lblInfo");
        inner->addWidget(l);
    }
    outer->addWidget(Shape1);
    Command2 = new QPushButton("OK", this);
    Command2->setObjectName("Command2");
    outer->addWidget(Command2, 0, Qt::AlignHCenter);
    Command1 = new QPushButton("Grafik laden", this);
    Command1->setObjectName("Command1");
    Command1->hide();
    resize(440, 300);
    CentreOnScreen(this);

    connect(Command1, &QPushButton::clicked, this, [this] { loadPicture(); });
    connect(Command2, &QPushButton::clicked, this, [this] { s_.registry->unload("Form1"); });
}

void Form1::loadPicture() {
    carrier::BmpHeader facts;
    std::string error;
    std::array<std::string, 8> lines;
    if (ReadBmpHeaderFacts(S(path_), facts, error) && BmpInfoLines(facts, lines, error)) {
        lblFileName->setText(path_);
        for (int i = 0; i < 8; ++i) lblInfo[i]->setText(Q(lines[i]));
        return;
    }
    s_.messages->show(Icon::Exclamation, "Image Info", error + "Fehler");
    lblFileName->setText("Error: Keine Datei ausgewählt! Oder Datei nicht vorhanden!");
}

void Form1::closeEvent(QCloseEvent *event) {
    event->accept();
    s_.registry->unload("Form1");
}

} // namespace kalmira::inspect
