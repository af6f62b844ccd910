#include "hide/frmV_message.h"

#include "carrier/payload.h"
#include "inspect/register.h"
#include "platform/platform.h"
#include "shell/helpers.h"
#include "shell/qt_services.h"
#include "shell/window_helpers.h"

#include <QFile>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QStringDecoder>
#include <QTextCursor>
#include <QVBoxLayout>

namespace kalmira::hide {

namespace {

const FrmVTexts kTexts{
    "KalmiraA - Verstecken",
    "KalmiraA-Nachricht",
    "Botschaft in einem BMP-Bild oder in einer WAV- Sounddatei verstecken",
    "Textdatei öffnen",
    "Zusätzlich verschlüsseln?",
    "AES",
    "Eine Kopie der Containerdatei erzeugen?",
    "BMP-Containerdatei im Anzeigefeld darstellen?",
    "Botschaft  in BMP o. WAV-Datei verstecken",
    "Show",
    "Play",
    "BMP-Info",
    ">>",
    "End",
    "Botschaft in Bild oder Sounddatei verstecken.",
    "Containerdatei auswählen, in der die Botschaft versteckt werden soll.",
    "Vor dem Verstecken wird mit AES-256 oder RC4-kompatibel verschlüsselt. (zu empfehlen!)",
    "Eine BMP-Containerdatei wird im linken Bildfeld angezeigt. Abschalten spart Speicher und Ladezeit.",
    "-> Zum Programmteil \"Botschaft extrahieren\".",
    "Zu versteckende Textdatei auswählen. Datei wird vor dem Verstecken komprimiert (Originaldatei bleibt erhalten).",
    "Spielt die ausgewählte Container WAV-Sounddatei ab.",
    "Zeigt die ausgewählte Container BMP-Bilddatei in Originalgrösse.",
    "Zeigt Informationen zum Bild (Grösse, Farbanzahl, etc.)",
    "Name der zu versteckenden Textdatei."};

const char *const kMessageHelp =
    "Text direkt eingeben, Text aus ClipBoard einfügen (rechte Maust.->Einf.),Textdatei laden oder "
    "Drag&Drop.";

// The boxes hold "\n"; typed text is hidden as a Windows text box held it, CR LF.
QString WithCrLf(QString text) { return text.replace('\n', "\r\n"); }

// Bytes one character of box text takes in the message (Windows-1252: one a
// character, two a line break, one for a pair of surrogates).
int CharBytes(QChar c) { return c == '\n' ? 2 : c.isLowSurrogate() ? 0 : 1; }

// Plain text: no control characters but tab, line feed, form feed and carriage
// return. The end-of-file character 0x1A, which stops a text reader, is one of them.
bool IsPlainText(const QByteArray &bytes) {
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\f' && b != '\r') return false;
    }
    return true;
}

// Text editors here write UTF-8; the message is hidden in Windows-1252, as the
// other program and older carriers expect. Valid UTF-8 is read as such, anything
// else as Windows-1252. `ansi` receives the bytes to hide.
QString DecodeTextFile(const QByteArray &bytes, std::string &ansi) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    ansi.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (utf8.hasError()) return Q(platform::Utf8FromAnsi(ansi));
    ansi = platform::AnsiFromUtf8(S(text));
    return text;
}

} // namespace

const char *FrmVMessage::HintText() {
    return "Hier eine zu versteckende Botschaft eingeben, eine ASCII-Textdatei \r\n"
           "in dieses Textfeld laden oder eine Textdatei per Drag&Drop auf dieses\r\n"
           "Textfeld ziehen.";
}

