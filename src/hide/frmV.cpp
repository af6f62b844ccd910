#include "hide/frmV.h"

#include "compress/ZorbComprFile.h"
#include "convert/register.h"
#include "crypto/register.h"
#include "info/register.h"
#include "inspect/register.h"
#include "platform/platform.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"
#include "shell/registry.h"
#include "shell/window_helpers.h"
#include "shredder/register.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QUrl>

namespace kalmira::hide {

namespace {

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

struct WorkingScope {
    bool &flag;
    explicit WorkingScope(bool &f) : flag(f) { flag = true; }
    ~WorkingScope() { flag = false; }
};

} // namespace

FrmV::FrmV(Services &services, QWidget *parent)
    : QWidget(parent), s_(services), a_(services.program == Program::A),
      questions_(*services.messages), engine_(questions_, *this) {
    setObjectName("frmV");
    setWindowTitle(restCaption());
    setMouseTracking(true);
    buildCommon();
    if (a_) {
        buildMessagePartA();
        layoutA();
    } else {
        buildFilePartB();
        layoutB();
    }
    finishLayout();
    centre();
}

FrmV::~FrmV() {
    if (busy_) QApplication::restoreOverrideCursor();
}

QString FrmV::restCaption() const { return a_ ? "KalmiraA - Verstecken" : "KalmiraB - Verstecken"; }
QString FrmV::messageTitle() const { return a_ ? "KalmiraA-Nachricht" : "KalmiraB-Nachricht"; }

QPushButton *FrmV::button(const char *name, const QString &caption) {
    auto *b = new QPushButton(caption, this);
    b->setObjectName(name);
    return b;
}

QLabel *FrmV::label(const char *name, const QString &text) {
    auto *l = new QLabel(text, this);
    l->setObjectName(name);
    return l;
}

void FrmV::watch(QWidget *w, const QString &help) {
    help_.insert(w, help);
    w->installEventFilter(this);
}

void FrmV::buildCommon() {
    Label1 = label("Label1", a_ ? "Botschaft in einem BMP-Bild oder in einer WAV- Sounddatei verstecken"
                                : "Eine Datei in einem BMP-Bild oder in einer WAV- Sounddatei verstecken");
    QFont heading = Label1->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.25);
    Label1->setFont(heading);

    Command3 = button("Command3", a_ ? "Textdatei öffnen" : "Zu versteckende Datei öffnen");
    Text5 = new QLineEdit(this);
    Text5->setObjectName("Text5");
    Befehl2 = button("Befehl2", "BMP oder WAV-Datei öffnen");
    Text1 = new QLineEdit(this);
    Text1->setObjectName("Text1");
    // Paths only come from the dialogs and drops, which check them.
    for (QLineEdit *e : {Text1, Text5}) {
        e->setReadOnly(true);
        e->setAcceptDrops(true);
    }
    Label3 = label("Label3", "");

    Check1 = new QCheckBox(a_ ? "Zusätzlich verschlüsseln?" : "Zu versteckende Datei  zusätzlich verschlüsseln?", this);
    Check1->setObjectName("Check1");
    Check1->setChecked(true);
    Label7 = label("Label7", "Verschlüsselungsverfahren:");
    optCrypt[0] = new QRadioButton(a_ ? "AES" : " AES", this);
    optCrypt[1] = new QRadioButton("RC4", this);
    for (QRadioButton *o : optCrypt) o->setObjectName("optCrypt");
    optCrypt[0]->setProperty("Index", 0);
    optCrypt[1]->setProperty("Index", 1);
    optCrypt[0]->setChecked(true);
    checkKopie = new QCheckBox(a_ ? "Eine Kopie der Containerdatei erzeugen?" : "Eine Kopie der ContainerDatei erzeugen?", this);
    checkKopie->setObjectName("checkKopie");
    checkBmpShow = new QCheckBox(a_ ? "BMP-Containerdatei im Anzeigefeld darstellen?" : "BMP-Container im Anzeigefeld darstellen? ", this);
    checkBmpShow->setObjectName("checkBmpShow");
    checkBmpShow->setChecked(true);

