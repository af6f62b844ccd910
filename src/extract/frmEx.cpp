#include "extract/frmEx.h"

#include "extract/extract_texts.h"

#include "crypto/register.h"
#include "info/register.h"
#include "inspect/register.h"
#include "platform/binary_file.h"
#include "platform/platform.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"
#include "shell/registry.h"
#include "shell/window_helpers.h"

#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdio>

namespace kalmira::extract {

namespace {

const char *const kHelpProperty = "helpText";
constexpr int kPreviewPixels = TwipsToPixels(2355);

bool EndsWithLower(const QString &path, const char *tail) { return path.toLower().endsWith(tail); }

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

void HelpLine::mouseReleaseEvent(QMouseEvent *event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) emit clicked();
}

void HelpLine::mouseDoubleClickEvent(QMouseEvent *event) {
    QLabel::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) emit doubleClicked();
}

// What the runs see of the window. The window is both views' owner; the runs
// only ever get one of them.
class FrmEx::FileRun : public ExtractView {
public:
    explicit FileRun(FrmEx &w) : w_(w) {}
    void setCaption(const std::string &c) override { w_.setWindowTitle(Q(c)); }
    void setBusy(bool busy) override { busy ? w_.setCursor(Qt::WaitCursor) : w_.unsetCursor(); }
    void pause(double seconds) override { w_.pauseFor(seconds); }
    void processEvents() override { w_.s_.pump->processEvents(); }
    void repaint() override { w_.QWidget::repaint(); }
    std::string chooseDestination(const std::string &defaultName) override {
        QString folder;
        const QString name = ShowSaveDialog(w_.s_, &w_, "Extrahierte Datei speichern unter", folder,
                                            Q(defaultName), "Extrahierte-Datei|*.*|Alle Dateien|*.*", "");
        return name.isEmpty() ? std::string() : S(WithSeparator(folder) + name);
    }
    void exitProgram() override { w_.Command4->click(); }

private:
    FrmEx &w_;
};

class FrmEx::MessageRun : public MessageExtractView {
public:
    explicit MessageRun(FrmEx &w) : w_(w) {}
    void setCaption(const std::string &c) override { w_.setWindowTitle(Q(c)); }
    void setBusy(bool busy) override { busy ? w_.setCursor(Qt::WaitCursor) : w_.unsetCursor(); }
    void pause(double seconds) override { w_.pauseFor(seconds); }
    void processEvents() override { w_.s_.pump->processEvents(); }
    void repaint() override { w_.QWidget::repaint(); }
    void showMessage(const std::string &ansi) override { w_.showMessageText(ansi); }
    void setResultLine(const std::string &text) override { w_.Label3->setText(Q(text)); }
    void exitProgram() override { w_.Command4->click(); }

private:
    FrmEx &w_;
};

FrmEx::FrmEx(Services &services, QWidget *parent)
    : QWidget(parent, Qt::Window), s_(services), a_(services.program == Program::A),
      engine_(std::make_unique<ExtractEngine>(static_cast<PasswordSource &>(*this))),
      fileRun_(std::make_unique<FileRun>(*this)), messageRun_(std::make_unique<MessageRun>(*this)) {
    setObjectName("frmEx");
    setWindowTitle(a_ ? "KalmiraA - Extraktion" : "KalmiraB - Extraktion");
    setMouseTracking(true);
    askPassword = [this] {
        // Closing the dialog leaves Text1 as it was: the run counts that as wrong.
        if (auto pw = crypto::AskExtractPassword(s_, this)) Text1->setText(*pw);
    };
    pauseFor = [this](double seconds) { Pause(seconds, *s_.pump); };
    build();
    setHelpTexts();
    placeOnScreen();
}

FrmEx::~FrmEx() = default;

QPushButton *FrmEx::button(const char *name, const QString &caption) {
    auto *b = new QPushButton(caption, this);
    b->setObjectName(name);
    b->setMinimumHeight(28);
    return b;
}

