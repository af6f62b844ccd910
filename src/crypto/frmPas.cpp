#include "crypto/frmPas.h"

#include "crypto/password_common.h"
#include "crypto/register.h"
#include "shell/services.h"

#include <QCloseEvent>

#include <algorithm>

namespace kalmira::crypto {

FrmPas::FrmPas(Services &services, QWidget *parent) : QDialog(parent), s_(services) {
    setObjectName("frmPas");
    setWindowTitle("Bitte das Passwort eingeben:");
    StyleDialog(this, 420, 160);

    Shape1 = new QFrame(this);
    Shape1->setObjectName("Shape1");
    Shape1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Shape1->setGeometry(10, 10, 400, 140);

    Label1 = new QLabel("Die versteckte Datei wurde zusätzlich verschlüsselt. Bitte das verwendete Passwort eingeben:",
                        this);
    Label1->setObjectName("Label1");
    Label1->setWordWrap(true);
    Label1->setGeometry(30, 18, 360, 40);

    Text1 = new MaskedEdit(this);
    Text1->setObjectName("Text1");
    Text1->setFont(SystemFont());
    Text1->setGeometry(130, 66, 160, 24);

    Command1 = new QPushButton("OK", this);
    Command1->setObjectName("Command1");
    Command1->setGeometry(150, 106, 120, 30);

    Image1 = MakeFocusMarker(this, &Timer1);
    Image1->move(106, 71);
    mnuTest = MakeTestMenu(this);

    connect(Text1, &MaskedEdit::enterPressed, this, &FrmPas::okClicked);
    connect(Text1, &MaskedEdit::pasteAttempted, this, [this] {
        if (s_.clipboard) s_.clipboard->clear();
    });
    connect(Text1, &MaskedEdit::menuRequested, this, [this] { PopUpAt(mnuTest, Text1); });
    connect(Command1, &QPushButton::clicked, this, &FrmPas::okClicked);
}

void FrmPas::setQuestion(const QString &question) {
    Label1->setText(question);
    const int grow = std::max(0, Label1->heightForWidth(Label1->width()) - Label1->height());
    if (grow == 0) return;
    Label1->resize(Label1->width(), Label1->height() + grow);
    for (QWidget *w : {static_cast<QWidget *>(Text1), static_cast<QWidget *>(Command1), static_cast<QWidget *>(Image1)})
        w->move(w->x(), w->y() + grow);
    Shape1->resize(Shape1->width(), Shape1->height() + grow);
    setFixedSize(width(), height() + grow);
}

void FrmPas::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    move(CentredOnScreen(size()));
    Text1->setFocus(Qt::ActiveWindowFocusReason);
}

void FrmPas::okClicked() {
    // No check here: the extract window compares the digest.
    password_ = PaddedPassword(Text1->buffer());
    typed_ = Text1->buffer();
    hide();
    if (s_.pump) s_.pump->processEvents();
    WriteInto(s_, "frmEx", "Text1", *password_);
    Text1->clearAll();
    accept();
}

void FrmPas::reject() { close(); }

void FrmPas::closeEvent(QCloseEvent *event) {
    // Leaves the extract window's field as it was; it counts as a wrong password.
    password_.reset();
    typed_.reset();
    Text1->clearAll();
    event->accept();
}

} // namespace kalmira::crypto