    Picture2 = new QFrame(this);
    Picture2->setObjectName("Picture2");
    Picture2->setFrameShape(QFrame::StyledPanel);
    Picture2->setFrameShadow(QFrame::Sunken);
    Picture2->setStyleSheet("QFrame#Picture2 { background: #f4f4f4; }");
    Image1 = new QLabel(Picture2);
    Image1->setObjectName("Image1");
    Anzeige1 = new QLabel(Picture2);
    Anzeige1->setObjectName("Anzeige1");
    Anzeige1->hide();

    Befehl1 = button("Befehl1", a_ ? "Botschaft  in BMP o. WAV-Datei verstecken" : "Datei  in BMP o. WAV-Datei verstecken");
    QFont bold = Befehl1->font();
    bold.setBold(true);
    Befehl1->setFont(bold);
    Command6 = button("Command6", a_ ? "Show" : "Show bmp");
    Command5 = button("Command5", a_ ? "Play" : "Play wav");
    Command9 = button("Command9", a_ ? "BMP-Info" : "ContainerInfo");
    if (a_) {
        Command4 = button("Command4", "öffnen");
        Command4->hide();
        Command10 = button("Command10", "WAV-Info");
        Command8 = button("Command8", "Shredder");
        Command11 = button("Command11", "Convert");
    } else {
        Command4 = button("Command4", "Shredder");
        Command10 = button("Command10", "Convert");
    }
    Command7 = button("Command7", "Hilfe");
    Command2 = button("Command2", a_ ? ">>" : "Extract >");
    Command1 = button("Command1", a_ ? "End" : "Exit");

    Label2 = label("Label2", "");
    Label2->setFrameShape(QFrame::StyledPanel);
    Label2->setFrameShadow(QFrame::Sunken);
    Label2->setWordWrap(true);
    Label2->setMargin(3);
    Label2->installEventFilter(this);
    Label6 = label("Label6", "Time");
    Label6->hide();
    lblKopie = label("lblKopie", "");
    lblKopie->hide();
    Text3 = new QLineEdit(this);
    Text3->setObjectName("Text3");

    Befehl1->setEnabled(false);
    Befehl2->setEnabled(a_); // KalmiraB first needs a compressed file
    for (QPushButton *b : {Command6, Command5, Command9}) b->setEnabled(false);
    if (a_) Command10->setEnabled(false);