void FrmEx::build() {
    auto label = [this](const char *name, const QString &text) {
        auto *l = new QLabel(text, this);
        l->setObjectName(name);
        return l;
    };
    auto frame = [this](const char *name, QFrame::Shape shape) {
        auto *f = new QFrame(this);
        f->setObjectName(name);
        f->setFrameShape(shape);
        f->setFrameShadow(QFrame::Sunken);
        return f;
    };

    Image2 = label("Image2", "");
    Image2->setPixmap(style()->standardIcon(QStyle::SP_ArrowDown).pixmap(32, 32));
    Label2 = label("Label2", a_ ? "Botschaft aus einer BMP-Bild oder einer WAV- Sounddatei extrahieren"
                                : "Eine Versteckte Datei aus BMP-Bild oder WAV-Sounddatei extrahieren");
    QFont heading = Label2->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.25);
    Label2->setFont(heading);
    Line1 = frame("Line1", QFrame::HLine);

    Command1 = button("Command1", "Steganogramm öffnen (bmp;wav)");
    Shape_text4 = frame("Shape_text4", QFrame::Box);
    Text4 = new QLineEdit(Shape_text4);
    Text4->setObjectName("Text4");
    Text4->setAcceptDrops(true);
    auto *textFrame = new QHBoxLayout(Shape_text4);
    textFrame->setContentsMargins(1, 1, 1, 1); // 15 twips around the box
    textFrame->addWidget(Text4);
    Label3 = label("Label3", "");

    checkBmpShow = new QCheckBox(a_ ? "BMP-Container beim Öffnen im Anzeigefeld darstellen?"
                                    : "BMP-Container im Anzeigefeld darstellen?",
                                 this);
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

    Command2 = button("Command2", a_ ? "Text aus Bild- oder Wav-Datei extrahieren"
                                     : "Datei aus Bild- oder WAV-Datei extrahieren");
    Command2->setEnabled(false);
    QFont strong = Command2->font();
    strong.setBold(true);
    Command2->setFont(strong);
    Command2->setMinimumHeight(34);
    Command3 = button("Command3", a_ ? ">>" : "Verstecken >");
    Command4 = button("Command4", a_ ? "Beenden" : "Exit");
    Command5 = button("Command5", a_ ? "Bild zeigen" : "ShowExtrakt");
    Command5->setEnabled(a_);
    Command7 = button("Command7", a_ ? "Play" : "Play wav");
    Command7->setEnabled(false);
    Command8 = button("Command8", a_ ? "Show" : "Show bmp");
    Command8->setEnabled(false);
    Command9 = button("Command9", "Hilfe");

    Shape2 = frame("Shape2", QFrame::StyledPanel);
    Label1 = new HelpLine(this);
    Label1->setObjectName("Label1");
    Label1->setFrameShape(QFrame::Panel);
    Label1->setFrameShadow(QFrame::Sunken);
    Label1->setWordWrap(true);
    Label1->setMargin(3);
    Label1->setFixedHeight(2 * fontMetrics().lineSpacing() + 10);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    // The password window writes here; it never shows.
    Text1 = new QLineEdit(this);
    Text1->setObjectName("Text1");
    Text1->hide();
    Text1->move(-Text1->width() - TwipsToPixels(500), 0);

    if (a_) {
        Check1 = new QCheckBox("*", this);
        Check1->setObjectName("Check1");
        Command6 = button("Command6", "Extrahierte Botschaft speichern");
        Command6->setEnabled(false);
        Command5->hide(); // the preview, pressed from code only
        QFont mono("Courier New");
        mono.setStyleHint(QFont::TypeWriter);
        Text3 = new QPlainTextEdit(this);
        Text3->setObjectName("Text3");
        Text3->setLineWrapMode(QPlainTextEdit::NoWrap);
        Text3->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        Text3->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        Text3->setFont(mono);
        Text2 = new QPlainTextEdit(this);
        Text2->setObjectName("Text2");
        Text2->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        Text2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        Text2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        Text2->setFont(mono);
        Text2->hide();
        // The two boxes hold the same text; the visible one is the master.
        auto mirror = [this](QPlainTextEdit *from, QPlainTextEdit *to) {
            connect(from, &QPlainTextEdit::textChanged, this, [this, from, to] {
                if (syncing_ || from->isHidden()) return;
                syncing_ = true;
                to->setPlainText(from->toPlainText());
                syncing_ = false;
            });
        };
        mirror(Text3, Text2);
        mirror(Text2, Text3);
        buildLayoutA();
    } else {
        Label4 = label("Label4", "");
        Label4->setWordWrap(true);
        Label4->setMinimumHeight(2 * fontMetrics().lineSpacing());
        Label5 = label("Label5", "Time");
        Label5->hide();
        Label6 = label("Label6", "");
        Label6->setWordWrap(true);
        buildLayoutB();
    }

    Text4->installEventFilter(this);
    connect(Command1, &QPushButton::clicked, this, [this] { openCarrier(); });
    connect(Command2, &QPushButton::clicked, this, [this] { extract(); });
    connect(Command3, &QPushButton::clicked, this, [this] { switchToHide(); });
    connect(Command4, &QPushButton::clicked, this, [this] {
        if (a_) {
            Text3->clear();
            Text2->clear();
        }
        close();
    });
    connect(Command5, &QPushButton::clicked, this, [this] {
        if (a_) thumbnailA(Text4->text());
        else OpenWithApplication(s_, extractedFile_);
    });
    connect(Command8, &QPushButton::clicked, this, [this] { showCarrier(); });
    connect(Command9, &QPushButton::clicked, this, [this] { info::ShowExtractHelp(s_); });
    connect(checkBmpShow, &QCheckBox::clicked, this, [this] { previewToggled(); });
    inspect::AttachPlayButton(s_, Command7, [this] { return Text4->text(); }, a_ ? "Play" : "Play wav");
    if (a_) {
        connect(Check1, &QCheckBox::clicked, this, [this] { toggleWrap(); });
        connect(Command6, &QPushButton::clicked, this, [this] { saveMessage(); });
    } else {
        connect(Label1, &HelpLine::clicked, Label5, &QLabel::show);
        connect(Label1, &HelpLine::doubleClicked, Label5, &QLabel::hide);
    }
}