FrmVMessage::FrmVMessage(Services &services) : FrmV(services, kTexts) {
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    auto box = [&](const char *name, bool wrap) {
        auto *t = new QPlainTextEdit(this);
        t->setObjectName(name);
        t->setFont(fixed);
        t->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
        t->setHorizontalScrollBarPolicy(wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAlwaysOn);
        t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        t->setPlainText(Q(HintText()));
        t->setMinimumHeight(90);
        help_->add(t, kMessageHelp);
        AcceptFileDrops(t, [this, t](const QStringList &paths) { dropFiles(t, paths); });
        return t;
    };
    Text2 = box("Text2", false);
    Text4 = box("Text4", true);
    Text4->hide();
    help_->onEnter = [this](QWidget *w) {
        if (w != Text2 && w != Text4) return false;
        clearHint();
        return true;
    };
    Check2 = new QCheckBox("*", this);
    Check2->setObjectName("Check2");
    help_->add(Check2, "Umschaltung Zeilenumbruch <--> kein Zeilenumbruch");
    lblSize = label("lblSize", "");
    lblSize->setWordWrap(true);
    lblSize->setMinimumHeight(2 * fontMetrics().lineSpacing());

    Command4 = button("Command4", "öffnen"); // the thumbnail, pressed from code only
    Command4->hide();
    Command10 = button("Command10", "WAV-Info");
    Command10->setEnabled(false);
    Command8 = button("Command8", "Shredder");
    Command11 = button("Command11", "Convert");
    connectTools(Command8, Command11);
    help_->add(Command10, "Zeigt Informationen zu einer ausgewälten WAV-Containerdatei (Grösse, BitRate, etc.)");

    connect(Text2, &QPlainTextEdit::textChanged, this, [this] { messageChanged(Text2); });
    connect(Text4, &QPlainTextEdit::textChanged, this, [this] { messageChanged(Text4); });
    connect(Check2, &QCheckBox::clicked, this, [this] { toggleWrap(); });
    connect(Command4, &QPushButton::clicked, this, [this] { FrmV::thumbnailSwitchedOn(); });
    connect(Command10, &QPushButton::clicked, this, [this] {
        if (carrierKind_ == carrier::CarrierKind::Wav)
            inspect::ShowWavInfo(s_, Text1->text());
        else if (carrierKind_ == carrier::CarrierKind::Flac)
            inspect::ShowCodecInfo(s_, Text1->text());
    });

    layOut();
}

void FrmVMessage::layOut() {
    // The message on top, the picture on the left ("im linken Bildfeld").
    auto *root = new QVBoxLayout(this);
    root->setSpacing(6);
    root->addWidget(Label1);
    auto *message = new QGridLayout;
    message->addWidget(Text2, 0, 0);
    message->addWidget(Text4, 0, 0);
    message->addWidget(Check2, 0, 1, Qt::AlignTop);
    root->addLayout(message, 1);
    root->addWidget(lblSize);
    root->addLayout(pathRow(Command3, framed(Text5, "Shape2", 4), nullptr, nullptr));
    root->addLayout(pathRow(Befehl2, framed(Text1, "Shape3", 4), Label3, nullptr));
    auto *middle = new QHBoxLayout;
    middle->addWidget(framed(Picture2, "Shape1", 4), 0, Qt::AlignTop);
    middle->addSpacing(24);
    middle->addLayout(optionsColumn(), 1);
    root->addLayout(middle);
    bottomRows(root, {Command6, Command5, Command9, Command10, Command8, Command11, Command7});
    Text2->setFixedHeight(150);
    Text4->setFixedHeight(150);
    finish(root);
}

void FrmVMessage::setSizeLine(const std::string &text) { lblSize->setText(Q(text)); }

void FrmVMessage::focusMessage() { shown()->setFocus(); }

bool FrmVMessage::showThumbnail(const QString &path) {
    thumbFlag_ = ShowMessageWindowThumbnail(s_, this, path);
    return thumbFlag_;
}

void FrmVMessage::enableInfoButtons(bool on, bool bmp) {
    Command9->setEnabled(on && bmp);
    Command10->setEnabled(on && !bmp);
}

void FrmVMessage::showCarrierInfo() { inspect::ShowImageInfo(s_, Text1->text()); }

void FrmVMessage::clearForExit() {
    syncing_ = true;
    Text2->clear();
    Text4->clear();
    syncing_ = false;
}

// ---- the message ----------------------------------------------------------------------

std::string FrmVMessage::messageAnsi() const {
    const QString text = shown()->toPlainText();
    if (!loadedAnsi_.empty() && text == loadedText_) return loadedAnsi_;
    return platform::AnsiFromUtf8(S(WithCrLf(text)));
}

qsizetype FrmVMessage::messageBytes(const QString &text) const {
    if (!loadedAnsi_.empty() && text == loadedText_) return static_cast<qsizetype>(loadedAnsi_.size());
    qsizetype bytes = 0;
    for (QChar c : text) bytes += CharBytes(c);
    return bytes;
}

void FrmVMessage::messageChanged(QPlainTextEdit *from) {
    if (syncing_) return;
    QPlainTextEdit *other = from == Text2 ? Text4 : Text2;
    QString text = from->toPlainText();
    syncing_ = true;
    // The box holds no more than the largest message (typed or pasted text).
    const qsizetype max = s_.maxMessageSize;
    if (messageBytes(text) > max) {
        qsizetype bytes = 0, keep = 0;
        while (keep < text.size() && bytes + CharBytes(text[keep]) <= max) bytes += CharBytes(text[keep++]);
        if (keep > 0 && keep < text.size() && text[keep].isLowSurrogate()) --keep;
        text.truncate(keep);
        from->setPlainText(text);
        from->moveCursor(QTextCursor::End);
    }
    other->setPlainText(text);
    syncing_ = false;
    showSize(text);
}

