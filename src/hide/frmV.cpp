#include "hide/frmV.h"

#include "convert/register.h"
#include "crypto/register.h"
#include "hide/frmV_file.h"
#include "hide/frmV_message.h"
#include "info/register.h"
#include "inspect/register.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"
#include "shell/registry.h"
#include "shell/window_helpers.h"
#include "shredder/register.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace kalmira::hide {

namespace {

constexpr int kPicture = 176;

// The placeholder picture shown while no thumbnail is: a small landscape.
QPixmap Placeholder(int size) {
    QPixmap pm(size, size);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, size);
    sky.setColorAt(0, QColor(0x2b, 0x4f, 0x8a));
    sky.setColorAt(1, QColor(0xa8, 0xc6, 0xe8));
    p.fillRect(pm.rect(), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xd2, 0x4a));
    p.drawEllipse(QPointF(size * 0.72, size * 0.28), size * 0.09, size * 0.09);
    QPainterPath hills;
    hills.moveTo(0, size * 0.8);
    hills.lineTo(size * 0.3, size * 0.45);
    hills.lineTo(size * 0.5, size * 0.65);
    hills.lineTo(size * 0.7, size * 0.5);
    hills.lineTo(size, size * 0.78);
    hills.lineTo(size, size);
    hills.lineTo(0, size);
    hills.closeSubpath();
    p.setBrush(QColor(0x3d, 0x6b, 0x3a));
    p.drawPath(hills);
    return pm;
}

} // namespace

FrmV *MakeFrmV(Services &services) {
    if (services.program == Program::A) return new FrmVMessage(services);
    return new FrmVFile(services);
}

FrmV::FrmV(Services &services, const FrmVTexts &t)
    : s_(services), t_(t), questions_(*services.messages), engine_(questions_) {
    setObjectName("frmV");
    setWindowTitle(t.title);
    setMouseTracking(true);
    pauseFor = [](double seconds) { WaitFor(seconds); };
    capacityOf = [](const std::string &carrier) { return stealth::Capacity(carrier); };
    buildControls();
    connectControls();
    addHelpTexts();
}

void FrmV::buildControls() {
    const FrmVTexts &t = t_;
    Label1 = label("Label1", t.heading);
    QFont heading = Label1->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.25);
    Label1->setFont(heading);

    Command3 = button("Command3", t.command3);
    Befehl2 = button("Befehl2", "BMP oder WAV-Datei öffnen");
    Text5 = new QLineEdit(this);
    Text5->setObjectName("Text5");
    Text1 = new QLineEdit(this);
    Text1->setObjectName("Text1");
    // Paths only come from the dialogs and drops, which check them.
    for (QLineEdit *e : {Text1, Text5}) {
        e->setReadOnly(true);
        AcceptFileDrops(e, [this, e](const QStringList &paths) { dropFiles(e, paths); });
    }
    Label3 = label("Label3", "");
    buildOptionsAndPicture();
    buildButtonsAndHelpLine();
}

void FrmV::buildOptionsAndPicture() {
    const FrmVTexts &t = t_;
    Check1 = new QCheckBox(t.check1, this);
    Check1->setObjectName("Check1");
    Check1->setChecked(true);
    Label7 = label("Label7", "Verschlüsselungsverfahren:");
    optCrypt[0] = new QRadioButton(t.aes, this);
    optCrypt[1] = new QRadioButton("RC4", this);
    for (int i = 0; i < 2; ++i) {
        optCrypt[i]->setObjectName("optCrypt");
        optCrypt[i]->setProperty("Index", i);
    }
    optCrypt[0]->setChecked(true);
    checkKopie = new QCheckBox(t.checkKopie, this);
    checkKopie->setObjectName("checkKopie");
    checkBmpShow = new QCheckBox(t.checkBmpShow, this);
    checkBmpShow->setObjectName("checkBmpShow");
    checkBmpShow->setChecked(true);
    buildStealthOption();

    Picture2 = new QFrame(this);
    Picture2->setObjectName("Picture2");
    Picture2->setFrameShape(QFrame::StyledPanel);
    Picture2->setFrameShadow(QFrame::Sunken);
    Picture2->setStyleSheet("QFrame#Picture2 { background: #f4f4f4; }");
    Picture2->setFixedSize(kPicture, kPicture);
    Image1 = new QLabel(Picture2);
    Image1->setObjectName("Image1");
    Image1->setPixmap(Placeholder(kPicture - 24));
    Image1->setGeometry(12, 12, kPicture - 24, kPicture - 24);
    Anzeige1 = new QLabel(Picture2);
    Anzeige1->setObjectName("Anzeige1");
    Anzeige1->hide();
}

