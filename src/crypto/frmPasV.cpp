#include "crypto/frmPasV.h"

#include "crypto/password_common.h"
#include "crypto/register.h"
#include "shell/services.h"

#include <QCloseEvent>
#include <QLinearGradient>
#include <QPainter>

namespace kalmira::crypto {

namespace {
constexpr int kFieldLeft = 40, kFieldWidth = 160, kFieldHeight = 24;
constexpr int kText5Top = 34, kText1Top = 98;
constexpr int kMarkerTopText5 = 40, kMarkerTopText1 = 103; // 600 and 1550 twips
constexpr int kStripHeight = 5;                            // 80 twips
constexpr int kStripGap = 3;                               // 50 twips
constexpr int kUncoverPerChar = 10;
constexpr int kAboveCentre = 67; // 1000 twips

QPixmap SliderPicture(const QSize &size) {
    QPixmap pm(size);
    QPainter p(&pm);
    QLinearGradient g(0, 0, size.width(), 0);
    g.setColorAt(0.0, QColor(0xE0, 0, 0));
    g.setColorAt(0.5, QColor(0xFF, 0xE0, 0));
    g.setColorAt(1.0, QColor(0, 0xC0, 0));
    p.fillRect(pm.rect(), g);
    return pm;
}
} // namespace

void FrmPasV::createLengthBar() {
    // Length bar: a black strip under the password field; the grey cover
    // slides right by 10 px per character and uncovers the colour picture.
    picContainer = new QFrame(this);
    picContainer->setObjectName("picContainer");
    picContainer->setGeometry(kFieldLeft, kText5Top + kFieldHeight + kStripGap, kFieldWidth, kStripHeight);
    picContainer->setAutoFillBackground(true);
    QPalette black = picContainer->palette();
    black.setColor(QPalette::Window, Qt::black);
    picContainer->setPalette(black);
    imgSlider = new QLabel(picContainer);
    imgSlider->setObjectName("imgSlider");
    imgSlider->setGeometry(-10, 0, kFieldWidth + 35, 10);
    imgSlider->setPixmap(SliderPicture(imgSlider->size()));
    for (int i = 0; i < 2; ++i) {
        lblSlider[i] = new QLabel(picContainer);
        lblSlider[i]->setObjectName("lblSlider");
        lblSlider[i]->setProperty("Index", i);
        lblSlider[i]->setGeometry(0, -2, kFieldWidth + 30, kStripHeight + 35);
    }
    lblSlider[1]->setAutoFillBackground(true);
    QPalette grey = lblSlider[1]->palette();
    grey.setColor(QPalette::Window, QColor(0xE0, 0xE0, 0xE0));
    lblSlider[1]->setPalette(grey);
    lblSlider[1]->raise();
    const QString tip = "Bewertung der Passwortlaenge: rot-> \"schlecht\";    gelb-> \"na ja\" :-);"
                        "    gruen -> \"gut\"";
    picContainer->setToolTip(tip);
    for (QLabel *l : {imgSlider, lblSlider[0], lblSlider[1]}) l->setToolTip(tip);
}

void FrmPasV::connectFields() {
    connect(Text5, &MaskedEdit::edited, this, &FrmPasV::passwordChanged);
    connect(Text1, &MaskedEdit::edited, this, &FrmPasV::confirmationChanged);
    connect(Text1, &MaskedEdit::enterPressed, this, &FrmPasV::okClicked);
    for (MaskedEdit *f : {Text5, Text1}) {
        const int marker = f == Text5 ? 5 : 1;
        connect(f, &MaskedEdit::pasteAttempted, this, [this] {
            if (s_.clipboard) s_.clipboard->clear();
        });
        connect(f, &MaskedEdit::menuRequested, this, [this, f, marker] {
            menuMarker_ = marker;
            PopUpAt(mnuTest, f);
        });
        connect(f, &MaskedEdit::focusEntered, this,
                [this, f] { Image1->move(Image1->x(), f == Text5 ? kMarkerTopText5 : kMarkerTopText1); });
    }
    connect(Command1, &QPushButton::clicked, this, &FrmPasV::okClicked);
    connect(Command2, &QPushButton::clicked, this, &FrmPasV::cancelClicked);
}

FrmPasV::FrmPasV(Services &services, QWidget *parent) : QDialog(parent), s_(services) {
    setObjectName("frmPasV");
    setWindowTitle("Passworteingabe...");
    StyleDialog(this, 400, 215);

    auto label = [this](const char *name, const QString &text, int x, int y, int w) {
        auto *l = new QLabel(text, this);
        l->setObjectName(name);
        l->setGeometry(x, y, w, 18);
        return l;
    };
    Label1 = label("Label1", "Bitte ein Passwort eingeben - max. 16 Zeichen:", kFieldLeft, 14, 350);
    Label4 = label("Label4", "Kontrollwiederholung:", kFieldLeft, 80, 350);
    Label2 = label("Label2", "Gross - oder Kleinscheibung wird unterschieden!", kFieldLeft, 132, 350);
    Label9 = label("Label9", "", kFieldLeft + kFieldWidth + 10, kText5Top + 3, 40);
    Label10 = label("Label10", "", kFieldLeft + kFieldWidth + 10, kText1Top + 3, 40);

    auto field = [this](const char *name, int y) {
        auto *f = new MaskedEdit(this);
        f->setObjectName(name);
        f->setFont(SystemFont());
        f->setGeometry(kFieldLeft, y, kFieldWidth, kFieldHeight);
        return f;
    };
    Text5 = field("Text5", kText5Top);
    Text1 = field("Text1", kText1Top);

    createLengthBar();

    Command1 = new QPushButton("OK", this);
    Command1->setObjectName("Command1");
    Command1->setGeometry(60, 170, 120, 30);
    Command1->setEnabled(false);
    Command2 = new QPushButton("Abbruch", this);
    Command2->setObjectName("Command2");
    Command2->setGeometry(220, 170, 120, 30);

    Image1 = MakeFocusMarker(this, &Timer1);
    Image1->move(16, kMarkerTopText5);
    mnuTest = MakeTestMenu(this);

    setTabOrder(Text5, Text1);
    setTabOrder(Text1, Command1);
    setTabOrder(Command1, Command2);

    connectFields();
}

void FrmPasV::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (placed_) return;
    placed_ = true;
    move(CentredOnScreen(size()) - QPoint(0, kAboveCentre));
    Text5->setFocus(Qt::ActiveWindowFocusReason);
}

