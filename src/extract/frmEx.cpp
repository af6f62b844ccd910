#include "extract/frmEx.h"
#include "extract/extract_texts.h"

#include "carrier/carrier_texts.h"
#include "crypto/register.h"
#include "extract/frmEx_file.h"
#include "extract/frmEx_message.h"
#include "info/register.h"
#include "inspect/register.h"
#include "platform/platform.h"
#include "platform/secure_memory.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"
#include "shell/registry.h"
#include "shell/window_helpers.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QVBoxLayout>

namespace kalmira::extract {

namespace {

constexpr int kPreviewPixels = TwipsToPixels(2355);

// The picture the display field shows while no carrier is previewed.
QPixmap Placeholder(int size) {
    QPixmap pm(size, size);
    pm.fill(QColor(0xF2, 0xF2, 0xF2));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF card(size * 0.2, size * 0.25, size * 0.6, size * 0.5);
    p.setPen(QPen(QColor(0x90, 0x90, 0x90), 2));
    p.setBrush(Qt::white);
    p.drawRoundedRect(card, 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xB0, 0x30, 0x30));
    p.drawEllipse(QPointF(card.right() - size * 0.13, card.top() + size * 0.12), size * 0.05, size * 0.05);
    p.setBrush(QColor(0x70, 0x70, 0x70));
    const QPointF hills[] = {{card.left() + 4, card.bottom() - 3},
                             {card.left() + card.width() * 0.35, card.top() + card.height() * 0.4},
                             {card.left() + card.width() * 0.6, card.bottom() - card.height() * 0.3},
                             {card.left() + card.width() * 0.75, card.top() + card.height() * 0.55},
                             {card.right() - 4, card.bottom() - 3}};
    p.drawPolygon(hills, 5);
    return pm;
}

} // namespace

FrmEx *MakeFrmEx(Services &services) {
    if (services.program == Program::A) return new FrmExMessage(services);
    return new FrmExFile(services);
}

FrmEx::FrmEx(Services &services, const FrmExTexts &t)
    : QWidget(nullptr, Qt::Window), s_(services), t_(t), engine_(std::make_unique<ExtractEngine>()) {
    setObjectName("frmEx");
    setWindowTitle(t.title);
    setMouseTracking(true);
    askPassword = [this] {
        // Closing the dialog leaves Text1 as it was: the run counts that as wrong.
        auto pw = typedPassword_ ? crypto::AskExtractPasswordAsTyped(s_, this, passwordQuestion_)
                                 : crypto::AskExtractPassword(s_, this);
        if (pw) Text1->setText(*pw);
    };
    pauseFor = [](double seconds) { WaitFor(seconds); };
    buildControls();
    connectControls();
}

void FrmEx::buildControls() {
    const FrmExTexts &t = t_;
    Image2 = label("Image2", "");
    Image2->setPixmap(style()->standardIcon(QStyle::SP_ArrowDown).pixmap(32, 32));
    Label2 = label("Label2", t.heading);
    QFont heading = Label2->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.25);
    Label2->setFont(heading);
    Line1 = frame("Line1", QFrame::HLine);

    Command1 = button("Command1", "Steganogramm öffnen (bmp;wav)");
    Shape_text4 = frame("Shape_text4", QFrame::Box);
    Text4 = new QLineEdit(Shape_text4);
    Text4->setObjectName("Text4");
    auto *textFrame = new QHBoxLayout(Shape_text4);
    textFrame->setContentsMargins(1, 1, 1, 1); // 15 twips around the box
    textFrame->addWidget(Text4);
    // The first dropped file goes the way of the carrier button.
    AcceptFileDrops(Text4, [this](const QStringList &paths) {
        Command1->setProperty("Tag", paths.first());
        Command1->click();
    });
    Label3 = label("Label3", "");

    checkBmpShow = new QCheckBox(t.checkBmpShow, this);
    checkBmpShow->setObjectName("checkBmpShow");
    checkBmpShow->setChecked(true);

    // Display field: a fixed frame with the placeholder and the preview on top.
    Shape1 = frame("Shape1", QFrame::Box);
    Picture2 = new QFrame(Shape1);
    Picture2->setObjectName("Picture2");
    Picture2->setFixedSize(kPreviewPixels, kPreviewPixels);
    Picture2->setStyleSheet("QFrame#Picture2 { background: white; }");
    auto *pictureFrame = new QHBoxLayout(Shape1);
    pictureFrame->setContentsMargins(4, 4, 4, 4); // 75 twips around the field
    pictureFrame->addWidget(Picture2);
    Shape1->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    Image1 = new QLabel(Picture2);
    Image1->setObjectName("Image1");
    Image1->setGeometry(0, 0, kPreviewPixels, kPreviewPixels);
    Image1->setPixmap(Placeholder(kPreviewPixels));
    Anzeige1 = new QLabel(Picture2);
    Anzeige1->setObjectName("Anzeige1");
    Anzeige1->move(0, 0);
    Anzeige1->hide();
    buildButtonsAndHelpLine();
}