    connect(Command3, &QPushButton::clicked, this, [this] { a_ ? loadTextFile() : chooseFile(); });
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
        } else if (carrierChecked_ && Text1->text().right(3).toLower() == "bmp") {
            if (a_) {
                Command4->click();
            } else {
                showThumbnail(Text1->text());
                Image1->setVisible(Anzeige1->isHidden());
            }
        }
    });
    if (a_) {
        connect(Command4, &QPushButton::clicked, this, [this] {
            showThumbnail(Text1->text());
            Image1->setVisible(Anzeige1->isHidden());
        });
    }
    connect(Command6, &QPushButton::clicked, this, [this] { showCarrierImage(); });
    inspect::AttachPlayButton(s_, Command5, [this] { return Text1->text(); }, a_ ? "Play" : "Play wav");
    connect(Command9, &QPushButton::clicked, this, [this] { showCarrierInfo(); });
    QPushButton *shredder = a_ ? Command8 : Command4;
    QPushButton *converter = a_ ? Command11 : Command10;
    connect(shredder, &QPushButton::clicked, this, [this] { shredder::ShowShredder(s_, Text5->text(), this); });
    connect(converter, &QPushButton::clicked, this, [this] { convert::ShowConverter(s_, this); });
    if (a_) {
        connect(Command10, &QPushButton::clicked, this, [this] {
            if (Text1->text().right(3).toLower() == "wav") inspect::ShowWavInfo(s_, Text1->text());
        });
    }
    connect(Command7, &QPushButton::clicked, this, [this] { info::ShowHideHelp(s_); });
    connect(Command2, &QPushButton::clicked, this, [this] { switchToExtract(); });
    connect(Command1, &QPushButton::clicked, this, [this] {
        if (a_) {
            syncing_ = true;
            Text2->clear();
            Text4->clear();
            syncing_ = false;
        }
        close();
    });

    // Help line texts.
    watch(Befehl1, a_ ? "Botschaft in Bild oder Sounddatei verstecken." : "Datei in Bild oder Sounddatei verstecken.");
    watch(Befehl2, a_ ? "Containerdatei auswählen, in der die Botschaft versteckt werden soll."
                      : "Containerdatei auswählen, in der eine Datei versteckt werden soll.");
    watch(Check1, a_ ? "Vor dem Verstecken wird mit AES-256 oder RC4-kompatibel verschlüsselt. (zu empfehlen!)"
                     : "Vor dem Verstecken wird AES-256 oder RC4-kompatibel verschlüsselt. (zu empfehlen!)");
    watch(checkBmpShow, a_ ? "Eine BMP-Containerdatei wird im linken Bildfeld angezeigt. Abschalten spart Speicher und Ladezeit."
                           : "Eine BMP-Containerdatei wird im mittleren Bildfeld angezeigt. Abschalten spart Speicher und Ladezeit.");
    watch(checkKopie, "Nicht zu empfehlen! Es sollte zumindest keine Kopie der Containerdatei aufbewahrt werden.");
    watch(Command1, "Programm beenden.");
    watch(converter, "Wandelt JPG,GIF,WMF oder RLE Bilddateien in 24Bit TrueColor Bilddateien um.");
    watch(Command2, a_ ? "-> Zum Programmteil \"Botschaft extrahieren\"." : "-> Zum Programmteil \"Datei extrahieren\".");
    watch(Command3, a_ ? "Zu versteckende Textdatei auswählen. Datei wird vor dem Verstecken komprimiert (Originaldatei bleibt erhalten)."
                       : "Die zu versteckende Datei auswählen. Die Datei wird komprimiert (Originaldatei bleibt erhalten).");
    watch(shredder, "Startet einen DateiShredder");
    watch(Command5, a_ ? "Spielt die ausgewählte Container WAV-Sounddatei ab." : "Spielt die ausgewählte Container-WAV-Sounddatei ab.");
    watch(Command6, a_ ? "Zeigt die ausgewählte Container BMP-Bilddatei in Originalgrösse."
                       : "Zeigt die ausgewählte Container-BMP-Bilddatei in Originalgrösse.");
    watch(Command9, a_ ? "Zeigt Informationen zum Bild (Grösse, Farbanzahl, etc.)"
                       : "Zeigt Informationen zur ausgewählten Containerdatei (WAV-Bitrate, BMP-Grösse, Farbanzahl, etc.)");
    if (a_) watch(Command10, "Zeigt Informationen zu einer ausgewälten WAV-Containerdatei (Grösse, BitRate, etc.)");
    watch(optCrypt[0], "Wählt den AES-256 Algorithmus zur Verschlüsselung. Höchste Sicherheit.");
    watch(optCrypt[1], "Wählt einen RC4 kompatiblen Algorithmus zur Verschlüsselung. Sicher, sehr schnell.");
    watch(Text1, "Name der Containerdatei.");
    watch(Text5, a_ ? "Name der zu versteckenden Textdatei." : "Name der zu versteckenden Datei.");
}

void FrmV::buildFilePartB() {
    Label4 = label("Label4", "");
    Label5 = label("Label5", "");
    for (QLabel *l : {Label4, Label5}) l->setWordWrap(true);
}