void FrmPasV::passwordChanged() {
    const int n = Text5->buffer().size();
    Label9->setText(n ? QString::number(n) : QString());
    lblSlider[1]->move(kUncoverPerChar * n, -2);
    if (n == MaskedEdit::kMaxChars) Text1->setFocus(Qt::OtherFocusReason);
    // Every change of the password has to be confirmed again.
    Text1->clearAll();
}

void FrmPasV::confirmationChanged() {
    const QString &typed = Text1->buffer();
    const int n = typed.size();
    if (n == 0) {
        Label10->clear();
        return;
    }
    Label10->setText(QString::number(n));
    const QString &pw = Text5->buffer();
    for (int i = 1; i <= n; ++i) {
        if (pw.left(i) != typed.left(i)) {
            s_.messages->show(Icon::Critical, "Kalmira - Nachricht",
                              "Die Passworte stimmen nicht überein! Eingabe überprüfen!", Buttons::Ok);
            Text1->clearAll();
            return;
        }
    }
    Command1->setEnabled(pw.size() == n);
}

void FrmPasV::okClicked() {
    if (Text5->buffer().isEmpty()) {
        Command1->setEnabled(false);
        Text5->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (Text5->buffer() != Text1->buffer()) {
        s_.messages->show(Icon::Exclamation, "Kalmira - Nachricht", "Die beiden Passworte stimmen nicht überein!",
                          Buttons::Ok);
        return;
    }
    password_ = PaddedPassword(Text5->buffer());
    typed_ = Text5->buffer();
    Command1->setEnabled(false);
    hide();
    if (s_.pump) s_.pump->processEvents();
    WriteInto(s_, "frmV", "Text3", *password_);
    clearFields();
    accept();
}

void FrmPasV::cancelClicked() {
    password_.reset();
    typed_.reset();
    WriteInto(s_, "frmV", "Text3", QString());
    clearFields();
    QDialog::reject();
}

void FrmPasV::reject() { close(); }

void FrmPasV::closeEvent(QCloseEvent *event) {
    const Answer a =
        s_.messages->show(Icon::Question, "Kalmira-Kontrollabfrage",
                          "Möchten Sie das Verschlüsseln und Verstecken wirklich abbrechen?", Buttons::YesNo);
    if (a == Answer::No) {
        event->ignore();
        return;
    }
    password_.reset();
    typed_.reset();
    WriteInto(s_, "frmV", "Text3", QString());
    clearFields();
    event->accept();
}

void FrmPasV::clearFields() {
    Text5->clearAll(); // also empties the confirmation
    Text1->clearAll();
}

} // namespace kalmira::crypto