void FrmEx::buildLayoutB() {
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
    carrier->addWidget(Label3, 1, 1);
    carrier->setColumnStretch(1, 1);
    root->addLayout(carrier);

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

    constexpr int kWidth = 700;
    fixSize(root, kWidth);
}

void FrmEx::buildLayoutA() {
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
    carrier->addWidget(checkBmpShow, 1, 1);
    carrier->setColumnStretch(1, 1);
    root->addLayout(carrier);

    // Display field with its tools left, the message right.
    auto *middle = new QHBoxLayout;
    middle->setSpacing(12);
    auto *left = new QVBoxLayout;
    left->addWidget(Shape1);
    auto *tools = new QHBoxLayout;
    tools->addWidget(Command8);
    tools->addWidget(Command7);
    left->addLayout(tools);
    left->addStretch();
    middle->addLayout(left);
    auto *message = new QGridLayout;
    message->setVerticalSpacing(4);
    message->addWidget(Text3, 0, 0);
    message->addWidget(Text2, 0, 0); // on top of each other, one of them shown
    message->addWidget(Check1, 1, 0);
    message->setRowStretch(0, 1);
    middle->addLayout(message, 1);
    Text3->setMinimumHeight(220);
    Text2->setMinimumHeight(220);
    root->addLayout(middle);

    auto *actions = new QHBoxLayout;
    actions->setSpacing(12);
    Command2->setMinimumWidth(330);
    Command6->setMinimumWidth(260);
    Command6->setMinimumHeight(Command2->minimumHeight());
    actions->addStretch();
    actions->addWidget(Command2);
    actions->addWidget(Command6);
    actions->addStretch();
    root->addLayout(actions);

    auto *results = new QVBoxLayout(Shape2);
    results->setContentsMargins(10, 6, 10, 6);
    Label3->setWordWrap(true);
    Label3->setMinimumHeight(2 * fontMetrics().lineSpacing());
    results->addWidget(Label3);
    root->addWidget(Shape2);

    auto *bottom = new QHBoxLayout;
    for (QPushButton *b : {Command9, Command3, Command4}) b->setMinimumWidth(110);
    bottom->addWidget(Command9);
    bottom->addStretch();
    bottom->addWidget(Command3);
    bottom->addWidget(Command4);
    root->addLayout(bottom);
    root->addWidget(Label1);

    constexpr int kWidth = 760;
    fixSize(root, kWidth);
}

void FrmEx::fixSize(QLayout *root, int width) {
    root->activate();
    setFixedSize(width, root->hasHeightForWidth() ? root->totalHeightForWidth(width)
                                                  : root->totalSizeHint().height());
}

void FrmEx::placeOnScreen() {
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect g = screen->availableGeometry();
        move(g.x() + (g.width() - width()) / 2, g.y() + (g.height() - height()) / 2);
    }
}