// Geometry of both layouts: a row of file controls, the carrier row, options
// beside the picture frame, the hide button, the tool row, the help line.
namespace {
constexpr int kMargin = 16, kWidth = 672, kFieldX = 248, kRowH = 30;
constexpr int kFieldW = kWidth - kMargin - 5 - kFieldX; // its frame ends at the margin
constexpr int kInner = kWidth - 2 * kMargin;
constexpr int kPicture = 176;

} // namespace

void FrmV::layoutB() {
    int y = 12;
    Label1->setGeometry(kMargin, y, kInner, 26);
    y += 40;
    Command3->setGeometry(kMargin, y, 218, kRowH);
    Text5->setGeometry(kFieldX, y + 3, kFieldW, 24);
    Label4->setGeometry(kFieldX, y + 34, kFieldW, 34);
    Label5->setGeometry(kFieldX, y + 70, kFieldW, 34);
    y += 116;
    Befehl2->setGeometry(kMargin, y, 218, kRowH);
    Text1->setGeometry(kFieldX, y + 3, kFieldW, 24);
    Label3->setGeometry(kFieldX, y + 34, kFieldW, 20);
    y += 72;
    const int picX = kWidth - kMargin - kPicture - 5;
    Picture2->setGeometry(picX, y, kPicture, kPicture);
    Check1->setGeometry(kMargin, y, picX - kMargin - 16, 24);
    Label7->setGeometry(kMargin + 22, y + 28, 180, 22);
    optCrypt[0]->setGeometry(kMargin + 206, y + 28, 64, 22);
    optCrypt[1]->setGeometry(kMargin + 276, y + 28, 64, 22);
    checkKopie->setGeometry(kMargin, y + 58, picX - kMargin - 16, 24);
    checkBmpShow->setGeometry(kMargin, y + 86, picX - kMargin - 16, 24);
    Befehl1->setGeometry(kMargin, y + 128, picX - kMargin - 24, 44);
    y += kPicture + 24;
    QPushButton *tools[] = {Command6, Command5, Command9, Command4, Command10, Command7};
    const int gap = 8, bw = (kInner - 5 * gap) / 6;
    for (int i = 0; i < 6; ++i) tools[i]->setGeometry(kMargin + i * (bw + gap), y, bw, kRowH);
    y += kRowH + 12;
    Command2->setGeometry(kMargin, y, 120, kRowH);
    Command1->setGeometry(kWidth - kMargin - 120, y, 120, kRowH);
    y += kRowH + 12;
    Label2->setGeometry(kMargin, y, kInner, 42);
    Label6->setGeometry(kWidth - kMargin - 60, y - 20, 60, 18);
    setFixedSize(kWidth, y + 42 + 12);
}

void FrmV::finishLayout() {
    // The decorative frames: 150 twips wider and higher, 75 twips up and left.
    const int grow = TwipsToPixels(150), shift = TwipsToPixels(75);
    for (auto [w, name] : {std::pair<QWidget *, const char *>{Picture2, "Shape1"}, {Text5, "Shape2"}, {Text1, "Shape3"}}) {
        auto *f = new QFrame(this);
        f->setObjectName(name);
        f->setFrameShape(QFrame::Box);
        f->setStyleSheet("QFrame { color: #7a8aa0; }");
        f->setGeometry(w->x() - shift, w->y() - shift, w->width() + grow, w->height() + grow);
        f->lower();
        shapes_ << f;
    }
    Text3->setGeometry(-100 - TwipsToPixels(500), 0, 100, 20);
    const int side = Picture2->width() - 24;
    Image1->setPixmap(Placeholder(side));
    Image1->setGeometry(12, 12, side, side);
}

void FrmV::centre() {
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect g = screen->availableGeometry();
        move(g.x() + (g.width() - width()) / 2, g.y() + (g.height() - height()) / 2);
    }
}

// ---- RunView / PasswordSource ------------------------------------------------

void FrmV::setCaption(const std::string &caption) { setWindowTitle(Q(caption)); }

void FrmV::setBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
}

void FrmV::pause(double seconds) {
    if (pauseFor) pauseFor(seconds);
    else Pause(seconds, *this);
}