void FrmVMessage::showSize(const QString &text) {
    const qsizetype length = messageBytes(text);
    lblSize->setText(length == 0 ? QString("Botschaft: 0 Byte") : "Botschaft: " + Thousands(length) + " Byte");
}

void FrmVMessage::clearHint() {
    help_->show(kMessageHelp);
    if (working_) return;
    QString hint = Q(HintText());
    hint.remove('\r');
    if (shown()->toPlainText() == hint) shown()->clear();
}

void FrmVMessage::toggleWrap() {
    const bool toWrapped = !Text2->isHidden();
    Text2->setVisible(!toWrapped);
    Text4->setVisible(toWrapped);
    Check2->setChecked(toWrapped);
}

// ---- loading a text file -------------------------------------------------------------------

void FrmVMessage::chooseSource() {
    if (working_) return;
    Text5->clear();
    loadedAnsi_.clear();
    loadedText_.clear();
    Text2->clear(); // the other box follows
    nameField_.clear();
    changedName_.reset();
    Check2->setChecked(false);
    Text2->show();
    Text4->hide();

    QString path;
    if (!droppedFile_.isEmpty()) {
        path = droppedFile_;
        droppedFile_.clear();
        if (Q(ExtensionOf(S(path))).toLower() != ".txt") {
            s_.messages->show(Icon::Information, S(s_.programName()), "Es können nur TXT Dateien ausgewählt werden.");
            return;
        }
    } else {
        QString folder = StartFolder(s_, folders::kText, lastFileFolder_);
        const QString name = ShowOpenDialog(s_, this, "Die zu versteckende Textdatei öffnen", folder, "",
                                            "ASCII Textdateien (*.txt)|*.txt| Alle Dateien (*.*)|*.*", "*.*");
        if (name.isEmpty()) return;
        path = WithSeparator(folder) + name;
    }
    lastFileFolder_ = WithSeparator(Q(FolderOf(S(path))));
    RememberFolder(s_, folders::kText, lastFileFolder_);
    loadTextFile(path);
}

void FrmVMessage::loadTextFile(const QString &path) {
    const std::string p = S(path);
    std::optional<std::string> field = payload::NameField(FileNameOf(p));
    if (!field) {
        s_.messages->show(Icon::Exclamation, "KalmiraA-Nachricht",
                          "Der Dateiname \"" + FileNameOf(p) +
                              "\" ist zu lang und lässt sich nicht auf 25 Zeichen kürzen. Bitte die "
                              "Datei umbenennen.");
        return;
    }
    const std::int64_t length = platform::FileSize(p);
    if (length < 0) return;
    auto tooLarge = [&](std::int64_t size) {
        s_.messages->show(Icon::Exclamation, "KalmiraA-Nachricht",
                          "Die Datei ist " + std::to_string(size) +
                              " Byte gross. Die zu versteckende Datei darf für KalmiraA nicht grösser " +
                              std::to_string(s_.maxMessageSize) + " Byte sein. Bitte KalmiraB verwenden.");
        Text5->clear();
    };
    // UTF-8 takes up to three bytes for a character that is hidden as one.
    if (length > 3LL * s_.maxMessageSize) return tooLarge(length);

    Text5->setText(path);
    setBusy(true);
    setWindowTitle(">>>>>>>>>> Textdatei wird geladen <<<<<<<<<<");
    QWidget::repaint();
    QFile file(path);
    const bool read = file.open(QIODevice::ReadOnly);
    const QByteArray bytes = read ? file.readAll() : QByteArray();
    setBusy(false);
    setWindowTitle(t_.title);
    if (!read) {
        Text5->clear();
        return;
    }
    if (!IsPlainText(bytes)) {
        Text5->clear();
        s_.messages->show(Icon::Exclamation, S(s_.programName()),
                          "Die ausgewählte Datei ist keine ASCII Textdatei! KalmiraA kann nur ASCII "
                          "Textdateien verstecken. Zum Verstecken von Binärdateien können Sie KalmiraB "
                          "verwenden.");
        return;
    }
    std::string ansi;
    QString text = DecodeTextFile(bytes, ansi);
    if (static_cast<std::int64_t>(ansi.size()) > s_.maxMessageSize)
        return tooLarge(static_cast<std::int64_t>(ansi.size()));
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    nameField_ = *field;
    changedName_ = payload::ChangedStoredName(FileNameOf(p));
    loadedAnsi_ = ansi;
    syncing_ = true;
    Text2->setPlainText(text);
    Text4->setPlainText(text);
    syncing_ = false;
    loadedText_ = Text2->toPlainText(); // as the box gives it back
    showSize(loadedText_);
}

} // namespace kalmira::hide