void FrmEx::setHelpTexts() {
    auto help = [this](QWidget *w, const char *text) {
        w->setProperty(kHelpProperty, QString::fromUtf8(text));
        w->installEventFilter(this);
    };
    help(Command4, "Beendet das Programm.");
    if (a_) {
        help(Check1, "Umschaltung Zeilenumbruch <--> kein Zeilenumbruch");
        help(checkBmpShow, "Eine BMP-Containerdatei wird im linken Bildfeld angezeigt. Abschalten spart "
                           "Speicher und Ladezeit.");
        help(Command1, "BMP- oder WAV-Datei mit einer eingebetteten, versteckten Botschaft öffnen.");
        help(Command2, "Es wird die vorher versteckte Botschaft aus der ausgewählten BMP- oder WAV-Datei "
                       "extrahiert.");
        help(Command3, "-> Zum Programmteil \"Botschaften verstecken\".");
        help(Command6, "Die extrahierte Botschaft in einer Textdatei speichern.");
        help(Command7, "Spielt die oben ausgewählte Container WAV-Datei (mit versteckter Botschaft) ab.");
        help(Command8, "Zeigt die oben ausgewählte Container BMP-Bilddatei (mit versteckter Botschaft) in "
                       "Originalgröße.");
        for (QPlainTextEdit *t : {Text2, Text3}) {
            help(t, "Hier wird die extrahierte Botschaft angezeigt.");
            t->viewport()->installEventFilter(this);
        }
        help(Text4, "Name der BMP oder WAV Datei, welche die versteckte Botschaft enthält.");
    } else {
        help(checkBmpShow, "Eine BMP-Containerdatei wird im mittleren Bildfeld angezeigt. Abschalten spart "
                           "Speicher und Ladezeit.");
        help(Command1, "BMP- oder WAV-Datei mit einer eingebetteten, versteckten Datei öffnen.");
        help(Command2, "Es wird eine vorher versteckte Datei aus der ausgewählten BMP- oder WAV-Datei "
                       "extrahiert.");
        help(Command3, "-> Zum Programmteil \"Datei verstecken\".");
        help(Command5, "Extrahierte Datei mit der verknüpften Anwendung starten. (Falls für den DateiTyp "
                       "eine Anwendung existiert.)");
        help(Command7, "Spielt die oben ausgewählte WAV-Datei mit versteckter Datei.");
        help(Command8, "Zeigt die oben ausgewählte BMP-Bilddatei mit versteckter Datei in Originalgröße.");
        help(Text4, "Name der BMP oder WAV Datei, welche die versteckte Datei enthält.");
    }
}