void FrmV::processEvents() {
    if (s_.pump) s_.pump->processEvents();
}

void FrmV::repaint() { QWidget::repaint(); }

void FrmV::setSizeLine(const std::string &text) {
    if (lblSize) lblSize->setText(Q(text));
}

void FrmV::focusMessage() {
    if (Text2) (Text2->isHidden() ? Text4 : Text2)->setFocus();
}

std::optional<std::string> FrmV::hidePassword() {
    Text3->clear();
    std::optional<QString> padded = askPassword ? askPassword() : crypto::AskHidePassword(s_, this);
    if (!padded || padded->isEmpty()) {
        Text3->clear();
        return std::nullopt;
    }
    Text3->setText(*padded);
    return platform::AnsiFromUtf8(S(*padded));
}

// ---- choosing the file (KalmiraB) ---------------------------------------------

void FrmV::chooseFile() {
    if (working_) return;
    Label4->clear();
    Text5->clear();
    Label5->clear();
    nameField_.clear();
    data_.clear();
    data_.shrink_to_fit();
    // Without data there is nothing to hide, whatever carrier is shown.
    Befehl1->setEnabled(false);

    ZorbComprFile z;
    QString path;
    auto errorEnd = [&] {
        Befehl2->setEnabled(false);
        setBusy(false);
        if (z.ResultStatus() == -200)
            s_.messages->show(Icon::Critical, "Kalmira - Fehlernachricht",
                              S("Error -200: Die Datei \"" + path +
                                "\" kann nicht versteckt werden. Wahrscheinlich wird die Datei gerade "
                                "von einer anderen Anwendung benutzt."));
    };

    if (!droppedFile_.isEmpty()) {
        path = droppedFile_;
        droppedFile_.clear();
    } else {
        QString folder = lastFileFolder_;
        const QString name = ShowOpenDialog(s_, this, "Die zu versteckende Datei öffnen", folder, "",
                                            "Zu versteckende Datei (*.*)|*.*", "*.*");
        QWidget::repaint();
        if (name.isEmpty()) return errorEnd();
        folder = WithSeparator(folder);
        path = folder + name;
        lastFileFolder_ = folder;
    }
    const std::string p = S(path);
    const std::int64_t length = platform::FileSize(p);
    if (length < 0 || !platform::IsRegularFile(p)) return errorEnd();
    Label4->setText(Q("Grösse der zu versteckenden Datei: " + FormatThousands(length) + " Bytes"));
    std::optional<std::string> field = payload::NameField(FileNameOf(p));
    if (!field) {
        s_.messages->show(Icon::Exclamation, S(messageTitle()),
                          "Der Dateiname \"" + FileNameOf(p) +
                              "\" ist zu lang und lässt sich nicht auf 25 Zeichen kürzen. Bitte die "
                              "Datei umbenennen.");
        return errorEnd();
    }
    nameField_ = *field;
    Text5->setText(path);

    WorkingScope working(working_);
    setWindowTitle(">>>>>>>>>>>>>>>>>> Datei wird komprimiert...");
    setBusy(true);
    if (!ZorbLibraryPresent()) {
        s_.messages->show(Icon::Critical, "Kalmira-Nachricht", ZorbMissingMessage());
        setWindowTitle(restCaption());
        Befehl2->setEnabled(false);
        setBusy(false);
        return;
    }
    const std::string temp = platform::MakeTempFile("Message");
    z.InputFile = p;
    z.OutputFile = temp;
    {
        shownPercent_ = -1;
        CompressionProgressScope hook([this](int percent) {
            if (percent == shownPercent_) return;
            shownPercent_ = percent;
            setWindowTitle(">>>>>>>>>> Die Datei wird komprimiert: " + QString::number(percent) +
                           " % bearbeitet...");
            processEvents();
        });
        z.Compress();
    }
    setBusy(false);
    setWindowTitle(restCaption());
    auto dropTemp = [&] { if (!temp.empty()) QFile::remove(Q(temp)); };
    const std::int64_t c = temp.empty() ? -1 : platform::FileSize(temp);
    if (z.ResultStatus() != 0 || c <= 0) {
        dropTemp();
        return errorEnd();
    }
    const std::int64_t rounded = payload::RoundedForDisplay(c);
    if (rounded < length)
        Label4->setText(Label4->text() +
                        Q(" , wurde komprimiert zu: " + FormatThousands(rounded) + " Byte, (" +
                          std::to_string(rounded * 100 / length) + " %)"));
    if (rounded > 9'999'999) {
        s_.messages->show(Icon::Exclamation, "KalmiraB-Nachricht", DataTooLargeText());
        dropTemp();
        Befehl1->setEnabled(false);
        return errorEnd();
    }
    Label5->setText(Q("Notwendige Dateigrösse für die Containerdatei (BMP, WAV) mindestens: " +
                      FormatThousands(payload::MinCarrierForDisplay(c)) + " Byte"));
    QWidget::repaint();

    QFile in(Q(temp));
    if (!in.open(QIODevice::ReadOnly)) {
        dropTemp();
        return errorEnd();
    }
    const QByteArray bytes = in.readAll();
    in.close();
    dropTemp();
    if (bytes.size() != c) return errorEnd();
    data_.assign(bytes.begin(), bytes.end());
    Befehl2->setEnabled(true);

    // A carrier that passed its checks before stays usable when the new data fit.
    const std::string carrier = S(Text1->text());
    if (carrierChecked_ && platform::FileExists(carrier) &&
        CheckFit(carrier, payload::Mode::Plain, c).fit != Fit::TooSmall) {
        if (Text1->text().right(4).toLower() == ".bmp" && checkBmpShow->isChecked() && Anzeige1->isHidden())
            showThumbnail(Text1->text());
        enableForCarrier(Text1->text(), true);
    }
}