void FrmEx::buildButtonsAndHelpLine() {
    const FrmExTexts &t = t_;
    Command2 = button("Command2", t.command2);
    Command2->setEnabled(false);
    QFont strong = Command2->font();
    strong.setBold(true);
    Command2->setFont(strong);
    Command2->setMinimumHeight(34);
    Command3 = button("Command3", t.command3);
    Command4 = button("Command4", t.command4);
    Command5 = button("Command5", t.command5);
    Command7 = button("Command7", t.command7);
    Command7->setEnabled(false);
    Command8 = button("Command8", t.command8);
    Command8->setEnabled(false);
    Command9 = button("Command9", "Hilfe");

    Shape2 = frame("Shape2", QFrame::StyledPanel);
    Label1 = new HelpLine(this);
    Label1->setObjectName("Label1");

    // The password window writes here; it never shows.
    Text1 = new QLineEdit(this);
    Text1->setObjectName("Text1");
    Text1->hide();
    Text1->move(-Text1->width() - TwipsToPixels(500), 0);
}

void FrmEx::connectControls() {
    const FrmExTexts &t = t_;
    connect(Command1, &QPushButton::clicked, this, [this] { openCarrier(); });
    connect(Command2, &QPushButton::clicked, this, [this] { extract(); });
    connect(Command3, &QPushButton::clicked, this, [this] { switchToHide(); });
    connect(Command4, &QPushButton::clicked, this, [this] {
        clearForExit();
        close();
    });
    connect(Command8, &QPushButton::clicked, this, [this] { showCarrier(); });
    connect(Command9, &QPushButton::clicked, this, [this] { info::ShowExtractHelp(s_); });
    connect(checkBmpShow, &QCheckBox::clicked, this, [this] { previewToggled(); });
    inspect::AttachPlayButton(
        s_, Command7, [this] { return Text4->text(); }, t.command7);

    help_ = new HelpTexts(this, Label1);
    const std::pair<QWidget *, const char *> helps[] = {
        {Command4, "Beendet das Programm."}, {checkBmpShow, t.helpBmpShow}, {Command1, t.helpCommand1},
        {Command2, t.helpCommand2},          {Command3, t.helpCommand3},    {Command7, t.helpCommand7},
        {Command8, t.helpCommand8},          {Text4, t.helpText4}};
    for (auto [w, text] : helps) help_->add(w, QString::fromUtf8(text));
}

FrmEx::~FrmEx() = default;

QPushButton *FrmEx::button(const char *name, const QString &caption) {
    auto *b = new QPushButton(caption, this);
    b->setObjectName(name);
    b->setMinimumHeight(28);
    return b;
}

QFrame *FrmEx::frame(const char *name, QFrame::Shape shape) {
    auto *f = new QFrame(this);
    f->setObjectName(name);
    f->setFrameShape(shape);
    f->setFrameShadow(QFrame::Sunken);
    return f;
}

QLabel *FrmEx::label(const char *name, const QString &text) {
    auto *l = new QLabel(text, this);
    l->setObjectName(name);
    return l;
}