bool FrmEx::eventFilter(QObject *watched, QEvent *event) {
    auto *w = qobject_cast<QWidget *>(watched);
    if (w && watched == Text4) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDropEvent *>(event);
            if (!drag->mimeData()->hasUrls()) break;
            drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            // The first dropped file goes the way of the carrier button.
            auto *drop = static_cast<QDropEvent *>(event);
            if (!drop->mimeData()->hasUrls()) break;
            for (const QUrl &url : drop->mimeData()->urls()) {
                if (!url.isLocalFile()) continue;
                drop->acceptProposedAction();
                Command1->setProperty("Tag", QDir::toNativeSeparators(url.toLocalFile()));
                Command1->click();
                break;
            }
            return true;
        }
        default: break;
        }
    }
    if (w && (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove)) {
        if (a_ && (watched == Text2->viewport() || watched == Text3->viewport())) w = w->parentWidget();
        const QVariant text = w->property(kHelpProperty);
        if (text.isValid()) {
            Label1->setText(text.toString());
            if (w == Text4) Text4->setToolTip(Text4->text());
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FrmEx::mouseMoveEvent(QMouseEvent *event) {
    // Moves over controls without tracking arrive here as well.
    QWidget *w = childAt(event->position().toPoint());
    while (w && w != this && !w->property(kHelpProperty).isValid()) w = w->parentWidget();
    Label1->setText(w && w != this ? w->property(kHelpProperty).toString() : QString());
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
        if (running()) unloadAfterRun_ = true;
        else r.unload("frmEx");
    }
    if (start) start->close();
    else if (s_.exitProgram) s_.exitProgram(0);
}

bool FrmEx::carrierUsable() const { return a_ ? ownCarrierUsable_ : Flags().carrierUsable; }

void FrmEx::setCarrierUsable(bool usable) {
    if (a_) ownCarrierUsable_ = usable;
    else Flags().carrierUsable = usable;
}

void FrmEx::openCarrier() {
    Command2->setEnabled(false);
    if (a_) {
        Check1->setChecked(false);
        showMessageText("");
    } else {
        Command8->setEnabled(false);
        Command7->setEnabled(false);
        Command5->setEnabled(false);
        Label4->clear();
        Label6->clear();
    }
    Anzeige1->clear();
    Anzeige1->hide();
    setCarrierUsable(false);
    Label3->clear();
    Text4->clear();

    // After a hide run the dialog proposes the carrier just written.
    QString folder = WithSeparator(QDir::toNativeSeparators(QDir::currentPath()));
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
        const QString ext = Q(ExtensionOf(S(tag))).toLower();
        if (ext != ".bmp" && ext != ".wav") {
            s_.messages->show(Icon::Information, S(s_.programName()),
                              "Es können nur BMP oder WAV-Dateien ausgewählt werden.");
            return;
        }
        name = Q(FileNameOf(S(tag)));
        path = tag;
    } else {
        name = ShowOpenDialog(s_, this,
                              a_ ? "BMP o. WAV-Datei (mit der versteckten Botschaft) öffnen"
                                 : "BMP o. WAV-Datei (mit der versteckten Datei) öffnen",
                              folder, name,
                              "BMP o. WAV-Dateien (*.bmp;*.wav)|*.bmp;*.wav| Alle Dateien (*.*)|*.*",
                              "*.*");
        if (!a_) QWidget::repaint();
        path = WithSeparator(folder) + name;
    }
    if (name.isEmpty()) {
        Image1->show();
        return;
    }
    if (!platform::IsRegularFile(S(path))) {
        // A dropped or command-line path that names no file.
        s_.messages->show(Icon::Information, S(s_.programName() + "-Nachricht"),
                          a_ ? "Die ContainerDatei wurde nicht gefunden!" : "ContainerDatei wurde nicht gefunden!");
        Image1->show();
        return;
    }

    if (!a_)
        Label3->setText("Dateigrösse der Containerdatei: " +
                        Q(FormatThousands(platform::FileSize(S(path)))) + " Bytes");
    Text4->setText(path);

    if (EndsWithLower(path, ".bmp")) {
        setCursor(Qt::WaitCursor);
        if (checkBmpShow->isChecked()) {
            thumbnail(path);
        } else if (!IsBmpFile(S(path))) {
            setCarrierUsable(false);
            s_.messages->show(Icon::Critical, "Kalmira",
                              "Die ausgewählte Datei ist keine gültige BMP-Datei, oder sie ist fehlerhaft!");
        } else {
            setCarrierUsable(true);
        }
        if (carrierUsable()) {
            Command2->setEnabled(true);
            Command8->setEnabled(true);
            Command7->setEnabled(false);
        }
        // KalmiraA's flag only stands for a shown preview.
        if (a_ && !checkBmpShow->isChecked()) setCarrierUsable(false);
        unsetCursor();
    }
    if (EndsWithLower(path, ".wav") && IsWavFile(S(path), *s_.messages)) {
        Command2->setEnabled(true);
        Command7->setEnabled(true);
        Command8->setEnabled(false);
    }
    Image1->setVisible(!(carrierUsable() && checkBmpShow->isChecked()));
}

void FrmEx::thumbnail(const QString &path) {
    if (a_) Command5->click();
    else ShowBmpThumbnail(s_, this, path);
    Anzeige1->raise();
}

void FrmEx::thumbnailA(const QString &path) {
    ownCarrierUsable_ = ShowMessageWindowThumbnail(s_, this, path);
}

void FrmEx::previewToggled() {
    if (!checkBmpShow->isChecked()) {
        Anzeige1->clear();
        Anzeige1->hide();
        Image1->show();
    } else if (!Text4->text().isEmpty() && EndsWithLower(Text4->text(), "bmp")) {
        thumbnail(Text4->text());
        Image1->hide();
    }
}

void FrmEx::showCarrier() {
    const QString path = Text4->text();
    if (!path.isEmpty() && EndsWithLower(path, ".bmp")) {
        inspect::ShowViewer(s_, path, inspect::ViewerCaption(inspect::ViewerCaller::Extract, path));
        return;
    }
    s_.messages->show(Icon::Information, S(s_.programName() + "-Nachricht"),
                      a_ ? "Es ist keine BMP-Bilddatei mit versteckter Botschaft ausgewählt."
                         : "Es ist keine BMP-Bilddatei mit versteckter Datei ausgewählt.");
}

void FrmEx::switchToHide() {
    QWidget *hideWindow = s_.registry ? s_.registry->window("frmV") : nullptr;
    if (!hideWindow) return;
    hideWindow->move(pos());
    s_.registry->show("frmV");
    hide();
}

std::string FrmEx::extractPassword() {
    if (askPassword) askPassword();
    return platform::AnsiFromUtf8(S(Text1->text()));
}