// ---- choosing the carrier -----------------------------------------------------

bool FrmV::carrierFits(const std::string &carrier) {
    const FitCheck fit = CheckFit(carrier, payload::Mode::Plain, static_cast<std::int64_t>(data_.size()));
    if (fit.fit != Fit::TooSmall) return true;
    s_.messages->show(Icon::Exclamation, "Kalmira-Nachricht",
                      TooSmallTextWithHint(Program::B, carrier, fit.carrierSize, S(Text5->text()), fit.requiredSize));
    return false;
}

void FrmV::clearThumbnail() {
    Anzeige1->clear();
    Anzeige1->hide();
}

bool FrmV::showThumbnail(const QString &path) {
    if (!a_) {
        ShowBmpThumbnail(s_, this, path);
        return Flags().carrierUsable;
    }
    thumbFlag_ = ShowMessageWindowThumbnail(s_, this, path);
    return thumbFlag_;
}

void FrmV::enableForCarrier(const QString &path, bool usable) {
    carrierChecked_ = usable;
    if (!usable) {
        Image1->setVisible(Anzeige1->isHidden());
        return;
    }
    const bool bmp = path.right(4).toLower() == ".bmp";
    Befehl1->setEnabled(true);
    Command6->setEnabled(bmp);
    Command5->setEnabled(!bmp);
    if (a_) {
        Command9->setEnabled(bmp);
        Command10->setEnabled(!bmp);
    } else {
        Command9->setEnabled(true);
    }
    Image1->setVisible(Anzeige1->isHidden());
}