QVBoxLayout *FrmEx::rootWithCarrierRow(QWidget *belowField) {
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(14, 12, 14, 10);
    root->setSpacing(8);
    auto *head = new QHBoxLayout;
    head->addWidget(Image2);
    head->addSpacing(6);
    head->addWidget(Label2, 1);
    root->addLayout(head);
    root->addWidget(Line1);
    auto *carrier = new QGridLayout;
    carrier->setHorizontalSpacing(10);
    carrier->setVerticalSpacing(4);
    carrier->addWidget(Command1, 0, 0);
    carrier->addWidget(Shape_text4, 0, 1);
    carrier->addWidget(belowField, 1, 1);
    carrier->setColumnStretch(1, 1);
    root->addLayout(carrier);
    return root;
}

void FrmEx::finish(QVBoxLayout *root, int width) {
    FixSize(this, root, width);
    CentreOnScreen(this);
}

void FrmEx::mouseMoveEvent(QMouseEvent *event) {
    // Moves over controls without tracking arrive here as well.
    help_->pointerAt(event->position().toPoint());
    QWidget::mouseMoveEvent(event);
}

void FrmEx::closeEvent(QCloseEvent *event) {
    // Closing either main window ends the program, through the start window
    // when there is one.
    event->accept();
    if (!s_.registry) {
        if (s_.exitProgram) s_.exitProgram(0);
        return;
    }
    WindowRegistry &r = *s_.registry;
    r.unload("frmV");
    r.unload("frmInfo");
    r.unload("frmAnzeige");
    QPointer<QWidget> start = r.existing("frmStart");
    // A run still on the stack keeps its window until it has returned.
    if (r.existing("frmEx") == this) {
        if (running())
            unloadAfterRun_ = true;
        else
            r.unload("frmEx");
    }
    if (start)
        start->close();
    else if (s_.exitProgram)
        s_.exitProgram(0);
}

void FrmEx::openCarrier() {
    Command2->setEnabled(false);
    clearResults();
    Anzeige1->clear();
    Anzeige1->hide();
    setCarrierUsable(false);
    Label3->clear();
    Text4->clear();
    const QString path = chooseCarrierPath();
    if (path.isEmpty()) return;
    if (!platform::IsRegularFile(S(path))) {
        // A dropped or command-line path that names no file.
        s_.messages->show(Icon::Information, S(s_.programName() + "-Nachricht"), t_.notFound);
        Image1->show();
        return;
    }
    showCarrierSize(path);
    Text4->setText(path);
    checkCarrier(path);
}

QString FrmEx::chooseCarrierPath() {
    // After a hide run the dialog proposes the carrier just written.
    QString folder = StartFolder(s_, folders::kCarrier, WithSeparator(QDir::toNativeSeparators(QDir::currentPath())));
    QString name;
    if (Flags().hideRunDone && s_.registry) {
        if (QWidget *hideWindow = s_.registry->existing("frmV")) {
            if (QWidget *box = hideWindow->findChild<QWidget *>("Text1")) {
                const QString written = box->property("text").toString();
                if (!written.isEmpty()) {
                    folder = Q(FolderOf(S(written)));
                    name = Q(FileNameOf(S(written)));
                }
            }
        }
    }

    const QString tag = Command1->property("Tag").toString();
    Command1->setProperty("Tag", QString());
    QString path;
    if (!tag.isEmpty()) {
        if (!carrier::HasCarrierName(S(tag), true)) {
            s_.messages->show(Icon::Information, S(s_.programName()),
                              "Es können nur BMP-, WAV-, PNG- oder FLAC-Dateien ausgewählt werden.");
            return {};
        }
        name = Q(FileNameOf(S(tag)));
        path = tag;
    } else {
        name = ShowOpenDialog(s_, this, t_.openTitle, folder, name,
                              "BMP o. WAV-Dateien (*.bmp;*.wav)|*.bmp;*.wav|PNG o. FLAC-Dateien, nur Tarnformat "
                              "(*.png;*.flac)|*.png;*.flac| Alle Dateien (*.*)|*.*",
                              "*.*");
        QWidget::repaint();
        path = WithSeparator(folder) + name;
    }
    if (name.isEmpty()) {
        Image1->show();
        return {};
    }
    // A carrier given by its path (the command line, a drop) keeps what comes
    // out of it beside it; one chosen in the dialog, where extractions went last.
    carrierGiven_ = !tag.isEmpty();
    RememberFolder(s_, folders::kCarrier, WithSeparator(Q(FolderOf(S(path)))));
    return path;
}