void FrmEx::wrongPassword(int attemptsLeft) {
    const Notice n = WrongPasswordNotice(a_ ? Program::A : Program::B, attemptsLeft);
    s_.messages->show(n.icon, n.title, n.text);
}

void FrmEx::tell(const std::optional<Notice> &notice) {
    if (notice) s_.messages->show(notice->icon, notice->title, notice->text);
}

void FrmEx::extract() {
    if (engine_->running()) return; // the run yields; a second click must not start another
    if (a_) extractMessageRun();
    else extractFileRun();
    if (unloadAfterRun_ && s_.registry) s_.registry->unload("frmEx");
}

void FrmEx::extractFileRun() {
    Text1->clear();
    if (!Text4->text().isEmpty()) {
        Label4->clear();
        Label5->clear();
    }
    const FileExtractResult r = engine_->extractFile(*fileRun_, S(Text4->text()));
    tell(ExtractNotice(r));
    if (r.outcome == ExtractOutcome::ProgramEnded) return;
    if (r.outcome == ExtractOutcome::Extracted) {
        extractedFile_ = Q(r.destination);
        Command5->setEnabled(true);
        const FileResultLines lines = ResultLines(r);
        Label4->setText(Q(lines.sizes));
        Label5->setText(Q(lines.seconds));
        Label6->setText(Q(lines.cipher));
    }
    Text1->clear(); // the password does not outlive the run
}

void FrmEx::extractMessageRun() {
    Command2->setEnabled(false);
    Text1->clear();
    const MessageExtractResult r = engine_->extractMessage(*messageRun_, S(Text4->text()), s_.maxMessageSize);
    tell(ExtractNotice(r));
    if (r.outcome == ExtractOutcome::ProgramEnded) return;
    if (!r.storedName.empty()) hiddenName_ = Q(r.storedName);
    // An empty carrier box and a missing library end before the run proper.
    if (r.outcome != ExtractOutcome::NoCarrierChosen && r.outcome != ExtractOutcome::LibraryMissing)
        Command6->setEnabled(r.saveEnabled);
    Command2->setEnabled(true);
    Text1->clear();
}

void FrmEx::showMessageText(const std::string &ansi) {
    if (ansi.empty()) {
        Check1->setChecked(false);
        Text3->show();
        Text2->hide();
    }
    const QString text = Q(platform::Utf8FromAnsi(ansi));
    syncing_ = true;
    Text3->setPlainText(text);
    Text2->setPlainText(text);
    syncing_ = false;
    shownAnsi_ = ansi;
    shownText_ = Text3->toPlainText();
}

void FrmEx::toggleWrap() {
    const bool unwrapped = Text3->isHidden();
    Text3->setVisible(unwrapped);
    Text2->setVisible(!unwrapped);
}

void FrmEx::saveMessage() {
    const QString text = Text3->toPlainText();
    if (text.isEmpty()) {
        s_.messages->show(Icon::None, "KalmiraA-Nachricht",
                          "Speichern abgebrochen. Das Textfeld ist leer. Es wurde noch keine Botschaft "
                          "extrahiert.");
        return;
    }
    QString folder;
    const QString name = ShowSaveDialog(s_, this, "Extrahierte Botschaft speichern unter", folder,
                                        hiddenName_.trimmed(), "Botschaft (*.txt)|*.txt", "*.txt");
    if (name.isEmpty()) return;
    const std::string dest = S(WithSeparator(folder) + name);
    // The box gives line breaks back in its own form: an unedited message is
    // saved byte for byte as it was extracted.
    const std::string bytes = text == shownText_ ? shownAnsi_ : platform::AnsiFromUtf8(S(text));

    // Written beside the destination first, so a failed write keeps the old file.
    if (platform::FileExists(dest)) platform::SetFileAttributes(dest, platform::AttrNormal);
    const std::string temp = platform::MakeTempFileIn(FolderOf(dest), FileNameOf(dest));
    bool ok = !temp.empty();
    if (ok) {
        platform::BinaryFile f;
        ok = f.open(temp, platform::BinaryFile::Mode::CreateTruncate) &&
             f.writeAt(0, bytes.data(), bytes.size()) && f.close();
        ok = ok && platform::ReplaceFile(temp, dest);
        if (!ok) std::remove(temp.c_str());
    }
    if (!ok)
        s_.messages->show(Icon::Critical, "Kalmira - Fehlernachricht",
                          "Die Datei \"" + dest + "\" konnte nicht geschrieben werden.");
}

} // namespace kalmira::extract