void FrmV::chooseCarrier() {
    if (working_) return;
    Befehl1->setEnabled(false);
    for (QPushButton *b : {Command6, Command9, Command5}) b->setEnabled(false);
    if (a_) Command10->setEnabled(false);
    Text1->clear();
    clearThumbnail();
    Label3->clear();
    Flags().carrierUsable = false;
    thumbFlag_ = false;
    carrierChecked_ = false;
    Image1->show();

    QString path, folder;
    if (!droppedCarrier_.isEmpty()) {
        path = droppedCarrier_;
        droppedCarrier_.clear();
        const QString ext = Q(ExtensionOf(S(path))).toLower();
        if (ext != ".bmp" && ext != ".wav") {
            s_.messages->show(Icon::Information, S(s_.programName()),
                              "Es können nur BMP oder. WAV-Datei als Container verwendet werden");
            return;
        }
        folder = WithSeparator(Q(FolderOf(S(path))));
    } else {
        folder = lastCarrierFolder_;
        const QString name = ShowOpenDialog(s_, this, "BMP- o. WAV-Datei öffnen (Containerdatei)", folder, "",
                                            "BMP- o. WAV-Dateien (*.bmp;*.wav)|*.bmp;*.wav", "*.wav;*.bmp");
        QWidget::repaint();
        if (name.isEmpty()) return;
        folder = WithSeparator(folder);
        lastCarrierFolder_ = folder;
        path = folder + name;
    }
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
    lblKopie->setText(folder + Q(BaseNameOf(p)) + "-Kopie" + Q(ExtensionOf(p)));
    Text1->setText(path);
    Label3->setText(Q("Dateigrösse der ausgewählten Containerdatei: " + FormatThousands(length) + " Byte"));
    // KalmiraA's run checks the size itself: the message is only known then.
    if (!a_ && !carrierFits(p)) return;

    const QString tail = path.right(4).toLower();
    bool usable = false;
    if (tail == ".bmp") {
        setBusy(true);
        // Checked first in both programs: the thumbnail would also take other
        // picture formats by their content, and those must not be written into.
        if (!IsBmpFile(p)) {
            setBusy(false);
            s_.messages->show(Icon::Critical, "Kalmira",
                              "Die ausgewählte Datei ist keine gültige BMP-Datei, oder sie ist fehlerhaft!");
        } else if (checkBmpShow->isChecked()) {
            usable = showThumbnail(path);
        } else {
            usable = true;
        }
        setBusy(false);
        if (a_) thumbFlag_ = usable;
        else Flags().carrierUsable = usable;
    } else if (tail == ".wav") {
        usable = IsWavFile(p, *s_.messages);
    }
    enableForCarrier(path, usable);
}

// ---- the run and the other buttons ------------------------------------------

void FrmV::runHide() {
    if (working_ || engine_.running()) return;
    WorkingScope working(working_);
    Befehl1->setEnabled(false);
    const bool fileOn = Command3->isEnabled(), carrierOn = Befehl2->isEnabled();
    Command3->setEnabled(false);
    Befehl2->setEnabled(false);
    const payload::Mode cipher = optCrypt[1]->isChecked() ? payload::Mode::Rc4 : payload::Mode::Aes;
    HideResult result;
    if (a_) {
        MessageHideInput in;
        in.carrierPath = S(Text1->text());
        in.messageAnsi = messageAnsi();
        in.sourcePath = S(Text5->text());
        in.nameField = nameField_;
        in.encrypt = Check1->isChecked();
        in.cipher = cipher;
        in.backup = checkKopie->isChecked();
        in.backupPath = S(lblKopie->text());
        result = engine_.hideMessage(*this, in);
    } else {
        FileHideInput in;
        in.carrierPath = S(Text1->text());
        in.sourcePath = S(Text5->text());
        in.nameField = nameField_;
        in.encrypt = Check1->isChecked();
        in.cipher = cipher;
        in.backup = checkKopie->isChecked();
        in.backupPath = S(lblKopie->text());
        result = engine_.hideFile(*this, in, data_);
    }
    if (ReachedCarrier(result.outcome)) Flags().hideRunDone = true;
    if (const auto notice = HideNotice(result)) s_.messages->show(notice->icon, notice->title, notice->text);
    setBusy(false);
    Text3->clear();
    Command3->setEnabled(fileOn);
    Befehl2->setEnabled(carrierOn);
    Befehl1->setEnabled(true);
}