QString FrmEx::saveFolder() const {
    const QString carrier = Text4->text();
    const QString beside =
        carrier.isEmpty() ? QString() : WithSeparator(QDir::toNativeSeparators(QFileInfo(carrier).absolutePath()));
    return carrierGiven_ ? beside : StartFolder(s_, folders::kExtracted, beside);
}

void FrmEx::savedIn(const QString &folder) { RememberFolder(s_, folders::kExtracted, WithSeparator(folder)); }

void FrmEx::checkCarrier(const QString &path) {
    carrierKind_ = carrier::Classify(S(path));
    if (carrier::NamedBmp(carrierKind_)) {
        setCursor(Qt::WaitCursor);
        // Shown, the preview decides by what the file holds (nothing is written into it).
        if (checkBmpShow->isChecked()) {
            thumbnail(path);
        } else {
            setCarrierUsable(carrierKind_ == carrier::CarrierKind::Bmp);
            tell(carrier::RefusalNotice(carrierKind_, S(path)));
        }
        if (carrierUsable()) {
            Command2->setEnabled(true);
            Command8->setEnabled(true);
            Command7->setEnabled(false);
        }
        bmpChecked();
        unsetCursor();
    }
    if (carrierKind_ == carrier::CarrierKind::Wav || carrier::StealthOnly(carrierKind_)) {
        const bool picture = carrierKind_ == carrier::CarrierKind::Png;
        Command2->setEnabled(true);
        Command7->setEnabled(!picture);
        Command8->setEnabled(picture);
    } else if (!carrier::NamedBmp(carrierKind_) && carrierKind_ != carrier::CarrierKind::OtherName) {
        tell(carrier::RefusalNotice(carrierKind_, S(path), true));
    }
    Image1->setVisible(!(carrierUsable() && checkBmpShow->isChecked()));
}

void FrmEx::thumbnail(const QString &path) {
    showThumbnail(path);
    Anzeige1->raise();
}

void FrmEx::previewToggled() {
    if (!checkBmpShow->isChecked()) {
        Anzeige1->clear();
        Anzeige1->hide();
        Image1->show();
    } else if (!Text4->text().isEmpty() && carrier::NamedBmp(carrierKind_)) {
        thumbnail(Text4->text());
        Image1->hide();
    }
}

void FrmEx::showCarrier() {
    const QString path = Text4->text();
    if (!path.isEmpty() && carrier::NamedBmp(carrierKind_)) {
        inspect::ShowViewer(s_, path, inspect::ViewerCaption(inspect::ViewerCaller::Extract, path));
        return;
    }
    s_.messages->show(Icon::Information, S(s_.programName() + "-Nachricht"), t_.noBmpChosen);
}

void FrmEx::switchToHide() {
    QWidget *hideWindow = s_.registry ? s_.registry->window("frmV") : nullptr;
    if (!hideWindow) return;
    hideWindow->move(pos());
    s_.registry->show("frmV");
    hide();
}

void FrmEx::tell(const std::optional<Notice> &notice) {
    if (notice) s_.messages->show(notice->icon, notice->title, notice->text);
}

std::string FrmEx::askExtractPassword() {
    if (askPassword) askPassword();
    return platform::AnsiFromUtf8(S(Text1->text()));
}

std::optional<std::string> FrmEx::passwordFor(const OpenedPayload &opened) {
    for (int attempt = 0; attempt < kPasswordAttempts; ++attempt) {
        std::string padded = askExtractPassword();
        setCursor(Qt::WaitCursor);
        if (opened.passwordMatches(padded)) return padded;
        platform::WipeString(padded);
        tell(WrongPasswordNotice(s_.program, kPasswordAttempts - 1 - attempt));
    }
    return std::nullopt;
}

void FrmEx::extract() {
    if (engine_->running()) return; // the run yields; a second click must not start another
    extractRun();
    if (unloadAfterRun_ && s_.registry) s_.registry->unload("frmEx");
}

} // namespace kalmira::extract