void FrmV::buildButtonsAndHelpLine() {
    const FrmVTexts &t = t_;
    Befehl1 = button("Befehl1", t.befehl1);
    QFont bold = Befehl1->font();
    bold.setBold(true);
    Befehl1->setFont(bold);
    Befehl1->setMinimumHeight(44);
    Command6 = button("Command6", t.command6);
    Command5 = button("Command5", t.command5);
    Command9 = button("Command9", t.command9);
    Command7 = button("Command7", "Hilfe");
    Command2 = button("Command2", t.command2);
    Command1 = button("Command1", t.command1);

    Label2 = new HelpLine(this);
    Label2->setObjectName("Label2");
    Label6 = label("Label6", "Time");
    Label6->hide();
    connect(Label2, &HelpLine::clicked, Label6, &QLabel::show);
    connect(Label2, &HelpLine::doubleClicked, Label6, &QLabel::hide);
    lblKopie = label("lblKopie", "");
    lblKopie->hide();
    // The password window writes here; it never shows.
    Text3 = new QLineEdit(this);
    Text3->setObjectName("Text3");
    Text3->setGeometry(-100 - TwipsToPixels(500), 0, 100, 20);

    Befehl1->setEnabled(false);
    for (QPushButton *b : {Command6, Command5, Command9}) b->setEnabled(false);
}

void FrmV::connectControls() {
    connect(Command3, &QPushButton::clicked, this, [this] { chooseSource(); });
    connect(Befehl2, &QPushButton::clicked, this, [this] { chooseCarrier(); });
    connect(Befehl1, &QPushButton::clicked, this, [this] { runHide(); });
    connect(Check1, &QCheckBox::clicked, this, [this] {
        const bool on = Check1->isChecked();
        for (QRadioButton *o : optCrypt) o->setVisible(on);
        Label7->setVisible(on);
    });
    connect(checkBmpShow, &QCheckBox::clicked, this, [this] {
        if (!checkBmpShow->isChecked()) {
            clearThumbnail();
            Image1->show();
        } else if (carrierChecked_ && carrierKind_ == carrier::CarrierKind::Bmp) {
            thumbnailSwitchedOn();
        }
    });
    connect(Command6, &QPushButton::clicked, this, [this] { showCarrierImage(); });
    inspect::AttachPlayButton(
        s_, Command5, [this] { return Text1->text(); }, t_.command5);
    connect(Command9, &QPushButton::clicked, this, [this] { showCarrierInfo(); });
    connect(Command7, &QPushButton::clicked, this, [this] { info::ShowHideHelp(s_); });
    connect(Command2, &QPushButton::clicked, this, [this] { switchToExtract(); });
    connect(Command1, &QPushButton::clicked, this, [this] {
        clearForExit();
        close();
    });
}

void FrmV::addHelpTexts() {
    const FrmVTexts &t = t_;
    help_ = new HelpTexts(this, Label2);
    const std::pair<QWidget *, const char *> helps[] = {
        {Befehl1, t.helpBefehl1},
        {Befehl2, t.helpBefehl2},
        {Check1, t.helpCheck1},
        {checkBmpShow, t.helpBmpShow},
        {checkKopie, "Nicht zu empfehlen! Es sollte zumindest keine Kopie der Containerdatei aufbewahrt werden."},
        {Command1, "Programm beenden."},
        {Command2, t.helpCommand2},
        {Command3, t.helpCommand3},
        {Command5, t.helpCommand5},
        {Command6, t.helpCommand6},
        {Command9, t.helpCommand9},
        {optCrypt[0], "Wählt den AES-256 Algorithmus zur Verschlüsselung. Höchste Sicherheit."},
        {optCrypt[1], "Wählt einen RC4 kompatiblen Algorithmus zur Verschlüsselung. Sicher, sehr schnell."},
        {Text1, "Name der Containerdatei."},
        {Text5, t.helpText5},
        {checkTarn, "Tarnformat: kaum zu entdecken, immer verschlüsselt. Platz: höchstens ½ Bit je Farb- oder "
                    "Abtastwert an unruhigen Stellen, oft weniger als klassisch. Nur 24-/32-Bit-BMP, PCM-WAV."}};
    for (auto [w, text] : helps) help_->add(w, QString::fromUtf8(text));
}

FrmV::~FrmV() {
    if (busy_) QApplication::restoreOverrideCursor();
}

QPushButton *FrmV::button(const char *name, const QString &caption) {
    auto *b = new QPushButton(caption, this);
    b->setObjectName(name);
    b->setMinimumHeight(30);
    return b;
}

QLabel *FrmV::label(const char *name, const QString &text) {
    auto *l = new QLabel(text, this);
    l->setObjectName(name);
    return l;
}

void FrmV::connectTools(QPushButton *shredder, QPushButton *converter) {
    connect(shredder, &QPushButton::clicked, this, [this] { shredder::ShowShredder(s_, Text5->text(), this); });
    connect(converter, &QPushButton::clicked, this, [this] { convert::ShowConverter(s_, this); });
    help_->add(shredder, "Startet einen DateiShredder");
    help_->add(converter, "Wandelt JPG,GIF,WMF oder RLE Bilddateien in 24Bit TrueColor Bilddateien um.");
}

// ---- layout pieces ------------------------------------------------------------------