void FrmV::showCarrierImage() {
    const QString path = Text1->text();
    if (path.right(4).toLower() == ".bmp") {
        inspect::ShowViewer(s_, path, inspect::ViewerCaption(inspect::ViewerCaller::Hide, path));
    } else {
        s_.messages->show(Icon::Information, S(messageTitle()),
                          "Es ist keine BMP-Bilddatei als Containerdatei ausgewählt.");
    }
}

void FrmV::showCarrierInfo() {
    const QString path = Text1->text();
    const QString tail = path.right(3).toLower();
    if (a_ || tail == "bmp") inspect::ShowImageInfo(s_, path);
    else if (tail == "wav") inspect::ShowWavInfo(s_, path);
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
    data_.clear();
    if (s_.registry) {
        for (const char *name : {"frmEx", "frmInfo", "frmAnzeige", "frmStart"}) s_.registry->unload(name);
        // A run still on the stack keeps its window until the program ends.
        if (!working_) s_.registry->unload("frmV");
    }
    if (s_.exitProgram) s_.exitProgram(0);
}

// ---- help line and drops --------------------------------------------------------

void FrmV::setHelp(const QString &text) {
    if (Label2->text() != text) Label2->setText(text);
}

void FrmV::dropFiles(QWidget *target, const QStringList &paths) {
    if (paths.isEmpty() || working_) return;
    if (target == Text1) {
        if (!a_ && Text5->text().isEmpty()) {
            s_.messages->show(Icon::Information, S(s_.programName()),
                              "Bitte erst die zu versteckende Datei auswählen.");
            return;
        }
        if (!Befehl2->isEnabled()) return;
        droppedCarrier_ = paths.first();
        Befehl2->click();
        droppedCarrier_.clear();
    } else if (target == Text5 || (a_ && (target == Text2 || target == Text4))) {
        droppedFile_ = paths.first();
        Command3->click();
        droppedFile_.clear();
    }
}

bool FrmV::eventFilter(QObject *watched, QEvent *event) {
    QObject *owner = watched;
    if (a_ && (watched == Text2->viewport() || watched == Text4->viewport()))
        owner = watched == Text2->viewport() ? Text2 : Text4;
    switch (event->type()) {
    case QEvent::Enter:
    case QEvent::MouseMove:
        if (owner == Text2 || owner == Text4) {
            clearHint();
        } else if (help_.contains(owner)) {
            setHelp(help_.value(owner));
            if (owner == Text1 || owner == Text5) {
                auto *edit = static_cast<QLineEdit *>(owner);
                edit->setToolTip(edit->text());
            }
        }
        break;
    case QEvent::MouseButtonPress:
        if (owner == Text2 || owner == Text4) clearHint();
        else if (owner == Label2) Label6->show();
        break;
    case QEvent::MouseButtonDblClick:
        if (owner == Label2) Label6->hide();
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
        if (owner == Text1 || owner == Text5 || owner == Text2 || owner == Text4) {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            if (drag->mimeData()->hasUrls()) {
                drag->acceptProposedAction();
                return true;
            }
        }
        break;
    case QEvent::Drop:
        if (owner == Text1 || owner == Text5 || owner == Text2 || owner == Text4) {
            auto *drop = static_cast<QDropEvent *>(event);
            if (drop->mimeData()->hasUrls()) {
                QStringList paths;
                for (const QUrl &url : drop->mimeData()->urls())
                    if (url.isLocalFile()) paths << url.toLocalFile();
                drop->acceptProposedAction();
                dropFiles(static_cast<QWidget *>(owner), paths);
                return true;
            }
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void FrmV::mouseMoveEvent(QMouseEvent *event) {
    // Moves over controls without tracking of their own arrive here as well.
    QWidget *w = childAt(event->position().toPoint());
    while (w && w != this && !help_.contains(w)) w = w->parentWidget();
    setHelp(w && w != this ? help_.value(w) : QString());
    QWidget::mouseMoveEvent(event);
}

} // namespace kalmira::hide