QFrame *FrmV::framed(QWidget *inner, const char *shapeName, int margin) {
    // The decorative frames: 150 twips wider and higher, 75 twips up and left.
    auto *f = new QFrame(this);
    f->setObjectName(shapeName);
    f->setFrameShape(QFrame::Box);
    f->setStyleSheet(QString("QFrame#%1 { color: #7a8aa0; }").arg(shapeName));
    auto *box = new QHBoxLayout(f);
    box->setContentsMargins(margin, margin, margin, margin);
    box->addWidget(inner);
    return f;
}

QBoxLayout *FrmV::pathRow(QPushButton *button, QFrame *field, QWidget *below1, QWidget *below2) {
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(4);
    button->setFixedWidth(218);
    grid->addWidget(button, 0, 0, Qt::AlignTop);
    grid->addWidget(field, 0, 1);
    int row = 1;
    for (QWidget *w : {below1, below2}) {
        if (!w) continue;
        if (w == Label3) {
            // One line, its room kept from the start: a longer line or a second
            // one would squeeze the fixed window's picture frame.
            Label3->setWordWrap(false);
            Label3->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
            Label3->setFixedHeight(fontMetrics().lineSpacing() + 2);
        } else if (auto *l = qobject_cast<QLabel *>(w)) {
            l->setWordWrap(true);
        }
        grid->addWidget(w, row++, 1);
    }
    grid->setColumnStretch(1, 1);
    auto *outer = new QVBoxLayout;
    outer->addLayout(grid);
    return outer;
}

QVBoxLayout *FrmV::optionsColumn() {
    auto *column = new QVBoxLayout;
    column->setSpacing(4);
    column->addWidget(Check1);
    auto *cipher = new QHBoxLayout;
    cipher->addSpacing(22);
    cipher->addWidget(Label7);
    cipher->addWidget(optCrypt[0]);
    cipher->addWidget(optCrypt[1]);
    cipher->addStretch();
    column->addLayout(cipher);
    column->addWidget(checkTarn);
    column->addWidget(checkKopie);
    column->addWidget(checkBmpShow);
    column->addStretch();
    column->addWidget(Befehl1);
    return column;
}

QBoxLayout *FrmV::bottomRows(QVBoxLayout *root, const QList<QPushButton *> &tools) {
    auto *toolRow = new QHBoxLayout;
    toolRow->setSpacing(8);
    for (QPushButton *b : tools) toolRow->addWidget(b, 1);
    root->addSpacing(6);
    root->addLayout(toolRow);
    auto *ends = new QHBoxLayout;
    for (QPushButton *b : {Command2, Command1}) b->setFixedWidth(120);
    ends->addWidget(Command2);
    ends->addStretch();
    ends->addWidget(Label6, 0, Qt::AlignBottom);
    ends->addWidget(Command1);
    root->addLayout(ends);
    root->addWidget(Label2);
    return ends;
}

void FrmV::finish(QVBoxLayout *root) {
    root->setContentsMargins(16, 12, 16, 12);
    FixSize(this, root, 672);
    CentreOnScreen(this);
}

// ---- what the runs show -------------------------------------------------------

void FrmV::setCaption(const std::string &caption) { setWindowTitle(Q(caption)); }

void FrmV::setBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void FrmV::pause(double seconds) { pauseFor(seconds); }

void FrmV::processEvents() {
    if (s_.pump) s_.pump->processEvents();
}

// ---- the other buttons ------------------------------------------------------------

void FrmV::showCarrierImage() {
    const QString path = Text1->text();
    if (carrier::NamedBmp(carrierKind_)) {
        inspect::ShowViewer(s_, path, inspect::ViewerCaption(inspect::ViewerCaller::Hide, path));
    } else {
        s_.messages->show(Icon::Information, t_.messageTitle,
                          "Es ist keine BMP-Bilddatei als Containerdatei ausgewählt.");
    }
}

void FrmV::switchToExtract() {
    QWidget *ex = s_.registry ? s_.registry->window("frmEx") : nullptr;
    if (!ex) return;
    ex->move(pos());
    ex->show();
    ex->raise();
    hide();
}

void FrmV::closeEvent(QCloseEvent *event) {
    event->accept();
    if (s_.registry) {
        for (const char *name : {"frmEx", "frmInfo", "frmAnzeige", "frmStart"}) s_.registry->unload(name);
        // A run still on the stack keeps its window until the program ends.
        if (!working_) s_.registry->unload("frmV");
    }
    if (s_.exitProgram) s_.exitProgram(0);
}

void FrmV::dropFiles(QWidget *target, const QStringList &paths) {
    if (paths.isEmpty() || working_) return;
    if (target == Text1) {
        if (!carrierDropAllowed() || !Befehl2->isEnabled()) return;
        droppedCarrier_ = paths.first();
        Befehl2->click();
        droppedCarrier_.clear();
    } else {
        droppedFile_ = paths.first();
        Command3->click();
        droppedFile_.clear();
    }
}

void FrmV::mouseMoveEvent(QMouseEvent *event) {
    // Moves over controls without tracking of their own arrive here as well.
    help_->pointerAt(event->position().toPoint());
    QWidget::mouseMoveEvent(event);
}

} // namespace kalmira::hide
